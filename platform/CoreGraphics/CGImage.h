// Images over a provider's bytes: drawn where they lie, never copied unless asked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CGColorSpace.h"
#include "CGDataProvider.h"
#include "CGGeometry.h"

typedef struct CGImage* CGImageRef;

typedef uint32_t CGBitmapInfo;

enum CGImageAlphaInfo : uint32_t {
    kCGImageAlphaNone = 0,
    kCGImageAlphaPremultipliedLast = 1,
    kCGImageAlphaPremultipliedFirst = 2,
    kCGImageAlphaLast = 3,
    kCGImageAlphaFirst = 4,
    kCGImageAlphaNoneSkipLast = 5,
    kCGImageAlphaNoneSkipFirst = 6,
    kCGImageAlphaOnly = 7,
};

enum : CGBitmapInfo {
    kCGBitmapAlphaInfoMask = 0x1F,
    kCGBitmapFloatComponents = 1u << 8,
    kCGBitmapByteOrderMask = 0x7000,
    kCGBitmapByteOrderDefault = 0u << 12,
    kCGBitmapByteOrder16Little = 1u << 12,
    kCGBitmapByteOrder32Little = 2u << 12,
    kCGBitmapByteOrder16Big = 3u << 12,
    kCGBitmapByteOrder32Big = 4u << 12,
};

enum CGColorRenderingIntent {
    kCGRenderingIntentDefault = 0,
    kCGRenderingIntentAbsoluteColorimetric = 1,
    kCGRenderingIntentRelativeColorimetric = 2,
    kCGRenderingIntentPerceptual = 3,
    kCGRenderingIntentSaturation = 4,
};

// The layouts drawn here, 8 bits per component and no byte-order flag:
//   grey space, 8 bits per pixel, kCGImageAlphaNone;
//   RGB space, 32 bits per pixel, kCGImageAlphaPremultipliedFirst (A,R,G,B in memory),
//   kCGImageAlphaNoneSkipFirst (x,R,G,B) or kCGImageAlphaNoneSkipLast (R,G,B,x).
// Anything else, rows shorter than a pixel row or a provider shorter than the rows gives null.
// The image borrows the provider's bytes (it retains the provider); decode must be null.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent intent);
// A new image owning a copy of the pixels as they are now.
CGImageRef CGImageCreateCopy(CGImageRef image);
CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);
size_t CGImageGetBitsPerPixel(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image);
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);
CGColorSpaceRef CGImageGetColorSpace(CGImageRef image);
CGDataProviderRef CGImageGetDataProvider(CGImageRef image);
bool CGImageGetShouldInterpolate(CGImageRef image);
// The first byte of row 0 (the top row); null for null.
const void* CGImageGetPixelBase(CGImageRef image);
CFTypeID CGImageGetTypeID(void);
