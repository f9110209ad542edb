// The channel between processes: helper programs load the built component and call its
// exports, as the application, the plug-in and the virtual camera do.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <semaphore.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

const uid_t kOtherUser = 65534; // nobody

// Runs the helper as kOtherUser in this test's /tmp and /dev/shm, after making sure that user
// cannot open any of the named semaphores; its exit status, 4 when it could.
int HelperAsOtherUser(const std::vector<std::string>& args,
                      const std::vector<std::string>& forbidden)
{
    const pid_t child = fork();
    if (child == 0) {
        // logind's console user would name both users' channels alike; hide it from this one.
        struct stat seats;
        if (stat("/run/systemd/seats", &seats) == 0 &&
            (unshare(CLONE_NEWNS) != 0 ||
             mount("tmpfs", "/run/systemd/seats", "tmpfs", 0, nullptr) != 0))
            _exit(5);
        if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0)
            _exit(5);
        for (const std::string& name : forbidden)
            if (sem_open(name.c_str(), 0) != SEM_FAILED || errno != EACCES)
                _exit(4);
        std::vector<char*> argv = {const_cast<char*>(CHANNEL_HELPER_PATH)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child == -1 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
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

// Two users broadcast on one machine at once: each channel has its own file and its own pair of
// semaphores, 0600, so neither user can open, lock or free the other's buffers.
TEST_F(ChannelProcess, TwoUsersBroadcastSideBySide)
{
    unsigned inside = 1, outside = 1, users = 0;
    if (geteuid() != 0 ||
        sscanf(p3dtest::ReadFile("/proc/self/uid_map").c_str(), "%u %u %u", &inside, &outside,
               &users) != 3 ||
        inside != 0 || outside != 0 || users <= kOtherUser)
        GTEST_SKIP() << "needs root of the machine to run a helper as another user";
    const std::string other = "Parallax3DXXX_nobody_";
    const std::string otherPath = "/tmp/com-red-kite-nobody-Parallax3D-1.201-640x480-ARGB.tmp";
    p3dtest::RemoveTree(otherPath);
    sem_unlink((other + "0").c_str());
    sem_unlink((other + "1").c_str());
    const std::vector<std::string> ours = {p3dtest::ChannelSemaphoreName(0),
                                           p3dtest::ChannelSemaphoreName(1)};
    ASSERT_NE(ours[0], other + "0");

    // This user broadcasts first and keeps buffer 0 locked while the other user publishes.
    ComponentExports exports;
    ASSERT_TRUE(p3dtest::PublishFrame(exports, 5));
    SHARED_CAMERA_BUFFER buffer0 = ComponentExports::Record();
    ASSERT_TRUE(exports.GetWriteableFrameBuffer(0, &buffer0));
    ASSERT_TRUE(exports.LockFrameBuffer(buffer0.frameBufferPtr));
    EXPECT_EQ(HelperAsOtherUser({"publish", "0", "9"}, ours), 0);
    EXPECT_TRUE(exports.UnLockFrameBuffer(buffer0.frameBufferPtr));
    ASSERT_TRUE(p3dtest::PublishFrame(exports, 6));

    for (const std::string& name : {ours[0], ours[1], other + "0", other + "1"}) {
        SCOPED_TRACE(name);
        struct stat info;
        ASSERT_EQ(stat(("/dev/shm/sem." + name).c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, name.rfind(other, 0) == 0 ? kOtherUser : 0u);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        sem_t* semaphore = sem_open(name.c_str(), 0);
        ASSERT_NE(semaphore, SEM_FAILED);
        int count = -1;
        sem_getvalue(semaphore, &count);
        sem_close(semaphore);
        EXPECT_EQ(count, 1); // every lock given back, none posted twice
    }
    UInt32 number = 0;
    const std::string theirs = p3dtest::ReadFile(otherPath);
    ASSERT_EQ(theirs.size(), size_t(kSharedMemoryFileSize));
    ASSERT_TRUE(p3dtest::FrameNumber(theirs.data() + kSharedMemoryFrameBuffer0Offset, &number));
    EXPECT_EQ(number, 9u);
    ASSERT_TRUE(p3dtest::FrameNumber(contents().data() + kSharedMemoryFrameBuffer0Offset, &number));
    EXPECT_EQ(number, 6u);
}

} // namespace
