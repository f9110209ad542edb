// Each camera pair's calibration found again by the cameras' names, whatever they are.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>

#include "CalibrationStore.h"
#include "EyeAlignment.h"
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

// A pair's alignment sits beside its calibration under the same name; undoing it leaves the
// calibration, and an alignment's file that is a calibration with a lens is refused as one.
TEST(CalibrationStoreTest, AnAlignmentIsKeptBesideTheCalibrationAndForgottenAlone)
{
    p3dtest::TempDir config;
    p3dtest::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().c_str());
    StereoCalibration rig, found;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, rig, reason)) << reason;
    EyeAlignment alignment = EyeAlignment::Identity(640, 480);
    alignment.H[1][5] = 3.5; // the right eye 3.5 px down
    ASSERT_TRUE(CalibrationStore::Save("L", "R", rig, reason)) << reason;
    ASSERT_TRUE(CalibrationStore::Save("L", "R", alignment.ToCalibration(), reason,
                                       CalibrationStore::kAlignments))
        << reason;
    EXPECT_EQ(CalibrationStore::PathOf("L", "R", CalibrationStore::kAlignments),
              config.path() + "/Parallax3D/alignments/L+R.yml");

    EyeAlignment back;
    ASSERT_TRUE(CalibrationStore::Find("L", "R", found, reason, CalibrationStore::kAlignments));
    ASSERT_TRUE(EyeAlignment::FromCalibration(found, back, reason)) << reason;
    EXPECT_LE(alignment.VerticalChange(back), 1e-9);
    EXPECT_FALSE(EyeAlignment::FromCalibration(rig, back, reason)) << "a lens and a baseline";
    EXPECT_LE(alignment.VerticalChange(back), 1e-9) << "unchanged";

    EXPECT_TRUE(CalibrationStore::Remove("L", "R", CalibrationStore::kAlignments));
    EXPECT_FALSE(CalibrationStore::Find("L", "R", found, reason, CalibrationStore::kAlignments));
    EXPECT_EQ(reason, "");
    EXPECT_TRUE(CalibrationStore::Find("L", "R", found, reason)) << reason;
    EXPECT_TRUE(CalibrationStore::Remove("L", "R", CalibrationStore::kAlignments)) << "none left";
}

} // namespace
