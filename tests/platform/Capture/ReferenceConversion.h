// The conversion the decompressor is held to, written plainly in double: BT.601 Y'CbCr to R'G'B',
// limited range (Y 16..235, Cb Cr 16..240) as cameras send YUYV, UYVY, NV12 and YUV420, or full
// range as JPEG stores it.
#pragma once

#include <array>
#include <cmath>

#include "MacTypes.h"

namespace p3dtest {

inline UInt8 ClampToByte(double value)
{
    return UInt8(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
}

// A, R, G, B of one opaque pixel.
inline std::array<UInt8, 4> ReferenceARGB(int y, int cb, int cr, bool fullRange)
{
    double luma = y, kr = 1.402, kgb = 0.344136, kgr = 0.714136, kb = 1.772;
    if (!fullRange) {
        luma = (y - 16.0) * 255.0 / 219.0;
        const double chroma = 255.0 / 224.0;
        kr *= chroma, kgb *= chroma, kgr *= chroma, kb *= chroma;
    }
    const double u = cb - 128.0, v = cr - 128.0;
    return {255, ClampToByte(luma + kr * v), ClampToByte(luma - kgb * u - kgr * v),
            ClampToByte(luma + kb * u)};
}

} // namespace p3dtest
