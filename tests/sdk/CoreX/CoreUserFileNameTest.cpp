#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CoreMappedFile.h"
#include "CoreUserFileName.h"
#include "SCDynamicStore.h"
#include "TestSupport.h"

namespace {

// The name the console-user lookup must find here, or "" when logind decides it.
std::string ExpectedConsoleUser()
{
    struct stat info;
    if (stat("/run/systemd/seats/seat0", &info) == 0)
        return std::string();
    const struct passwd* user = getpwuid(getuid());
    return user ? user->pw_name : "";
}

TEST(CoreUserFileName, BuildsTheChannelNameForTheConsoleUser)
{
    const std::string user = ExpectedConsoleUser();
    if (user.empty())
        GTEST_SKIP() << "the console user is logind's to name on this machine";
    CoreUserFileName name(CFSTR("/tmp/com-red-kite-%@-Parallax3D-1.201-%s.tmp"), "640x480-ARGB");
    EXPECT_EQ(std::string(name.c_str()),
              "/tmp/com-red-kite-" + user + "-Parallax3D-1.201-640x480-ARGB.tmp");
}

TEST(CoreUserFileName, NullFormatLeavesTheNameEmpty)
{
    CoreUserFileName name(nullptr, "640x480-ARGB");
    EXPECT_STREQ(name.c_str(), "");
    name.CreateFileName(CFSTR("%@-%s"), nullptr);
    EXPECT_STREQ(name.c_str(), "");
}

TEST(CoreUserFileName, NamesOf1023BytesFitAndLongerOnesAreRefusedNotCut)
{
    const std::string user = ExpectedConsoleUser();
    if (user.empty())
        GTEST_SKIP() << "the console user is logind's to name on this machine";
    // "/" + user + "/" + text
    const std::string fits(1023 - user.size() - 2, 'f');
    CoreUserFileName name(CFSTR("/%@/%s"), fits.c_str());
    EXPECT_EQ(strlen(name.c_str()), 1023u);
    EXPECT_EQ(std::string(name.c_str()), "/" + user + "/" + fits);

    p3dtest::LogCapture log;
    const std::string tooLong(1024 - user.size() - 2, 'l');
    CoreUserFileName refused(CFSTR("/%@/%s"), tooLong.c_str());
    EXPECT_STREQ(refused.c_str(), "");
    // A later failure leaves an existing name as it was.
    name.CreateFileName(CFSTR("/%@/%s"), tooLong.c_str());
    EXPECT_EQ(strlen(name.c_str()), 1023u);
    EXPECT_NE(log.text().find(" code : length < sizeof(mFileName) in "), std::string::npos);

    // Multi-byte characters count in UTF-8 bytes.
    const std::string accents(1023 - user.size() - 2 - 1, 'a');
    CoreUserFileName utf8(CFSTR("/%@/%s\u00e9"), accents.c_str());
    EXPECT_STREQ(utf8.c_str(), "");
}

TEST(CoreUserFileName, WithoutAConsoleUserTheNameStaysEmptyAndOpensFail)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to become a user without a name";
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // A user id with no account: the lookup finds no name.
        if (setgid(54321) != 0 || setuid(54321) != 0)
            _exit(2);
        if (getpwuid(54321))
            _exit(3);
        CoreUserFileName name(CFSTR("/tmp/com-red-kite-%@-Parallax3D-1.201-%s.tmp"),
                              "640x480-ARGB");
        CoreMappedFile file;
        const bool ok = name.c_str()[0] == 0 && !file.OpenRead(name) &&
                        !file.OpenReadWrite(name, 16) && !file.CreateReadWrite(name, 16);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SCDynamicStore, ReadsTheActiveUserOfASeatFile)
{
    uid_t uid = 7;
    EXPECT_TRUE(SCParseSeatActiveUID("IS_SEAT0=1\nACTIVE=c2\nACTIVE_UID=1000\nUIDS=1000\n", &uid));
    EXPECT_EQ(uid, 1000u);
    EXPECT_TRUE(SCParseSeatActiveUID("ACTIVE_UID=0", &uid));
    EXPECT_EQ(uid, 0u);
    uid = 7;
    EXPECT_FALSE(SCParseSeatActiveUID("IS_SEAT0=1\nUIDS=1000\n", &uid));
    EXPECT_FALSE(SCParseSeatActiveUID("ACTIVE_UID=\n", &uid));
    EXPECT_FALSE(SCParseSeatActiveUID("ACTIVE_UID=12x\n", &uid));
    EXPECT_FALSE(SCParseSeatActiveUID("ACTIVE_UID=-1\n", &uid));
    EXPECT_FALSE(SCParseSeatActiveUID("ACTIVE_UID=99999999999999999999\n", &uid));
    EXPECT_FALSE(SCParseSeatActiveUID("ACTIVE_UID=4294967295\n", &uid));
    EXPECT_FALSE(SCParseSeatActiveUID(nullptr, &uid));
    EXPECT_EQ(uid, 7u);
}

} // namespace
