#include "QCameraGrabCGContext.h"

#include "CoreMachDebugLog.h"

QCameraGrabCGContext::QCameraGrabCGContext() : mGWorld(&mCamContext.mGWorld) {}

QCameraGrabCGContext::~QCameraGrabCGContext()
{
    mDecomSeq.DisposeIF();
    DestructFrameBuffer();
}

bool QCameraGrabCGContext::IsFrameBufferConstructed() const
{
    return mCamContext.IsConstructed();
}

GWorldPtr QCameraGrabCGContext::GetFrameBufferGWorldPtr() const
{
    return IsFrameBufferConstructed() ? mGWorld->mGWorld : nullptr;
}

PixMapHandle QCameraGrabCGContext::GetFrameBufferPixMap() const
{
    return GetGWorldPixMap(GetFrameBufferGWorldPtr());
}

bool QCameraGrabCGContext::GetFrameBufferImageDescription(QImageDescription& description) const
{
    PixMapHandle pixMap = GetFrameBufferPixMap();
    if (pixMap == nullptr)
        return false;
    return description.Construct(pixMap);
}

void QCameraGrabCGContext::DrawCameraStatusInFrameBuffer(CameraStatus) const
{
    // The camera view draws the status indicator over the frame.
}

bool QCameraGrabCGContext::CreateFrameBuffer(const QRect& rect,
                                             unsigned long inFrameBufferPixelFormat)
{
    // A same-size buffer is kept, so a reopen never moves the pixels the view is showing.
    if (IsFrameBufferConstructed() && !mGWorld->IsSizePixelFormat(rect, inFrameBufferPixelFormat))
        DestructFrameBuffer();
    if (!IsFrameBufferConstructed()) {
        // clang-format off
        if (VERIFY(inFrameBufferPixelFormat==k32ARGBPixelFormat))
            // clang-format on
            mCamContext.Construct(int(rect.Width()), int(rect.Height()),
                                  CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0);
    }
    if (!IsFrameBufferConstructed())
        return false;
    mFrameBufferRect = rect;
    mFrameBufferPixelFormat = UInt32(inFrameBufferPixelFormat);
    return CreateFrameBufferSelf();
}

void QCameraGrabCGContext::DestructFrameBuffer()
{
    // No frame may land in pixels that are about to go.
    mDecomSeq.DisposeIF();
    mCamContext.Destruct();
}

OSErr QCameraGrabCGContext::BeginDecompressionSequence(const QImageDescription& camera,
                                                       const QRect& source,
                                                       const QRect& destination)
{
    MatrixRecord matrixRecord;
    RectMatrix(&matrixRecord, &source, &destination);
    const MatrixRecord* matrix = &matrixRecord;
    mDecomSeq.DisposeIF();
    ImageSequence mSeqID = 0;
    ImageDescriptionHandle desc = camera.mHandle;
    GWorldPtr port = GetFrameBufferGWorldPtr();
    GDHandle gdh = nullptr;
    const Rect* srcRect = nullptr;
    const short mode = srcCopy;
    RgnHandle mask = nullptr;
    const CodecFlags flags = 0;
    const CodecQ accuracy = codecNormalQuality;
    DecompressorComponent codec = bestSpeedCodec;
    OSErr err = 0;
    // clang-format off
    VERIFY_ERR(err=::DecompressSequenceBegin(&mSeqID, desc, port, gdh, srcRect, matrix, mode, mask, flags, accuracy, codec));
    // clang-format on
    mDecomSeq.mSeqID = mSeqID;
    return err;
}

OSErr QCameraGrabCGContext::DefaultDataProc(char* in_data, long in_data_size) const
{
    if (!VERIFY_TEXT(__func__, "mSeqID", mDecomSeq.mSeqID != 0))
        return paramErr;
    OSErr err = 0;
    // clang-format off
    VERIFY_ERR(err=mDecomSeq.DecompressSequenceFrameS(in_data,in_data_size));
    // clang-format on
    return err;
}

OSErr QCameraGrabCGContext::StopRecord()
{
    QCameraGrabberBase::StopRecord();
    OSErr result = 0;
    // clang-format off
    VERIFY_ERR(result=mDecomSeq.SequenceEnd());
    // clang-format on
    return result;
}

void QCameraGrabCGContext::Close()
{
    QCameraGrabberBase::Close();
    DestructFrameBuffer();
}

bool import_QCameraGrabCGContext()
{
    return import_QCameraGrabberBase() && import_QImageSequence() &&
           import_CoreGraphicsBitmapContext();
}
