// The stereo window: the two eyes' views side by side, the stereo monitor under them with its
// monitor-type chooser, and the broadcast switches. Built in code; holds no logic: the document
// drives it through its outlets.
#pragma once

#include <QMainWindow>

class NSUICICameraControls;
class NSUISegmentedControl;
class NSUIToolButton;
class P3DBroadcastControl;
class P3DStereoView;
class QActionGroup;
class QCamGrabCGImageView;

class P3DEyeAlignmentControls;

class P3DDocumentWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit P3DDocumentWindow(QWidget* parent = nullptr);
    ~P3DDocumentWindow() override;

    // Outlets, children of this window.
    QCamGrabCGImageView* _grabViewLeftEye;
    QCamGrabCGImageView* _grabViewRightEye;
    P3DStereoView* _stereoView;
    P3DBroadcastControl* _broadcast;
    NSUISegmentedControl* _monitorImageType; // segment + 1 = monitor type
    NSUICICameraControls* _imageControls;    // a window of its own, shown on demand
    P3DEyeAlignmentControls* mEyeAlignment;  // in the image controls' window
    QAction* mImageControlsAction;
    QAction* mNewAction;
    QAction* mCloseAction;
    QAction* mAboutAction;
    // The stereo encodings, one checkable item each, filled by the document.
    QMenu* mEncodingMenu;
    QActionGroup* mEncodingGroup;

signals:
    // The window is closing; the document shuts down before it goes.
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;
};
