#include "FrameConverter.h"

#include <climits>
#include <cstring>

#include <libyuv.h>

#include "CGPixelOrder.h"

namespace {

bool SizeFits(OutputFormat format, int width, int height)
{
    if (width <= 0 || height <= 0 || width > INT_MAX / 4)
        return false;
    return format != OutputFormat::kYUYV || width % 2 == 0;
}

} // namespace

FrameConverter::FrameConverter(OutputFormat in_format, int in_width, int in_height)
    : mFormat(in_format), mWidth(in_width), mHeight(in_height)
{
    if (IsValid() && mFormat == OutputFormat::kYUYV)
        mRow.resize(size_t(mWidth) * 6); // B,G,R,A row, then Y, then U and V at half width
}

bool FrameConverter::IsValid() const
{
    return SizeFits(mFormat, mWidth, mHeight);
}

size_t FrameConverter::OutputBytes() const
{
    return IsValid() ? OutputFrameBytes(mFormat, mWidth, mHeight) : 0;
}

void FrameConverter::Convert(const uint8_t* in_argb, size_t in_rowBytes, uint8_t* out_frame)
{
    const size_t inRow = size_t(mWidth) * 4;
    if (!IsValid() || !in_argb || !out_frame || in_rowBytes < inRow)
        return;
    const size_t outRow = OutputRowBytes(mFormat, mWidth);

    // Row by row, so a source stride beyond int (libyuv's stride type) still works and the
    // YUYV scratch row stays in the cache.
    for (int y = 0; y < mHeight; ++y) {
        const uint8_t* src = in_argb + size_t(y) * in_rowBytes;
        uint8_t* dst = out_frame + size_t(y) * outRow;
        switch (mFormat) {
        case OutputFormat::kARGB:
            std::memcpy(dst, src, inRow);
            break;
        case OutputFormat::kRGBA:
            CGReorderARGBPixels(src, inRow, dst, outRow, size_t(mWidth), 1, CGPixelOrder::kRGBA);
            break;
        case OutputFormat::kYUYV: {
            // libyuv's ARGBToYUY2 allocates its rows on every call; the same two steps through
            // planar 4:2:2, one row at a time over scratch made with the converter, give the
            // same bytes and allocate nothing.
            uint8_t* const bgra = mRow.data();
            uint8_t* const rowY = bgra + inRow;
            uint8_t* const rowU = rowY + mWidth;
            uint8_t* const rowV = rowU + mWidth / 2;
            CGReorderARGBPixels(src, inRow, bgra, inRow, size_t(mWidth), 1, CGPixelOrder::kBGRA);
            libyuv::ARGBToI422(bgra, 0, rowY, 0, rowU, 0, rowV, 0, mWidth, 1);
            libyuv::I422ToYUY2(rowY, 0, rowU, 0, rowV, 0, dst, 0, mWidth, 1);
            break;
        }
        }
    }
}
