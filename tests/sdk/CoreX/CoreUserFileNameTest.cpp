#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "CoreMappedFile.h"
#include "CoreUserFileName.h"
#include "SCDynamicStore.h"
#include "TestSupport.h"

namespace {

// The console user's name from the lookup the code itself uses, so the expectations hold on
// any machine, with or without a seat.
std::string ExpectedConsoleUser()
{
    CFStringRef user = SCDynamicStoreCopyConsoleUser(nullptr, nullptr, nullptr);
    if (!user)
        return std::string();
    char name[256] = {};
    const bool fOk = CFStringGetCString(user, name, sizeof(name), kCFStringEncodingUTF8);
    CFRelease(user);
    return fOk ? name : "";
}

TEST(CoreUserFileName, BuildsTheChannelNameForTheConsoleUser)
{
    const std::string user = ExpectedConsoleUser();
    ASSERT_FALSE(user.empty());
    CoreUserFileName name(CFSTR("/tmp/com-red-kite-%@-Parallax3D-1.201-%s.tmp"), "640x480-ARGB");
    EXPECT_EQ(std::string(name.c_str()),
              "/tmp/com-red-kite-" + user + "-Parallax3D-1.201-640x480-ARGB.tmp");
}

// Text with no UTF-8 form (a lone surrogate) fails the conversion, which is reported by its own
// name and leaves the name as it was.
TEST(CoreUserFileName, AConversionFailureIsReportedAndChangesNothing)
{
    CoreUserFileName name(CFSTR("/%@-%s"), "kept");
    const std::string before = name.c_str();
    ASSERT_FALSE(before.empty());
    const UniChar units[] = {u'/', u'%', u'@', 0xD800};
    CFStringRef format = CFStringCreateWithCharacters(nullptr, units, 4);
    ASSERT_NE(format, nullptr);
    p3dtest::LogCapture log;
    name.CreateFileName(format, "x");
    CFRelease(format);
    const std::string text = log.text();
    EXPECT_NE(text.find("VERIFY FAILED:  code : success in "), std::string::npos) << text;
    EXPECT_EQ(name.c_str(), before);
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
    ASSERT_FALSE(user.empty());
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
