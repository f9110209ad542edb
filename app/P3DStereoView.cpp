#include "P3DStereoView.h"

#include <QPainter>

#include "CFCollections.h"
#include "CFNumber.h"
#include "CGPixelOrder.h"
#include "CIContext.h"
#include "CIImageCoreGraphics.h"
#include "CIORBStereoMuxFilter.h"
#include "CIPlugIn.h"
#include "CoreMachDebugLog.h"
#include "NSUICICameraControls.h"
#include "NSUISegmentedControl.h"
#include "QCamGrabCGImageView.h"
#include "StereoPacking.h"

namespace {

constexpr const char* kLoad = "+[P3DStereoView loadCoreImagePlugIns]";

} // namespace

void P3DStereoView::loadCoreImagePlugIns()
{
    static const bool sLoaded = [] {
        VERIFY_AT(kLoad, import_CIImageCoreGraphics());
        VERIFY_AT(kLoad, import_NSUICICameraControls());
        VERIFY_AT(kLoad, import_QCamGrabCGImageView());
        CIPlugIn::loadAllPlugIns();
        VERIFY_TEXT(kLoad, "import_CIORBStereoMuxFilter(YES)", import_CIORBStereoMuxFilter(true));
        return true;
    }();
    (void)sLoaded;
}

P3DStereoView::P3DStereoView(QWidget* parent) : QWidget(parent)
{
    loadCoreImagePlugIns();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 240);
    mEncoding.key = StereoEncodingList::kDefaultKey;
    _stereoMux = CIFilter::filterWithName(kCIORBStereoMuxFilter_FilterName);
    if (_stereoMux)
        _stereoMux->setDefaults();
}

P3DStereoView::~P3DStereoView() = default;

void P3DStereoView::setEyes(QCamGrabCGImageView* leftEye, QCamGrabCGImageView* rightEye)
{
    _leftEye = leftEye;
    _rightEye = rightEye;
}

int P3DStereoView::monitorImageType() const
{
    return _monitorImageType ? _monitorImageType->selectedSegment() + 1 : kMonitorImageType_None;
}

void P3DStereoView::setMonitorImageType(int type)
{
    if (_monitorImageType)
        _monitorImageType->setSelectedSegment(type - 1);
    update();
}

void P3DStereoView::monitorImageTypeChanged(QObject*)
{
    update();
}

CFPtr<CIImage> P3DStereoView::eyeImage(QCamGrabCGImageView* eye) const
{
    // An eye without a camera delivers nothing, whatever its frame buffer last held.
    if (!eye || !eye->cameraImageRef() || !eye->grabber()->VideoChannel())
        return nullptr;
    CFPtr<CIImage> image = CIImage::imageWithCGImage(eye->cameraImageRef());
    return mImageControls && image ? mImageControls->filteredImage(image.get()) : image;
}

CFPtr<CIImage> P3DStereoView::leftEyeImage() const
{
    return eyeImage(_leftEye);
}

CFPtr<CIImage> P3DStereoView::rightEyeImage() const
{
    return eyeImage(_rightEye);
}

double P3DStereoView::swapEyesFloatValue() const
{
    return monitorImageType() == kMonitorImageType_StereoSwapped ? 1.0 : 0.0;
}

CFPtr<CIImage> P3DStereoView::monitorImageMuxed()
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
    if (!_stereoMux)
        return right;
    // No kernel of the encoding's own: the filter's stored one.
    _stereoMux->setValue(mEncoding.kernel.get(), kCIORBStereoMuxFilter_inputKernel);
    _stereoMux->setValue(right.get(), kCIInputImageKey);
    _stereoMux->setValue(left.get(), kCIORBStereoMuxFilter_inputLeftImage);
    CFNumberRef swapNumber = CFNumberCreate(nullptr, kCFNumberDoubleType, &swap);
    _stereoMux->setValue(swapNumber, kCIORBStereoMuxFilter_inputSwapEyes);
    CFRelease(swapNumber);
    CFPtr<CIImage> stereo = _stereoMux->outputImage();
    return stereo ? stereo : right;
}

void P3DStereoView::setEncoding(const StereoEncoding& encoding)
{
    mEncoding = encoding;
    update();
}

CFPtr<CIImage> P3DStereoView::liveMonitorImage()
{
    switch (monitorImageType()) {
    case kMonitorImageType_LeftEye:
        return leftEyeImage();
    case kMonitorImageType_Stereo:
    case kMonitorImageType_StereoSwapped:
        return monitorImageMuxed();
    case kMonitorImageType_RightEye:
        return rightEyeImage();
    default:
        return nullptr;
    }
}

void P3DStereoView::drawRect(QPainter& painter, const QRect& rect)
{
    renderMonitorImage(liveMonitorImage());
    const CIImage* image = _monitorImage.get();
    if (!image || rect.isEmpty()) {
        painter.fillRect(rect, Qt::black);
        return;
    }
    // Stretched to the view, each axis on its own (no letterbox), as it turns into Qt's byte
    // order: the painter then copies it 1:1.
    const CGRect extent = image->extent();
    if (mFrame.size() != rect.size())
        mFrame = QImage(rect.size(), QImage::Format_ARGB32_Premultiplied);
    if (mFrame.isNull() ||
        !CGScaleARGBPixels(CFDataGetBytePtr(mRendered.get()), size_t(extent.size.width) * 4,
                           size_t(extent.size.width), size_t(extent.size.height), mFrame.bits(),
                           size_t(mFrame.bytesPerLine()), size_t(mFrame.width()),
                           size_t(mFrame.height()), CGPixelOrder::kBGRA)) {
        painter.fillRect(rect, Qt::black);
        return;
    }
    painter.drawImage(rect.topLeft(), mFrame);
}

void P3DStereoView::renderMonitorImage(CFPtr<CIImage> recipe)
{
    const CGRect extent = recipe ? recipe->extent() : CGRectZero;
    if (!recipe || extent.size.width < 1 || extent.size.height < 1 || extent.size.width > 8192 ||
        extent.size.height > 8192) {
        _monitorImage = nullptr;
        return;
    }
    const QSize size(int(extent.size.width), int(extent.size.height));
    const size_t rowBytes = size_t(size.width()) * 4;
    if (mRenderedSize != size || !mRenderContext) {
        mRenderedSize = size;
        mRendered = CFPtr<__CFData>::Adopt(CFDataCreateMutable(nullptr, 0));
        CFDataSetLength(mRendered.get(), CFIndex(rowBytes) * size.height());
        mRenderContext =
            CIContext::contextWithARGBMemory(CFDataGetMutableBytePtr(mRendered.get()), rowBytes,
                                             size_t(size.width()), size_t(size.height()));
    }
    UInt8* pixels = CFDataGetMutableBytePtr(mRendered.get());
    if (!mRenderContext || !mRenderContext->drawImage(recipe.get(), CGPointMake(0, 0), extent)) {
        _monitorImage = nullptr;
        return;
    }
    // The screen and the broadcast share this one rendering: the monitor image kept is the
    // picture drawn, not the recipe, so it is evaluated once per drawing.
    _monitorImage = CIImage::imageWithARGBMemory(pixels, rowBytes, size_t(size.width()),
                                                 size_t(size.height()), mRendered.get());
}

void P3DStereoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawRect(painter, rect());
}

bool import_P3DStereoView()
{
    return true;
}
