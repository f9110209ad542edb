// The camera image controls' chain at 640 x 480 with every control away from its identity,
// beside ffmpeg doing the comparable work in process through libavfilter (eq for brightness,
// contrast and saturation, then hflip and vflip) on frames in eq's own format, so no conversion
// is counted against it. And the chain at rest beside a bare copy of the frame.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CICameraFilterChain.h"
#include "CIContext.h"
#include "FfmpegFilterGraph.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kRowBytes = size_t(kWidth) * 4;

uint8_t Sample(int x, int y, int channel)
{
    return uint8_t((x * (3 + channel) + y * 5 + ((x ^ y) & 0x3F) * channel) & 0xFF);
}

std::vector<UInt8> Frame()
{
    std::vector<UInt8> argb(kRowBytes * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            UInt8* p = &argb[size_t(y) * kRowBytes + size_t(x) * 4];
            p[0] = 255;
            for (int c = 0; c < 3; ++c)
                p[1 + c] = Sample(x, y, c);
        }
    return argb;
}

// Per frame as the application does it: a new image of the camera's bitmap, the chain's
// output, a render into the eye's bitmap.
void RunChain(benchmark::State& state, CICameraFilterChain& chain)
{
    const std::vector<UInt8> frame = Frame();
    std::vector<UInt8> out(kRowBytes * kHeight);
    CFPtr<CIContext> context =
        CIContext::contextWithARGBMemory(out.data(), kRowBytes, kWidth, kHeight);
    for (auto _ : state) {
        CFPtr<CIImage> image =
            CIImage::imageWithARGBMemory(frame.data(), kRowBytes, kWidth, kHeight);
        CFPtr<CIImage> filtered = chain.filteredImage(image.get());
        if (!filtered || !context->drawImage(filtered.get(), CGPointMake(0, 0), filtered->extent()))
            return state.SkipWithError("the chain gave no picture");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_CameraControls640x480(benchmark::State& state)
{
    CICameraFilterChain chain;
    chain.setWhitePoint(CIColor::colorWithRed(0.95, 1.0, 0.9).get());
    chain.setExposure(0.3f);
    chain.setColorControls(1.3f, 0.05f, 1.2f);
    chain.setMirror(true, true);
    RunChain(state, chain);
}
BENCHMARK(BM_CameraControls640x480)->Unit(benchmark::kMicrosecond);

void BM_CameraControlsIdentity640x480(benchmark::State& state)
{
    CICameraFilterChain chain;
    RunChain(state, chain);
}
BENCHMARK(BM_CameraControlsIdentity640x480)->Unit(benchmark::kMicrosecond);

void BM_MemcpyFrame640x480(benchmark::State& state)
{
    const std::vector<UInt8> frame = Frame();
    std::vector<UInt8> out(frame.size());
    for (auto _ : state) {
        memcpy(out.data(), frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_MemcpyFrame640x480)->Unit(benchmark::kMicrosecond);

void BM_FfmpegEqFlip640x480(benchmark::State& state)
{
    FfmpegFilterGraph graph(kWidth, kHeight, AV_PIX_FMT_YUV444P,
                            "eq=brightness=0.05:contrast=1.2:saturation=1.3,hflip,vflip");
    if (!graph.ready())
        return state.SkipWithError("libavfilter could not build eq,hflip,vflip");
    AVFrame* in = graph.input();
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                in->data[plane][y * in->linesize[plane] + x] = Sample(x, y, plane);
    int64_t pts = 0;
    for (auto _ : state)
        if (!graph.run(pts++))
            return state.SkipWithError("eq,hflip,vflip gave no frame");
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_FfmpegEqFlip640x480)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
