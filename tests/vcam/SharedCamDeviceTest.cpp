// The virtual camera device against a real channel file, with the broadcaster in another
// process; and the device's table as the component hands it out.
#include <atomic>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "TestSupport.h"
#include "shared_cam_device.h"
#include "shared_gworld_memory.h"

using p3dtest::Child;
using p3dtest::LogCapture;

namespace {

const int kTimeoutMs = 20000;

std::string PascalText(const Str255 name)
{
    return std::string(reinterpret_cast<const char*>(name + 1), name[0]);
}

class SharedCamDeviceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        SharedGWorldMemory::sSingleton.Close();
        path = p3dtest::ChannelPath();
        SharedGWorldMemory::sFileMappingPath = path.c_str();
        p3dtest::RemoveChannel(path);
    }
    void TearDown() override { SharedGWorldMemory::sSingleton.Close(); }

    std::string name()
    {
        Str255 text = {};
        EXPECT_EQ(device.GetDeviceName(text, 0), noErr);
        return PascalText(text);
    }

    std::string path;
    SharedCamDevice device;
};

TEST_F(SharedCamDeviceTest, NamesItselfAndTakesSuffixesUntilTheNextConnect)
{
    EXPECT_TRUE(device.Connect());
    Str255 text = {};
    ASSERT_EQ(device.GetDeviceName(text, 0), noErr);
    EXPECT_EQ(text[0], 10);
    EXPECT_EQ(PascalText(text), "Parallax3D");

    device.SetDeviceNameSuffix(" 2");
    EXPECT_EQ(name(), "Parallax3D 2");
    device.SetDeviceNameSuffix("b");
    EXPECT_EQ(name(), "Parallax3D 2b");
    device.Connect();
    EXPECT_EQ(name(), "Parallax3D");

    EXPECT_EQ(device.GetDeviceName(nullptr, 0), paramErr);
    device.SetDeviceNameSuffix(nullptr);
    EXPECT_EQ(name(), "Parallax3D");
}

TEST_F(SharedCamDeviceTest, ALongSuffixIsCutToTheNameAtACharacterBoundary)
{
    device.Connect();
    device.SetDeviceNameSuffix(std::string(100, 'x').c_str());
    EXPECT_EQ(name(), "Parallax3D" + std::string(61, 'x'));
    device.SetDeviceNameSuffix("more");
    EXPECT_EQ(name().size(), 71u);

    // Two-byte characters: 61 bytes of room take 30 of them, never half of one.
    device.Connect();
    std::string accents;
    for (int i = 0; i < 40; ++i)
        accents += "\xC3\xA9";
    device.SetDeviceNameSuffix(accents.c_str());
    EXPECT_EQ(name(), "Parallax3D" + accents.substr(0, 60));
}

TEST_F(SharedCamDeviceTest, StatesItsRectangleSizeAndCompression)
{
    Rect rect = {-1, -1, -1, -1};
    device.GetMaxSrcRectFromDevice(&rect);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.bottom, 480);
    EXPECT_EQ(rect.right, 640);
    device.GetMaxSrcRectFromDevice(nullptr);
    EXPECT_EQ(device.FrameSizeBytes(), 1228800);
    EXPECT_EQ(device.SetCompressionOnOff(1), noErr);
    EXPECT_EQ(device.CompressionOnOff(), 1);
    device.Connect();
    EXPECT_EQ(device.CompressionOnOff(), 0);
}

TEST_F(SharedCamDeviceTest, WithNoBroadcasterFallsBackToTheZeroedBufferButHandsOutNothing)
{
    device.Connect();
    LogCapture log;
    UInt8* fallback = device.GetCurrentFrameBufferPtr(0);
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(fallback), 1228800), std::string(1228800, '\0'));

    UInt8 done = 7;
    UInt8* buffer = reinterpret_cast<UInt8*>(&done);
    long size = 9;
    EXPECT_EQ(device.GetFrame(&done, &buffer, &size), paramErr);
    EXPECT_EQ(done, 7);
    EXPECT_EQ(buffer, &done);
    EXPECT_EQ(size, 9);
    EXPECT_EQ(device.FrameCount(), 1);
    EXPECT_EQ(log.text(), "") << "a missing broadcaster is the usual case, not a fault";
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "the device must not create the channel";
}

TEST_F(SharedCamDeviceTest, AnOpenChannelWithoutAFrameReportsAndNeverUsesTheFallback)
{
    ASSERT_TRUE(
        p3dtest::RunChannelHelper({"describe", "0"})); // the broadcaster has created the file
    device.Connect();
    LogCapture log;
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    EXPECT_EQ(device.GetCurrentFrameBufferPtr(0), nullptr);
    EXPECT_EQ(device.GetFrame(&done, &buffer, &size), paramErr);
    EXPECT_EQ(buffer, nullptr);
    const std::string text = log.text();
    EXPECT_NE(text.find("GetCurrentFrameBufferPtr"), std::string::npos) << text;
    EXPECT_NE(text.find(" code : currentFrameBufferPtr = "
                        "SharedGWorldMemory::sSingleton.GetCurrentReadBuffer()"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" code : currentFrameBufferPtr in "), std::string::npos) << text;
    EXPECT_NE(text.find(" code : frameBuffer!=NULL"), std::string::npos) << text;
}

TEST_F(SharedCamDeviceTest, HandsOutThePublishedFrameLockedUntilReleased)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "41"}));
    device.Connect();
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    ASSERT_EQ(device.GetFrame(&done, &buffer, &size), noErr);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(buffer, device.GetCurrentFrameBufferPtr(0));
    EXPECT_EQ(buffer, SharedGWorldMemory::sSingleton.GetWriteBuffer_N(1));
    EXPECT_EQ(size, 1228800);
    UInt32 number = 0;
    ASSERT_TRUE(p3dtest::FrameNumber(buffer, &number));
    EXPECT_EQ(number, 41u);

    // Held: another process cannot have it, and a release of anything else changes nothing.
    EXPECT_FALSE(p3dtest::RunChannelHelper({"trylock", "1"}));
    UInt8 foreign[16] = {};
    EXPECT_EQ(device.ReleaseCompressBuffer(foreign), noErr);
    EXPECT_EQ(device.ReleaseCompressBuffer(nullptr), noErr);
    EXPECT_EQ(device.ReleaseCompressBuffer(buffer + 4), noErr);
    EXPECT_FALSE(p3dtest::RunChannelHelper({"trylock", "1"}));

    EXPECT_EQ(device.ReleaseCompressBuffer(buffer), noErr);
    EXPECT_TRUE(p3dtest::RunChannelHelper({"trylock", "1"}));
    EXPECT_EQ(device.FrameCount(), 1);
}

TEST_F(SharedCamDeviceTest, ASecondGetFrameWaitsForTheOtherProcessToRelease)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "5"}));
    Child holder({CHANNEL_HELPER_PATH, "device-hold"});
    ASSERT_EQ(holder.readLine(kTimeoutMs), "holding 5");

    device.Connect();
    std::atomic<bool> releaseSent{false};
    bool returnedBeforeRelease = true;
    SInt32 result = 1;
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    std::thread getter([&] {
        result = device.GetFrame(&done, &buffer, &size);
        returnedBeforeRelease = !releaseSent;
    });
    // Well inside the lock's wait, so the getter is still waiting when the holder lets go.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    releaseSent = true;
    kill(holder.pid(), SIGUSR1);
    getter.join();
    EXPECT_FALSE(returnedBeforeRelease) << "GetFrame did not wait for the holder";
    EXPECT_EQ(result, noErr);
    EXPECT_EQ(size, 1228800);
    EXPECT_EQ(holder.wait(kTimeoutMs), 0);
    EXPECT_NE(holder.out().find("released"), std::string::npos);
    device.ReleaseCompressBuffer(buffer);
}

TEST_F(SharedCamDeviceTest, AHolderThatNeverReleasesCostsOneBoundedWait)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "5"}));
    Child holder({CHANNEL_HELPER_PATH, "hold-current"});
    ASSERT_EQ(holder.readLine(kTimeoutMs), "holding");
    device.Connect();
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    EXPECT_EQ(device.GetFrame(&done, &buffer, &size), paramErr);
    EXPECT_EQ(buffer, nullptr);
    kill(holder.pid(), SIGKILL);
    holder.wait(kTimeoutMs);
}

TEST_F(SharedCamDeviceTest, DisconnectReleasesTheFallbackAndLaterFramesReportIt)
{
    device.Connect();
    device.GetFrame(nullptr, nullptr, nullptr);
    device.Disconnect();
    EXPECT_EQ(device.FrameCount(), 0);
    LogCapture log;
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    EXPECT_EQ(device.GetFrame(&done, &buffer, &size), paramErr);
    EXPECT_EQ(device.FrameCount(), 1);
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : currentFrameBufferPtr = _framePtr"), std::string::npos) << text;
    EXPECT_NE(text.find(" code : frameBuffer!=NULL"), std::string::npos) << text;

    // A later Connect names the device again but brings no fallback back; a second
    // Disconnect has nothing left to release.
    device.Connect();
    EXPECT_EQ(name(), "Parallax3D");
    EXPECT_EQ(device.GetCurrentFrameBufferPtr(0), nullptr);
    device.Disconnect();
    device.Disconnect();
}

TEST_F(SharedCamDeviceTest, NowhereToPutTheFrameLeavesItUnlocked)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "3"}));
    device.Connect();
    UInt8 done = 0;
    EXPECT_EQ(device.GetFrame(&done, nullptr, nullptr), paramErr);
    EXPECT_TRUE(p3dtest::RunChannelHelper({"trylock", "0"}));
}

TEST_F(SharedCamDeviceTest, AReplacedChannelFileIsLetGoBetweenFrames)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "8"}));
    device.Connect();
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    UInt32 number = 0;
    ASSERT_EQ(device.GetFrame(&done, &buffer, &size), noErr);
    EXPECT_FALSE(SharedGWorldMemory::sSingleton.ReopenIfReplaced()) << "not while held";
    device.ReleaseCompressBuffer(buffer);
    EXPECT_FALSE(SharedGWorldMemory::sSingleton.ReopenIfReplaced()) << "the same file";

    // Gone: the old view and its last frame stay.
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_FALSE(SharedGWorldMemory::sSingleton.ReopenIfReplaced());
    ASSERT_EQ(device.GetFrame(&done, &buffer, &size), noErr);
    ASSERT_TRUE(p3dtest::FrameNumber(buffer, &number));
    EXPECT_EQ(number, 8u);
    device.ReleaseCompressBuffer(buffer);

    // A new broadcaster makes a new file: the next frame comes from it.
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "9"}));
    EXPECT_TRUE(SharedGWorldMemory::sSingleton.ReopenIfReplaced());
    ASSERT_EQ(device.GetFrame(&done, &buffer, &size), noErr);
    ASSERT_TRUE(p3dtest::FrameNumber(buffer, &number));
    EXPECT_EQ(number, 9u);
    device.ReleaseCompressBuffer(buffer);
}

// The same device as a digitizer reaches it: the component's table, through dlopen.
TEST(SharedCamDeviceTable, HandsOutTheDeviceOperationsForKnownVersionsOnly)
{
    p3dtest::ComponentExports component;
    ASSERT_NE(component.DeviceDispatch, nullptr);
    EXPECT_EQ(component.DeviceDispatch(0), nullptr);
    EXPECT_EQ(component.DeviceDispatch(kSharedCamDeviceDispatchVersion + 1), nullptr);
    const SharedCamDeviceDispatch* table = component.Device;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->version, kSharedCamDeviceDispatchVersion);
    EXPECT_EQ(table->size, sizeof(SharedCamDeviceDispatch));

    SharedCamDeviceRef instance = table->Construct();
    ASSERT_NE(instance, nullptr);
    EXPECT_TRUE(table->Connect(instance));
    table->SetDeviceNameSuffix(instance, " L");
    Str255 text = {};
    EXPECT_EQ(table->GetDeviceName(instance, text, 0), 0);
    EXPECT_EQ(PascalText(text), "Parallax3D L");
    Rect rect = {};
    table->GetMaxSrcRectFromDevice(instance, &rect);
    EXPECT_EQ(rect.right, 640);
    EXPECT_EQ(table->FrameSizeBytes(instance), 1228800);
    table->Disconnect(instance);
    table->Destroy(instance);

    // A null device answers the failure of each operation rather than crashing.
    EXPECT_FALSE(table->Connect(nullptr));
    EXPECT_EQ(table->GetFrame(nullptr, nullptr, nullptr, nullptr), -50);
    EXPECT_EQ(table->FrameSizeBytes(nullptr), 0);
    EXPECT_FALSE(table->ReopenIfReplaced(nullptr));
    table->Disconnect(nullptr);
    table->Destroy(nullptr);
}

} // namespace
