#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "CoreLogRateLimit.h"
#include "CoreMachDebugLog.h"
#include "TestSupport.h"

bool import_CFTypeRefClass();
bool import_CoreCString();
bool import_CoreCStringSized();
bool import_CoreMachDebugLog();
bool import_CoreMappedFile();
bool import_CorePString();
bool import_CoreUnicode();
bool import_CoreUnixPath();
bool import_CoreUnixSemaphore();
bool import_CoreUserFileName();
bool import_CoreUserFolder();
bool import_LFSRef();
bool import_LUnixPath();
bool import_TCFNumber();
bool import_TCFString();
bool import_T_CFTypeID();
bool import_T_CFTypeRef();
bool import_T_cstring();
bool import_T_numeric();

namespace {

bool Fails(int* calls)
{
    ++*calls;
    return false;
}

int ErrorCode(int* calls, int code)
{
    ++*calls;
    return code;
}

TEST(Verify, ReportsTheExactLineAndLetsTheFunctionGoOn)
{
    p3dtest::LogCapture log;
    int calls = 0;
    bool fOk = true;
    const int line = __LINE__ + 1;
    VERIFY(fOk = Fails(&calls));
    int after = 1; // the check did not leave the function
    ++after;
    const std::string text = log.text();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(fOk);
    EXPECT_EQ(after, 2);
    const std::string expected = "VERIFY FAILED:  code : fOk = Fails(&calls) in tests/sdk/CoreX/"
                                 "CoreMachDebugLogTest.cpp:" +
                                 std::to_string(line) + " (TestBody)\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST(Verify, SilentOnSuccessAndYieldsTheCheckedValue)
{
    p3dtest::LogCapture log;
    int calls = 0;
    EXPECT_TRUE(VERIFY(++calls == 1));
    EXPECT_EQ(VERIFY_ERR(ErrorCode(&calls, 0)), 0);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(log.text(), "");
}

TEST(Verify, ErrorFormReportsTheCode)
{
    p3dtest::LogCapture log;
    int calls = 0;
    const int line = __LINE__ + 1;
    const long error = VERIFY_ERR(ErrorCode(&calls, -43));
    EXPECT_EQ(error, -43);
    EXPECT_EQ(calls, 1);
    const std::string text = log.text();
    const std::string expected = "VERIFY_ERR FAILED: OSErr:-43  code : ErrorCode(&calls, -43) in "
                                 "tests/sdk/CoreX/CoreMachDebugLogTest.cpp:" +
                                 std::to_string(line) + " (TestBody)\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST(CoreMachDebugLog, FormatsAndCutsLongTextsAtItsBuffer)
{
    p3dtest::LogCapture log;
    CoreMachDebugLog("%s=%d|", "answer", 42);
    const std::string longText(3000, 'x');
    CoreMachDebugLog("%s", longText.c_str());
    const std::string text = log.text();
    EXPECT_NE(text.find("answer=42|"), std::string::npos);
    EXPECT_NE(text.find(std::string(1023, 'x')), std::string::npos);
    EXPECT_EQ(text.find(std::string(1024, 'x')), std::string::npos);
}

TEST(CoreMachDebugLog, SyslogRouteNeverEchoesEvenAfterTheEchoingRoute)
{
    {
        p3dtest::LogCapture log;
        CoreMachDebugLog("echoed\n");
        EXPECT_NE(log.text().find(std::string(g_CoreMachDebug_LogPrefix) + ": echoed"),
                  std::string::npos);
    }
    const kCoreLogOutput route = CoreMachDebugLogGetUseLogger();
    CoreMachDebugLogSetUseLogger(kCoreLogOutputSyslog);
    testing::internal::CaptureStderr();
    CoreMachDebugLog("quiet\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    CoreMachDebugLogSetUseLogger(route);
}

// Code that needs a class only by name calls its anchor; every module must have one that links.
TEST(LinkAnchors, EveryModuleHasOneThatAnswersTrue)
{
    EXPECT_TRUE(import_CFTypeRefClass());
    EXPECT_TRUE(import_CoreCString());
    EXPECT_TRUE(import_CoreCStringSized());
    EXPECT_TRUE(import_CoreMachDebugLog());
    EXPECT_TRUE(import_CoreMappedFile());
    EXPECT_TRUE(import_CorePString());
    EXPECT_TRUE(import_CoreUnicode());
    EXPECT_TRUE(import_CoreUnixPath());
    EXPECT_TRUE(import_CoreUnixSemaphore());
    EXPECT_TRUE(import_CoreUserFileName());
    EXPECT_TRUE(import_CoreUserFolder());
    EXPECT_TRUE(import_LFSRef());
    EXPECT_TRUE(import_LUnixPath());
    EXPECT_TRUE(import_TCFNumber());
    EXPECT_TRUE(import_TCFString());
    EXPECT_TRUE(import_T_CFTypeID());
    EXPECT_TRUE(import_T_CFTypeRef());
    EXPECT_TRUE(import_T_cstring());
    EXPECT_TRUE(import_T_numeric());
}

TEST(CoreException, FormatsIntoOneBufferThatTheNextExceptionReuses)
{
    CoreException first("OSErr: %d", -43);
    EXPECT_STREQ(first.mMessage, "OSErr: -43");
    CoreException second("Nil exception pointer");
    EXPECT_STREQ(first.mMessage, "Nil exception pointer");
    EXPECT_EQ(first.mMessage, second.mMessage);
    EXPECT_EQ(sizeof(CoreException), sizeof(void*));

    const std::string longText(5000, 'y');
    CoreException cut("%s", longText.c_str());
    EXPECT_EQ(strlen(cut.mMessage), 2047u);
    try {
        throw CoreException("Nil exception pointer");
    } catch (const CoreException& e) {
        EXPECT_STREQ(e.mMessage, "Nil exception pointer");
    }
}

TEST(CoreDebugBundleLogFileName, NamesTheFileAfterTheHostAndSelectsTheSystemLog)
{
    const int route = CoreMachDebugLogGetUseLogger();
    CoreMachDebugLogSetUseLogger(kCoreLogOutputFile);
    char saved[sizeof(CoreDebugBundleLogFileName::sPathName)];
    memcpy(saved, CoreDebugBundleLogFileName::sPathName, sizeof(saved));

    CoreDebugBundleLogFileName name("Parallax3D_XXX.%s.log");
    EXPECT_EQ(CoreMachDebugLogGetUseLogger(), kCoreLogOutputASL);
    EXPECT_STREQ(CoreDebugBundleLogFileName::sPathName, "Parallax3D_XXX.test_corex.log");

    // Formats that cannot be filled safely, or whose result would not fit, keep the default name,
    // or the name there was when none is given.
    CoreDebugBundleLogFileName noConversion("fixed.log", "Parallax3D_XXX.log");
    EXPECT_STREQ(CoreDebugBundleLogFileName::sPathName, "Parallax3D_XXX.log");
    CoreDebugBundleLogFileName twoConversions("%s.%d.log");
    const std::string tooLong = std::string(1020, 'a') + "%s";
    CoreDebugBundleLogFileName cut(tooLong.c_str());
    EXPECT_STREQ(CoreDebugBundleLogFileName::sPathName, "Parallax3D_XXX.log");

    memcpy(CoreDebugBundleLogFileName::sPathName, saved, sizeof(saved));
    CoreMachDebugLogSetUseLogger(kCoreLogOutput(route));
}

} // namespace

TEST(CoreLogRateLimit, ARepeatedTextGoesOutOnceASecondAndSaysHowManyWereHeldBack)
{
    CoreLogRateLimit limit;
    std::string note;
    const uint64_t t0 = 1000000;
    EXPECT_TRUE(limit.Admit("dropped frame\n", t0, note));
    EXPECT_TRUE(limit.Admit("another\n", t0 + 1, note)) << "other texts are not held";
    for (int i = 1; i <= 29; ++i)
        EXPECT_FALSE(limit.Admit("dropped frame\n", t0 + uint64_t(i) * 33333, note));
    EXPECT_TRUE(limit.Admit("dropped frame\n", t0 + 1000000, note));
    EXPECT_EQ(note, "(29 more of the next report held back)\n");
    EXPECT_TRUE(limit.Admit("dropped frame\n", t0 + 2000001, note));
    EXPECT_EQ(note, "") << "nothing held back in between";
    // Many different texts: the oldest is forgotten, never one repeating now.
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(limit.Admit("text " + std::to_string(i), t0 + 3000000 + uint64_t(i), note));
    EXPECT_FALSE(limit.Admit("text 39", t0 + 3000100, note));
}
