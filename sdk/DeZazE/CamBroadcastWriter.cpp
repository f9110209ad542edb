#include "CamBroadcastWriter.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "CGBitmapContext.h"
#include "CGColorSpace.h"
#include "ChannelFrameFit.h"
#include "CoreMachDebugLog.h"
#include "QCamOutputBase.h"
#include "shared_camera_bundle.h"

const int NSUICamBroadcastControl_CameraWidth = QCamOutputBase::sCameraFormat.width;
const int NSUICamBroadcastControl_CameraHeight = QCamOutputBase::sCameraFormat.height;

namespace {

constexpr const char* kStart = "-[NSUICamBroadcastControl startBroadcasting]";
constexpr const char* kStop = "-[NSUICamBroadcastControl stopBroadcasting]";
constexpr const char* kCopy = "-[NSUICamBroadcastControl broadcastFrame_WWWWxHHH:]";
constexpr const char* kDestroy = "-[NSUICamBroadcastControlFast destroyContexts]";

// A stamped channel another program writes is asked for again this many frames later.
constexpr unsigned kStampedRetryFrames = 150;

CGRect ClassicExtent()
{
    return CGRectMake(0, 0, CGFloat(kSharedCameraFrameWidth), CGFloat(kSharedCameraFrameHeight));
}

// A record as the channel wants it: its size set, everything else zero.
SHARED_CAMERA_BUFFER EmptyRecord()
{
    SHARED_CAMERA_BUFFER record = {};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof(SHARED_CAMERA_BUFFER);
    return record;
}

} // namespace

CGContextRef CGContextRef_From_ARGB_CameraBuffer(const SHARED_CAMERA_BUFFER& in_buffer)
{
    if (!in_buffer.frameBufferPtr)
        return nullptr;
    const SInt32 width = in_buffer.frameWidth;
    const SInt32 height = in_buffer.frameHeight;
    // A context draws anywhere in height x row bytes: that must lie inside the buffer.
    if (width <= 0 || height <= 0 || in_buffer.frameBufferRowBytes <= 0 ||
        SInt64(in_buffer.frameBufferRowBytes) * height > in_buffer.frameBufferSizeBytes)
        return nullptr;
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(
        in_buffer.frameBufferPtr, size_t(width), size_t(height), 8,
        size_t(in_buffer.frameBufferRowBytes), space, kCGImageAlphaPremultipliedFirst);
    CGColorSpaceRelease(space);
    return context;
}

CamBroadcastWriter::CamBroadcastWriter()
    : mFrameWidth(kSharedCameraFrameWidth), mFrameHeight(kSharedCameraFrameHeight)
{
}

CamBroadcastWriter::~CamBroadcastWriter()
{
    releaseStampedContexts();
    for (int n = 0; n < 2; ++n) {
        _CIContext[n] = nullptr;
        if (_CGContext[n])
            CGContextRelease(_CGContext[n]);
    }
}

bool CamBroadcastWriter::isBroadcasting() const
{
    return SharedCameraBundle::sComponent.mDLL.IsLoaded();
}

void CamBroadcastWriter::setComponentAllowCameraConnections(bool in_allow)
{
    SHARED_CAMERA_CONTROL control = {};
    control.sizeofSHARED_CAMERA_CONTROL = sizeof(SHARED_CAMERA_CONTROL);
    control.allowCameraConnections = in_allow ? 1 : 0;
    SharedCameraBundle::SetCameraControl(&control);
    mAllowConnections = in_allow;
    mStamped.SetConnectionsAllowed(in_allow);
}

void CamBroadcastWriter::startBroadcasting(bool in_enabled, bool in_allowConnections)
{
    _SharedCameraBufferNumber = 0;
    if (!in_enabled)
        return;
    VERIFY_TEXT(kStart, "CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::Install)",
                SharedCameraBundle::sComponent.InstallLocation(SharedCameraBundle::Install,
                                                               CFBaseDLL::kLocationUserQuickTime));
    // Asking for the buffers loads the component: broadcasting from here on.
    for (int n = 0; n < 2; ++n) {
        SHARED_CAMERA_BUFFER record = EmptyRecord();
        SharedCameraBundle::GetWriteableFrameBuffer_N(n, &record);
    }
    if (isBroadcasting())
        mStamped.Open(StampedChannelFile::DefaultPath(), mFrameWidth, mFrameHeight);
    setComponentAllowCameraConnections(in_allowConnections);
}

void CamBroadcastWriter::stopBroadcasting()
{
    releaseStampedContexts();
    mStamped.Close();
    if (!isBroadcasting())
        return;
    VERIFY_TEXT(kStop, "CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::UnInstall)",
                SharedCameraBundle::sComponent.InstallLocation(SharedCameraBundle::UnInstall,
                                                               CFBaseDLL::kLocationUserQuickTime));
}

void CamBroadcastWriter::flipBufferNumber()
{
    _SharedCameraBufferNumber = _SharedCameraBufferNumber == 0 ? 1 : 0;
}

bool CamBroadcastWriter::get_SHARED_CAMERA_BUFFER(SHARED_CAMERA_BUFFER* io_buffer)
{
    io_buffer->sizeofSHARED_CAMERA_BUFFER = sizeof(SHARED_CAMERA_BUFFER);
    return SharedCameraBundle::GetWriteableFrameBuffer_N(_SharedCameraBufferNumber, io_buffer);
}

bool CamBroadcastWriter::get_SINGLE_CAMERA_BUFFER(SHARED_CAMERA_BUFFER* io_buffer)
{
    return get_SHARED_CAMERA_BUFFER(io_buffer);
}

void CamBroadcastWriter::set_SHARED_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer)
{
    SharedCameraBundle::SetCurrentReadBuffer(in_buffer->frameBufferPtr);
    flipBufferNumber();
}

void CamBroadcastWriter::set_SINGLE_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer)
{
    SharedCameraBundle::SetCurrentReadBuffer(in_buffer->frameBufferPtr);
    _SharedCameraBufferNumber = 0;
}

bool CamBroadcastWriter::use_SHARED_CAMERA_BUFFER(int in_buffer_n)
{
    SHARED_CAMERA_BUFFER record = EmptyRecord();
    if (!SharedCameraBundle::GetWriteableFrameBuffer_N(in_buffer_n, &record))
        return false;
    SharedCameraBundle::SetCurrentReadBuffer(record.frameBufferPtr);
    return true;
}

bool CamBroadcastWriter::lock_SHARED_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer)
{
    return SharedCameraBundle::LockFrameBuffer(in_buffer->frameBufferPtr);
}

bool CamBroadcastWriter::unlock_SHARED_CAMERA_BUFFER(const SHARED_CAMERA_BUFFER* in_buffer)
{
    return SharedCameraBundle::UnLockFrameBuffer(in_buffer->frameBufferPtr);
}

CGContextRef CamBroadcastWriter::createBroadcastGraphicsContext(SHARED_CAMERA_BUFFER* io_buffer,
                                                                int in_buffer_n)
{
    io_buffer->sizeofSHARED_CAMERA_BUFFER = sizeof(SHARED_CAMERA_BUFFER);
    if (!SharedCameraBundle::GetWriteableFrameBuffer_N(in_buffer_n, io_buffer))
        return nullptr;
    return contextWithCameraBuffer(io_buffer);
}

CGContextRef CamBroadcastWriter::contextWithCameraBuffer(const SHARED_CAMERA_BUFFER* in_buffer)
{
    return CGContextRef_From_ARGB_CameraBuffer(*in_buffer);
}

void CamBroadcastWriter::setCurrentBroadcastGraphicsContext(const SHARED_CAMERA_BUFFER* in_buffer)
{
    if (in_buffer->frameBufferPtr)
        SharedCameraBundle::SetCurrentReadBuffer(in_buffer->frameBufferPtr);
    flipBufferNumber();
}

void CamBroadcastWriter::releaseBroadcastGraphicsContext(const SHARED_CAMERA_BUFFER* in_buffer,
                                                         CGContextRef in_context)
{
    if (in_context)
        CGContextRelease(in_context);
    setCurrentBroadcastGraphicsContext(in_buffer);
}

void CamBroadcastWriter::broadcastFrame(const CoreGraphics::BitmapContext* in_bitmap)
{
    if (!isBroadcasting() || !in_bitmap)
        return;
    // Only A,R,G,B rows can be copied as they are; other kinds are drawn, which converts them.
    const bool argb =
        in_bitmap->GetImageType() == CoreGraphics::BitmapContext::BitmapType_Device_ARGB;
    if (int(in_bitmap->mImageWidth) == NSUICamBroadcastControl_CameraWidth &&
        int(in_bitmap->mImageHeight) == NSUICamBroadcastControl_CameraHeight && argb)
        broadcastFrame_WWWWxHHH(in_bitmap);
    else
        broadcastFrame_XXXxYYY(in_bitmap);
    broadcastStampedFrame(argb ? *in_bitmap : mScaled);
}

void CamBroadcastWriter::broadcastStampedFrame(const CoreGraphics::BitmapContext& in_bitmap)
{
    const int width = int(in_bitmap.mImageWidth), height = int(in_bitmap.mImageHeight);
    if (!in_bitmap.mImageDataBytes || width <= 0 || height <= 0 ||
        in_bitmap.mImageRowBytes < in_bitmap.mImageWidth * 4)
        return;
    const int n = beginStampedBuffer();
    if (n < 0)
        return;
    FitChannelFrameInto(in_bitmap.mImageDataBytes, int(in_bitmap.mImageRowBytes), width, height,
                        mStamped.Buffer(n), mFrameWidth * 4, mFrameWidth, mFrameHeight);
    mStamped.EndFrame(mCaptureTimes);
}

void CamBroadcastWriter::broadcastFrame_WWWWxHHH(const CoreGraphics::BitmapContext* in_bitmap)
{
    if (!in_bitmap || in_bitmap->mImageHeight == 0 || !in_bitmap->mImageDataBytes ||
        in_bitmap->mImageRowBytes == 0)
        return;
    if (int(in_bitmap->mImageWidth) != NSUICamBroadcastControl_CameraWidth ||
        int(in_bitmap->mImageHeight) != NSUICamBroadcastControl_CameraHeight)
        return;
    SHARED_CAMERA_BUFFER camera_buffer = EmptyRecord();
    if (!get_SHARED_CAMERA_BUFFER(&camera_buffer))
        return;
    VERIFY_AT(kCopy, camera_buffer.sizeofSHARED_CAMERA_BUFFER == sizeof(SHARED_CAMERA_BUFFER));
    if (!lock_SHARED_CAMERA_BUFFER(&camera_buffer))
        return;
    // A channel frame of another geometry is copied only where both it and the bitmap have
    // bytes: no row is read past the bitmap's or written past the buffer's.
    const SInt64 channelRowBytes = std::max<SInt64>(camera_buffer.frameBufferRowBytes, 0);
    const SInt64 rows = std::min<SInt64>(
        {camera_buffer.frameHeight, in_bitmap->mImageHeight,
         channelRowBytes ? camera_buffer.frameBufferSizeBytes / channelRowBytes : 0});
    const size_t rowBytes = size_t(std::min<SInt64>(channelRowBytes, in_bitmap->mImageRowBytes));
    UInt8* frame = static_cast<UInt8*>(camera_buffer.frameBufferPtr);
    for (SInt64 y = 0; y < rows; ++y)
        memcpy(frame + y * channelRowBytes,
               in_bitmap->mImageDataBytes + y * in_bitmap->mImageRowBytes, rowBytes);
    unlock_SHARED_CAMERA_BUFFER(&camera_buffer);
    set_SHARED_CAMERA_BUFFER(&camera_buffer);
}

void CamBroadcastWriter::broadcastFrame_XXXxYYY(const CoreGraphics::BitmapContext* in_bitmap)
{
    if (!in_bitmap)
        return;
    // Made at the first frame of another size and kept, so later ones allocate nothing.
    if (!mScaled.IsConstructed() &&
        !mScaled.Construct(NSUICamBroadcastControl_CameraWidth,
                           NSUICamBroadcastControl_CameraHeight,
                           CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0))
        return;
    const CGRect frame = ClassicExtent();
    // Transparent where the picture has no cover, not the previous frame.
    CGContextClearRect(mScaled.mContext, frame);
    in_bitmap->Draw(mScaled.mContext, frame);
    broadcastFrame_WWWWxHHH(&mScaled);
}

bool CamBroadcastWriter::setFrameSize(int in_width, int in_height)
{
    if (!IsStampedChannelFrameSize(in_width, in_height))
        return false;
    mFrameWidth = in_width;
    mFrameHeight = in_height;
    mStamped.SetFrameSize(in_width, in_height);
    return true;
}

void CamBroadcastWriter::setCaptureTimes(uint64_t in_leftUs, uint64_t in_rightUs)
{
    mCaptureTimes = {in_leftUs * 1000, in_rightUs * 1000};
}

CGRect CamBroadcastWriter::extent() const
{
    return CGRectMake(0, 0, CGFloat(mFrameWidth), CGFloat(mFrameHeight));
}

CGContextRef CamBroadcastWriter::currentCGContext() const
{
    return _CGContext[_SharedCameraBufferNumber];
}

CIContext* CamBroadcastWriter::currentCIContext() const
{
    return _CIContext[_SharedCameraBufferNumber].get();
}

void CamBroadcastWriter::eraseContext(int in_buffer_n)
{
    CGContextRef context = _CGContext[in_buffer_n];
    if (!context)
        return;
    CGContextRetain(context);
    CGContextClearRect(context, ClassicExtent());
    CGContextRelease(context);
}

void CamBroadcastWriter::createContexts(int in_buffer_n)
{
    // A pair still held for this buffer (a start without a stop) is replaced, not leaked.
    _CIContext[in_buffer_n] = nullptr;
    if (_CGContext[in_buffer_n])
        CGContextRelease(_CGContext[in_buffer_n]);
    _CGContext[in_buffer_n] =
        createBroadcastGraphicsContext(&_camera_buffer[in_buffer_n], in_buffer_n);
    if (!_CGContext[in_buffer_n])
        return;
    // A reader may be reading this buffer: it is cleared under its lock, or not at all.
    if (lock_SHARED_CAMERA_BUFFER(&_camera_buffer[in_buffer_n])) {
        eraseContext(in_buffer_n);
        unlock_SHARED_CAMERA_BUFFER(&_camera_buffer[in_buffer_n]);
    }
    _CIContext[in_buffer_n] = CIContext::contextWithCGContext(_CGContext[in_buffer_n]);
}

void CamBroadcastWriter::destroyContexts()
{
    VERIFY_TEXT(kDestroy, "_CIContext[kNSUICamBroadcastControlFast_Buffer0]!=nil",
                _CIContext[kNSUICamBroadcastControlFast_Buffer0] != nullptr);
    _CIContext[kNSUICamBroadcastControlFast_Buffer0] = nullptr;
    if (VERIFY_TEXT(kDestroy, "_CGContext[kNSUICamBroadcastControlFast_Buffer0]!=0",
                    _CGContext[kNSUICamBroadcastControlFast_Buffer0] != nullptr))
        CGContextRelease(_CGContext[kNSUICamBroadcastControlFast_Buffer0]);
    _CGContext[kNSUICamBroadcastControlFast_Buffer0] = nullptr;

    VERIFY_TEXT(kDestroy, "_CIContext[kNSUICamBroadcastControlFast_Buffer1]!=nil",
                _CIContext[kNSUICamBroadcastControlFast_Buffer1] != nullptr);
    _CIContext[kNSUICamBroadcastControlFast_Buffer1] = nullptr;
    if (VERIFY_TEXT(kDestroy, "_CGContext[kNSUICamBroadcastControlFast_Buffer1]!=0",
                    _CGContext[kNSUICamBroadcastControlFast_Buffer1] != nullptr))
        CGContextRelease(_CGContext[kNSUICamBroadcastControlFast_Buffer1]);
    _CGContext[kNSUICamBroadcastControlFast_Buffer1] = nullptr;
    mHoldsCurrentLock = false;
}

void CamBroadcastWriter::useContextZero()
{
    _SharedCameraBufferNumber = 0;
    use_SHARED_CAMERA_BUFFER(0);
}

CIContext* CamBroadcastWriter::lockCurrentCIContext()
{
    if (!lock_SHARED_CAMERA_BUFFER(&_camera_buffer[_SharedCameraBufferNumber]))
        return nullptr;
    return currentCIContext();
}

bool CamBroadcastWriter::unlockCurrentCIContext()
{
    return unlock_SHARED_CAMERA_BUFFER(&_camera_buffer[_SharedCameraBufferNumber]);
}

void CamBroadcastWriter::followChannel()
{
    if (!isBroadcasting())
        return;
    const int n = _SharedCameraBufferNumber;
    SHARED_CAMERA_BUFFER now = EmptyRecord();
    const bool usable = SharedCameraBundle::GetWriteableFrameBuffer_N(n, &now);
    // Reported once when the channel becomes unusable; frames are dropped until it is back.
    if (mChannelUsable && !usable)
        VERIFY_TEXT(__func__, "SharedCameraBundle::GetWriteableFrameBuffer_N(n, &now)", false);
    mChannelUsable = usable;
    if (!usable || (_CGContext[n] && now.frameBufferPtr == _camera_buffer[n].frameBufferPtr))
        return;
    createContexts(kNSUICamBroadcastControlFast_Buffer0);
    createContexts(kNSUICamBroadcastControlFast_Buffer1);
}

int CamBroadcastWriter::beginStampedBuffer()
{
    if (!mStamped.IsOpen()) {
        if (!isBroadcasting())
            return -1;
        if (mStampedRetry > 0) {
            --mStampedRetry;
            return -1;
        }
        mStampedRetry = kStampedRetryFrames;
        if (!mStamped.Open(StampedChannelFile::DefaultPath(), mFrameWidth, mFrameHeight))
            return -1;
        mStamped.SetConnectionsAllowed(mAllowConnections);
    }
    return mStamped.BeginFrame();
}

CIContext* CamBroadcastWriter::beginStampedFrame()
{
    const int n = beginStampedBuffer();
    if (n < 0)
        return nullptr;
    StampedContext& context = mStampedContexts[n];
    UInt8* pixels = mStamped.Buffer(n);
    // The two sizes differ in width: a context of the other size is made anew.
    if (context.pixels != pixels || context.width != mFrameWidth) {
        context.ci = nullptr;
        if (context.cg)
            CGContextRelease(context.cg);
        SHARED_CAMERA_BUFFER record = EmptyRecord();
        record.frameBufferPtr = pixels;
        record.frameBufferRowBytes = mFrameWidth * 4;
        record.frameBufferSizeBytes = SInt32(kStampedChannelBufferBytes);
        record.frameWidth = SInt16(mFrameWidth);
        record.frameHeight = SInt16(mFrameHeight);
        context.cg = CGContextRef_From_ARGB_CameraBuffer(record);
        context.ci = context.cg ? CIContext::contextWithCGContext(context.cg) : nullptr;
        context.pixels = pixels;
        context.width = mFrameWidth;
    }
    if (!context.ci) {
        mStamped.AbandonFrame();
        return nullptr;
    }
    mStampedBuffer = n;
    mDrawingCG = context.cg;
    mDrawnPixels = pixels;
    return context.ci.get();
}

CIContext* CamBroadcastWriter::privateFrameContext()
{
    if (mFrameWidth == kSharedCameraFrameWidth && mFrameHeight == kSharedCameraFrameHeight) {
        mDrawingCG = currentCGContext();
        mDrawnPixels = nullptr;
        return currentCIContext();
    }
    // Made at the first frame of this size and kept.
    if (int(mPrivateFrame.mImageWidth) != mFrameWidth || !mPrivateContext) {
        mPrivateContext = nullptr;
        if (!mPrivateFrame.Construct(mFrameWidth, mFrameHeight,
                                     CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0))
            return nullptr;
        mPrivateContext = CIContext::contextWithCGContext(mPrivateFrame.mContext);
    }
    mDrawingCG = mPrivateFrame.mContext;
    mDrawnPixels = mPrivateFrame.mImageDataBytes;
    return mPrivateContext.get();
}

void CamBroadcastWriter::releaseStampedContexts()
{
    mStamped.AbandonFrame();
    mStampedBuffer = -1;
    for (StampedContext& context : mStampedContexts) {
        context.ci = nullptr;
        if (context.cg)
            CGContextRelease(context.cg);
        context = StampedContext();
    }
}

CIContext* CamBroadcastWriter::beginSwitchContextsClear(bool in_clear)
{
    followChannel();
    mHoldsCurrentLock = currentCIContext() && lockCurrentCIContext();
    if (!mHoldsCurrentLock)
        ++mFramesDropped;
    CIContext* drawing = beginStampedFrame();
    if (!drawing && mHoldsCurrentLock)
        drawing = privateFrameContext();
    if (drawing && in_clear)
        CGContextClearRect(mDrawingCG, extent());
    return drawing;
}

CIContext* CamBroadcastWriter::beginSwitchContexts()
{
    return beginSwitchContextsClear(false);
}

void CamBroadcastWriter::endSwitchContexts()
{
    const int stamped = std::exchange(mStampedBuffer, -1);
    const UInt8* drawn = std::exchange(mDrawnPixels, nullptr);
    mDrawingCG = nullptr;
    const bool holdsClassic = std::exchange(mHoldsCurrentLock, false);
    // The classic buffer gets the picture before the stamped buffer is let go.
    if (holdsClassic && drawn) {
        const SHARED_CAMERA_BUFFER& classic = _camera_buffer[_SharedCameraBufferNumber];
        FitChannelFrameInto(drawn, mFrameWidth * 4, mFrameWidth, mFrameHeight,
                            static_cast<UInt8*>(classic.frameBufferPtr),
                            classic.frameBufferRowBytes, classic.frameWidth, classic.frameHeight);
    }
    if (stamped >= 0)
        mStamped.EndFrame(mCaptureTimes);
    // A classic frame whose lock was not taken was not drawn: nothing to give back or show.
    if (!holdsClassic)
        return;
    // A failed unlock also means the channel file was cut short while the frame was drawn: it
    // went nowhere, and the channel is made anew for the next one.
    if (!unlockCurrentCIContext()) {
        ++mFramesDropped;
        return;
    }
    use_SHARED_CAMERA_BUFFER(_SharedCameraBufferNumber);
    flipBufferNumber();
    ++mFramesPublished;
}

bool import_CamBroadcastWriter()
{
    return import_SharedCameraBundle() && import_CoreGraphicsBitmapContext();
}
