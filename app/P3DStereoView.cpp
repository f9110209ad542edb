#include "P3DStereoView.h"

#include <QKeyEvent>
#include <QPainter>
#include <cmath>

#include "CFCollections.h"
#include "CFNumber.h"
#include "CGImage.h"
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

// Pixel memory of that many zero bytes; images made over it keep it alive.
CFPtr<__CFData> PixelStore(CFIndex bytes)
{
    CFPtr<__CFData> store = CFPtr<__CFData>::Adopt(CFDataCreateMutable(nullptr, 0));
    CFDataSetLength(store.get(), bytes);
    return store;
}

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
    setFocusPolicy(Qt::StrongFocus);
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

void P3DStereoView::setEyeOffset(Eye eye, EyeOffset offset)
{
    offset = offset.clamped();
    if (mOffsets[eye] == offset)
        return;
    mOffsets[eye] = offset;
    update();
    emit eyeAdjustmentChanged();
}

void P3DStereoView::setColorMatching(bool on)
{
    if (mColorMatching == on)
        return;
    mColorMatching = on;
    mMatcher.reset();
    update();
    emit eyeAdjustmentChanged();
}

EyeOffset P3DStereoView::frameOffset(Eye eye) const
{
    EyeOffset offset = mOffsets[eye];
    if (mImageControls) {
        const CGAffineTransform& mirror = mImageControls->chain().transform();
        if (mirror.a < 0)
            offset.x = -offset.x;
        if (mirror.d < 0)
            offset.y = -offset.y;
    }
    return offset;
}

void P3DStereoView::updateColorMatch()
{
    if (!mColorMatching || !_leftEye || !_rightEye || !_leftEye->grabber()->VideoChannel() ||
        !_rightEye->grabber()->VideoChannel())
        return;
    CGImageRef left = _leftEye->cameraImageRef();
    CGImageRef right = _rightEye->cameraImageRef();
    if (!left || !right || !CGImageGetPixelBase(left) || !CGImageGetPixelBase(right) ||
        CGImageGetWidth(left) != CGImageGetWidth(right) ||
        CGImageGetHeight(left) != CGImageGetHeight(right))
        return;
    EyeRect leftArea, rightArea;
    EyeOverlap(int(CGImageGetWidth(left)), int(CGImageGetHeight(left)), frameOffset(kLeftEye),
               frameOffset(kRightEye), leftArea, rightArea);
    // Every fourth pixel each way: a sixteenth of the frame says as much about its colour.
    constexpr int kStep = 4;
    const EyeGains before = mMatcher.gains();
    mMatcher.update(EyeChannelMeans(static_cast<const uint8_t*>(CGImageGetPixelBase(left)),
                                    CGImageGetBytesPerRow(left), leftArea, kStep),
                    EyeChannelMeans(static_cast<const uint8_t*>(CGImageGetPixelBase(right)),
                                    CGImageGetBytesPerRow(right), rightArea, kStep));
    // The panel shows the gains in hundredths: it hears of a change it can show.
    for (size_t c = 0; c < 3; ++c)
        if (std::lround(before[c] * 100) != std::lround(mMatcher.gains()[c] * 100)) {
            emit eyeAdjustmentChanged();
            break;
        }
}

CFPtr<CIImage> P3DStereoView::eyeImage(Eye eye)
{
    // An eye without a camera delivers nothing, whatever its frame buffer last held.
    QCamGrabCGImageView* view = eye == kLeftEye ? _leftEye : _rightEye;
    CGImageRef frame = view ? view->cameraImageRef() : nullptr;
    if (!frame || !view->grabber()->VideoChannel())
        return nullptr;
    const EyeOffset offset = frameOffset(eye);
    const EyeGains gains = eye == kRightEye ? rightEyeGains() : kUnitGains;
    CFPtr<CIImage> image;
    if (offset == EyeOffset() && gains == kUnitGains) {
        image = CIImage::imageWithCGImage(frame);
    } else if (CGImageGetPixelBase(frame)) {
        const size_t width = CGImageGetWidth(frame), height = CGImageGetHeight(frame);
        const CFIndex bytes = CFIndex(width * height * 4);
        CFPtr<__CFData>& adjusted = mAdjusted[eye];
        if (!adjusted || CFDataGetLength(adjusted.get()) != bytes)
            adjusted = PixelStore(bytes);
        UInt8* pixels = CFDataGetMutableBytePtr(adjusted.get());
        if (AdjustEyeFrame(static_cast<const uint8_t*>(CGImageGetPixelBase(frame)),
                           CGImageGetBytesPerRow(frame), pixels, width * 4, int(width), int(height),
                           offset, gains))
            image = CIImage::imageWithARGBMemory(pixels, width * 4, width, height, adjusted.get());
    }
    return mImageControls && image ? mImageControls->filteredImage(image.get()) : image;
}

CFPtr<CIImage> P3DStereoView::leftEyeImage()
{
    return eyeImage(kLeftEye);
}

CFPtr<CIImage> P3DStereoView::rightEyeImage()
{
    return eyeImage(kRightEye);
}

void P3DStereoView::keyPressEvent(QKeyEvent* event)
{
    EyeOffset step;
    switch (event->key()) {
    case Qt::Key_Left:
        step.x = -1;
        break;
    case Qt::Key_Right:
        step.x = 1;
        break;
    case Qt::Key_Up:
        step.y = -1;
        break;
    case Qt::Key_Down:
        step.y = 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    const Eye eye = event->modifiers() & Qt::ShiftModifier ? kLeftEye : kRightEye;
    setEyeOffset(eye, {mOffsets[eye].x + step.x, mOffsets[eye].y + step.y});
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
    updateColorMatch();
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
        mRendered = PixelStore(CFIndex(rowBytes) * size.height());
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
