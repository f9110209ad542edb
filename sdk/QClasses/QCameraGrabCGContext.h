// The system's camera grabber: every frame is decompressed straight into the pixels of a
// bitmap context, which the camera view makes its images from without a copy.
#pragma once

#include "CoreGraphicsBitmapContext.h"
#include "QCameraGrabberBase.h"
#include "QImageSequence.h"

class QCameraGrabCGContext : public QCameraGrabberBase
{
public:
    QCameraGrabCGContext();
    ~QCameraGrabCGContext() override;

    OSErr StopRecord() override;
    void Close() override;
    bool IsFrameBufferConstructed() const override;
    GWorldPtr GetFrameBufferGWorldPtr() const override;
    bool GetFrameBufferImageDescription(QImageDescription& description) const override;
    void DrawCameraStatusInFrameBuffer(CameraStatus status) const override;
    bool CreateFrameBuffer(const p3dqd::QRect& rect,
                           unsigned long inFrameBufferPixelFormat) override;
    OSErr BeginDecompressionSequence(const QImageDescription& camera, const p3dqd::QRect& source,
                                     const p3dqd::QRect& destination) override;
    OSErr DefaultDataProc(char* in_data, long in_data_size) const override;

    virtual PixMapHandle GetFrameBufferPixMap() const;
    virtual void DestructFrameBuffer();

    CoreGraphics::BitmapContext mCamContext;
    // The sequence advances with each frame, from a const data hook.
    mutable QImageSequence mDecomSeq;
    QGWorld* mGWorld;
};

bool import_QCameraGrabCGContext();
