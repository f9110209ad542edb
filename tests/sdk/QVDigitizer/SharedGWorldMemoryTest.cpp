#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <semaphore.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "ChannelNamespace.h"
#include "TestSupport.h"
#include "shared_gworld_memory.h"

namespace {

UInt32 WordAt(const std::string& bytes, size_t offset)
{
    UInt32 word;
    memcpy(&word, bytes.data() + offset, sizeof(word));
    return word;
}

int SemaphoreCount(const char* name)
{
    sem_t* semaphore = sem_open(name, 0);
    if (semaphore == SEM_FAILED)
        return -1;
    int count = -1;
    sem_getvalue(semaphore, &count);
    sem_close(semaphore);
    return count;
}

// Takes buffer 0's semaphore the way a holder that then dies leaves it: count 0, no token.
bool TakeAsAHolderThatDied()
{
    sem_t* semaphore = sem_open(SharedGWorldMemory::sSemaphoreNames[0], 0);
    if (semaphore == SEM_FAILED)
        return false;
    const bool taken = sem_trywait(semaphore) == 0;
    sem_close(semaphore);
    return taken;
}

class SharedGWorldMemoryTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        sem_unlink(SharedGWorldMemory::sSemaphoreNames[0]);
        sem_unlink(SharedGWorldMemory::sSemaphoreNames[1]);
        SharedGWorldMemory::sFileMappingPath = path.c_str();
    }

    std::string contents() const { return p3dtest::ReadFile(path); }

    p3dtest::TempDir dir;
    std::string path = dir.file("channel.tmp");
};

TEST_F(SharedGWorldMemoryTest, FreshFileHasItsHeaderAndZerosEverywhereElse)
{
    SharedGWorldMemory memory;
    ASSERT_TRUE(memory.IsOpenWriteView());
    const std::string bytes = contents();
    ASSERT_EQ(bytes.size(), size_t(kSharedMemoryFileSize));
    EXPECT_EQ(bytes.substr(0, 8), "Plx300.1");
    EXPECT_EQ(bytes.substr(kSharedMemoryTrailingSignatureOffset, 4), "Plx3");
    std::string zeros = bytes;
    zeros.replace(0, 8, 8, '\0');
    zeros.replace(kSharedMemoryTrailingSignatureOffset, 4, 4, '\0');
    EXPECT_EQ(zeros, std::string(kSharedMemoryFileSize, '\0'));

    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(memory.GetCurrentReadBuffer(), nullptr);
    EXPECT_TRUE(memory.AllowCameraConnection(1));
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 1);
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[1]), 1);
}

TEST_F(SharedGWorldMemoryTest, PublishingSetsTheSelectorThatOtherMappingsRead)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    UInt8* buffer0 = writer.GetWriteBuffer_N(0);
    UInt8* buffer1 = writer.GetWriteBuffer_N(1);
    ASSERT_NE(buffer0, nullptr);
    EXPECT_EQ(buffer1 - buffer0, ptrdiff_t(kSharedMemoryFrameBuffer1Offset - 1024));

    ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer1));
    EXPECT_EQ(WordAt(contents(), kSharedMemorySelectorOffset), 0x22222222u);
    SharedGWorldMemory reader; // a mapping of its own, as another process has
    ASSERT_TRUE(reader.OpenReadWriteView());
    UInt8* current = reader.GetCurrentReadBuffer();
    ASSERT_NE(current, nullptr);
    EXPECT_NE(current, buffer1);
    buffer1[5] = 0x5A;
    EXPECT_EQ(current[5], 0x5A);

    ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer0));
    EXPECT_EQ(WordAt(contents(), kSharedMemorySelectorOffset), 0x11111111u);
    EXPECT_FALSE(writer.SetCurrentWriteBuffer(buffer0 + 1)); // inside a buffer: refused
    EXPECT_FALSE(writer.SetCurrentWriteBuffer(reader.GetCurrentReadBuffer())); // not ours
    EXPECT_EQ(WordAt(contents(), kSharedMemorySelectorOffset), 0x11111111u);
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(nullptr));
    EXPECT_EQ(reader.GetCurrentReadBuffer(), nullptr);
}

TEST_F(SharedGWorldMemoryTest, BufferNumbersAndReadOnlyViews)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    EXPECT_EQ(writer.GetWriteBuffer_N(2), nullptr);
    EXPECT_EQ(writer.GetWriteBuffer_N(-1), nullptr);
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(writer.GetWriteBuffer_N(1)));

    SharedGWorldMemory reader;
    ASSERT_TRUE(reader.OpenReadView());
    EXPECT_EQ(reader.GetWriteBuffer_N(0), nullptr);
    EXPECT_FALSE(reader.SetCurrentWriteBuffer(nullptr));
    EXPECT_NE(reader.GetCurrentReadBuffer(), nullptr);
    EXPECT_TRUE(reader.AllowCameraConnection(7));
    // A process that opened to read goes on with that view: a write view is "open" already.
    EXPECT_TRUE(reader.IsOpenWriteView());
    EXPECT_EQ(reader.GetWriteBuffer_N(0), nullptr);
}

TEST_F(SharedGWorldMemoryTest, ConnectionsWord)
{
    SharedGWorldMemory memory;
    ASSERT_TRUE(memory.IsOpenWriteView());
    ASSERT_TRUE(memory.SetCurrentWriteBuffer(memory.GetWriteBuffer_N(0)));
    memory.SetAllowCameraConnections(0xFFFFFFFF);
    EXPECT_EQ(memory.GetCurrentReadBuffer(), nullptr) << "refused: readers find no frame";
    EXPECT_FALSE(memory.AllowCameraConnection(0));
    EXPECT_FALSE(memory.AllowCameraConnection(1));
    EXPECT_FALSE(memory.AllowCameraConnection(0xFFFFFFFF));
    memory.SetAllowCameraConnections(3);
    EXPECT_EQ(memory.GetCurrentReadBuffer(), memory.GetWriteBuffer_N(0));
    EXPECT_TRUE(memory.AllowCameraConnection(3));
    EXPECT_FALSE(memory.AllowCameraConnection(4));
    EXPECT_EQ(WordAt(contents(), kSharedMemoryConnectionsOffset), 3u);
    memory.SetAllowCameraConnections(0);
    EXPECT_TRUE(memory.AllowCameraConnection(0xFFFFFFFE));
}

TEST_F(SharedGWorldMemoryTest, WrongSignatureOpensButNothingIsReadOrWritten)
{
    std::string garbage(kSharedMemoryFileSize, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 131) ^ (i >> 7));
    p3dtest::WriteFile(path, garbage);
    chmod(path.c_str(), 0600);

    SharedGWorldMemory memory;
    EXPECT_TRUE(memory.IsOpenWriteView());
    EXPECT_EQ(memory.GetWriteBuffer_N(0), nullptr);
    EXPECT_EQ(memory.GetCurrentReadBuffer(), nullptr);
    EXPECT_FALSE(memory.SetCurrentWriteBuffer(nullptr));
    memory.SetAllowCameraConnections(0);
    EXPECT_FALSE(memory.AllowCameraConnection(1));
    memory.Close();
    EXPECT_TRUE(contents() == garbage);
}

TEST_F(SharedGWorldMemoryTest, AnExistingFileKeepsItsLastFrame)
{
    {
        SharedGWorldMemory earlierRun;
        ASSERT_TRUE(earlierRun.IsOpenWriteView());
        UInt8* buffer1 = earlierRun.GetWriteBuffer_N(1);
        memset(buffer1, 0x42, kSharedCameraFrameSizeBytes);
        ASSERT_TRUE(earlierRun.SetCurrentWriteBuffer(buffer1));
        earlierRun.SetAllowCameraConnections(1);
    }
    SharedGWorldMemory nextRun;
    ASSERT_TRUE(nextRun.IsOpenWriteView());
    UInt8* current = nextRun.GetCurrentReadBuffer();
    ASSERT_EQ(current, nextRun.GetWriteBuffer_N(1));
    EXPECT_EQ(current[kSharedCameraFrameSizeBytes - 1], 0x42);
    EXPECT_FALSE(nextRun.AllowCameraConnection(2));
}

TEST_F(SharedGWorldMemoryTest, ShortFilesAreRefusedAsViewsAndRecreatedByTheWriter)
{
    p3dtest::WriteFile(path, std::string(1000, 'q'));
    chmod(path.c_str(), 0600);
    SharedGWorldMemory reader;
    EXPECT_FALSE(reader.OpenReadWriteView());
    EXPECT_FALSE(reader.OpenReadView());
    EXPECT_EQ(reader.GetCurrentReadBuffer(), nullptr);
    EXPECT_EQ(contents(), std::string(1000, 'q'));

    // One byte short of the layout is as short as any.
    p3dtest::WriteFile(path, std::string(kSharedMemoryFileSize - 1, '\0'));
    EXPECT_FALSE(reader.OpenReadView());
    EXPECT_FALSE(reader.OpenReadWriteView());

    SharedGWorldMemory writer; // the file is ours: the writer makes it anew
    ASSERT_TRUE(writer.IsOpenWriteView());
    EXPECT_EQ(contents().size(), size_t(kSharedMemoryFileSize));
    EXPECT_NE(writer.GetWriteBuffer_N(0), nullptr);
}

TEST_F(SharedGWorldMemoryTest, AFileGoneFromUnderTheWriterIsReportedAndMadeAnew)
{
    const struct
    {
        const char* name;
        std::function<void(const std::string&)> change;
        bool whileWriting; // after the writer's check (its lock), before its copy
    } cases[] = {
        {"deleted", [](const std::string& file) { unlink(file.c_str()); }, false},
        {"replaced",
         [](const std::string& file) {
             unlink(file.c_str());
             SharedGWorldMemory another; // a second broadcaster's new file
             another.IsOpenWriteView();
         },
         false},
        // Touching the old view past the new end would kill the writer.
        {"cut short", [](const std::string& file) { truncate(file.c_str(), 4096); }, false},
        {"cut short while a frame is written",
         [](const std::string& file) { truncate(file.c_str(), 4096); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SharedGWorldMemory writer;
        ASSERT_TRUE(writer.IsOpenWriteView());
        UInt8* buffer = writer.GetWriteBuffer_N(0);
        ASSERT_TRUE(writer.LockFrameBufferPtr(buffer));
        ASSERT_TRUE(writer.UnLockFrameBufferPtr(buffer));

        p3dtest::LogCapture log;
        if (c.whileWriting) {
            ASSERT_TRUE(writer.LockFrameBufferPtr(buffer));
            c.change(path);
            memset(buffer, 0x55, kSharedCameraFrameSizeBytes);
            EXPECT_FALSE(writer.UnLockFrameBufferPtr(buffer)) << "that frame is dropped";
            EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 1);
        } else {
            c.change(path);
            // The writer looks at its file only so often; a touch past its end it sees at once.
            std::this_thread::sleep_for(
                std::chrono::milliseconds(SharedGWorldMemory::kFileCheckMs + 10));
            EXPECT_FALSE(writer.LockFrameBufferPtr(buffer));
        }
        EXPECT_FALSE(writer.LockFrameBufferPtr(buffer)); // reported once, when it is seen
        const std::string text = log.text();
        EXPECT_NE(text.find(" code : theChannelFile"), std::string::npos) << text;
        EXPECT_EQ(text.find("theChannelFile"), text.rfind("theChannelFile")) << text;

        ASSERT_TRUE(writer.IsOpenWriteView());
        buffer = writer.GetWriteBuffer_N(0);
        ASSERT_TRUE(writer.LockFrameBufferPtr(buffer));
        memset(buffer, 0x77, kSharedCameraFrameSizeBytes);
        ASSERT_TRUE(writer.UnLockFrameBufferPtr(buffer));
        ASSERT_TRUE(writer.SetCurrentWriteBuffer(buffer));
        SharedGWorldMemory reader; // what a reader opening the path now sees
        ASSERT_TRUE(reader.OpenReadView());
        ASSERT_NE(reader.GetCurrentReadBuffer(), nullptr);
        EXPECT_EQ(reader.GetCurrentReadBuffer()[1000], 0x77);
        writer.Close();
        unlink(path.c_str());
    }
}

TEST_F(SharedGWorldMemoryTest, AReaderWhoseFileIsCutShortWhileItReadsLosesOnlyThatFrame)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    memset(writer.GetWriteBuffer_N(1), 0x42, kSharedCameraFrameSizeBytes);
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(writer.GetWriteBuffer_N(1)));
    SharedGWorldMemory reader;
    ASSERT_TRUE(reader.OpenReadWriteView());
    UInt8* frame = reader.GetCurrentReadBuffer();
    ASSERT_TRUE(reader.LockFrameBufferPtr(frame));
    truncate(path.c_str(), 4096);
    EXPECT_EQ(static_cast<volatile UInt8*>(frame)[1000], 0) << "past the end: the guard's zeros";
    EXPECT_FALSE(reader.UnLockFrameBufferPtr(frame)) << "that frame is lost";
    EXPECT_TRUE(reader.ReopenIfReplaced());

    EXPECT_FALSE(writer.LockFrameBufferPtr(writer.GetWriteBuffer_N(0)));
    ASSERT_TRUE(writer.IsOpenWriteView());
    ASSERT_TRUE(writer.SetCurrentWriteBuffer(writer.GetWriteBuffer_N(0)));
    ASSERT_TRUE(reader.OpenReadWriteView());
    EXPECT_NE(reader.GetCurrentReadBuffer(), nullptr) << "the file made anew";
}

TEST_F(SharedGWorldMemoryTest, LinksFoldersAndFifosAtThePathAreRefused)
{
    const std::string victim = dir.file("victim");
    p3dtest::WriteFile(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    SharedGWorldMemory memory;
    EXPECT_FALSE(memory.IsOpenWriteView());
    EXPECT_FALSE(memory.OpenReadWriteView());
    EXPECT_FALSE(memory.OpenReadView());
    EXPECT_EQ(p3dtest::ReadFile(victim), "precious");

    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(memory.IsOpenWriteView());
    EXPECT_FALSE(memory.OpenReadView());

    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_FALSE(memory.IsOpenWriteView());
    EXPECT_FALSE(memory.OpenReadWriteView());
    EXPECT_EQ(memory.GetWriteBuffer_N(0), nullptr);
}

TEST_F(SharedGWorldMemoryTest, NothingWorksWithoutAView)
{
    SharedGWorldMemory memory;
    EXPECT_FALSE(memory.OpenReadWriteView()); // no file yet: nothing is created
    struct stat info;
    EXPECT_NE(stat(path.c_str(), &info), 0);
    EXPECT_EQ(memory.GetCurrentReadBuffer(), nullptr);
    EXPECT_EQ(memory.GetWriteBuffer_N(0), nullptr);
    EXPECT_FALSE(memory.SetCurrentWriteBuffer(nullptr));
    EXPECT_FALSE(memory.AllowCameraConnection(1));
    int local = 0;
    EXPECT_EQ(memory.SemaphoreForBuffer(&local), nullptr);
    EXPECT_FALSE(memory.LockFrameBufferPtr(&local));
    EXPECT_FALSE(memory.TryLockFrameBufferPtr(nullptr));
    EXPECT_FALSE(memory.UnLockFrameBufferPtr(nullptr));
    EXPECT_FALSE(memory.Close());
}

TEST_F(SharedGWorldMemoryTest, LocksAreHeldByOneAndOnlyTheHolderUnlocks)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    UInt8* buffer0 = writer.GetWriteBuffer_N(0);
    UInt8* buffer1 = writer.GetWriteBuffer_N(1);
    EXPECT_FALSE(writer.TryLockFrameBufferPtr(buffer0 + 4));
    ASSERT_TRUE(writer.TryLockFrameBufferPtr(buffer0));
    EXPECT_FALSE(writer.TryLockFrameBufferPtr(buffer0));
    EXPECT_TRUE(writer.TryLockFrameBufferPtr(buffer1));

    SharedGWorldMemory other;
    ASSERT_TRUE(other.OpenReadWriteView());
    UInt8* otherBuffer0 = other.GetWriteBuffer_N(0);
    // A stray unlock from a mapping that does not hold the lock would let two in at once.
    EXPECT_FALSE(other.UnLockFrameBufferPtr(otherBuffer0));
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 0);

    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer0));
    EXPECT_FALSE(writer.UnLockFrameBufferPtr(buffer0));
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 1);
    EXPECT_TRUE(other.LockFrameBufferPtr(otherBuffer0));
    EXPECT_TRUE(other.UnLockFrameBufferPtr(otherBuffer0));

    // Closing gives back what is still held.
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[1]), 1);
}

TEST_F(SharedGWorldMemoryTest, AWaitIsBoundedAndALiveHolderIsRespected)
{
    SharedGWorldMemory holder;
    ASSERT_TRUE(holder.OpenReadWriteView() || holder.IsOpenWriteView());
    UInt8* held = holder.GetWriteBuffer_N(0);
    ASSERT_TRUE(holder.TryLockFrameBufferPtr(held));

    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    p3dtest::LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(writer.LockFrameBufferPtr(writer.GetWriteBuffer_N(0)));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(SharedGWorldMemory::kFrameLockWaitMs));
    EXPECT_NE(log.text().find(" code : fOk = LockWithinLimit(*semaphore, index) in "),
              std::string::npos);
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]),
              0); // not restored: holder lives
    EXPECT_TRUE(holder.UnLockFrameBufferPtr(held));
}

TEST_F(SharedGWorldMemoryTest, TheWriterRestoresALockWhoseHolderIsGone)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    ASSERT_TRUE(TakeAsAHolderThatDied());

    SharedGWorldMemory reader;
    ASSERT_TRUE(reader.OpenReadWriteView());
    EXPECT_FALSE(reader.LockFrameBufferPtr(reader.GetWriteBuffer_N(0))); // readers only wait

    p3dtest::LogCapture log;
    UInt8* buffer0 = writer.GetWriteBuffer_N(0);
    ASSERT_TRUE(writer.LockFrameBufferPtr(buffer0));
    EXPECT_NE(log.text().find("the holder of frame buffer 0 is gone; lock restored"),
              std::string::npos);
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 0);
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer0));
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 1);

    // The writer keeps its own token between frames; that does not stop the next restore.
    ASSERT_TRUE(TakeAsAHolderThatDied());
    EXPECT_TRUE(writer.LockFrameBufferPtr(buffer0));
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer0));
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 1);
}

TEST_F(SharedGWorldMemoryTest, ATokenHeldElsewhereStopsTheRestore)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    ASSERT_TRUE(TakeAsAHolderThatDied());
    // ... but its token is still held, as a live holder's is: a record lock through an open
    // of its own.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_NE(fd, -1);
    struct flock token = {};
    token.l_type = F_RDLCK;
    token.l_whence = SEEK_SET;
    token.l_start = SharedGWorldMemory::kHolderTokenOffset;
    token.l_len = 1;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &token), 0);

    EXPECT_FALSE(writer.LockFrameBufferPtr(writer.GetWriteBuffer_N(0)));
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 0);
    close(fd); // the holder dies
    EXPECT_TRUE(writer.LockFrameBufferPtr(writer.GetWriteBuffer_N(0)));
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(writer.GetWriteBuffer_N(0)));
}

TEST_F(SharedGWorldMemoryTest, AnotherThreadOfTheWriterIsALiveHolder)
{
    SharedGWorldMemory writer;
    ASSERT_TRUE(writer.IsOpenWriteView());
    UInt8* buffer1 = writer.GetWriteBuffer_N(1);
    ASSERT_TRUE(writer.TryLockFrameBufferPtr(buffer1));
    bool locked = true;
    std::thread other([&] { locked = writer.LockFrameBufferPtr(buffer1); });
    other.join();
    EXPECT_FALSE(locked);
    EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[1]), 0);
    EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer1));
}

// Holds a holder at one step of taking or giving back buffer 0's lock until the test, or the
// writer at another step, lets it go on; and keeps the highest count seen at every step.
struct LockStepScript
{
    using Step = SharedGWorldMemory::LockStep;

    static inline std::mutex mutex;
    static inline std::condition_variable changed;
    static inline Step pauseAt;
    static inline bool resumeAtWriterStep = false; // else the test lets the holder go
    static inline bool paused = false, resumed = false, holderDone = false;
    static inline int highestCount = 0;

    static void Hook(Step step, int index)
    {
        int count = SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[index]);
        std::unique_lock<std::mutex> lock(mutex);
        highestCount = std::max(highestCount, count);
        if (step == pauseAt && !paused) {
            paused = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(20), [] { return resumed; });
        } else if (step == SharedGWorldMemory::kLockStepBeforeTakeOver && resumeAtWriterStep) {
            resumed = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(20), [] { return holderDone; });
        }
    }
    static void Set(std::function<void()> change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change();
        changed.notify_all();
    }
    static bool WaitFor(const bool& flag)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return flag; });
    }
};

// A holder slowed inside either gap of its lock, with the writer waiting for that lock: one of
// them is in, never both, and the count never passes 1.
TEST_F(SharedGWorldMemoryTest, AHolderSlowedInAGapNeverSharesTheLock)
{
    using Script = LockStepScript;
    struct Case
    {
        const char* what;
        SharedGWorldMemory::LockStep pauseAt;
        bool resumeAtWriterStep;
        bool holderUnlocks; // else it locks
        bool holderSucceeds, writerLocks, restored;
    } cases[] = {
        {"token taken within the writer's grace", SharedGWorldMemory::kLockStepBeforeToken, true,
         false, true, false, false},
        {"no token when the writer looks again", SharedGWorldMemory::kLockStepBeforeToken, false,
         false, false, true, true},
        {"between its post and dropping its token", SharedGWorldMemory::kLockStepAfterPost, false,
         true, true, true, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        SharedGWorldMemory writer;
        ASSERT_TRUE(writer.IsOpenWriteView());
        SharedGWorldMemory holder; // a mapping of its own, as another process has
        ASSERT_TRUE(holder.OpenReadWriteView());
        UInt8* held = holder.GetWriteBuffer_N(0);
        if (test.holderUnlocks) {
            ASSERT_TRUE(holder.TryLockFrameBufferPtr(held));
        }
        Script::Set([&] {
            Script::pauseAt = test.pauseAt;
            Script::resumeAtWriterStep = test.resumeAtWriterStep;
            Script::paused = Script::resumed = Script::holderDone = false;
            Script::highestCount = 0;
        });
        SharedGWorldMemory::SetLockStepHook(Script::Hook);

        bool holderResult = !test.holderSucceeds;
        std::thread holderThread([&] {
            holderResult = test.holderUnlocks ? holder.UnLockFrameBufferPtr(held)
                                              : holder.LockFrameBufferPtr(held);
            Script::Set([] { Script::holderDone = true; });
        });
        ASSERT_TRUE(Script::WaitFor(Script::paused));
        p3dtest::LogCapture log;
        UInt8* buffer0 = writer.GetWriteBuffer_N(0);
        const bool writerLocked = writer.LockFrameBufferPtr(buffer0);
        Script::Set([] { Script::resumed = true; });
        holderThread.join();
        SharedGWorldMemory::SetLockStepHook(nullptr);

        EXPECT_EQ(holderResult, test.holderSucceeds);
        EXPECT_EQ(writerLocked, test.writerLocks);
        EXPECT_EQ(log.text().find("lock restored") != std::string::npos, test.restored);
        EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 0); // one is in
        if (writerLocked) {
            EXPECT_TRUE(writer.UnLockFrameBufferPtr(buffer0));
        }
        if (!test.holderUnlocks && holderResult) {
            EXPECT_TRUE(holder.UnLockFrameBufferPtr(held));
        }
        EXPECT_EQ(SemaphoreCount(SharedGWorldMemory::sSemaphoreNames[0]), 1);
        EXPECT_LE(Script::highestCount, 1);
    }
}

} // namespace
