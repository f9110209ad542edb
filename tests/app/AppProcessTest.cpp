// parallax3d as users run it: headless, with the test cameras, broadcasting, while other
// processes read the channel.
#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <thread>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

#ifdef P3D_SANITIZED
constexpr int kMinimumFrames = 10; // instrumented builds run many times slower
#else
constexpr int kMinimumFrames = 100;
#endif

uint64_t Hash(const UInt8* bytes, size_t size)
{
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < size; i += 8)
        hash = (hash ^ *reinterpret_cast<const uint64_t*>(bytes + i)) * 1099511628211ull;
    return hash;
}

class AppProcessTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
    }
    // The application without a display, as on a server or in CI.
    static std::vector<std::string> Headless()
    {
        return {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    }
};

TEST_F(AppProcessTest, BroadcastsLiveFramesThatOtherProcessesSeeAndKeep)
{
    Child app(
        {APP_PATH, "--test-cameras", "--broadcast", "--monitor", "stereo", "--quit-after", "7"},
        Headless());
    p3dtest::ComponentExports exports;
    ASSERT_TRUE(exports.loaded());
    SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
    for (int i = 0; i < 1000 && !exports.GetCurrentReadBuffer(&record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(record.frameBufferPtr, nullptr) << app.err();
    EXPECT_EQ(record.frameWidth, 640);
    EXPECT_EQ(record.frameHeight, 480);

    Child second({APP_PATH, "--test-cameras", "--quit-after", "1"}, Headless());
    EXPECT_EQ(second.wait(20000), 1);
    EXPECT_NE(second.err().find("Parallax3D is already running"), std::string::npos)
        << second.err();

    const std::string frames = p3dtest::SuiteRoot() + "/vcam.argb";
    Child vcam({VCAM_PATH, "--output", frames, "--format", "argb", "--frames", "240"});

    std::set<uint64_t> distinct;
    bool opaque = true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < end) {
        record = p3dtest::ComponentExports::Record();
        if (exports.GetCurrentReadBuffer(&record) &&
            exports.LockFrameBuffer(record.frameBufferPtr)) {
            const UInt8* pixels = static_cast<const UInt8*>(record.frameBufferPtr);
            distinct.insert(Hash(pixels, kSharedCameraFrameSizeBytes));
            for (size_t i = 0; i < kSharedCameraFrameSizeBytes; i += 4 * 97)
                opaque = opaque && pixels[i] == 0xFF;
            exports.UnLockFrameBuffer(record.frameBufferPtr);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(int(distinct.size()), kMinimumFrames);
    EXPECT_TRUE(opaque);

    ASSERT_EQ(app.wait(30000), 0) << app.err();
    ASSERT_EQ(vcam.wait(30000), 0) << vcam.err();
    // After the application closed, the reader kept its last frame, the channel's last one.
    const std::string shown = p3dtest::ReadFile(frames);
    ASSERT_GE(shown.size(), 20u * kSharedCameraFrameSizeBytes);
    const std::string last = shown.substr(shown.size() - kSharedCameraFrameSizeBytes);
    const std::string channel = p3dtest::ReadFile(p3dtest::ChannelPath());
    UInt32 selector = 0;
    memcpy(&selector, channel.data() + kSharedMemorySelectorOffset, 4);
    const size_t current = selector == kSharedMemoryCurrentBuffer1
                               ? kSharedMemoryFrameBuffer1Offset
                               : kSharedMemoryFrameBuffer0Offset;
    EXPECT_TRUE(last == channel.substr(current, kSharedCameraFrameSizeBytes));
    std::set<uint64_t> seen;
    for (size_t at = 0; at + kSharedCameraFrameSizeBytes <= shown.size() / 2;
         at += kSharedCameraFrameSizeBytes)
        seen.insert(
            Hash(reinterpret_cast<const UInt8*>(shown.data() + at), kSharedCameraFrameSizeBytes));
    EXPECT_GE(seen.size(), 10u) << "the reader saw the broadcast live";
}

TEST_F(AppProcessTest, BadCommandLinesEndWithStatusTwo)
{
    for (const char* bad : {"--monitor=3d", "--quit-after=never", "--frobnicate"}) {
        Child app({APP_PATH, bad}, Headless());
        EXPECT_EQ(app.wait(20000), 2) << bad;
        EXPECT_NE(app.err().find("--help"), std::string::npos) << app.err();
    }
}

} // namespace
