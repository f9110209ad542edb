// The stereo window: the two eyes' views side by side, the stereo monitor under them with its
// monitor-type chooser, and the broadcast switches. Built in code; holds no logic: the document
// drives it through the outlets below.
#pragma once

#include <QMainWindow>

class NSUICICameraControls;
class NSUISegmentedControl;
class P3DBroadcastControl;
class P3DComfortBar;
class P3DEyeAlignmentControls;
class P3DStereoView;
class QActionGroup;
class QCamGrabCGImageView;
class QDoubleSpinBox;
class QLabel;
class QToolButton;
class StereoMonitor;

class P3DDocumentWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The stereo view paints the monitor and the image controls shape its chain; both borrow it.
    explicit P3DDocumentWindow(StereoMonitor* monitor, QWidget* parent = nullptr);
    ~P3DDocumentWindow() override;

    // Outlets, children of this window.
    QCamGrabCGImageView* eyeView(bool leftEye) const
    {
        return leftEye ? _grabViewLeftEye : _grabViewRightEye;
    }
    QCamGrabCGImageView* leftEyeView() const { return _grabViewLeftEye; }
    QCamGrabCGImageView* rightEyeView() const { return _grabViewRightEye; }
    P3DStereoView* stereoView() const { return _stereoView; }
    P3DBroadcastControl* broadcastControl() const { return _broadcast; }
    // A window of its own, shown on demand; the eyes' alignment is its last section.
    NSUICICameraControls* imageControls() const { return _imageControls; }
    P3DEyeAlignmentControls* eyeAlignment() const { return mEyeAlignment; }
    QAction* newAction() const { return mNewAction; }
    QAction* aboutAction() const { return mAboutAction; }
    // The stereo encodings, one checkable item each, filled by the document.
    QMenu* encodingMenu() const { return mEncodingMenu; }
    QActionGroup* encodingGroup() const { return mEncodingGroup; }
    // View menu: the guided calibration, the rectification switch (checkable), loading a
    // calibration file; the document gives them their work.
    QAction* calibrateEyesAction() const { return mCalibrateEyesAction; }
    QAction* rectifyEyesAction() const { return mRectifyEyesAction; }
    QAction* loadCalibrationAction() const { return mLoadCalibrationAction; }
    // The monitor type's chooser (segment + 1 = type) and View > Monitor's items (data = type);
    // the document keeps them in step.
    NSUISegmentedControl* monitorImageTypeControl() const { return _monitorImageType; }
    QActionGroup* monitorTypeGroup() const { return mMonitorTypeGroup; }
    // View > Size: the broadcast's sizes, checkable, data = "1280x720"; the document keeps them in
    // step.
    QActionGroup* sizeGroup() const { return mSizeGroup; }
    // The views' smallest sizes at the frame's aspect: the monitor 640 pixels wide, each eye half
    // that, so the window first shows the classic picture 1:1 and an HD one at half its size.
    void setFrameSize(QSize frame);
    // Comfort: View > Comfort Bar and View > Automatic Convergence (checkable); the bar with the
    // budget beside it under the monitor (shown by the document), and its words in the status bar.
    QAction* comfortBarAction() const { return mComfortBarAction; }
    QAction* autoConvergenceAction() const { return mAutoConvergenceAction; }
    QWidget* comfortRow() const { return mComfortRow; }
    P3DComfortBar* comfortBar() const { return mComfortBar; }
    QDoubleSpinBox* comfortBudgetBox() const { return mComfortBudgetBox; }
    QLabel* comfortStatus() const { return mComfortStatus; }
    QLabel* comfortWarning() const { return mComfortWarning; }
    // The pipeline's figures at the status bar's right end, set by the document.
    QLabel* pipelineStatus() const { return mPipelineStatus; }
    // View menu: the eyes aligned from the picture, the alignment undone, kept aligned
    // (checkable).
    QAction* alignEyesAction() const { return mAlignEyesAction; }
    QAction* undoAlignmentAction() const { return mUndoAlignmentAction; }
    QAction* keepAlignedAction() const { return mKeepAlignedAction; }

    // File > Record… (Stop Recording while one runs), File > Stream… (Stop Streaming), File >
    // Recording Options…, the Record button beside the broadcast switches (checked while a
    // recording or stream runs) and the recording's figures in the status bar; the document gives
    // them their work.
    QAction* recordAction() const { return mRecordAction; }
    QAction* streamAction() const { return mStreamAction; }
    QAction* recordOptionsAction() const { return mRecordOptionsAction; }
    QToolButton* recordButton() const { return mRecordButton; }
    QLabel* recordStatus() const { return mRecordStatus; }
    // Idle, recording a file or streaming: one at a time, and the size stays while one runs.
    void showRecording(bool running, bool stream);

signals:
    // The window is closing; the document shuts down before it goes.
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QCamGrabCGImageView* _grabViewLeftEye;
    QCamGrabCGImageView* _grabViewRightEye;
    P3DStereoView* _stereoView;
    P3DBroadcastControl* _broadcast;
    NSUISegmentedControl* _monitorImageType; // segment + 1 = monitor type
    NSUICICameraControls* _imageControls;
    P3DEyeAlignmentControls* mEyeAlignment;
    QAction* mNewAction;
    QAction* mAboutAction;
    QMenu* mEncodingMenu;
    QActionGroup* mEncodingGroup;
    QAction* mCalibrateEyesAction;
    QAction* mRectifyEyesAction;
    QAction* mLoadCalibrationAction;
    QActionGroup* mMonitorTypeGroup;
    QActionGroup* mSizeGroup;
    QAction* mComfortBarAction;
    QAction* mAutoConvergenceAction;
    QWidget* mComfortRow;
    P3DComfortBar* mComfortBar;
    QDoubleSpinBox* mComfortBudgetBox;
    QLabel* mComfortStatus;
    QLabel* mComfortWarning;
    QLabel* mPipelineStatus;
    QAction* mAlignEyesAction;
    QAction* mUndoAlignmentAction;
    QAction* mKeepAlignedAction;
    QAction* mRecordAction;
    QAction* mStreamAction;
    QAction* mRecordOptionsAction;
    QToolButton* mRecordButton;
    QLabel* mRecordStatus;
};
