#include "CGImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "CFCollections.h"
#include "CGPrivate.h"

// ---- data provider

CGDataProvider::CGDataProvider(void* inInfo, const void* inData, size_t inSize,
                               CGDataProviderReleaseDataCallback inReleaseData)
    : Object(p3dcf::kDataProviderTypeID, false), info(inInfo), data(inData), size(inSize),
      releaseData(inReleaseData)
{
}

CGDataProvider::~CGDataProvider()
{
    if (releaseData)
        releaseData(info, data, size);
}

std::u16string CGDataProvider::describeContents() const
{
    char text[64];
    std::snprintf(text, sizeof text, "%p, %zu bytes", data, size);
    return p3dcf::WidenASCII(text);
}

static const CGDataProvider* ProviderOf(CGDataProviderRef provider)
{
    return p3dcf::Cast<CGDataProvider>(provider, p3dcf::kDataProviderTypeID);
}

CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData)
{
    if (!data || size == 0)
        return nullptr;
    return new (std::nothrow) CGDataProvider(info, data, size, releaseData);
}

CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider)
{
    CFRetain(provider);
    return provider;
}

void CGDataProviderRelease(CGDataProviderRef provider)
{
    CFRelease(provider);
}

const void* CGDataProviderGetBytePtr(CGDataProviderRef provider)
{
    const CGDataProvider* p = ProviderOf(provider);
    return p ? p->data : nullptr;
}

size_t CGDataProviderGetSize(CGDataProviderRef provider)
{
    const CGDataProvider* p = ProviderOf(provider);
    return p ? p->size : 0;
}

CFDataRef CGDataProviderCopyData(CGDataProviderRef provider)
{
    const CGDataProvider* p = ProviderOf(provider);
    if (!p || !p->data || p->size > size_t(INTPTR_MAX))
        return nullptr;
    return CFDataCreate(nullptr, static_cast<const UInt8*>(p->data), CFIndex(p->size));
}

CFTypeID CGDataProviderGetTypeID(void)
{
    return p3dcf::kDataProviderTypeID;
}

// ---- layouts

namespace p3dcg {

bool LayoutFor(CGColorSpaceRef space, size_t bitsPerComponent, size_t bitsPerPixel,
               CGBitmapInfo bitmapInfo, Layout* layout)
{
    // Only alpha info is understood: byte-order, float and any unknown bit refuse.
    if (bitsPerComponent != 8 || (bitmapInfo & ~CGBitmapInfo(kCGBitmapAlphaInfoMask)) != 0)
        return false;
    const CGBitmapInfo alpha = bitmapInfo & kCGBitmapAlphaInfoMask;
    switch (CGColorSpaceGetModel(space)) {
    case kCGColorSpaceModelMonochrome:
        if (bitsPerPixel != 8 || alpha != kCGImageAlphaNone)
            return false;
        *layout = Layout::kGray;
        return true;
    case kCGColorSpaceModelRGB:
        if (bitsPerPixel != 32)
            return false;
        if (alpha == kCGImageAlphaPremultipliedFirst)
            *layout = Layout::kARGB;
        else if (alpha == kCGImageAlphaNoneSkipFirst)
            *layout = Layout::kXRGB;
        else if (alpha == kCGImageAlphaNoneSkipLast)
            *layout = Layout::kRGBX;
        else
            return false;
        return true;
    default:
        return false;
    }
}

} // namespace p3dcg

// ---- image

CGImage::CGImage() : Object(p3dcf::kImageTypeID, false) {}

CGImage::~CGImage()
{
    CFRelease(provider);
    CFRelease(space);
}

std::u16string CGImage::describeContents() const
{
    char text[96];
    std::snprintf(text, sizeof text, "%zu x %zu, %zu bits per pixel, %zu bytes per row", width,
                  height, bitsPerPixel, bytesPerRow);
    return p3dcf::WidenASCII(text);
}

static const CGImage* ImageOf(CGImageRef image)
{
    return p3dcf::Cast<CGImage>(image, p3dcf::kImageTypeID);
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent intent)
{
    p3dcg::Layout layout;
    const CGDataProvider* source = ProviderOf(provider);
    if (!source || decode || width == 0 || height == 0 || width > p3dcg::kMaxDimension ||
        height > p3dcg::kMaxDimension ||
        !p3dcg::LayoutFor(space, bitsPerComponent, bitsPerPixel, bitmapInfo, &layout))
        return nullptr;
    const size_t rowLength = width * p3dcg::BytesPerPixel(layout);
    // Both bounds keep (height - 1) * bytesPerRow + rowLength from overflowing.
    if (bytesPerRow < rowLength || bytesPerRow > source->size ||
        (height - 1) > (source->size - rowLength) / bytesPerRow)
        return nullptr;
    CGImage* image = new (std::nothrow) CGImage;
    if (!image)
        return nullptr;
    image->width = width;
    image->height = height;
    image->bitsPerPixel = bitsPerPixel;
    image->bytesPerRow = bytesPerRow;
    image->bitmapInfo = bitmapInfo;
    image->shouldInterpolate = shouldInterpolate;
    image->intent = intent;
    image->layout = layout;
    image->space = CGColorSpaceRetain(space);
    image->provider = CGDataProviderRetain(provider);
    return image;
}

static void FreeCopiedPixels(void*, const void* data, size_t)
{
    std::free(const_cast<void*>(data));
}

CGImageRef CGImageCreateCopy(CGImageRef image)
{
    const CGImage* from = ImageOf(image);
    if (!from)
        return nullptr;
    // Same row bytes, so the copy is one block; the bytes after the last pixel row are not ours.
    const size_t size =
        (from->height - 1) * from->bytesPerRow + from->width * p3dcg::BytesPerPixel(from->layout);
    void* pixels = std::malloc(size);
    if (!pixels)
        return nullptr;
    std::memcpy(pixels, from->base(), size);
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, pixels, size, FreeCopiedPixels);
    if (!provider) {
        std::free(pixels);
        return nullptr;
    }
    CGImageRef copy = CGImageCreate(from->width, from->height, 8, from->bitsPerPixel,
                                    from->bytesPerRow, from->space, from->bitmapInfo, provider,
                                    nullptr, from->shouldInterpolate, from->intent);
    CGDataProviderRelease(provider);
    return copy;
}

CGImageRef CGImageRetain(CGImageRef image)
{
    CFRetain(image);
    return image;
}

void CGImageRelease(CGImageRef image)
{
    CFRelease(image);
}

size_t CGImageGetWidth(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->width : 0;
}

size_t CGImageGetHeight(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->height : 0;
}

size_t CGImageGetBitsPerComponent(CGImageRef image)
{
    return ImageOf(image) ? 8 : 0;
}

size_t CGImageGetBitsPerPixel(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->bitsPerPixel : 0;
}

size_t CGImageGetBytesPerRow(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->bytesPerRow : 0;
}

CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->bitmapInfo : 0;
}

CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image)
{
    return CGImageAlphaInfo(CGImageGetBitmapInfo(image) & kCGBitmapAlphaInfoMask);
}

CGColorSpaceRef CGImageGetColorSpace(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->space : nullptr;
}

CGDataProviderRef CGImageGetDataProvider(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->provider : nullptr;
}

bool CGImageGetShouldInterpolate(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i && i->shouldInterpolate;
}

const void* CGImageGetPixelBase(CGImageRef image)
{
    const CGImage* i = ImageOf(image);
    return i ? i->base() : nullptr;
}

CFTypeID CGImageGetTypeID(void)
{
    return p3dcf::kImageTypeID;
}
