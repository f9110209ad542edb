// The scaled draw of a 1280 x 720 camera-sized bitmap into a 640 x 480 one, beside libyuv
// scaling the same pixels with the same filter straight into the destination.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <libyuv.h>
#include <vector>

#include "CoreGraphics.h"

namespace {

constexpr int kSourceWidth = 1280, kSourceHeight = 720;
constexpr int kTargetWidth = 640, kTargetHeight = 480;

// An opaque A,R,G,B frame with some structure, so no path sees constant rows.
std::vector<uint8_t> SourceFrame()
{
    std::vector<uint8_t> frame(size_t(kSourceWidth) * kSourceHeight * 4);
    for (int y = 0; y < kSourceHeight; ++y)
        for (int x = 0; x < kSourceWidth; ++x) {
            uint8_t* p = &frame[(size_t(y) * kSourceWidth + x) * 4];
            p[0] = 255;
            p[1] = uint8_t(x);
            p[2] = uint8_t(y);
            p[3] = uint8_t(x ^ y);
        }
    return frame;
}

void BM_DrawScaled1280x720To640x480(benchmark::State& state)
{
    std::vector<uint8_t> source = SourceFrame();
    std::vector<uint8_t> target(size_t(kTargetWidth) * kTargetHeight * 4);
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGContextRef sourceContext =
        CGBitmapContextCreate(source.data(), kSourceWidth, kSourceHeight, 8, kSourceWidth * 4, rgb,
                              kCGImageAlphaPremultipliedFirst);
    CGContextRef targetContext =
        CGBitmapContextCreate(target.data(), kTargetWidth, kTargetHeight, 8, kTargetWidth * 4, rgb,
                              kCGImageAlphaPremultipliedFirst);
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, source.data(), source.size(), nullptr);
    CGImageRef image = CGImageCreate(kSourceWidth, kSourceHeight, 8, 32, kSourceWidth * 4, rgb,
                                     kCGImageAlphaPremultipliedFirst, provider, nullptr, true,
                                     kCGRenderingIntentDefault);
    if (!sourceContext || !targetContext || !image)
        state.SkipWithError("could not make the contexts");
    for (auto _ : state) {
        CGContextDrawImage(targetContext, CGRectMake(0, 0, kTargetWidth, kTargetHeight), image);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    CGImageRelease(image);
    CGDataProviderRelease(provider);
    CGContextRelease(targetContext);
    CGContextRelease(sourceContext);
    CGColorSpaceRelease(rgb);
}
BENCHMARK(BM_DrawScaled1280x720To640x480)->Unit(benchmark::kMillisecond);

void BM_LibyuvScale1280x720To640x480(benchmark::State& state)
{
    const std::vector<uint8_t> source = SourceFrame();
    std::vector<uint8_t> target(size_t(kTargetWidth) * kTargetHeight * 4);
    for (auto _ : state) {
        libyuv::ARGBScale(source.data(), kSourceWidth * 4, kSourceWidth, kSourceHeight,
                          target.data(), kTargetWidth * 4, kTargetWidth, kTargetHeight,
                          libyuv::kFilterBilinear);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LibyuvScale1280x720To640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
