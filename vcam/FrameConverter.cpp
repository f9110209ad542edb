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
    switch (format) {
    case OutputFormat::kYUYV:
        return width % 2 == 0;
    case OutputFormat::kI420:
        return width % 2 == 0 && height % 2 == 0;
    case OutputFormat::kARGB:
    case OutputFormat::kRGBA:
    case OutputFormat::kBGRA:
        break;
    }
    return true;
}

} // namespace

FrameConverter::FrameConverter(OutputFormat in_format, int in_width, int in_height)
    : mFormat(in_format), mWidth(in_width), mHeight(in_height)
{
    if (!IsValid())
        return;
    if (mFormat == OutputFormat::kYUYV)
        mRow.resize(size_t(mWidth) * 6); // B,G,R,A row, then Y, then U and V at half width
    else if (mFormat == OutputFormat::kI420)
        mRow.resize(size_t(mWidth) * 8 + 1); // two rows and the byte read past them
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
    if (mFormat == OutputFormat::kI420)
        return ConvertI420(in_argb, in_rowBytes, out_frame);
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
        case OutputFormat::kBGRA:
            CGReorderARGBPixels(src, inRow, dst, outRow, size_t(mWidth), 1, CGPixelOrder::kBGRA);
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
        case OutputFormat::kI420:
            break;
        }
    }
}

void FrameConverter::ConvertI420(const uint8_t* in_argb, size_t in_rowBytes, uint8_t* out_frame)
{
    // libyuv's widest rows are for its "ABGR", bytes R, G, B, A. One byte on, our A, R, G, B
    // pixels read as that, each with the next pixel's alpha, which Y, U and V ignore. The last
    // two rows would be read one byte past the frame, so they go through scratch with a byte to
    // spare, as do all rows when they lie further apart than libyuv's int stride can say.
    const size_t inRow = size_t(mWidth) * 4;
    const int halfWidth = mWidth / 2;
    uint8_t* const planeY = out_frame;
    uint8_t* const planeU = planeY + size_t(mWidth) * size_t(mHeight);
    uint8_t* const planeV = planeU + size_t(halfWidth) * size_t(mHeight / 2);
    const int direct = in_rowBytes <= size_t(INT_MAX) ? mHeight - 2 : 0;
    if (direct > 0)
        libyuv::ABGRToI420(in_argb + 1, int(in_rowBytes), planeY, mWidth, planeU, halfWidth, planeV,
                           halfWidth, mWidth, direct);
    uint8_t* const rows = mRow.data();
    for (int y = direct; y < mHeight; y += 2) {
        std::memcpy(rows, in_argb + size_t(y) * in_rowBytes, inRow);
        std::memcpy(rows + inRow, in_argb + size_t(y + 1) * in_rowBytes, inRow);
        const size_t chroma = size_t(y / 2) * size_t(halfWidth);
        libyuv::ABGRToI420(rows + 1, int(inRow), planeY + size_t(y) * size_t(mWidth), mWidth,
                           planeU + chroma, halfWidth, planeV + chroma, halfWidth, mWidth, 2);
    }
}
