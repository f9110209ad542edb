// Frames leave A, R, G, B memory in the byte order their receiver wants: frei0r hosts and V4L2
// RGBA32 take R, G, B, A; libyuv's rows and Qt's ARGB32 take B, G, R, A.
#pragma once

#include <cstddef>
#include <cstdint>

enum class CGPixelOrder {
    kRGBA, // R, G, B, A bytes
    kBGRA, // B, G, R, A bytes: libyuv's "ARGB"
};

// Reorders width x height pixels of A, R, G, B bytes into dst; src and dst may be the same
// memory. Alpha stays as it is (premultiplied or not). False, with nothing written, for rows
// shorter than the width or sizes beyond what the vector code takes (INT_MAX bytes).
bool CGReorderARGBPixels(const uint8_t* src, size_t srcRowBytes, uint8_t* dst, size_t dstRowBytes,
                         size_t width, size_t height, CGPixelOrder order);

// Resamples srcWidth x srcHeight pixels to dstWidth x dstHeight, each axis on its own (box
// filter down, bilinear up), and leaves them in the given byte order; a plain reorder when the
// sizes match. src and dst must not overlap. False, with nothing written, for empty sizes,
// rows shorter than their width or sizes beyond what the vector code takes.
bool CGScaleARGBPixels(const uint8_t* src, size_t srcRowBytes, size_t srcWidth, size_t srcHeight,
                       uint8_t* dst, size_t dstRowBytes, size_t dstWidth, size_t dstHeight,
                       CGPixelOrder order);
