#include "VSharedCameraBuffer.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

#include "CFCollections.h"
#include "CVPixelBuffer.h"
#include "CoreMachDebugLog.h"
#include "Q_2vuy_data.h"
#include "shared_camera_bundle.h"

namespace {

const char kInitialize[] = "+[CIParallax3DInput_VSharedCameraBuffer initialize]";
const char kQuartzARGB[] =
    "-[CIParallax3DInput_VSharedCameraBuffer quartzImageFrom_ARGB_CameraBuffer]";
const char kCoreVideo[] =
    "-[CIParallax3DInput_VSharedCameraBuffer coreVideoImageFrom_CameraBuffer]";

constexpr OSType kFormat2vuy = FourCC("2vuy");
constexpr int kSecCSDefaultFlags = 0;
constexpr int kSecCSSigningInformation = 2;

// The host's identity here is its executable's file name.
OSStatus SecCodeCopySelf(int, std::string* out_code)
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0)
        return OSStatus(-errno);
    out_code->assign(path, size_t(length));
    return noErr;
}

OSStatus SecCodeCopySigningInformation(const std::string& in_code, int, std::string* out_identifier)
{
    const size_t slash = in_code.rfind('/');
    *out_identifier = slash == std::string::npos ? in_code : in_code.substr(slash + 1);
    return out_identifier->empty() ? OSStatus(paramErr) : noErr;
}

bool SameFrame(const SHARED_CAMERA_BUFFER& in_a, const SHARED_CAMERA_BUFFER& in_b)
{
    return in_a.frameBufferPtr == in_b.frameBufferPtr &&
           in_a.frameBufferRowBytes == in_b.frameBufferRowBytes &&
           in_a.frameBufferSizeBytes == in_b.frameBufferSizeBytes &&
           in_a.frameWidth == in_b.frameWidth && in_a.frameHeight == in_b.frameHeight &&
           in_a.framePixelFormat == in_b.framePixelFormat;
}

void ReleaseCopiedData(void* info, const void*, size_t)
{
    CFRelease(static_cast<CFDataRef>(info));
}

} // namespace

const char* const CIParallax3DInput_VSharedCameraBuffer::kHostsWithoutSemaphores[] = {
    "ffmpegthumbnailer", "totem-video-thumbnailer", "tumblerd", nullptr};

bool CIParallax3DInput_VSharedCameraBuffer::sRunningInSandboxWithNoSemaphores = false;

void CIParallax3DInput_VSharedCameraBuffer::initialize()
{
    static std::once_flag sOnce;
    std::call_once(sOnce, [] {
        sRunningInSandboxWithNoSemaphores = false;
        std::string selfCodeRef;
        std::string codeSigningInfo;
        // clang-format off
        if (VERIFY_ERR_AT(kInitialize, SecCodeCopySelf(kSecCSDefaultFlags, &selfCodeRef)) != noErr)
            return;
        if (VERIFY_ERR_AT(kInitialize, SecCodeCopySigningInformation(selfCodeRef,kSecCSSigningInformation, &codeSigningInfo)) != noErr)
            return;
        // clang-format on
        CoreMachDebugLog("%s %s %s\n", "__LP64__", "CISpyglassInput", codeSigningInfo.c_str());
        IdentifyHost(codeSigningInfo.c_str());
    });
}

void CIParallax3DInput_VSharedCameraBuffer::IdentifyHost(const char* in_executableName)
{
    sRunningInSandboxWithNoSemaphores = false;
    for (const char* const* host = kHostsWithoutSemaphores; *host; ++host)
        if (in_executableName && strcmp(in_executableName, *host) == 0)
            sRunningInSandboxWithNoSemaphores = true;
}

CIParallax3DInput_VSharedCameraBuffer::CIParallax3DInput_VSharedCameraBuffer()
    : camera{}, _frameSize{kSharedCameraFrameWidth, kSharedCameraFrameHeight}
{
    initialize();
    initInstance();
}

CIParallax3DInput_VSharedCameraBuffer::~CIParallax3DInput_VSharedCameraBuffer() = default;

void CIParallax3DInput_VSharedCameraBuffer::initInstance()
{
    _frameSize = CGSize{kSharedCameraFrameWidth, kSharedCameraFrameHeight};
    if (readCurrentCameraFrame() && IsReadableFrame()) {
        _frameSize = CGSize{double(camera.frameWidth), double(camera.frameHeight)};
        CoreMachDebugLog("__LP64__ %s (%d,%d) rowBytes:%d\n", "CISpyglassInput", camera.frameWidth,
                         camera.frameHeight, int(camera.frameBufferRowBytes));
    }
    auto bitmap = std::make_unique<CoreGraphics::BitmapContext>();
    if (bitmap->Construct(int(_frameSize.width), int(_frameSize.height),
                          CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0))
        _bitmapContext = std::move(bitmap);
}

bool CIParallax3DInput_VSharedCameraBuffer::readCurrentCameraFrame()
{
    camera = SHARED_CAMERA_BUFFER{};
    camera.sizeofSHARED_CAMERA_BUFFER = sizeof(SHARED_CAMERA_BUFFER);
    return SharedCameraBundle::GetCurrentReadBuffer(&camera) && camera.frameBufferPtr != nullptr;
}

bool CIParallax3DInput_VSharedCameraBuffer::hasCurrentCameraFrame() const
{
    return camera.sizeofSHARED_CAMERA_BUFFER == sizeof(SHARED_CAMERA_BUFFER) &&
           camera.frameBufferPtr != nullptr;
}

bool CIParallax3DInput_VSharedCameraBuffer::IsReadableFrame() const
{
    // Only what the channel can carry: ARGB ("raw " or its pixel buffer code) and 2vuy. A
    // description the memory cannot hold is refused rather than read past.
    const OSType format = camera.framePixelFormat;
    const bool argb = format == kSharedCameraPixelFormat || format == kCVPixelFormatType_32ARGB;
    if (!argb && format != kFormat2vuy)
        return false;
    if (camera.frameWidth <= 0 || camera.frameHeight <= 0 || camera.frameBufferRowBytes <= 0 ||
        camera.frameBufferSizeBytes <= 0)
        return false;
    if (!argb && camera.frameWidth % 2 != 0)
        return false;
    const int64_t pixelBytes = argb ? 4 : 2;
    return int64_t(camera.frameBufferRowBytes) >= camera.frameWidth * pixelBytes &&
           int64_t(camera.frameBufferRowBytes) * camera.frameHeight <= camera.frameBufferSizeBytes;
}

CFPtr<CIImage> CIParallax3DInput_VSharedCameraBuffer::fastestCoreImage()
{
    if (!hasCurrentCameraFrame() || !IsReadableFrame())
        return nullptr;
    if (!_bitmapContext || !_bitmapContext->IsConstructed())
        return nullptr;

    CFPtr<CIImage> coreVideoImage;
    CGImageRef quartzImage = nullptr;
    if (camera.framePixelFormat != kFormat2vuy) {
        const bool locking = !sRunningInSandboxWithNoSemaphores;
        if (locking && !SharedCameraBundle::LockFrameBuffer(camera.frameBufferPtr))
            return nullptr;
        coreVideoImage = coreVideoImageFrom_CameraBuffer();
        if (!coreVideoImage)
            quartzImage = quartzImageFrom_ARGB_CameraBuffer();
        if (locking)
            SharedCameraBundle::UnLockFrameBuffer(camera.frameBufferPtr);
    } else {
        coreVideoImage = coreVideoImageFrom_CameraBuffer();
        if (!coreVideoImage)
            quartzImage = quartzImageFrom_2vuy_CameraBuffer();
    }
    if (coreVideoImage)
        return coreVideoImage;
    if (!quartzImage)
        return nullptr;
    CFPtr<CIImage> image = CIImage::imageWithCGImage(quartzImage);
    CGImageRelease(quartzImage);
    return image;
}

CFPtr<CIImage> CIParallax3DInput_VSharedCameraBuffer::coreVideoImageFrom_CameraBuffer()
{
    if (camera.frameBufferPtr == nullptr)
        return nullptr;
    // The channel's buffers stay where they are: an image over one is made once and handed out
    // again while its description holds, so a steady broadcast allocates nothing.
    for (const WrappedFrame& wrapped : _wrappedFrames)
        if (wrapped.image && SameFrame(wrapped.record, camera))
            return wrapped.image;
    const OSType format = camera.framePixelFormat == kSharedCameraPixelFormat
                              ? OSType(kCVPixelFormatType_32ARGB)
                              : camera.framePixelFormat;
    // The engine wraps A,R,G,B memory only; any other format takes the caller's other path
    // without a refusal logged on every frame.
    if (format != kCVPixelFormatType_32ARGB)
        return nullptr;
    CVPixelBufferRef cameraImageBuffer = nullptr;
    const CVReturn status = CVPixelBufferCreateWithBytes(
        nullptr, size_t(camera.frameWidth), size_t(camera.frameHeight), format,
        camera.frameBufferPtr, size_t(camera.frameBufferRowBytes), nullptr, nullptr, nullptr,
        &cameraImageBuffer);
    if (status != kCVReturnSuccess)
        return nullptr;
    if (!VERIFY_AT(kCoreVideo, cameraImageBuffer))
        return nullptr;
    CFPtr<CIImage> image = CIImage::imageWithCVPixelBuffer(cameraImageBuffer);
    CVPixelBufferRelease(cameraImageBuffer);
    if (image) {
        size_t slot = 1 - _lastWrapped;
        for (size_t i = 0; i < 2; ++i)
            if (_wrappedFrames[i].record.frameBufferPtr == camera.frameBufferPtr)
                slot = i;
        _wrappedFrames[slot] = WrappedFrame{camera, image};
        _lastWrapped = slot;
    }
    return image;
}

CGImageRef CIParallax3DInput_VSharedCameraBuffer::quartzImageFrom_ARGB_CameraBuffer()
{
    if (camera.frameBufferPtr == nullptr)
        return nullptr;
    CGDataProviderRef dataProvider = CGDataProviderCreateWithData(
        nullptr, camera.frameBufferPtr, size_t(camera.frameBufferSizeBytes), nullptr);
    if (!dataProvider)
        return nullptr;
    CFDataRef dataCopy = CGDataProviderCopyData(dataProvider);
    CGDataProviderRelease(dataProvider);
    if (!dataCopy)
        return nullptr;
    // The copy's provider owns the copy: the image no longer depends on the shared memory.
    CGDataProviderRef dataProviderCopy = CGDataProviderCreateWithData(
        const_cast<void*>(static_cast<const void*>(dataCopy)), CFDataGetBytePtr(dataCopy),
        size_t(CFDataGetLength(dataCopy)), ReleaseCopiedData);
    if (!dataProviderCopy) {
        CFRelease(dataCopy);
        return nullptr;
    }
    const size_t kImageBitsPerComponent = 8;
    const size_t mImageBitsPerPixel = 32;
    const size_t mImageRowBytes = size_t(camera.frameBufferRowBytes);
    CGColorSpaceRef mImageColorspace = CGColorSpaceCreateDeviceRGB();
    const CGBitmapInfo mImageBitmapInfo = kCGImageAlphaPremultipliedFirst;
    const bool fShouldInterpolate = true;
    const CGColorRenderingIntent renderingIntent = kCGRenderingIntentDefault;
    CGImageRef imageRef = nullptr;
    // clang-format off
    VERIFY_AT(kQuartzARGB, imageRef = CGImageCreate(camera.frameWidth, camera.frameHeight, kImageBitsPerComponent, mImageBitsPerPixel, mImageRowBytes, mImageColorspace, mImageBitmapInfo, dataProviderCopy, NULL, fShouldInterpolate, renderingIntent));
    // clang-format on
    CGColorSpaceRelease(mImageColorspace);
    CGDataProviderRelease(dataProviderCopy);
    return imageRef;
}

CGImageRef CIParallax3DInput_VSharedCameraBuffer::quartzImageFrom_2vuy_CameraBuffer()
{
    if (camera.frameBufferPtr == nullptr || !_bitmapContext)
        return nullptr;
    Q_2vuy_data frame;
    frame._width = camera.frameWidth;
    frame._height = camera.frameHeight;
    // Rows may be padded: step by the record's row bytes, not by the width.
    frame._rowBytes = intptr_t(camera.frameBufferRowBytes);
    frame._pixelFormat = kFormat2vuy;
    frame._PixelData = static_cast<UInt8*>(camera.frameBufferPtr);
    frame._PixelDataSize = size_t(camera.frameBufferSizeBytes);
    frame.CopyPixelsTo(*_bitmapContext);
    return _bitmapContext->ConstructCGImage();
}

bool import_VSharedCameraBuffer()
{
    return import_SharedCameraBundle() && import_CoreGraphicsBitmapContext();
}
