// The guided calibration against the test pattern's faulty rig, from its frames alone.
#include <gtest/gtest.h>

#include "CalibrationSession.h"
#include "RigCalibration.h"

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

    p3dtest::RigCalibration::ExpectRowsMeet(state.calibration, rig.scene());
}

} // namespace
