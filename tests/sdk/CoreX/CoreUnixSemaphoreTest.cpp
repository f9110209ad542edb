#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <semaphore.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "CoreUnixSemaphore.h"
#include "TestSupport.h"

namespace {

std::string UniqueName(const char* tag)
{
    const std::string name = "/p3dtest-" + std::string(tag) + "-" + std::to_string(getpid());
    sem_unlink(name.c_str());
    return name;
}

TEST(CoreUnixSemaphore, EverythingFailsWhileNotOpen)
{
    CoreUnixSemaphore semaphore;
    EXPECT_FALSE(semaphore.IsOpen());
    EXPECT_FALSE(semaphore.Wait());
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_FALSE(semaphore.TimedWait(10));
    EXPECT_FALSE(semaphore.Post());
    EXPECT_FALSE(semaphore.Close());
    int count = 5;
    EXPECT_FALSE(semaphore.GetValue(&count));
    EXPECT_FALSE(semaphore.OpenCreate(nullptr));
}

TEST(CoreUnixSemaphore, OpensWithCountOneAndRefusesASecondOpen)
{
    const std::string name = UniqueName("count");
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(name.c_str()));
    EXPECT_FALSE(semaphore.OpenCreate(name.c_str()));
    int count = -1;
    ASSERT_TRUE(semaphore.GetValue(&count));
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(semaphore.TryWait());
    EXPECT_FALSE(semaphore.TryWait()); // count 0: at once, no wait
    EXPECT_TRUE(semaphore.Post());
    EXPECT_TRUE(semaphore.Close());
    EXPECT_FALSE(semaphore.Close());

    // The named semaphore outlives the handle, with its count.
    CoreUnixSemaphore again;
    ASSERT_TRUE(again.OpenCreate(name.c_str()));
    ASSERT_TRUE(again.GetValue(&count));
    EXPECT_EQ(count, 1);
    sem_unlink(name.c_str());
}

TEST(CoreUnixSemaphore, ReportsAFailedOpen)
{
    p3dtest::LogCapture log;
    CoreUnixSemaphore semaphore;
    EXPECT_FALSE(semaphore.OpenCreate(("/" + std::string(300, 'n')).c_str()));
    EXPECT_NE(log.text().find(" code : _semaphore_id=sem_open(in_semaphore_name,O_CREAT,"
                              "global_permissions_mode,initial_semaphore_value) in "),
              std::string::npos);
}

// A user's own semaphore is created 0600; its name may be as long as /dev/shm allows after glibc's
// "sem.", and no longer.
TEST(CoreUnixSemaphore, AUsersOwnSemaphoreIsItsAloneAndItsNameIsBounded)
{
    const struct
    {
        size_t length;
        bool opens;
    } cases[] = {{CoreUnixSemaphore::max_name_length, true},
                 {CoreUnixSemaphore::max_name_length + 1, false}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.length);
        const std::string tag = "p3dtest-own-" + std::to_string(getpid()) + "-";
        const std::string name = tag + std::string(test.length - tag.size(), 'n');
        sem_unlink(name.c_str());
        p3dtest::LogCapture log;
        CoreUnixSemaphore semaphore;
        EXPECT_EQ(semaphore.OpenCreateForUser(name.c_str()), test.opens);
        struct stat info;
        if (test.opens) {
            ASSERT_EQ(stat(("/dev/shm/sem." + name).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0600u);
            sem_unlink(name.c_str());
        } else {
            EXPECT_NE(stat(("/dev/shm/sem." + name).c_str(), &info), 0);
            EXPECT_NE(log.text().find(" code : strlen(in_semaphore_name) <= max_name_length in "),
                      std::string::npos);
        }
    }
}

// A semaphore made at the user's name first by someone else, or open to others, could be held or
// posted by them: it is refused with a report that names its file and owner, and never used.
TEST(CoreUnixSemaphore, ASemaphoreNotTheUsersAloneIsRefusedByItsOwner)
{
    const struct passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const std::string user = getpwuid(geteuid())->pw_name, stranger = nobody->pw_name;
    const struct
    {
        uid_t owner;
        mode_t mode;
        std::string report;
    } cases[] = {{geteuid(), 0666, user + " with mode 666"},
                 {nobody->pw_uid, 0666, stranger + " with mode 666"},
                 {nobody->pw_uid, 0600, stranger + " with mode 600"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.report);
        const std::string name = UniqueName("planted"), file = "/dev/shm/sem." + name.substr(1);
        sem_close(sem_open(name.c_str(), O_CREAT | O_EXCL, 0600, 1));
        ASSERT_EQ(chmod(file.c_str(), test.mode), 0);
        if (chown(file.c_str(), test.owner, gid_t(-1)) != 0) {
            sem_unlink(name.c_str());
            GTEST_SKIP() << "giving a file to another user needs root";
        }
        p3dtest::LogCapture log;
        CoreUnixSemaphore semaphore;
        EXPECT_FALSE(semaphore.OpenCreateForUser(name.c_str()));
        EXPECT_FALSE(semaphore.IsOpen());
        EXPECT_NE(log.text().find(file + " belongs to " + test.report), std::string::npos);
        sem_unlink(name.c_str());
    }
}

TEST(CoreUnixSemaphore, TimedWaitEndsAtItsLimitOrWhenPosted)
{
    const std::string name = UniqueName("timed");
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(name.c_str()));
    ASSERT_TRUE(semaphore.TryWait());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(semaphore.TimedWait(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_FALSE(semaphore.TimedWait(-1));

    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        semaphore.Post();
    });
    EXPECT_TRUE(semaphore.TimedWait(10000));
    poster.join();
    sem_unlink(name.c_str());
}

} // namespace
