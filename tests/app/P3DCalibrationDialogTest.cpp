// The guided calibration's dialog on the offscreen platform: what it tells a person at each step,
// and what Keep and Try Again do.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <set>

#include "CalibrationSession.h"
#include "P3DCalibrationDialog.h"
#include "RigCalibration.h"
#include "WidgetApplication.h"

namespace {

TEST(P3DCalibrationDialogTest, GuidesThroughTheViewsAndKeepsTheResult)
{
    p3dtest::WidgetApplication();
    P3DCalibrationDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.hintLabel()->text(), "Show the whole board to both cameras");
    EXPECT_EQ(dialog.progressLabel()->text(), "0 of 15 views");
    EXPECT_FALSE(dialog.keepButton()->isEnabled());

    std::set<QString> hints;
    p3dtest::RigCalibration rig;
    ASSERT_EQ(rig.Run(dialog.session(),
                      [&](const ArgbView& left, const ArgbView& right, double time) {
                          dialog.eyeFrames(left, right, time);
                          hints.insert(dialog.hintLabel()->text());
                      }),
              CalibrationSnapshot::Phase::kDone);
    for (const char* hint : {"Hold the board still", "Move the board to a new place"})
        EXPECT_EQ(hints.count(hint), 1u) << hint;
    dialog.eyeFrames(rig.eye(0), rig.eye(1), 100.0);
    EXPECT_EQ(dialog.progressLabel()->text(), "15 of 15 views");
    EXPECT_TRUE(dialog.resultLabel()->text().startsWith("RMS error 0."))
        << dialog.resultLabel()->text().toStdString();
    ASSERT_TRUE(dialog.keepButton()->isEnabled());

    CalibrationSnapshot state;
    dialog.session().Snapshot(state);
    StereoCalibration kept;
    QObject::connect(&dialog, &P3DCalibrationDialog::calibrationKept,
                     [&](const StereoCalibration& calibration) { kept = calibration; });
    dialog.keepButton()->click();
    EXPECT_EQ(kept, state.calibration);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(P3DCalibrationDialogTest, TryAgainDropsTheViewsTaken)
{
    p3dtest::WidgetApplication();
    P3DCalibrationDialog dialog;
    p3dtest::RigCalibration rig;
    rig.Run(dialog.session(), {}, 2 * rig.kPoseFrames);
    dialog.eyeFrames(rig.eye(0), rig.eye(1), 100.0);
    ASSERT_NE(dialog.progressLabel()->text(), "0 of 15 views");
    dialog.tryAgainButton()->click();
    EXPECT_EQ(dialog.progressLabel()->text(), "0 of 15 views");
    EXPECT_FALSE(dialog.keepButton()->isEnabled());
}

} // namespace
