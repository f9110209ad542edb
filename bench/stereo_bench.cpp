// The stereo mux over two 640 x 480 eyes beside ffmpeg's stereo3d=sbsl:arcd on the same eyes
// side by side, run in-process through libavfilter on rgb24, the format its anaglyph works in;
// and each colour encoding beside stereo3d of the same mode (BM_Encoding_<mode>,
// BM_FfmpegEncoding_<mode>).
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FfmpegFilterGraph.h"
#include "StereoEncodingList.h"
#include "StereoMuxKernel.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Varied opaque content, the same for both contenders.
uint8_t Sample(int eye, int x, int y, int channel)
{
    return uint8_t((x * (3 + channel) + y * (5 + eye) + ((x ^ y) & 0x3F) * channel) & 0xFF);
}

std::vector<uint8_t> Eye(int eye)
{
    std::vector<uint8_t> argb(size_t(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &argb[(size_t(y) * kWidth + x) * 4];
            p[0] = 255;
            for (int c = 0; c < 3; ++c)
                p[1 + c] = Sample(eye, x, y, c);
        }
    return argb;
}

void MuxLoop(benchmark::State& state, const CoreImage::ColorMatrixKernel* kernel)
{
    if (!kernel)
        return state.SkipWithError("the stereo kernel did not compile");
    const std::vector<uint8_t> left = Eye(0), right = Eye(1);
    std::vector<uint8_t> out(left.size());
    const CoreImage::PixelExtent extent = {0, 0, kWidth, kHeight};
    const size_t rowBytes = size_t(kWidth) * 4;
    for (auto _ : state) {
        kernel->apply({right.data(), rowBytes, extent}, {left.data(), rowBytes, extent}, 0.0f,
                      {out.data(), rowBytes, extent});
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_StereoMux640x480(benchmark::State& state)
{
    const std::unique_ptr<CoreImage::ColorMatrixKernel> kernel = CompileStereoMuxKernel();
    MuxLoop(state, kernel.get());
}
BENCHMARK(BM_StereoMux640x480)->Unit(benchmark::kMicrosecond);

void FfmpegLoop(benchmark::State& state, const std::string& filter)
{
    FfmpegFilterGraph graph(2 * kWidth, kHeight, AV_PIX_FMT_RGB24, filter.c_str());
    if (!graph.ready())
        return state.SkipWithError("libavfilter could not build the stereo3d filter");
    // The two eyes side by side, left first.
    AVFrame* in = graph.input();
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < 2 * kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                in->data[0][y * in->linesize[0] + x * 3 + c] =
                    Sample(x < kWidth ? 0 : 1, x % kWidth, y, c);
    int64_t pts = 0;
    for (auto _ : state)
        if (!graph.run(pts++))
            return state.SkipWithError("stereo3d gave no frame");
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}

void BM_FfmpegStereo3d640x480(benchmark::State& state)
{
    FfmpegLoop(state, "stereo3d=sbsl:arcd");
}
BENCHMARK(BM_FfmpegStereo3d640x480)->Unit(benchmark::kMicrosecond);

// One pair per colour encoding, named by ffmpeg's mode.
const bool sEncodings = [] {
    for (const char* mode : {"arcd", "arch", "arcg", "arcc", "argg", "agmd", "aybd"}) {
        benchmark::RegisterBenchmark((std::string("BM_Encoding_") + mode).c_str(),
                                     [mode](benchmark::State& state) {
                                         // Built at run time: the engine's statics are ready by
                                         // then.
                                         static const StereoEncodingList list("");
                                         const StereoEncoding& encoding = list.find(mode);
                                         MuxLoop(state, encoding.key == mode && encoding.kernel
                                                            ? &encoding.kernel->compiled()
                                                            : nullptr);
                                     })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("BM_FfmpegEncoding_") + mode).c_str(),
                                     [mode](benchmark::State& state) {
                                         FfmpegLoop(state, std::string("stereo3d=sbsl:") + mode);
                                     })
            ->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

} // namespace

BENCHMARK_MAIN();
