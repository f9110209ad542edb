// The stereo monitor without a display: the two eyes' latest frames in, the monitor picture out.
// Both eyes are rectified when the pair has a calibration, then each is moved by its offset, its
// colour matched, shaped by the image controls' chain, and the two are combined as the monitor type
// and the encoding say. The document renders it once a tick, whatever the window does, and
// broadcasts the picture it has just rendered; the stereo view only paints it.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "ArgbView.h"
#include "CFPtr.h"
#include "CGImage.h"
#include "CICameraFilterChain.h"
#include "EyeColorMatcher.h"
#include "StereoEncodingList.h"

struct __CFData;
class CIContext;
class CIFilter;
class CIImage;
class DepthWorker;
struct DepthSnapshot;
class StereoRectifier;
struct StereoCalibration;

class StereoMonitor : public QObject
{
    Q_OBJECT

public:
    enum MonitorImageType {
        kMonitorImageType_None = 0,
        kMonitorImageType_LeftEye = 1,
        kMonitorImageType_Stereo = 2,
        kMonitorImageType_StereoSwapped = 3,
        kMonitorImageType_RightEye = 4,
        kMonitorImageType_Depth = 5,
    };
    enum Eye { kLeftEye = 0, kRightEye = 1 };

    StereoMonitor();
    ~StereoMonitor() override;

    // The image engine's plug-ins and the stereo filter, once per program.
    static void loadCoreImagePlugIns();

    // Each eye's frame of this tick, shared (not copied); null for an eye without a camera.
    // Rectified here when a calibration is set.
    void setEyeFrames(CGImageRef left, CGImageRef right);

    // The pair's calibration (copied): while set, both eyes are rectified before anything else
    // whenever both deliver frames of one size, the calibration scaled to it; null stops it.
    void setCalibration(const StereoCalibration* calibration);
    const StereoCalibration* calibration() const { return mCalibration.get(); }
    // As setCalibration with the maps made already (off the tick), used from the next frames on.
    void setCalibration(const StereoCalibration& calibration,
                        std::unique_ptr<StereoRectifier> prepared);
    // Whether this tick's frames were rectified.
    bool eyesRectified() const { return mEyesRectified; }

    // Any value outside 1…5 counts as none: no picture. Depth shows the newest map of the depth
    // worker (black of the eyes' size before the first), which each setEyeFrames feeds.
    int monitorImageType() const { return mType; }
    void setMonitorImageType(int type);
    // The worker is fed whatever the type while the comfort check or the convergence needs it.
    void setDepthAnalysis(bool on);
    bool depthAnalysis() const { return mDepthAnalysis; }
    // Null until Depth or the analysis is first asked for; the monitor owns it.
    DepthWorker* depthWorker() { return mDepthWorker.get(); }

    // Each eye's alignment on the monitor, held to ±64 pixels; uncovered edges are black.
    EyeOffset eyeOffset(Eye eye) const { return mOffsets[eye]; }
    void setEyeOffset(Eye eye, EyeOffset offset);
    // Parallax added by moving the eyes apart across on top of their offsets, split between them
    // (the left eye -px/2, the right eye px - px/2); held to ±kConvergenceShiftLimit.
    static constexpr int kConvergenceShiftLimit = 2 * EyeOffset::kLimit;
    int convergenceShift() const { return mConvergenceShift; }
    void setConvergenceShift(int px);
    // The right eye's colour following the left eye's; off by default.
    bool colorMatching() const { return mColorMatching; }
    void setColorMatching(bool on);
    // The right eye's gains now (1 each while matching is off).
    EyeGains rightEyeGains() const { return mColorMatching ? mMatcher.gains() : kUnitGains; }
    // Moves the gains a step toward the colour of the left eye's frame, when matching is on and
    // both eyes deliver; each render does this.
    void updateColorMatch();

    // The image controls shape both eyes through this chain; the controls' panel sets it.
    CICameraFilterChain& chain() { return mChain; }

    // How the stereo types combine the eyes; the Dubois red-cyan anaglyph until set.
    void setEncoding(const StereoEncoding& encoding) { mEncoding = encoding; }
    const StereoEncoding& encoding() const { return mEncoding; }

    // 1 when the eyes change places in the mux: the swapped type, or a left-right mirror (which
    // alone would turn near into far), not both.
    double swapEyesFloatValue() const;

    // Recipes of this tick's frames.
    CFPtr<CIImage> leftEyeImage() { return eyeImage(kLeftEye); }
    CFPtr<CIImage> rightEyeImage() { return eyeImage(kRightEye); }
    CFPtr<CIImage> monitorImageMuxed();
    CFPtr<CIImage> liveMonitorImage();

    // Matches the colour, then renders the live monitor image once and keeps its picture.
    void render();
    // Renders the recipe once and keeps the picture as the monitor image; null clears it.
    void renderMonitorImage(CFPtr<CIImage> recipe);
    // The picture of the last render (an image over the monitor's own pixels), or null.
    CIImage* monitorImage() const { return mMonitorImage.get(); }
    // Its pixels, A,R,G,B, width * 4 bytes a row; null without a picture.
    const uint8_t* pixels() const;
    size_t width() const { return mMonitorImage ? mRenderedWidth : 0; }
    size_t height() const { return mMonitorImage ? mRenderedHeight : 0; }

signals:
    // An eye's offset changed, matching was switched, or the gains moved by a hundredth.
    void eyeAdjustmentChanged();

private:
    // Both eyes through the calibration into frames of the monitor's own, when it fits them.
    void rectifyEyes();
    // The pixels of an eye's frame as the later stages read them: rectified, or the camera's.
    ArgbView eyePixels(Eye eye) const;
    // Each eye's frame moved and coloured as set, then through the image controls.
    CFPtr<CIImage> eyeImage(Eye eye);
    // The offset in the camera frame's own coordinates: the chain's mirrors come later.
    EyeOffset frameOffset(Eye eye) const;
    bool mirroredAcross() const { return mChain.transform().a < 0; }
    // The newest depth map's picture, or black of the eyes' size before the first.
    CFPtr<CIImage> depthImage();

    int mType = kMonitorImageType_Stereo;
    CFPtr<CGImage> mFrames[2];
    std::unique_ptr<StereoCalibration> mCalibration;
    std::unique_ptr<StereoRectifier> mRectifier; // prepared at the frames' size when first seen
    int mFaultWidth = 0, mFaultHeight = 0; // the size the fault is of: not tried again each tick
    CFPtr<__CFData> mRectified[2];         // each eye rectified, A,R,G,B
    bool mEyesRectified = false;
    EyeOffset mOffsets[2];
    int mConvergenceShift = 0;
    bool mColorMatching = false;
    EyeColorMatcher mMatcher;
    CFPtr<__CFData> mAdjusted[2]; // each eye's moved or recoloured frame, A,R,G,B
    CICameraFilterChain mChain;
    CFPtr<CIFilter> mStereoMux;
    StereoEncoding mEncoding; // the default's key, and the filter's stored kernel
    CFPtr<CIImage> mMonitorImage;
    CFPtr<__CFData> mRendered; // the monitor picture's pixels, A,R,G,B
    size_t mRenderedWidth = 0, mRenderedHeight = 0;
    CFPtr<CIContext> mRenderContext; // renders into mRendered; made again when the size changes
    std::unique_ptr<DepthWorker> mDepthWorker;
    bool mDepthAnalysis = false;
    double mDepthFocal = 0, mDepthBaseline = 0; // the worker's metric
    // Images over depth maps' pictures, each with its map: kept while anyone else holds the image
    // (and the monitor lives).
    struct DepthImage
    {
        CFPtr<CIImage> image;
        std::shared_ptr<const DepthSnapshot> map;
    };
    std::vector<DepthImage> mDepthImages;
    CFPtr<__CFData> mDepthBlack; // before the first map, A,R,G,B
};

bool import_StereoMonitor();
