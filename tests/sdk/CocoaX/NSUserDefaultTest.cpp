// Preferences by kind, through the real settings file of the suite's own home.
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "NSUserDefault.h"
#include "TestSupport.h"

namespace {

// XDG_CONFIG_HOME is the suite's own (TestMain).
class Preferences : public testing::Test
{
protected:
    void SetUp() override
    {
        p3dtest::RemoveTree(Folder());
        mkdir((p3dtest::SuiteRoot() + "/config").c_str(), 0700);
        mkdir(Folder().c_str(), 0700);
    }
    void TearDown() override { p3dtest::RemoveTree(Folder()); }
    static std::string Folder() { return p3dtest::SuiteRoot() + "/config/Parallax3D"; }
    static std::string File() { return Folder() + "/Parallax3D.conf"; }
    static int Number(const char* in_key, int in_default)
    {
        return NSUserDefaultLoadKind<NSNumber>(in_key, NSNumber(in_default)).intValue();
    }
    static std::string Text(const char* in_key)
    {
        return NSUserDefaultLoadKind<NSString>(in_key, NSString("default")).toStdString();
    }
};

TEST_F(Preferences, ValuesComeBackByKindAndFirstLaunchGivesTheDefaults)
{
    EXPECT_EQ(Number("_allowCameraButton", 1), 1);
    EXPECT_EQ(Number("_rebroadcastButton", 0), 0);
    EXPECT_EQ(Text("_exposureSlider"), "default");

    ASSERT_TRUE(NSUserDefaultSave(0, "_allowCameraButton"));
    ASSERT_TRUE(NSUserDefaultSave(1, "_rebroadcastButton"));
    const NSString exposure("0.25");
    ASSERT_TRUE(NSUserDefaultSaveObject(&exposure, "_exposureSlider"));
    const NSString name("Caméra ü");
    ASSERT_TRUE(NSUserDefaultSaveObject(&name, "_cameraName"));
    EXPECT_EQ(Number("_allowCameraButton", 1), 0);
    EXPECT_EQ(Number("_rebroadcastButton", 0), 1);
    EXPECT_EQ(Text("_exposureSlider"), "0.25");
    EXPECT_EQ(Text("_cameraName"), "Caméra ü");
    // A text that is no number is not a number: the default stands.
    EXPECT_EQ(Number("_cameraName", 7), 7);
    // The file is where other programs of the user look for it.
    EXPECT_NE(p3dtest::ReadFile(File()).find("_rebroadcastButton=1"), std::string::npos);
}

TEST_F(Preferences, WrongKindsAndGarbageCountAsAbsent)
{
    struct Case
    {
        const char* what;
        std::string file;
        int allow;
        int rebroadcast;
    };
    const Case cases[] = {
        {"a word where a number belongs",
         "[General]\n_rebroadcastButton=banana\n_allowCameraButton=0\n", 0, 0},
        {"numbers with trailing junk and lists",
         "[General]\n_rebroadcastButton=1x\n_allowCameraButton=1, 2\n", 1, 0},
        {"not a number", "[General]\n_rebroadcastButton=nan\n_allowCameraButton=inf\n", 1, 0},
        {"garbage", std::string("\x00\xff\x01[[[=\n==\n", 12), 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p3dtest::WriteFile(File(), c.file);
        EXPECT_EQ(Number("_allowCameraButton", 1), c.allow);
        EXPECT_EQ(Number("_rebroadcastButton", 0), c.rebroadcast);
    }
}

TEST_F(Preferences, HandEditedNumbersOfAnySizeGiveIntsHeldToTheIntRange)
{
    const std::pair<const char*, int> cases[] = {
        {"1e10", INT_MAX}, {"-1e10", INT_MIN}, {"-2.9", -2}};
    for (const auto& [stored, value] : cases) {
        p3dtest::WriteFile(File(), std::string("[General]\n_rebroadcastButton=") + stored + "\n");
        EXPECT_EQ(Number("_rebroadcastButton", 7), value) << stored;
    }
    EXPECT_EQ(NSNumber(std::nan("")).intValue(), 0);
}

TEST_F(Preferences, MissingArgumentsAndUnwritableFilesAreReportedAndStoreNothing)
{
    {
        p3dtest::LogCapture log;
        const NSString text("x");
        EXPECT_FALSE(NSUserDefaultSaveObject(static_cast<const NSString*>(nullptr), "_key"));
        EXPECT_FALSE(NSUserDefaultSaveObject(&text, nullptr));
        EXPECT_EQ(Number(nullptr, 3), 3);
        const std::string reported = log.text();
        EXPECT_NE(reported.find(" code : inObject in "), std::string::npos) << reported;
        EXPECT_NE(reported.find(" code : inValueName in "), std::string::npos);
        EXPECT_NE(reported.find("(NSUserDefaultSaveObject)"), std::string::npos);
        EXPECT_NE(reported.find("(NSUserDefaultLoadKind)"), std::string::npos);
    }
    EXPECT_EQ(Text("_key"), "default");

    // A settings file that cannot be written, even by root: a folder in its place.
    ASSERT_EQ(mkdir(File().c_str(), 0700), 0);
    EXPECT_EQ(Number("_rebroadcastButton", 0), 0);
    p3dtest::LogCapture log;
    EXPECT_FALSE(NSUserDefaultSave(1, "_rebroadcastButton"));
    EXPECT_FALSE(NSUserDefaultSave(0, "_rebroadcastButton"));
    const std::string reported = log.text();
    const size_t first = reported.find("cannot be written");
    ASSERT_NE(first, std::string::npos) << reported;
    EXPECT_EQ(reported.find("cannot be written", first + 1), std::string::npos); // once
}

} // namespace
