// The guided calibration against the test pattern's faulty rig, from its frames alone.
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

#include "CalibrationSession.h"
#include "RigCalibration.h"
#include "StereoRectifier.h"

namespace {

TEST(CalibrationSessionTest, TakesItsViewsByItselfAndCalibrates)
{
    CalibrationSession session;
    p3dtest::RigCalibration rig;
    ASSERT_EQ(rig.Run(session), CalibrationSnapshot::Phase::kDone);
    CalibrationSnapshot state;
    session.Snapshot(state);
    EXPECT_EQ(state.viewsTaken, 15);
    EXPECT_EQ(state.outlines.size(), 15u);
    EXPECT_EQ(state.report.pairsUsed, 15);
    EXPECT_LT(state.report.rms, 0.5);
    EXPECT_NEAR(state.report.baselineMm, TestPatternScene::kBaselineMm,
                0.02 * TestPatternScene::kBaselineMm);

    // The points the scene knows meet on one row in the rectified eyes.
    StereoRectifier rectifier;
    std::string reason;
    ASSERT_TRUE(rectifier.Prepare(state.calibration, rig.kWidth, rig.kHeight, reason)) << reason;
    std::vector<double> apart;
    for (const TestPatternPoint& point : TestPatternScene::KnownPoints()) {
        double x[2], y[2];
        for (int eye = 0; eye < 2; ++eye)
            ASSERT_TRUE(rig.scene().Project(TestPatternScene::Eye(eye), point, rig.kWidth,
                                            rig.kHeight, x[eye], y[eye]) &&
                        rectifier.RectifyPoint(eye, x[eye], y[eye], x[eye], y[eye]));
        apart.push_back(std::abs(y[0] - y[1]));
    }
    ASSERT_FALSE(apart.empty());
    std::sort(apart.begin(), apart.end());
    EXPECT_LE(apart[apart.size() / 2], 0.5);
    EXPECT_LE(apart.back(), 1.0);
}

} // namespace
