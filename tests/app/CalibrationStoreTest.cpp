// Each camera pair's calibration found again by the cameras' names, whatever they are.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>

#include "CalibrationStore.h"
#include "TestSupport.h"

namespace {

// Names that meet in a naive file name: the separator, the escape, a path, the digest's mark,
// nothing at all, text beyond ASCII, control characters, and long names alike for 250 bytes.
TEST(CalibrationStoreTest, KeepsEachPairApartWhateverTheCamerasAreCalled)
{
    p3dtest::TempDir config;
    p3dtest::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().c_str());
    const std::string folder = config.path() + "/Parallax3D/calibrations/";
    const std::string longName(300, 'x');
    const std::pair<std::string, std::string> pairs[] = {{"Left Cam", "Right Cam"},
                                                         {"Right Cam", "Left Cam"},
                                                         {"a+b", "c"},
                                                         {"a", "b+c"},
                                                         {"%2F", "x"},
                                                         {"/", "x"},
                                                         {"../../escaped", "x/../y"},
                                                         {"~", "x"},
                                                         {"", ""},
                                                         {"Caméra: entrée", "Caméra: entrée (2)"},
                                                         {"tab\there", "new\nline"},
                                                         {longName + "1", longName},
                                                         {longName + "2", longName}};
    StereoCalibration calibration;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, calibration, reason)) << reason;
    EXPECT_FALSE(CalibrationStore::Find("Left Cam", "Right Cam", calibration, reason));
    EXPECT_EQ(reason, "") << "no calibration yet is no fault";
    std::set<std::string> paths;
    for (size_t i = 0; i < std::size(pairs); ++i) {
        const std::string path = CalibrationStore::PathOf(pairs[i].first, pairs[i].second);
        const std::string name = path.substr(folder.size());
        EXPECT_EQ(path.substr(0, folder.size()), folder) << i;
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_LE(name.size() + sizeof(".partial"), 255u) << name;
        EXPECT_TRUE(paths.insert(path).second) << "pair " << i << " shares " << path;
        calibration.rms = double(i);
        EXPECT_TRUE(CalibrationStore::Save(pairs[i].first, pairs[i].second, calibration, reason))
            << reason;
    }
    for (size_t i = 0; i < std::size(pairs); ++i) {
        ASSERT_TRUE(CalibrationStore::Find(pairs[i].first, pairs[i].second, calibration, reason))
            << "pair " << i << ": " << reason;
        EXPECT_EQ(calibration.rms, double(i));
    }
    p3dtest::WriteFile(CalibrationStore::PathOf("Left Cam", "Right Cam"), "");
    EXPECT_FALSE(CalibrationStore::Find("Left Cam", "Right Cam", calibration, reason));
    EXPECT_EQ(reason, "the file is empty");
}

} // namespace
