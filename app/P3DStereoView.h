// The stereo window's monitor: at every redraw it builds the monitor image from the two eyes'
// latest frames as the monitor type says (left eye, stereo, stereo with the eyes swapped, right
// eye), draws it stretched over the view, and keeps it for the broadcast.
#pragma once

#include <QImage>
#include <QWidget>

#include "CFPtr.h"
#include "EyeColorMatcher.h"
#include "StereoEncodingList.h"

struct __CFData;
class CIContext;
class CIFilter;
class CIImage;
class NSUICICameraControls;
class NSUISegmentedControl;
class QCamGrabCGImageView;

class P3DStereoView : public QWidget
{
    Q_OBJECT

public:
    enum MonitorImageType {
        kMonitorImageType_None = 0,
        kMonitorImageType_LeftEye = 1,
        kMonitorImageType_Stereo = 2,
        kMonitorImageType_StereoSwapped = 3,
        kMonitorImageType_RightEye = 4,
    };

    explicit P3DStereoView(QWidget* parent = nullptr);
    ~P3DStereoView() override;

    // The image engine's plug-ins and the stereo filter, once per program.
    static void loadCoreImagePlugIns();

    // Outlets, borrowed from the window: the eye views, the monitor-type chooser, and the image
    // controls each eye passes through before the mux.
    void setEyes(QCamGrabCGImageView* leftEye, QCamGrabCGImageView* rightEye);
    void setMonitorImageTypeControl(NSUISegmentedControl* control) { _monitorImageType = control; }
    void setImageControls(NSUICICameraControls* controls) { mImageControls = controls; }

    // The chooser's selected segment + 1; 0 when none is selected.
    int monitorImageType() const;
    void setMonitorImageType(int type);
    // The chooser's action: the type is read at every drawing.
    void monitorImageTypeChanged(QObject* sender);

    CFPtr<CIImage> liveMonitorImage();
    CFPtr<CIImage> monitorImageMuxed();
    CFPtr<CIImage> leftEyeImage();
    CFPtr<CIImage> rightEyeImage();

    enum Eye { kLeftEye = 0, kRightEye = 1 };
    // Each eye's alignment on the monitor, held to ±64 pixels; uncovered edges are black.
    EyeOffset eyeOffset(Eye eye) const { return mOffsets[eye]; }
    void setEyeOffset(Eye eye, EyeOffset offset);
    // The right eye's colour following the left eye's; off by default.
    bool colorMatching() const { return mColorMatching; }
    void setColorMatching(bool on);
    // The right eye's gains now (1 each while matching is off).
    EyeGains rightEyeGains() const { return mColorMatching ? mMatcher.gains() : kUnitGains; }
    // Moves the gains a step toward the colour of the left eye's latest frame, when matching is
    // on and both eyes deliver; the view does this at each drawing.
    void updateColorMatch();

    // The monitor image of the last drawing (its rendered picture, shared by the screen and the
    // broadcast), or null.
    CIImage* monitorImage() const { return _monitorImage.get(); }
    // Renders the recipe once and keeps the picture as the monitor image; null clears it.
    void renderMonitorImage(CFPtr<CIImage> recipe);
    double swapEyesFloatValue() const;
    // How the stereo types combine the eyes; the Dubois red-cyan anaglyph until set.
    void setEncoding(const StereoEncoding& encoding);
    const StereoEncoding& encoding() const { return mEncoding; }

    // Builds, keeps and draws the monitor image into rect of the painter's device.
    void drawRect(QPainter& painter, const QRect& rect);

signals:
    // An eye's offset changed (a slider or an arrow key), matching was switched, or the gains
    // moved by a hundredth.
    void eyeAdjustmentChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    // Arrows move the right eye a pixel, with Shift the left eye.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Each eye's frame moved and coloured as set, then through the image controls.
    CFPtr<CIImage> eyeImage(Eye eye);
    // The offset in the camera frame's own coordinates: the image controls' mirrors come later.
    EyeOffset frameOffset(Eye eye) const;

    NSUISegmentedControl* _monitorImageType = nullptr; // borrowed
    NSUICICameraControls* mImageControls = nullptr;    // borrowed
    QCamGrabCGImageView* _leftEye = nullptr;           // borrowed
    QCamGrabCGImageView* _rightEye = nullptr;
    EyeOffset mOffsets[2];
    bool mColorMatching = false;
    EyeColorMatcher mMatcher;
    CFPtr<__CFData> mAdjusted[2]; // each eye's moved or recoloured frame, A,R,G,B
    CFPtr<CIFilter> _stereoMux;
    StereoEncoding mEncoding; // the default's key, and the filter's stored kernel
    CFPtr<CIImage> _monitorImage;
    CFPtr<__CFData> mRendered;       // the monitor image's pixels, A,R,G,B
    QSize mRenderedSize;             // and their size
    CFPtr<CIContext> mRenderContext; // renders into mRendered; made again when the size changes
    QImage mFrame;                   // the picture at the view's size in Qt's byte order
};

bool import_P3DStereoView();
