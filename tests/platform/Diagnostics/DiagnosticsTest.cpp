#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "CoreMachDebugLog.h"
#include "Diagnostics.h"

namespace {

std::vector<std::string> sLines;

void Collect(const char* in_line)
{
    sLines.push_back(in_line);
}

// Each test starts with its own sink and gives the program's back, the foundation log's.
class Diagnostics : public testing::Test
{
protected:
    void SetUp() override
    {
        sLines.clear();
        DiagnosticsSetSink(Collect);
    }
    void TearDown() override { DiagnosticsSetSink(CoreMachDebugLogString); }
};

TEST_F(Diagnostics, ChecksReportOnlyFailuresWithFileLineAndFunctionAndHandTheValueBack)
{
    EXPECT_TRUE(DIAG_CHECK(1 + 1 == 2));
    EXPECT_EQ(DIAG_CHECK_ERR(0), 0);
    EXPECT_TRUE(sLines.empty());

    const int line = __LINE__ + 1;
    EXPECT_FALSE(DIAG_CHECK(sLines.size() > 5));
    EXPECT_EQ(DIAG_CHECK_ERR(-EINVAL), -EINVAL);
    DIAG_REPORT("camera %s: %d frames dropped", "Left", 3);
    const auto where = [](int at) {
        return " in tests/platform/Diagnostics/DiagnosticsTest.cpp:" + std::to_string(at) +
               " (TestBody)\n";
    };
    ASSERT_EQ(sLines.size(), 3u);
    EXPECT_EQ(sLines[0], "VERIFY FAILED:  code : sLines.size() > 5" + where(line));
    EXPECT_EQ(sLines[1], "VERIFY_ERR FAILED: OSErr:-22  code : -EINVAL" + where(line + 1));
    EXPECT_EQ(sLines[2], "camera Left: 3 frames dropped" + where(line + 2));
}

TEST_F(Diagnostics, LongTextsAreCutButKeepWhereTheyCameFrom)
{
    DIAG_REPORT("%s", std::string(5000, 'x').c_str());
    ASSERT_EQ(sLines.size(), 1u);
    EXPECT_LT(sLines[0].size(), 1280u);
    EXPECT_NE(sLines[0].find("xxx in tests/platform/Diagnostics/DiagnosticsTest.cpp:"),
              std::string::npos);
    EXPECT_EQ(sLines[0].back(), '\n');
}

TEST_F(Diagnostics, WithoutASinkTheSystemLogEchoesOnStandardError)
{
    DiagnosticsSetSink(nullptr);
    testing::internal::CaptureStderr();
    DIAG_REPORT("to the journal");
    const std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_NE(
        echoed.find(std::string(program_invocation_short_name) + ": to the journal in tests/"),
        std::string::npos)
        << echoed;
    EXPECT_TRUE(sLines.empty());
}

TEST_F(Diagnostics, TheFoundationLogTakesThemWhenItIsLinked)
{
    TearDown(); // the sink the foundation library set when the program started
    const kCoreLogOutput route = CoreMachDebugLogGetUseLogger();
    CoreMachDebugLogSetUseLogger(kCoreLogOutputConsole); // "prefix:text" on standard output
    testing::internal::CaptureStdout();
    DIAG_CHECK(false);
    const std::string printed = testing::internal::GetCapturedStdout();
    CoreMachDebugLogSetUseLogger(route);
    EXPECT_EQ(printed.rfind(
                  std::string(g_CoreMachDebug_LogPrefix) + ":VERIFY FAILED:  code : false in ", 0),
              0u)
        << printed;
}

} // namespace
