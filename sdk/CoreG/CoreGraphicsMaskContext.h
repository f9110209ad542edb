// A grey bitmap used as a mask: one byte a pixel, 0 for none and 255 for full coverage, rows
// from the top.
#pragma once

#include "CoreGraphicsBitmapContext.h"

namespace CoreGraphics {

class MaskContext : public BitmapContext
{
public:
    // Always grey: a mask has one coverage byte a pixel.
    bool Construct(int width, int height, unsigned long inUseRowBytes = 0)
    {
        return BitmapContext::Construct(width, height, BitmapType_Device_Gray, inUseRowBytes);
    }
    bool IsMask() const { return IsConstructed() && GetImageType() == BitmapType_Device_Gray; }
    const UInt8* Row(UInt32 in_y) const { return mImageDataBytes + size_t(in_y) * mImageRowBytes; }
};

} // namespace CoreGraphics

inline bool import_CoreGraphicsMaskContext()
{
    return import_CoreGraphicsBitmapContext();
}
