#include "CoreGraphicsBitmapContext.h"

#include <cstdint>
#include <cstdlib>

#include "CoreMachDebugLog.h"

// Checks and answers its argument; nested in a VERIFY, a failure reports both texts.
#ifndef VERIFIED
#define VERIFIED(...) VERIFY(__VA_ARGS__)
#endif

namespace CoreGraphics {

BitmapContext::BitmapContext()
    : mContext(nullptr), mImageType(BitmapType(0)), mImageWidth(0), mImageHeight(0),
      mImageBitsPerPixel(0), mImageChannels(0), mImageRowBytes(0), mImageDataSize(0),
      mImageBitmapInfo(0), mImageColorspace(nullptr), mImageDataBytes(nullptr)
{
}

BitmapContext::~BitmapContext()
{
    Destruct();
}

bool BitmapContext::Construct(int width, int height, BitmapType type, unsigned long inUseRowBytes)
{
    // Reuse after Destruct is the rule; a second Construct must not leak the first.
    if (IsConstructed())
        Destruct();
    mImageType = type;
    mImageWidth = UInt32(width);
    mImageHeight = UInt32(height);
    mContext = nullptr;
    mImageBitmapInfo = 0;

    switch (type) {
    case BitmapType_Device_Gray:
        mImageChannels = 1;
        mImageColorspace = CGColorSpaceCreateDeviceGray();
        mImageBitmapInfo = kCGImageAlphaNone;
        break;
    case BitmapType_Device_ARGB:
        mImageChannels = 4;
        mImageColorspace = CGColorSpaceCreateDeviceRGB();
        mImageBitmapInfo = kCGImageAlphaPremultipliedFirst;
        break;
    case BitmapType_Device_XRGB:
        mImageChannels = 4;
        mImageColorspace = CGColorSpaceCreateDeviceRGB();
        mImageBitmapInfo = kCGImageAlphaNoneSkipFirst;
        break;
    case BitmapType_Device_RGBX:
        mImageChannels = 4;
        mImageColorspace = CGColorSpaceCreateDeviceRGB();
        mImageBitmapInfo = kCGImageAlphaNoneSkipLast;
        break;
    default:
        return false;
    }

    mImageBitsPerPixel = 8 * mImageChannels;
    // Wraps only for widths that the size check below refuses.
    mImageRowBytes = mImageChannels * mImageWidth;
    if (inUseRowBytes != 0) {
        // clang-format off
        if (VERIFY(inUseRowBytes>=mImageRowBytes))
            mImageRowBytes = UInt32(inUseRowBytes);
        // clang-format on
    }
    // Checked in 64 bits, so no size wraps into a small allocation that the context would
    // then write past.
    const bool fSizeOk = width > 0 && height > 0 && inUseRowBytes <= UINT32_MAX &&
                         uint64_t(mImageChannels) * uint64_t(width) <= UINT32_MAX &&
                         uint64_t(mImageRowBytes) * uint64_t(height) <= UINT32_MAX;
    bool fOk = VERIFY(fSizeOk);
    if (fOk) {
        mImageDataSize = mImageRowBytes * mImageHeight;
        fOk = VERIFY(mImageDataBytes = CreateImageData(mImageDataSize));
    }
    if (fOk) {
        CGContextRef newContextRef = nullptr;
        // clang-format off
        fOk = VERIFY(newContextRef = ::CGBitmapContextCreate(mImageDataBytes, mImageWidth, mImageHeight, kImageBitsPerComponent, mImageRowBytes, mImageColorspace, mImageBitmapInfo ));
        // clang-format on
        mContext = newContextRef;
    }
    if (fOk)
        VERIFY(fOk = VERIFIED(ConstructGWorld()));
    if (!fOk)
        Release();
    return fOk;
}

bool BitmapContext::ConstructGWorld()
{
    unsigned long pixelFormat = 0;
    switch (mImageType) {
    case BitmapType_Device_Gray:
        pixelFormat = k8IndexedGrayPixelFormat;
        break;
    case BitmapType_Device_ARGB:
    case BitmapType_Device_XRGB:
        pixelFormat = k32ARGBPixelFormat;
        break;
    case BitmapType_Device_RGBX:
        pixelFormat = k32RGBAPixelFormat;
        break;
    }
    // clang-format off
    return VERIFY(mGWorld.ConstructAlias((char*)mImageDataBytes, mImageRowBytes, QPoint(mImageWidth,mImageHeight), pixelFormat));
    // clang-format on
}

CGImageRef BitmapContext::ConstructCGImage() const
{
    void* refcon_unused = nullptr;
    CGDataProviderRef dataProvider = nullptr;
    // clang-format off
    if (!VERIFY(dataProvider=::CGDataProviderCreateWithData(refcon_unused, mImageDataBytes, mImageDataSize, NULL)))
        return nullptr;
    // clang-format on
    const bool fShouldInterpolate = true;
    const CGColorRenderingIntent renderingIntent = kCGRenderingIntentDefault;
    CGImageRef imageRef = nullptr;
    // clang-format off
    VERIFY(imageRef = CGImageCreate(mImageWidth, mImageHeight, kImageBitsPerComponent, mImageBitsPerPixel, mImageRowBytes, mImageColorspace, mImageBitmapInfo, dataProvider, NULL, fShouldInterpolate, renderingIntent));
    // clang-format on
    CGDataProviderRelease(dataProvider);
    return imageRef;
}

void BitmapContext::Draw(CGContextRef inContext, CGRect rect) const
{
    if (!VERIFY(IsConstructed()) || !VERIFY(inContext))
        return;
    CGImageRef tempImageRef = ConstructCGImage();
    if (!VERIFY(tempImageRef))
        return;
    CGContextDrawImage(inContext, rect, tempImageRef);
    CGImageRelease(tempImageRef);
}

unsigned char* BitmapContext::CreateImageData(unsigned long size) const
{
    return static_cast<unsigned char*>(std::malloc(size));
}

void BitmapContext::DeleteImageData(unsigned char* bytes) const
{
    if (bytes)
        std::free(bytes);
}

// Gives back whatever is held, constructed or not; the numeric fields are left alone.
void BitmapContext::Release()
{
    CGContextRelease(mContext);
    mContext = nullptr;
    mGWorld.Destruct();
    CGColorSpaceRelease(mImageColorspace);
    mImageColorspace = nullptr;
    DeleteImageData(mImageDataBytes);
    mImageDataBytes = nullptr;
}

void BitmapContext::Destruct()
{
    if (IsConstructed())
        Release();
    mContext = nullptr;
    mImageType = BitmapType(0);
    mImageWidth = 0;
    mImageHeight = 0;
    mImageBitsPerPixel = 0;
    mImageChannels = 0;
    mImageRowBytes = 0;
    mImageDataSize = 0;
    mImageBitmapInfo = 0;
    mImageColorspace = nullptr;
    mGWorld.Destruct();
    mImageDataBytes = nullptr;
}

} // namespace CoreGraphics

bool import_CoreGraphicsBitmapContext()
{
    return import_CoreGraphicsContext() && import_QGWorld() && import_CoreMachDebugLog();
}
