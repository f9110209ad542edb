// The channel between processes: helper programs load the built component and call its
// exports, as the application, the plug-in and the virtual camera do.
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "TestSupport.h"

using p3dtest::Child;
using p3dtest::ComponentExports;

namespace {

const int kTimeoutMs = 20000;

// Runs the helper to its end; its exit status.
int Helper(const std::vector<std::string>& args, std::string* out = nullptr)
{
    std::vector<std::string> argv = {CHANNEL_HELPER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    Child child(argv);
    const int status = child.wait(kTimeoutMs);
    if (out)
        *out = child.out();
    return status;
}

class ChannelProcess : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::RemoveChannel(path);
    }

    std::string contents() const { return p3dtest::ReadFile(path); }

    const std::string path = p3dtest::ChannelPath();
};

TEST_F(ChannelProcess, AWriterCreatesTheFileByteForByte)
{
    std::string out;
    ASSERT_EQ(Helper({"describe", "1"}, &out), 0);
    EXPECT_EQ(out, "1 2560 1228800 640 480 0x72617720\n");
    const std::string bytes = contents();
    ASSERT_EQ(bytes.size(), size_t(kSharedMemoryFileSize));
    std::string expected(kSharedMemoryFileSize, '\0');
    expected.replace(0, 8, "Plx300.1");
    expected.replace(kSharedMemoryTrailingSignatureOffset, 4, "Plx3");
    EXPECT_TRUE(bytes == expected);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
}

TEST_F(ChannelProcess, BufferOnePublishedInOneProcessIsBufferOneInAnother)
{
    ASSERT_EQ(Helper({"publish", "1", "77"}), 0);
    std::string out;
    ASSERT_EQ(Helper({"current"}, &out), 0);
    EXPECT_EQ(out, "frame 77\n");

    ComponentExports exports;
    SHARED_CAMERA_BUFFER current = ComponentExports::Record();
    SHARED_CAMERA_BUFFER buffer1 = ComponentExports::Record();
    ASSERT_TRUE(exports.GetCurrentReadBuffer(&current));
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(1, &buffer1));
    EXPECT_EQ(current.frameBufferPtr, buffer1.frameBufferPtr);
}

TEST_F(ChannelProcess, TryLockSeesAHolderInAnotherProcess)
{
    ASSERT_EQ(Helper({"describe", "0"}), 0);
    Child holder({CHANNEL_HELPER_PATH, "hold", "0"});
    ASSERT_EQ(holder.readLine(kTimeoutMs), "holding");

    ComponentExports exports;
    SHARED_CAMERA_BUFFER buffer0 = ComponentExports::Record();
    SHARED_CAMERA_BUFFER buffer1 = ComponentExports::Record();
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(0, &buffer0));
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(1, &buffer1));
    EXPECT_FALSE(exports.TryLockFrameBuffer(buffer0.frameBufferPtr));
    ASSERT_TRUE(exports.TryLockFrameBuffer(buffer1.frameBufferPtr));
    EXPECT_EQ(Helper({"trylock", "1"}), 3);
    EXPECT_TRUE(exports.UnLockFrameBuffer(buffer1.frameBufferPtr));
    EXPECT_EQ(Helper({"trylock", "1"}), 0);
    EXPECT_EQ(Helper({"trylock", "0"}), 3);
}

TEST_F(ChannelProcess, TheConnectionsWordCrossesProcesses)
{
    ASSERT_EQ(Helper({"control", "0"}), 0);
    UInt32 word;
    memcpy(&word, contents().data() + kSharedMemoryConnectionsOffset, 4);
    EXPECT_EQ(word, 0xFFFFFFFFu);
    ASSERT_EQ(Helper({"control", "1"}), 0);
    memcpy(&word, contents().data() + kSharedMemoryConnectionsOffset, 4);
    EXPECT_EQ(word, 0u);
}

TEST_F(ChannelProcess, AFileWithAWrongSignatureIsLeftUntouched)
{
    std::string garbage(kSharedMemoryFileSize, 'g');
    p3dtest::WriteFile(path, garbage);
    chmod(path.c_str(), 0600);
    EXPECT_EQ(Helper({"publish", "0", "1"}), 3);
    EXPECT_EQ(Helper({"control", "1"}), 0); // answers true; stores nothing
    std::string out;
    EXPECT_EQ(Helper({"current"}, &out), 3);
    EXPECT_EQ(out, "none\n");
    EXPECT_TRUE(contents() == garbage);
}

TEST_F(ChannelProcess, AStaleFileIsReadUntilANewFrameIsPublished)
{
    ASSERT_EQ(Helper({"publish", "0", "11"}), 0); // an earlier run, long gone
    ASSERT_EQ(Helper({"describe", "1"}), 0);      // the next run starts, publishes nothing yet
    std::string out;
    ASSERT_EQ(Helper({"current"}, &out), 0);
    EXPECT_EQ(out, "frame 11\n");
    ASSERT_EQ(Helper({"publish", "1", "12"}), 0);
    ASSERT_EQ(Helper({"current"}, &out), 0);
    EXPECT_EQ(out, "frame 12\n");
}

TEST_F(ChannelProcess, WhatCannotBeAChannelFileIsRefusedWithoutACrash)
{
    std::string out;
    // Truncated: readers refuse it; the writer, whose file it is, makes it anew.
    p3dtest::WriteFile(path, std::string(4096, 't'));
    chmod(path.c_str(), 0600);
    EXPECT_EQ(Helper({"current"}, &out), 3);
    EXPECT_EQ(p3dtest::ReadFile(path), std::string(4096, 't'));
    EXPECT_EQ(Helper({"publish", "0", "3"}), 0);
    EXPECT_EQ(Helper({"current"}, &out), 0);

    auto refused = [&](const char* kind) {
        EXPECT_EQ(Helper({"current"}, &out), 3) << kind;
        EXPECT_EQ(Helper({"publish", "0", "3"}), 3) << kind;
        EXPECT_EQ(Helper({"control", "1"}), 3) << kind;
    };
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    refused("fifo");
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    refused("folder");
}

TEST_F(ChannelProcess, AReaderKilledWhileHoldingALockDoesNotStopTheWriter)
{
    ComponentExports writer;                       // this process writes, as the application does
    ASSERT_TRUE(p3dtest::PublishFrame(writer, 2)); // frame 2 in buffer 0, now current
    Child reader({CHANNEL_HELPER_PATH, "hold-current"});
    ASSERT_EQ(reader.readLine(kTimeoutMs), "holding");

    // While the holder lives, the writer's frame for that buffer is dropped, not waited for.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(p3dtest::PublishFrame(writer, 4));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(p3dtest::PublishFrame(writer, 3)); // the other buffer is free

    kill(reader.pid(), SIGKILL);
    EXPECT_EQ(reader.wait(kTimeoutMs), 128 + SIGKILL);
    // Another reader waiting meanwhile gives up in bounded time instead of hanging.
    Child waiting({CHANNEL_HELPER_PATH, "lock", "0"});

    const auto killed = std::chrono::steady_clock::now();
    bool published = false;
    while (!published && std::chrono::steady_clock::now() - killed < std::chrono::seconds(3))
        published = p3dtest::PublishFrame(writer, 4);
    EXPECT_TRUE(published);
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(3));
    EXPECT_GE(waiting.wait(kTimeoutMs), 0);

    std::string out;
    ASSERT_EQ(Helper({"current"}, &out), 0);
    EXPECT_EQ(out, "frame 4\n");
}

// One writer process publishing numbered frames and three reader processes checking every
// frame they copy out, for a few seconds.
TEST_F(ChannelProcess, ReadersInOtherProcessesNeverSeeATornFrame)
{
    ASSERT_EQ(Helper({"publish", "0", "0"}), 0);
    Child writer({CHANNEL_HELPER_PATH, "write-frames", "3000"});
    std::vector<std::unique_ptr<Child>> readers;
    for (int i = 0; i < 3; ++i)
        readers.push_back(std::make_unique<Child>(
            std::vector<std::string>{CHANNEL_HELPER_PATH, "read-frames", "2500"}));
    for (auto& reader : readers) {
        EXPECT_EQ(reader->wait(kTimeoutMs), 0) << reader->out() << reader->err();
        unsigned frames = 0, torn = 1, backwards = 1;
        ASSERT_EQ(sscanf(reader->out().c_str(), "read %u torn %u backwards %u", &frames, &torn,
                         &backwards),
                  3)
            << reader->out();
        EXPECT_GT(frames, 0u);
        EXPECT_EQ(torn, 0u);
        EXPECT_EQ(backwards, 0u);
    }
    EXPECT_EQ(writer.wait(kTimeoutMs), 0);
    unsigned published = 0, dropped = 0;
    ASSERT_EQ(sscanf(writer.out().c_str(), "published %u dropped %u", &published, &dropped), 2);
    EXPECT_GT(published, 10u);
}

} // namespace
