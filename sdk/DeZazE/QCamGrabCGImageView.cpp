#include "QCamGrabCGImageView.h"

#include <QPainter>

#include "CIImage.h"
#include "CoreMachDebugLog.h"
#include "NSImage_CocoaX.h"
#include "NSUICamMenuController.h"

QCamGrabCGImageView::QCamGrabCGImageView(QWidget* parent) : QCamGrabViewBase(parent) {}

QCamGrabCGImageView::~QCamGrabCGImageView()
{
    if (_cameraImageRef)
        CGImageRelease(_cameraImageRef);
}

void QCamGrabCGImageView::cameraOpen(QSize size, QSize vdigSize)
{
    const CoreGraphics::BitmapContext& bitmap = _grabber.mCamContext;
    if (bitmap.mContext) {
        CGContextSetRGBFillColor(bitmap.mContext, 0, 0, 0, 1);
        CGContextFillRect(bitmap.mContext,
                          CGRectMake(0, 0, bitmap.mImageWidth, bitmap.mImageHeight));
    }
    QCamGrabViewBase::cameraOpen(size, vdigSize);
}

void QCamGrabCGImageView::cameraChangeSize(QSize size)
{
    setCameraImageRef(nullptr);
    QCamGrabViewBase::cameraChangeSize(size);
}

bool QCamGrabCGImageView::cameraTimer(QObject* sender)
{
    const bool idled = QCamGrabViewBase::cameraTimer(sender);
    // Null without a frame buffer: the indicator is drawn then.
    setCameraImageRef(_grabber.mCamContext.IsConstructed() ? _grabber.mCamContext.ConstructCGImage()
                                                           : nullptr);
    return idled;
}

void QCamGrabCGImageView::setCameraImageRef(CGImageRef image)
{
    if (_cameraImageRef)
        CGImageRelease(_cameraImageRef);
    _cameraImageRef = image;
    update();
}

CFPtr<CIImage> QCamGrabCGImageView::cameraImage() const
{
    const CoreGraphics::BitmapContext& bitmap = _grabber.mCamContext;
    if (!bitmap.IsConstructed())
        return nullptr;
    CFDataRef copy = CFDataCreate(nullptr, bitmap.mImageDataBytes, CFIndex(bitmap.mImageDataSize));
    if (!copy)
        return nullptr;
    CFPtr<CIImage> image = CIImage::imageWithBitmapData(
        copy, bitmap.mImageRowBytes, CGSizeMake(bitmap.mImageWidth, bitmap.mImageHeight));
    CFRelease(copy);
    return image;
}

void QCamGrabCGImageView::drawRect(QPainter& painter, const QRectF& rect)
{
    if (_cameraImageRef && _grabber.VideoChannel()) {
        drawImageRef(painter, _cameraImageRef, rect, 1.0);
    } else {
        eraseBackground(painter, rect);
        drawCameraUnavailableIndicator(painter, rect);
    }
}

bool import_QCamGrabCGImageView()
{
    VERIFY(import_QCamGrabViewBase());
    VERIFY(import_NSUICamMenuController());
    VERIFY(import_NSImage_CocoaX());
    return true;
}
