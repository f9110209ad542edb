// 4:2:2 frames of any shape, with any data size, against bitmaps of any shape and type: the
// copies, mixes and transitions stay inside every memory (the sanitizer sees the bytes end exactly
// where the data does), leave the bitmap's row padding alone, and every conversion path gives the
// same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CoreGraphicsBitmapContext.h"
#include "CoreGraphicsMaskContext.h"
#include "Q_2vuy_data.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Input
{
    const uint8_t* data;
    size_t size;
    uint8_t Byte()
    {
        if (size == 0)
            return 0;
        --size;
        return *data++;
    }
    int Int(int lowest, int count)
    {
        const int low = Byte();
        const int high = Byte();
        return lowest + (low | high << 8) % count;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    const UInt32 formats[3] = {Q_2vuy_format::kFormat_2vuy, Q_2vuy_format::kFormat_yuvs,
                               FourCC("yuv2")};
    Q_2vuy_data image;
    image._width = SInt16(in.Int(-2, 80));
    image._height = SInt16(in.Int(-2, 40));
    image._rowBytes = in.Int(-8, 200);
    image._pixelFormat = formats[in.Byte() % 3];
    const size_t dataSize = size_t(in.Int(0, 4096));
    const int bitmapWidth = in.Int(1, 60), bitmapHeight = in.Int(1, 40);
    const auto type = CoreGraphics::BitmapContext::BitmapType(1 + in.Byte() % 4);
    const int padding = in.Byte() % 16;
    const p3dqd::QRect rect(SInt16(in.Int(-4, 50)), SInt16(in.Int(-4, 90)), SInt16(in.Int(-4, 50)),
                            SInt16(in.Int(-4, 90)));
    const bool bottomAligned = in.Byte() & 1;

    // Exactly dataSize bytes on the heap, so a read one past them is caught.
    std::vector<UInt8> pixels(dataSize);
    for (size_t i = 0; i < dataSize; ++i)
        pixels[i] = in.size ? in.Byte() : UInt8(i * 29);
    image._PixelData = dataSize ? pixels.data() : nullptr;
    image._PixelDataSize = dataSize;

    CoreGraphics::BitmapContext bitmap;
    const int channels = type == CoreGraphics::BitmapContext::BitmapType_Device_Gray ? 1 : 4;
    if (!bitmap.Construct(bitmapWidth, bitmapHeight, type,
                          (unsigned long)(bitmapWidth * channels + padding)))
        return 0;
    std::memset(bitmap.mImageDataBytes, 0xA5, bitmap.mImageDataSize);

    image.CopyPixelsTo(bitmap);
    for (int row = 0; row < bitmapHeight; ++row)
        for (int i = bitmapWidth * channels; i < int(bitmap.mImageRowBytes); ++i)
            Check(bitmap.mImageDataBytes[size_t(row) * bitmap.mImageRowBytes + size_t(i)] == 0xA5);

    Q_2vuy_data sub;
    if (image.ConstructSubImage(sub, rect)) {
        Check(sub._PixelData >= image._PixelData &&
              sub._PixelData + sub._PixelDataSize == image._PixelData + image._PixelDataSize);
        sub.CopyPixelsTo(bitmap);
        sub.CopyPixelsFromColor(235, 128, 128);
    }
    image.CopyPixelsFrom(bitmap, bottomAligned);

    Q_2vuy_buffer other;
    Q_2vuy_format format = image;
    format._pixelFormat = formats[(in.Byte() & 1)];
    if (other.AllocateBuffer(format)) {
        other.CopyPixelsFrom(image);
        image.CopyPixelsFrom(other);

        // The frame operations between the image, the buffer and the sub-image, which may lie
        // over the image's own pixels.
        RasterGraphics::CLUT_BASE table;
        for (UInt8& entry : table.mTable)
            entry = in.Byte();
        RasterGraphics::T_HISTOGRAM<> histogram;
        if (other.CopyPixelsFrom(image, table, histogram))
            Check(histogram.Total() <= uint64_t(other._width) * uint64_t(other._height));
        histogram.GetEqualized(table, in.Byte(), in.Byte());
        image.CopyPixelsFrom(image, other, float(in.Int(-20, 140)) / 100.0f);
        other.WipePixelsFrom(image, other, rect);
        CoreGraphics::MaskContext mask;
        if (mask.Construct(in.Byte() & 1 ? other._width : in.Int(1, 80), other._height))
            other.WipePixelsFrom(other, image, mask);
        const Q_2vuy_data& picture = sub.IsEmpty() ? image : sub;
        other.WipePIPPixelsFrom(image, picture, rect);
        image.WipePIPPixelsFrom(image, picture, rect);
        other.WipeTwoUpPixelsFrom(image, picture);
        const p3dqd::QRect second(SInt16(in.Int(-4, 50)), SInt16(in.Int(-4, 90)),
                                  SInt16(in.Int(-4, 50)), SInt16(in.Int(-4, 90)));
        other.WipeTwoUpPixelsFromCore(picture, image, rect, second);
        const int pixels = int(std::min(dataSize, other._PixelDataSize) / 2);
        Q_2vuy_data::SwizzleScanline_XXXX_to_2vuy(image._PixelData, image._pixelFormat,
                                                  other._PixelData, pixels, table, histogram);
    }

    // Every path the CPU has gives the scalar bytes for a row of whatever data there is.
    const int width = int(dataSize / 4) * 2;
    std::vector<UInt8> scalar(size_t(width) * 4), fast(scalar.size());
    const UInt32 rowFormat = formats[dataSize % 2];
    Q_2vuy_data::ConvertScanline_to_ARGB(Q_2vuy_path::kScalar, rowFormat, pixels.data(),
                                         scalar.data(), width);
    for (Q_2vuy_path path : {Q_2vuy_path::kAVX2, Q_2vuy_path::kAVX512})
        if (Q_2vuy_data::ConvertScanline_to_ARGB(path, rowFormat, pixels.data(), fast.data(),
                                                 width))
            Check(fast == scalar);
    return 0;
}
