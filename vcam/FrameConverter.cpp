#include "FrameConverter.h"

#include <climits>
#include <cstring>

#include <libyuv.h>
#include <libyuv/row.h>

#include "CGPixelOrder.h"

namespace {

// libyuv's ARGBToYUY2 allocates its row buffers on every call, so the rows it is made of are
// driven here over scratch made with the converter. The Any_ variants take every width and
// give the same values as the full-width ones, the choice follows libyuv's own.
struct YUY2Rows
{
    void (*toY)(const uint8_t* argb, uint8_t* y, int width) = libyuv::ARGBToYRow_C;
    void (*toUV)(const uint8_t* argb, int stride, uint8_t* u, uint8_t* v,
                 int width) = libyuv::ARGBToUVRow_C;
    void (*pack)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* yuy2,
                 int width) = libyuv::I422ToYUY2Row_C;
};

const YUY2Rows& Rows()
{
    static const YUY2Rows rows = [] {
        YUY2Rows r;
        [[maybe_unused]] auto has = [](int flag) { return libyuv::TestCpuFlag(flag) != 0; };
#if defined(HAS_ARGBTOYROW_SSSE3)
        if (has(libyuv::kCpuHasSSSE3))
            r.toY = libyuv::ARGBToYRow_Any_SSSE3;
#endif
#if defined(HAS_ARGBTOYROW_AVX2)
        if (has(libyuv::kCpuHasAVX2))
            r.toY = libyuv::ARGBToYRow_Any_AVX2;
#endif
#if defined(HAS_ARGBTOYROW_NEON)
        if (has(libyuv::kCpuHasNEON))
            r.toY = libyuv::ARGBToYRow_Any_NEON;
#endif
#if defined(HAS_ARGBTOUVROW_SSSE3)
        if (has(libyuv::kCpuHasSSSE3))
            r.toUV = libyuv::ARGBToUVRow_Any_SSSE3;
#endif
#if defined(HAS_ARGBTOUVROW_AVX2)
        if (has(libyuv::kCpuHasAVX2))
            r.toUV = libyuv::ARGBToUVRow_Any_AVX2;
#endif
#if defined(HAS_ARGBTOUVROW_NEON)
        if (has(libyuv::kCpuHasNEON))
            r.toUV = libyuv::ARGBToUVRow_Any_NEON;
#endif
#if defined(HAS_I422TOYUY2ROW_SSE2)
        if (has(libyuv::kCpuHasSSE2))
            r.pack = libyuv::I422ToYUY2Row_Any_SSE2;
#endif
#if defined(HAS_I422TOYUY2ROW_AVX2)
        if (has(libyuv::kCpuHasAVX2))
            r.pack = libyuv::I422ToYUY2Row_Any_AVX2;
#endif
#if defined(HAS_I422TOYUY2ROW_NEON)
        if (has(libyuv::kCpuHasNEON))
            r.pack = libyuv::I422ToYUY2Row_Any_NEON;
#endif
        return r;
    }();
    return rows;
}

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
            const YUY2Rows& rows = Rows();
            uint8_t* const bgra = mRow.data();
            uint8_t* const rowY = bgra + inRow;
            uint8_t* const rowU = rowY + mWidth;
            uint8_t* const rowV = rowU + mWidth / 2;
            CGReorderARGBPixels(src, inRow, bgra, inRow, size_t(mWidth), 1, CGPixelOrder::kBGRA);
            rows.toUV(bgra, 0, rowU, rowV, mWidth); // stride 0: 4:2:2, no vertical average
            rows.toY(bgra, rowY, mWidth);
            rows.pack(rowY, rowU, rowV, dst, mWidth);
            break;
        }
        }
    }
}
