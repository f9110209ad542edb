// The camera view the stereo window shows: its grabber decompresses every frame into a bitmap,
// and each tick makes an image over that bitmap's bytes, without a copy, for the screen and for
// the stereo view.
#pragma once

#include "CFPtr.h"
#include "QCamGrabViewBase.h"
#include "QCameraGrabCGContext.h"

class CIImage;

class QCamGrabCGImageView : public QCamGrabViewBase
{
    Q_OBJECT

public:
    explicit QCamGrabCGImageView(QWidget* parent = nullptr);
    ~QCamGrabCGImageView() override;

    // The frame buffer is cleared to black before the camera opens.
    void cameraOpen(QSize size, QSize vdigSize) override;
    using QCamGrabViewBase::cameraOpen;
    // The image of the last tick is let go first: it borrows the pixels the new size replaces.
    void cameraChangeSize(QSize size) override;
    bool cameraTimer(QObject* sender) override;
    QCameraGrabberBase* grabber() override { return &_grabber; }
    CoreGraphics::BitmapContext* cameraBitmapContext() { return &_grabber.mCamContext; }

    // The image of the last tick (not retained for the caller); null before the first.
    CGImageRef cameraImageRef() const { return _cameraImageRef; }
    // Takes over the caller's reference and asks for a redraw.
    void setCameraImageRef(CGImageRef image);
    // A copy of the frame buffer's pixels; null without a frame buffer.
    CFPtr<CIImage> cameraImage() const;

    void drawRect(QPainter& painter, const QRectF& rect) override;

private:
    QCameraGrabCGContext _grabber;
    CGImageRef _cameraImageRef = nullptr; // owned
};

bool import_QCamGrabCGImageView();
