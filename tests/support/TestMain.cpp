#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "CoreMachDebugLog.h"
#include "TestSupport.h"

namespace p3dtest {

static std::string sSuiteRoot;

const std::string& SuiteRoot()
{
    return sSuiteRoot;
}

} // namespace p3dtest

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/parallax3d-test.XXXXXX";
    if (!mkdtemp(pattern.data()))
        return 2;
    p3dtest::sSuiteRoot = pattern;
    const std::string& root = p3dtest::sSuiteRoot;
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/home/.local/share").c_str(), 1);
    setenv("XDG_STATE_HOME", (root + "/home/.local/state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("PARALLAX3D_LOCAL_DOMAIN", (root + "/local").c_str(), 1);
    setenv("PARALLAX3D_SYSTEM_DOMAIN", (root + "/system").c_str(), 1);
    // Suites count reports: none may be held back as a repeat, here or in the programs started.
    setenv("PARALLAX3D_LOG_EVERY_REPORT", "1", 1);

    // Reports echo on standard error next to the test that made them (and reach the journal).
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    const int result = RUN_ALL_TESTS();
    p3dtest::RemoveTree(root);
    return result;
}
