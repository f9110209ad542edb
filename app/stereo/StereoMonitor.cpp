#include "StereoMonitor.h"

#include <algorithm>
#include <cmath>

#include "CFCollections.h"
#include "CFNumber.h"
#include "CIContext.h"
#include "CIImage.h"
#include "CIORBStereoMuxFilter.h"
#include "CIPlugIn.h"
#include "CoreMachDebugLog.h"
#include "DepthWorker.h"
#include "StereoCalibration.h"
#include "StereoPacking.h"
#include "StereoRectifier.h"

namespace {

constexpr const char* kLoad = "+[P3DStereoView loadCoreImagePlugIns]";
// Larger recipes are refused rather than given gigabytes of pixels.
constexpr double kLargestSide = 8192;

// Pixels start on a cache line, so that the engine's wide loads never straddle two (the tick
// with rectified eyes measured half a millisecond slower without).
constexpr CFIndex kPixelAlignment = 64;

// Pixel memory of that many zero bytes from PixelBase on; images made over it keep it alive.
CFPtr<__CFData> PixelStore(CFIndex bytes)
{
    CFPtr<__CFData> store = CFPtr<__CFData>::Adopt(CFDataCreateMutable(nullptr, 0));
    CFDataSetLength(store.get(), bytes + kPixelAlignment);
    return store;
}

// Whether the store is one of that many bytes.
bool StoreHolds(const CFPtr<__CFData>& store, CFIndex bytes)
{
    return store && CFDataGetLength(store.get()) == bytes + kPixelAlignment;
}

UInt8* PixelBase(const CFPtr<__CFData>& store)
{
    UInt8* bytes = CFDataGetMutableBytePtr(store.get());
    return bytes +
           (kPixelAlignment - CFIndex(uintptr_t(bytes) % kPixelAlignment)) % kPixelAlignment;
}

// A frame's pixels; none when it has no memory of its own.
ArgbView FramePixels(CGImageRef frame)
{
    if (!frame || !CGImageGetPixelBase(frame))
        return {};
    return {static_cast<const uint8_t*>(CGImageGetPixelBase(frame)), CGImageGetBytesPerRow(frame),
            int(CGImageGetWidth(frame)), int(CGImageGetHeight(frame))};
}

} // namespace

void StereoMonitor::loadCoreImagePlugIns()
{
    static const bool sLoaded = [] {
        CIPlugIn::loadAllPlugIns();
        VERIFY_TEXT(kLoad, "import_CIORBStereoMuxFilter(YES)", import_CIORBStereoMuxFilter(true));
        return true;
    }();
    (void)sLoaded;
}

StereoMonitor::StereoMonitor() : mRectifier(std::make_unique<StereoRectifier>())
{
    loadCoreImagePlugIns();
    mEncoding.key = StereoEncodingList::kDefaultKey;
    mStereoMux = CIFilter::filterWithName(kCIORBStereoMuxFilter_FilterName);
    if (mStereoMux)
        mStereoMux->setDefaults();
}

StereoMonitor::~StereoMonitor()
{
    // The one figure of the worker's speed with the whole program running.
    if (mDepthWorker)
        CoreMachDebugLog("depth maps at the end: %.1f a second", mDepthWorker->MapsPerSecond());
}

void StereoMonitor::setEyeFrames(CGImageRef left, CGImageRef right)
{
    mFrames[kLeftEye] = CFPtr<CGImage>(left);
    mFrames[kRightEye] = CFPtr<CGImage>(right);
    rectifyEyes();
    if (!mDepthWorker || (mType != kMonitorImageType_Depth && !mDepthAnalysis))
        return;
    // Millimetres only for rectified eyes, whose rows and focal length the calibration made.
    const double focal = mEyesRectified ? mRectifier->focalLength() : 0.0;
    const double baseline =
        mEyesRectified ? std::hypot(mCalibration->T[0], mCalibration->T[1], mCalibration->T[2])
                       : 0.0;
    if (focal != mDepthFocal || baseline != mDepthBaseline) {
        mDepthFocal = focal;
        mDepthBaseline = baseline;
        mDepthWorker->SetMetric(focal, baseline);
    }
    mDepthWorker->Feed(eyePixels(kLeftEye), eyePixels(kRightEye));
}

void StereoMonitor::setMonitorImageType(int type)
{
    mType = type;
    if (type == kMonitorImageType_Depth && !mDepthWorker)
        mDepthWorker = std::make_unique<DepthWorker>();
}

void StereoMonitor::setDepthAnalysis(bool on)
{
    mDepthAnalysis = on;
    if (on && !mDepthWorker)
        mDepthWorker = std::make_unique<DepthWorker>();
}

void StereoMonitor::setCalibration(const StereoCalibration* calibration)
{
    mCalibration = calibration ? std::make_unique<StereoCalibration>(*calibration) : nullptr;
    mRectifier = std::make_unique<StereoRectifier>();
    mFaultWidth = mFaultHeight = 0;
    rectifyEyes();
}

void StereoMonitor::setCalibration(const StereoCalibration& calibration,
                                   std::unique_ptr<StereoRectifier> prepared)
{
    mCalibration = std::make_unique<StereoCalibration>(calibration);
    mRectifier = std::move(prepared);
    mFaultWidth = mFaultHeight = 0;
}

void StereoMonitor::rectifyEyes()
{
    mEyesRectified = false;
    const ArgbView frames[2] = {FramePixels(mFrames[kLeftEye].get()),
                                FramePixels(mFrames[kRightEye].get())};
    // Both eyes or neither: a rectified eye beside a raw one shares no rows with it.
    if (!mCalibration || !frames[0].pixels || !frames[1].pixels ||
        frames[0].width != frames[1].width || frames[0].height != frames[1].height)
        return;
    const int width = frames[0].width, height = frames[0].height;
    if (mRectifier->width() != width || mRectifier->height() != height) {
        if (width == mFaultWidth && height == mFaultHeight)
            return;
        std::string reason;
        if (!mRectifier->Prepare(*mCalibration, width, height, reason)) {
            mFaultWidth = width;
            mFaultHeight = height;
            CoreMachDebugLog("cannot rectify the eyes at %dx%d: %s", width, height, reason.c_str());
            return;
        }
        mFaultWidth = mFaultHeight = 0;
    }
    const size_t rowBytes = size_t(width) * 4;
    for (CFPtr<__CFData>& store : mRectified)
        if (!StoreHolds(store, CFIndex(rowBytes * size_t(height))))
            store = PixelStore(CFIndex(rowBytes * size_t(height)));
    mEyesRectified =
        mRectifier->RectifyBoth(frames[kLeftEye], PixelBase(mRectified[kLeftEye]),
                                frames[kRightEye], PixelBase(mRectified[kRightEye]), rowBytes);
}

ArgbView StereoMonitor::eyePixels(Eye eye) const
{
    if (!mEyesRectified)
        return FramePixels(mFrames[eye].get());
    return {PixelBase(mRectified[eye]), size_t(mRectifier->width()) * 4, mRectifier->width(),
            mRectifier->height()};
}

void StereoMonitor::setEyeOffset(Eye eye, EyeOffset offset)
{
    offset = offset.clamped();
    if (mOffsets[eye] == offset)
        return;
    mOffsets[eye] = offset;
    emit eyeAdjustmentChanged();
}

void StereoMonitor::setColorMatching(bool on)
{
    if (mColorMatching == on)
        return;
    mColorMatching = on;
    mMatcher.reset();
    emit eyeAdjustmentChanged();
}

void StereoMonitor::setConvergenceShift(int px)
{
    mConvergenceShift = std::clamp(px, -kConvergenceShiftLimit, kConvergenceShiftLimit);
}

EyeOffset StereoMonitor::frameOffset(Eye eye) const
{
    EyeOffset offset = mOffsets[eye];
    offset.x +=
        eye == kLeftEye ? -mConvergenceShift / 2 : mConvergenceShift - mConvergenceShift / 2;
    if (mirroredAcross())
        offset.x = -offset.x;
    if (mChain.transform().d < 0)
        offset.y = -offset.y;
    return offset;
}

void StereoMonitor::updateColorMatch()
{
    const ArgbView left = eyePixels(kLeftEye), right = eyePixels(kRightEye);
    if (!mColorMatching || !left.pixels || !right.pixels || left.width != right.width ||
        left.height != right.height)
        return;
    EyeRect leftArea, rightArea;
    EyeOverlap(left.width, left.height, frameOffset(kLeftEye), frameOffset(kRightEye), leftArea,
               rightArea);
    // Every fourth pixel each way: a sixteenth of the frame says as much about its colour.
    constexpr int kStep = 4;
    const EyeGains before = mMatcher.gains();
    mMatcher.update(EyeChannelMeans(left.pixels, left.rowBytes, leftArea, kStep),
                    EyeChannelMeans(right.pixels, right.rowBytes, rightArea, kStep));
    // The panel shows the gains in hundredths: it hears of a change it can show.
    for (size_t c = 0; c < 3; ++c)
        if (std::lround(before[c] * 100) != std::lround(mMatcher.gains()[c] * 100)) {
            emit eyeAdjustmentChanged();
            break;
        }
}

CFPtr<CIImage> StereoMonitor::eyeImage(Eye eye)
{
    CGImageRef frame = mFrames[eye].get();
    if (!frame)
        return nullptr;
    const EyeOffset offset = frameOffset(eye);
    const EyeGains gains = eye == kRightEye ? rightEyeGains() : kUnitGains;
    const ArgbView source = eyePixels(eye);
    CFPtr<CIImage> image;
    if (offset == EyeOffset() && gains == kUnitGains) {
        image =
            mEyesRectified
                ? CIImage::imageWithARGBMemory(source.pixels, source.rowBytes, size_t(source.width),
                                               size_t(source.height), mRectified[eye].get())
                : CIImage::imageWithCGImage(frame);
    } else if (source.pixels) {
        const size_t width = size_t(source.width), height = size_t(source.height);
        const CFIndex bytes = CFIndex(width * height * 4);
        CFPtr<__CFData>& adjusted = mAdjusted[eye];
        if (!StoreHolds(adjusted, bytes))
            adjusted = PixelStore(bytes);
        UInt8* pixels = PixelBase(adjusted);
        if (AdjustEyeFrame(source.pixels, source.rowBytes, pixels, width * 4, int(width),
                           int(height), offset, gains))
            image = CIImage::imageWithARGBMemory(pixels, width * 4, width, height, adjusted.get());
    }
    return image ? mChain.filteredImage(image.get()) : image;
}

double StereoMonitor::swapEyesFloatValue() const
{
    const bool swapped = mType == kMonitorImageType_StereoSwapped;
    return swapped != mirroredAcross() ? 1.0 : 0.0;
}

CFPtr<CIImage> StereoMonitor::monitorImageMuxed()
{
    CFPtr<CIImage> left = leftEyeImage();
    CFPtr<CIImage> right = rightEyeImage();
    if (!left || !right)
        return left ? left : right;
    const double swap = swapEyesFloatValue();
    if (mEncoding.kind != StereoEncoding::Kind::kAnaglyph) {
        CFPtr<CIImage> packed =
            StereoPackedImage(left.get(), right.get(), mEncoding.kind, swap > 0.5);
        return packed ? packed : right;
    }
    if (!mStereoMux)
        return right;
    // No kernel of the encoding's own: the filter's stored one.
    mStereoMux->setValue(mEncoding.kernel.get(), kCIORBStereoMuxFilter_inputKernel);
    mStereoMux->setValue(right.get(), kCIInputImageKey);
    mStereoMux->setValue(left.get(), kCIORBStereoMuxFilter_inputLeftImage);
    CFNumberRef swapNumber = CFNumberCreate(nullptr, kCFNumberDoubleType, &swap);
    mStereoMux->setValue(swapNumber, kCIORBStereoMuxFilter_inputSwapEyes);
    CFRelease(swapNumber);
    CFPtr<CIImage> stereo = mStereoMux->outputImage();
    return stereo ? stereo : right;
}

CFPtr<CIImage> StereoMonitor::liveMonitorImage()
{
    switch (mType) {
    case kMonitorImageType_LeftEye:
        return leftEyeImage();
    case kMonitorImageType_Stereo:
    case kMonitorImageType_StereoSwapped:
        return monitorImageMuxed();
    case kMonitorImageType_RightEye:
        return rightEyeImage();
    case kMonitorImageType_Depth:
        return depthImage();
    default:
        return nullptr;
    }
}

CFPtr<CIImage> StereoMonitor::depthImage()
{
    // Maps whose images nobody else holds go back to the worker's pool; the newest stays.
    if (!mDepthImages.empty()) {
        const auto older = mDepthImages.end() - 1;
        mDepthImages.erase(std::remove_if(mDepthImages.begin(), older,
                                          [](const DepthImage& shown) {
                                              return CFGetRetainCount(shown.image.get()) == 1;
                                          }),
                           older);
    }
    const std::shared_ptr<const DepthSnapshot> latest =
        mDepthWorker ? mDepthWorker->Latest() : nullptr;
    if (latest && (mDepthImages.empty() || mDepthImages.back().map != latest)) {
        CFPtr<CIImage> image =
            CIImage::imageWithARGBMemory(latest->picture.data(), size_t(latest->width) * 4,
                                         size_t(latest->width), size_t(latest->height), nullptr);
        if (!image)
            return nullptr;
        mDepthImages.push_back({image, latest});
    }
    if (latest)
        return mDepthImages.back().image;
    const ArgbView eye = mFrames[kLeftEye] ? eyePixels(kLeftEye) : eyePixels(kRightEye);
    if (!eye.pixels)
        return nullptr;
    const size_t width = size_t(eye.width), height = size_t(eye.height);
    const CFIndex bytes = CFIndex(width * height * 4);
    if (!StoreHolds(mDepthBlack, bytes)) {
        mDepthBlack = PixelStore(bytes);
        UInt8* pixels = PixelBase(mDepthBlack);
        for (CFIndex i = 0; i < bytes; i += 4)
            pixels[i] = 0xFF;
    }
    return CIImage::imageWithARGBMemory(PixelBase(mDepthBlack), width * 4, width, height,
                                        mDepthBlack.get());
}

void StereoMonitor::render()
{
    updateColorMatch();
    renderMonitorImage(liveMonitorImage());
}

void StereoMonitor::renderMonitorImage(CFPtr<CIImage> recipe)
{
    const CGRect extent = recipe ? recipe->extent() : CGRectZero;
    if (!recipe || extent.size.width < 1 || extent.size.height < 1 ||
        extent.size.width > kLargestSide || extent.size.height > kLargestSide) {
        mMonitorImage = nullptr;
        return;
    }
    const size_t width = size_t(extent.size.width), height = size_t(extent.size.height);
    const size_t rowBytes = width * 4;
    if (width != mRenderedWidth || height != mRenderedHeight || !mRenderContext) {
        mRenderedWidth = width;
        mRenderedHeight = height;
        mRendered = PixelStore(CFIndex(rowBytes * height));
        mRenderContext =
            CIContext::contextWithARGBMemory(PixelBase(mRendered), rowBytes, width, height);
    }
    if (!mRenderContext || !mRenderContext->drawImage(recipe.get(), CGPointMake(0, 0), extent)) {
        mMonitorImage = nullptr;
        return;
    }
    // The screen and the broadcast share this one rendering: the monitor image kept is the
    // picture drawn, not the recipe, so it is evaluated once a tick.
    mMonitorImage = CIImage::imageWithARGBMemory(PixelBase(mRendered), rowBytes, width, height,
                                                 mRendered.get());
}

const uint8_t* StereoMonitor::pixels() const
{
    return mMonitorImage ? PixelBase(mRendered) : nullptr;
}

bool import_StereoMonitor()
{
    return import_CICameraFilterChain();
}
