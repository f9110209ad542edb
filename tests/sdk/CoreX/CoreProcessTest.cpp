// Behaviour that needs a second process: shared semaphore counts, shared mappings, and the
// log routes, whose state is per process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CoreMappedFile.h"
#include "CoreUnixSemaphore.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 10000;

std::string Helper()
{
    return COREX_HELPER_PATH;
}

// A semaphore name of this test alone, removed from the system afterwards.
class NamedSemaphore
{
public:
    explicit NamedSemaphore(const char* tag)
        : mName("/p3dtest-" + std::string(tag) + "-" + std::to_string(getpid()))
    {
        sem_unlink(mName.c_str());
    }
    ~NamedSemaphore() { sem_unlink(mName.c_str()); }
    const char* name() const { return mName.c_str(); }

private:
    std::string mName;
};

TEST(CoreUnixSemaphoreProcess, WaitInOneProcessBlocksUntilPostInAnother)
{
    NamedSemaphore name("wait");
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(name.name()));
    ASSERT_TRUE(semaphore.TryWait()); // count 1 -> 0

    Child waiter({Helper(), "sem-wait", name.name()});
    ASSERT_TRUE(waiter.started());
    ASSERT_EQ(waiter.readLine(kTimeoutMs), "waiting");
    // It is in Wait now or about to be; with a count of its own it would be gone at once.
    usleep(200 * 1000);
    EXPECT_TRUE(waiter.running());

    ASSERT_TRUE(semaphore.Post());
    EXPECT_EQ(waiter.wait(kTimeoutMs), 0);
    // The post was consumed by the other process.
    EXPECT_FALSE(semaphore.TryWait());
}

TEST(CoreUnixSemaphoreProcess, PostInAnotherProcessRaisesTheSharedCount)
{
    NamedSemaphore name("post");
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(name.name()));
    ASSERT_TRUE(semaphore.TryWait());
    ASSERT_FALSE(semaphore.TryWait());

    Child poster({Helper(), "sem-post", name.name()});
    ASSERT_EQ(poster.wait(kTimeoutMs), 0);
    EXPECT_TRUE(semaphore.TryWait());

    // A joiner takes the existing count (0 now) rather than the initial 1.
    Child taker({Helper(), "sem-trywait", name.name()});
    EXPECT_EQ(taker.wait(kTimeoutMs), 3);
}

TEST(CoreMappedFileProcess, WritesAreSharedBothWays)
{
    p3dtest::TempDir dir;
    const std::string path = dir.file("shared.map");
    const size_t size = 3 * 4096 + 5;
    CoreMappedFile writer;
    ASSERT_TRUE(writer.CreateReadWrite(path.c_str(), size));
    UInt8* bytes = static_cast<UInt8*>(writer.GetBase());
    bytes[0] = 0x11;
    bytes[size - 1] = 0x7F;

    Child first({Helper(), "map-check", path, "0", "0x11"});
    EXPECT_EQ(first.wait(kTimeoutMs), 0);
    Child last({Helper(), "map-check", path, std::to_string(size - 1), "0x7F"});
    EXPECT_EQ(last.wait(kTimeoutMs), 0);
    Child wrong({Helper(), "map-check", path, "1", "0x01"});
    EXPECT_EQ(wrong.wait(kTimeoutMs), 3);

    // The other process writes through its own mapping; ours shows it without a re-map.
    Child other({Helper(), "map-write", path, std::to_string(size), "4100", "0xA5"});
    ASSERT_EQ(other.wait(kTimeoutMs), 0);
    EXPECT_EQ(bytes[4100], 0xA5);
}

// The log route runs in the helper, so each case starts with a log that has not looked for
// its file yet. HOME and XDG_STATE_HOME point into a folder of the test's own.
class LogRouteProcess : public testing::Test
{
protected:
    std::string logs() const { return dir.path() + "/state/parallax3d/Logs"; }
    std::vector<std::string> env() const { return {"XDG_STATE_HOME=" + dir.path() + "/state"}; }
    void makeLogs() const { ASSERT_EQ(system(("mkdir -p '" + logs() + "'").c_str()), 0); }

    p3dtest::TempDir dir;
};

TEST_F(LogRouteProcess, FileRouteWritesTextUnchangedToTheNamedFile)
{
    makeLogs();
    Child log({Helper(), "log", "0", "helper.log", "100% done %s %n\n"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    EXPECT_EQ(p3dtest::ReadFile(logs() + "/helper.log"), "100% done %s %n\n100% done %s %n\n");
    EXPECT_EQ(log.out(), "");
}

TEST_F(LogRouteProcess, EmptyFileNameSelectsCoreConsoleLog)
{
    makeLogs();
    Child log({Helper(), "log", "0", "-", "text\n"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    EXPECT_EQ(p3dtest::ReadFile(logs() + "/CoreConsole.log"), "text\ntext\n");
}

TEST_F(LogRouteProcess, MissingLogsFolderIsNeitherCreatedNorWrittenAndIsSearchedAgain)
{
    Child log({Helper(), "log", "0", "helper.log", "lost\n"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    struct stat info;
    EXPECT_NE(stat(logs().c_str(), &info), 0);
    EXPECT_NE(stat((dir.path() + "/state").c_str(), &info), 0);
    // The failed search reports itself on standard error only, once per message: it is tried
    // again for the second message and never comes back into the log.
    const std::string report = "VERIFY_ERR FAILED: OSErr:-43  code : FSFindFolder(domain, "
                               "kLogsFolderType, kDontCreateFolder, &sUserLogsFolder) in "
                               "sdk/CoreX/CoreMachDebugLog.cpp:";
    const size_t first = log.err().find(report);
    ASSERT_NE(first, std::string::npos) << log.err();
    EXPECT_NE(log.err().find(report, first + 1), std::string::npos);
    EXPECT_NE(log.err().find("(CoreMachDebugLogClassInitialize)\n"), std::string::npos);
}

TEST_F(LogRouteProcess, LogsPathThatIsAFileIsRefused)
{
    ASSERT_EQ(system(("mkdir -p '" + dir.path() + "/state/parallax3d'").c_str()), 0);
    p3dtest::WriteFile(logs(), "not a folder");
    Child log({Helper(), "log", "0", "helper.log", "lost\n"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    EXPECT_EQ(p3dtest::ReadFile(logs()), "not a folder");
    EXPECT_NE(log.err().find("OSErr:-120"), std::string::npos) << log.err();
}

TEST_F(LogRouteProcess, ConsoleRoutePrintsPrefixThenWritesBareTextToTheFile)
{
    makeLogs();
    Child log({Helper(), "log", "4", "helper.log", "hello\n"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    EXPECT_EQ(log.out(), "corex_helper:hello\ncorex_helper:hello\n");
    EXPECT_EQ(p3dtest::ReadFile(logs() + "/helper.log"), "hello\nhello\n");
}

TEST_F(LogRouteProcess, SystemLogRouteEchoesToStandardErrorAndWritesNoFile)
{
    makeLogs();
    Child log({Helper(), "log", "1", "helper.log", "to the journal"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    EXPECT_NE(log.err().find("to the journal"), std::string::npos) << log.err();
    struct stat info;
    EXPECT_NE(stat((logs() + "/helper.log").c_str(), &info), 0);
    EXPECT_EQ(log.out(), "");
}

TEST_F(LogRouteProcess, UnknownRouteBehavesLikeTheFileRoute)
{
    makeLogs();
    Child log({Helper(), "log", "3", "helper.log", "x\n"}, env());
    ASSERT_EQ(log.wait(kTimeoutMs), 0);
    EXPECT_EQ(p3dtest::ReadFile(logs() + "/helper.log"), "x\nx\n");
}

} // namespace
