// Alignment without a board: the test scene through faulty rigs, its known points (not the
// features the aligner found) meeting on one row once aligned.
#include <cmath>
#include <gtest/gtest.h>

#include "EyeAligner.h"
#include "RigCalibration.h"
#include "RigEyes.h"

namespace {

using p3dtest::RigEyes;

// The alignment in use (none, then the fit) is judged on the same matches as the fit.
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
    const EyeAlignment none = EyeAlignment::Identity(RigEyes::kWidth, RigEyes::kHeight);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rig);
        const RigEyes eyes(c.rig);
        EyeAlignmentFit fit, again;
        std::string reason;
        ASSERT_TRUE(aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, &none, fit, reason)) << reason;
        EXPECT_NEAR(std::abs(fit.rollDeg), c.rollDeg, 0.2);
        EXPECT_NEAR(std::max(fit.scale, 1 / fit.scale), c.scale, 0.01);
        EXPECT_LE(fit.medianErrorPx, 0.5);
        EXPECT_GE(fit.inliers, EyeAligner::kMinimumInliers);
        p3dtest::RigCalibration::ExpectRowsMeet(fit.alignment.ToCalibration(), eyes.scene());
        EXPECT_GT(fit.appliedMedianErrorPx, 3.0) << "raw eyes are rows apart";
        ASSERT_TRUE(aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, &fit.alignment, again, reason));
        EXPECT_LE(again.appliedMedianErrorPx, 0.5) << "in use, the fit has not drifted";
    }
}

// The right camera has turned a degree more since it was calibrated: the alignment, after the
// lens and the rectification, corrects the drift.
TEST(EyeAlignerTest, AnAlignmentOverACalibrationCorrectsItsDrift)
{
    StereoCalibration rig;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, rig, reason)) << reason;
    const RigEyes eyes("vertical=6,roll=2.5,focal=3,k1=-0.1");
    EyeAlignmentFit fit;
    ASSERT_TRUE(EyeAligner().Fit(eyes.eye(0), eyes.eye(1), &rig, nullptr, fit, reason)) << reason;
    p3dtest::RigCalibration::ExpectRowsMeet(fit.alignment.ComposedWith(&rig), eyes.scene());
}

// Nothing to fit on: refused with the reason users see, the fit given untouched.
TEST(EyeAlignerTest, APlainSceneIsRefusedAndChangesNothing)
{
    RigEyes flat;
    flat.Flat(128);
    const RigEyes picture("vertical=6");
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

} // namespace
