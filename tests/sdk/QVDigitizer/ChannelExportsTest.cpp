// The component's exports called in this process, loaded by name as clients load them.
#include <cstdio>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "TestSupport.h"

using p3dtest::ComponentExports;

namespace {

class ChannelExports : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::RemoveChannel(path);
        ASSERT_TRUE(exports.loaded()) << dlerror();
    }

    std::string contents() const { return p3dtest::ReadFile(path); }

    const std::string path = p3dtest::ChannelPath();
    ComponentExports exports;
};

TEST(ChannelComponent, ExportsTheChannelAndDeviceEntriesAndNothingElse)
{
    EXPECT_EQ(
        p3dtest::ExportedNames(P3D_COMPONENT_PATH),
        (std::set<std::string>{"__public_fn_", "__public_fn0", "__public_fn1", "__public_fn2",
                               "__public_fn3", "__public_fn4", "__public_fn5", "__public_vdig"}));
}

TEST_F(ChannelExports, ReadersBeforeAnyWriterFindNothingAndCreateNothing)
{
    SHARED_CAMERA_BUFFER record = ComponentExports::Record();
    record.frameBufferPtr = &record;
    record.frameWidth = 123;
    EXPECT_FALSE(exports.GetCurrentReadBuffer(&record));
    EXPECT_EQ(record.frameBufferPtr, nullptr);
    EXPECT_EQ(record.frameWidth, 123); // the rest is untouched
    int local = 0;
    EXPECT_FALSE(exports.LockFrameBuffer(&local));
    EXPECT_FALSE(exports.TryLockFrameBuffer(&local));
    EXPECT_FALSE(exports.UnLockFrameBuffer(&local));
    struct stat info;
    EXPECT_NE(stat(path.c_str(), &info), 0);
}

TEST_F(ChannelExports, DescribesWriteBuffersOnAFreshSystem)
{
    SHARED_CAMERA_BUFFER record = ComponentExports::Record();
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(1, &record));
    EXPECT_EQ(record.sizeofSHARED_CAMERA_BUFFER, sizeof(SHARED_CAMERA_BUFFER));
    EXPECT_NE(record.frameBufferPtr, nullptr);
    EXPECT_EQ(record.frameBufferRowBytes, 2560);
    EXPECT_EQ(record.frameBufferSizeBytes, 1228800);
    EXPECT_EQ(record.frameWidth, 640);
    EXPECT_EQ(record.frameHeight, 480);
    EXPECT_EQ(record.framePixelFormat, 0x72617720u);
    EXPECT_EQ(contents().size(), size_t(kSharedMemoryFileSize));

    SHARED_CAMERA_BUFFER buffer0 = ComponentExports::Record();
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(0, &buffer0));
    EXPECT_EQ(static_cast<UInt8*>(record.frameBufferPtr) -
                  static_cast<UInt8*>(buffer0.frameBufferPtr),
              ptrdiff_t(kSharedMemoryFrameBuffer1Offset - kSharedMemoryFrameBuffer0Offset));
}

TEST_F(ChannelExports, BadArgumentsAnswerFalseAndWriteNothing)
{
    SHARED_CAMERA_BUFFER record = ComponentExports::Record();
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(0, &record));
    void* buffer0 = record.frameBufferPtr;
    ASSERT_TRUE(exports.SetCurrentReadBuffer(buffer0));
    const std::string before = contents();

    testing::internal::CaptureStderr();
    for (int n : {-1, 2, 1000000}) {
        SHARED_CAMERA_BUFFER bad = ComponentExports::Record();
        bad.frameWidth = 99;
        EXPECT_FALSE(exports.GetWriteableFrameBuffer(n, &bad)) << n;
        const SHARED_CAMERA_BUFFER zero = {};
        EXPECT_EQ(memcmp(&bad, &zero, sizeof(bad)), 0) << n; // size field included
        // Until its size is set again, the record is refused as it stands.
        EXPECT_FALSE(exports.GetWriteableFrameBuffer(0, &bad));
        EXPECT_EQ(bad.frameBufferPtr, nullptr);
    }
    const std::string reports = testing::internal::GetCapturedStderr();
    EXPECT_NE(reports.find("VERIFY FAILED:  code : Buffer_N<SharedGWorldMemory::kMaxBufferCount "
                           "in sdk/QVDigitizer/shared_camera_buffer.cpp:"),
              std::string::npos)
        << reports;
    EXPECT_NE(reports.find("(__public_fn0)"), std::string::npos);
    // The component logs under its own name, to the system log with an echo here.
    EXPECT_NE(reports.find("Parallax3D_XXX: VERIFY FAILED"), std::string::npos);

    for (UInt32 size : {0u, 24u, 31u, 33u, 0xFFFFFFFFu}) {
        SHARED_CAMERA_BUFFER wrong = ComponentExports::Record();
        wrong.sizeofSHARED_CAMERA_BUFFER = size;
        wrong.frameWidth = 7;
        EXPECT_FALSE(exports.GetWriteableFrameBuffer(0, &wrong));
        EXPECT_FALSE(exports.GetCurrentReadBuffer(&wrong));
        EXPECT_EQ(wrong.sizeofSHARED_CAMERA_BUFFER, size); // untouched
        EXPECT_EQ(wrong.frameWidth, 7);
        EXPECT_EQ(wrong.frameBufferPtr, nullptr);
    }
    EXPECT_FALSE(exports.GetWriteableFrameBuffer(0, nullptr));
    EXPECT_FALSE(exports.GetCurrentReadBuffer(nullptr));

    SHARED_CAMERA_CONTROL control = {16, 0, 0};
    EXPECT_FALSE(exports.SetCameraControl(&control));
    EXPECT_FALSE(exports.SetCameraControl(nullptr));

    UInt8* inside = static_cast<UInt8*>(buffer0) + 4;
    int local = 0;
    for (void* pointer : {static_cast<void*>(inside), static_cast<void*>(&local),
                          static_cast<void*>(static_cast<UInt8*>(buffer0) - 1024)}) {
        EXPECT_FALSE(exports.SetCurrentReadBuffer(pointer));
        EXPECT_FALSE(exports.TryLockFrameBuffer(pointer));
        EXPECT_FALSE(exports.LockFrameBuffer(pointer));
        EXPECT_FALSE(exports.UnLockFrameBuffer(pointer));
    }
    EXPECT_FALSE(exports.TryLockFrameBuffer(nullptr));
    EXPECT_FALSE(exports.LockFrameBuffer(nullptr));
    EXPECT_FALSE(exports.UnLockFrameBuffer(nullptr));
    // A buffer this process does not hold is not unlocked.
    EXPECT_FALSE(exports.UnLockFrameBuffer(buffer0));

    EXPECT_TRUE(contents() == before);
}

TEST_F(ChannelExports, ControlAndPublishingThroughTheExports)
{
    SHARED_CAMERA_CONTROL control = {8, 0, 0};
    ASSERT_TRUE(exports.SetCameraControl(&control));
    UInt32 word;
    memcpy(&word, contents().data() + kSharedMemoryConnectionsOffset, 4);
    EXPECT_EQ(word, 0xFFFFFFFFu);
    control.allowCameraConnections = 7;
    ASSERT_TRUE(exports.SetCameraControl(&control));
    memcpy(&word, contents().data() + kSharedMemoryConnectionsOffset, 4);
    EXPECT_EQ(word, 0u);

    SHARED_CAMERA_BUFFER write1 = ComponentExports::Record();
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(1, &write1));
    ASSERT_TRUE(exports.SetCurrentReadBuffer(write1.frameBufferPtr));
    SHARED_CAMERA_BUFFER current = ComponentExports::Record();
    ASSERT_TRUE(exports.GetCurrentReadBuffer(&current));
    EXPECT_EQ(current.frameBufferPtr, write1.frameBufferPtr);
    EXPECT_EQ(current.framePixelFormat, 0x72617720u);

    ASSERT_TRUE(exports.SetCurrentReadBuffer(nullptr));
    EXPECT_FALSE(exports.GetCurrentReadBuffer(&current));
    EXPECT_EQ(current.frameBufferPtr, nullptr);
}

// One writer thread and three reader threads on this process's one mapping: every frame read
// is whole and no reader goes back in time. Run under the thread sanitizer too.
TEST_F(ChannelExports, WriterAndReaderThreadsNeverSeeATornFrame)
{
    ASSERT_TRUE(p3dtest::PublishFrame(exports, 1));
    std::atomic<bool> stop{false};
    p3dtest::WriterCounts written;
    std::thread writer(
        [&] { written = p3dtest::WriteFramesFor(exports, std::chrono::seconds(10), &stop); });
    p3dtest::ReaderCounts counts[3];
    std::vector<std::thread> readers;
    for (auto& count : counts)
        readers.emplace_back(
            [&] { count = p3dtest::ReadFramesFor(exports, std::chrono::milliseconds(1500)); });
    for (auto& reader : readers)
        reader.join();
    stop = true;
    writer.join();
    EXPECT_GT(written.published, 10u);
    for (const auto& count : counts) {
        EXPECT_GT(count.frames, 0u);
        EXPECT_EQ(count.torn, 0u);
        EXPECT_EQ(count.backwards, 0u);
    }
}

} // namespace
