// A 640 x 480 "2vuy" camera frame into an A,R,G,B bitmap, beside libyuv's conversion of the same
// bytes (its UYVY order) into its own B,G,R,A order.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <libyuv.h>
#include <vector>

#include "CoreGraphicsBitmapContext.h"
#include "Q_2vuy_data.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A camera-like frame: gradients with some texture in luma and chroma.
std::vector<uint8_t> CameraFrame()
{
    std::vector<uint8_t> frame(size_t(kWidth) * 2 * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; x += 2) {
            uint8_t* p = &frame[size_t(y) * kWidth * 2 + size_t(x) * 2];
            p[0] = uint8_t(16 + (x * 224 / kWidth));
            p[1] = uint8_t(16 + ((x + y) % 220));
            p[2] = uint8_t(16 + (y * 224 / kHeight));
            p[3] = uint8_t(16 + ((x * y / 64 + 7) % 220));
        }
    return frame;
}

void BM_Q2vuyToARGB640x480(benchmark::State& state)
{
    std::vector<uint8_t> frame = CameraFrame();
    Q_2vuy_data image;
    image._width = kWidth;
    image._height = kHeight;
    image._rowBytes = kWidth * 2;
    image._PixelData = frame.data();
    image._PixelDataSize = frame.size();
    CoreGraphics::BitmapContext bitmap;
    if (!bitmap.Construct(kWidth, kHeight, CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0))
        return state.SkipWithError("no bitmap");
    for (auto _ : state) {
        image.CopyPixelsTo(bitmap);
        benchmark::DoNotOptimize(bitmap.mImageDataBytes);
        benchmark::ClobberMemory();
    }
}

void BM_LibyuvUYVYToARGB640x480(benchmark::State& state)
{
    const std::vector<uint8_t> frame = CameraFrame();
    std::vector<uint8_t> out(size_t(kWidth) * 4 * kHeight);
    for (auto _ : state) {
        libyuv::UYVYToARGB(frame.data(), kWidth * 2, out.data(), kWidth * 4, kWidth, kHeight);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_Q2vuyToARGB640x480);
BENCHMARK(BM_LibyuvUYVYToARGB640x480);
BENCHMARK_MAIN();
