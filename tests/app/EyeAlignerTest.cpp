// Alignment without a board: the test scene through faulty rigs, its known points (not the
// features the aligner found) meeting on one row once aligned.
#include <cmath>
#include <gtest/gtest.h>

#include "EyeAligner.h"
#include "RigCalibration.h"
#include "RigEyes.h"

namespace {

using p3dtest::RigEyes;

TEST(EyeAlignerTest, RowsOfAFaultyRigMeetWithNoBoardInView)
{
    const struct
    {
        const char* rig;
        double scale, rollDeg; // the fault the fit finds, in size
    } cases[] = {
        {"vertical=6,roll=1.5,focal=3", 1.03, 1.5},
        {"vertical=-10", 1.0, 0.0},
        {"roll=-3", 1.0, 3.0},
        {"focal=6", 1.06, 0.0},
    };
    EyeAligner aligner;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rig);
        RigEyes eyes;
        ASSERT_TRUE(eyes.SetRig(c.rig));
        eyes.Render(0);
        EyeAlignmentFit fit;
        std::string reason;
        if (!aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, nullptr, fit, reason)) {
            ADD_FAILURE() << reason;
            continue;
        }
        EXPECT_NEAR(std::abs(fit.rollDeg), c.rollDeg, 0.2);
        EXPECT_NEAR(std::max(fit.scale, 1 / fit.scale), c.scale, 0.01);
        EXPECT_LE(fit.medianErrorPx, 0.5);
        EXPECT_GE(fit.inliers, EyeAligner::kMinimumInliers);
        p3dtest::RigCalibration::ExpectRowsMeet(fit.alignment.ToCalibration(), eyes.scene());
    }
}

// A calibration that has drifted (the right camera turned a degree more since) is corrected over
// it: the alignment comes after the lens and the rectification.
TEST(EyeAlignerTest, AnAlignmentOverACalibrationCorrectsItsDrift)
{
    StereoCalibration rig;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, rig, reason)) << reason;
    const double turn = 1.0 * M_PI / 180;
    const double roll[9] = {
        std::cos(turn), -std::sin(turn), 0, std::sin(turn), std::cos(turn), 0, 0, 0, 1};
    StereoCalibration drifted = rig;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += roll[row * 3 + k] * rig.R2[size_t(k * 3 + column)];
            drifted.R2[size_t(row * 3 + column)] = sum;
        }
    RigEyes eyes;
    ASSERT_TRUE(eyes.SetRig("vertical=6,roll=1.5,focal=3,k1=-0.1"));
    eyes.Render(0);
    EyeAligner aligner;
    EyeAlignmentFit fit;
    ASSERT_TRUE(aligner.Fit(eyes.eye(0), eyes.eye(1), &drifted, nullptr, fit, reason)) << reason;
    p3dtest::RigCalibration::ExpectRowsMeet(fit.alignment.ComposedWith(&drifted), eyes.scene());
}

// Nothing to fit on: refused with the reason users see, the fit given untouched.
TEST(EyeAlignerTest, APlainSceneIsRefusedAndChangesNothing)
{
    RigEyes flat, picture;
    flat.Flat(128);
    ASSERT_TRUE(picture.SetRig("vertical=6"));
    picture.Render(0);
    std::vector<uint8_t> small(16 * 16 * 4, 90);
    const ArgbView tiny{small.data(), 16 * 4, 16, 16};
    const char* const notAPair = "the eyes are not two pictures of one size";
    const struct
    {
        const char* what;
        ArgbView left, right;
        const char* reason;
    } cases[] = {
        {"flat grey", flat.eye(0), flat.eye(1), EyeAligner::kNotEnoughDetail},
        {"a picture beside a flat grey", picture.eye(0), flat.eye(1), EyeAligner::kNotEnoughDetail},
        {"tiny", tiny, tiny, notAPair},
        {"no pixels", picture.eye(0), {nullptr, 640 * 4, 640, 480}, notAPair},
        {"two sizes", picture.eye(0), {picture.eye(1).pixels, 640 * 4, 640, 240}, notAPair},
    };
    EyeAligner aligner;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EyeAlignmentFit fit;
        fit.inliers = -7;
        std::string reason;
        EXPECT_FALSE(aligner.Fit(c.left, c.right, nullptr, nullptr, fit, reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(fit.inliers, -7);
    }
}

TEST(EyeAlignerTest, TheAlignmentInUseIsJudgedOnTheSameMatches)
{
    RigEyes eyes;
    ASSERT_TRUE(eyes.SetRig("vertical=6,roll=1.5,focal=3"));
    eyes.Render(0);
    EyeAligner aligner;
    EyeAlignmentFit first, again;
    std::string reason;
    const EyeAlignment none = EyeAlignment::Identity(RigEyes::kWidth, RigEyes::kHeight);
    ASSERT_TRUE(aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, &none, first, reason)) << reason;
    EXPECT_GT(first.appliedMedianErrorPx, 3.0) << "raw eyes are rows apart";
    ASSERT_TRUE(aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, &first.alignment, again, reason));
    EXPECT_LE(again.appliedMedianErrorPx, 0.5) << "in use, the fit has not drifted";
}

} // namespace
