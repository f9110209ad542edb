// View > Calibrate Eyes…: both eyes live with the board's corners drawn over them, what to do
// next, how many views are taken and where the board has been; then the result with its error,
// both eyes rectified with lines across them, and Keep or Try Again. Holds no logic: it paints
// what its session made.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPointF>
#include <memory>
#include <vector>

#include "ArgbView.h"
#include "CalibrationSnapshot.h"

class CalibrationSession;
class QLabel;
class QPushButton;
struct StereoCalibration;

class P3DCalibrationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit P3DCalibrationDialog(QWidget* parent = nullptr);
    ~P3DCalibrationDialog() override;

    // Both eyes' frames of this tick, seen at time_s: offered to the session, and shown.
    void eyeFrames(const ArgbView& left, const ArgbView& right, double time_s);

    CalibrationSession& session() { return *mSession; }
    // Outlets.
    QLabel* hintLabel() const { return mHint; }
    QLabel* progressLabel() const { return mProgress; }
    QLabel* resultLabel() const { return mResult; }
    QPushButton* keepButton() const { return mKeep; }
    QPushButton* tryAgainButton() const { return mTryAgain; }

signals:
    // Keep was pressed; the dialog closes after.
    void calibrationKept(const StereoCalibration& calibration);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showState();
    void keep();
    void tryAgain();
    // Where a child area lies in the dialog, to paint into.
    QRect area(const QWidget* widget) const;

    std::unique_ptr<CalibrationSession> mSession;
    CalibrationSnapshot mState;
    QImage mEyes[2];                    // each eye as shown, live or rectified
    std::vector<uint8_t> mRectified[2]; // A,R,G,B at the frame size
    bool mRectifiedShown = false;
    std::vector<QPointF> mPoints; // corners or an outline, as painted
    QWidget* mEyeAreas[2];
    QWidget* mCoverageArea;
    QLabel* mHint;
    QLabel* mProgress;
    QLabel* mResult;
    QPushButton* mKeep;
    QPushButton* mTryAgain;
};
