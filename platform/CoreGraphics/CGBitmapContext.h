// A context over the caller's pixel memory, rows top to bottom.
#pragma once

#include "CGContext.h"

// Supported: grey with kCGImageAlphaNone, 8 bits per component; RGB with
// kCGImageAlphaPremultipliedFirst, kCGImageAlphaNoneSkipFirst or kCGImageAlphaNoneSkipLast.
// Anything else, a byte-order flag, null data or space, a zero size or rows narrower than the
// pixels give null. bytesPerRow 0 asks for packed rows. The memory stays the caller's.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space,
                                   CGBitmapInfo bitmapInfo);
// Null or 0 for null or a context that is not a bitmap context.
void* CGBitmapContextGetData(CGContextRef context);
size_t CGBitmapContextGetWidth(CGContextRef context);
size_t CGBitmapContextGetHeight(CGContextRef context);
size_t CGBitmapContextGetBytesPerRow(CGContextRef context);
size_t CGBitmapContextGetBitsPerPixel(CGContextRef context);
CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef context);
CGColorSpaceRef CGBitmapContextGetColorSpace(CGContextRef context);
