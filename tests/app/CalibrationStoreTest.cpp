// Each camera pair's calibration found again by the cameras' names, whatever they are.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>

#include "CalibrationStore.h"
#include "TestSupport.h"

namespace {

StereoCalibration Rig(double rms)
{
    StereoCalibration calibration;
    std::string reason;
    EXPECT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, calibration, reason)) << reason;
    calibration.rms = rms;
    return calibration;
}

TEST(CalibrationStoreTest, KeepsEachPairApartWhateverTheCamerasAreCalled)
{
    p3dtest::TempDir config;
    p3dtest::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().c_str());
    const std::string folder = config.path() + "/Parallax3D/calibrations";
    const std::string longName(300, 'x');
    // Names that meet in a naive file name: the separator, the escape, a path, the digest's
    // mark, nothing at all, text beyond ASCII, and long names alike for their first 250 bytes.
    const std::pair<std::string, std::string> pairs[] = {
        {"Left Cam", "Right Cam"},
        {"Right Cam", "Left Cam"},
        {"a+b", "c"},
        {"a", "b+c"},
        {"%2F", "x"},
        {"/", "x"},
        {"../../escaped", "x/../y"},
        {"~", "x"},
        {"", ""},
        {"Caméra: entrée 1", "Caméra: entrée 1 (2)"},
        {longName + "1", longName},
        {longName + "2", longName},
        {"tab\there", "new\nline"},
    };
    std::set<std::string> paths;
    for (size_t i = 0; i < std::size(pairs); ++i) {
        const auto& [left, right] = pairs[i];
        const std::string path = CalibrationStore::PathOf(left, right);
        EXPECT_EQ(path.substr(0, folder.size() + 1), folder + "/") << i;
        const std::string name = path.substr(folder.size() + 1);
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_LE(name.size() + sizeof(".partial"), 255u) << name;
        EXPECT_TRUE(paths.insert(path).second) << "pair " << i << " shares " << path;
        std::string reason;
        EXPECT_TRUE(CalibrationStore::Save(left, right, Rig(double(i)), reason)) << reason;
    }
    for (size_t i = 0; i < std::size(pairs); ++i) {
        StereoCalibration found;
        std::string reason;
        ASSERT_TRUE(CalibrationStore::Find(pairs[i].first, pairs[i].second, found, reason))
            << "pair " << i << ": " << reason;
        EXPECT_EQ(found.rms, double(i));
    }
}

TEST(CalibrationStoreTest, FindsNothingForAPairWithoutOneAndSaysWhyAFileIsUnusable)
{
    p3dtest::TempDir config;
    p3dtest::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().c_str());
    StereoCalibration found;
    std::string reason = "stale";
    EXPECT_FALSE(CalibrationStore::Find("Left Cam", "Right Cam", found, reason));
    EXPECT_EQ(reason, "");
    ASSERT_TRUE(CalibrationStore::Save("Left Cam", "Right Cam", Rig(0), reason)) << reason;
    p3dtest::WriteFile(CalibrationStore::PathOf("Left Cam", "Right Cam"), "");
    EXPECT_FALSE(CalibrationStore::Find("Left Cam", "Right Cam", found, reason));
    EXPECT_EQ(reason, "the file is empty");
}

} // namespace
