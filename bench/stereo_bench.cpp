// The stereo mux over two 640 x 480 eyes beside ffmpeg's stereo3d=sbsl:arcd on the same eyes
// side by side, run in-process through libavfilter on rgb24, the format its anaglyph works in.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
}

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

void BM_StereoMux640x480(benchmark::State& state)
{
    const std::unique_ptr<CoreImage::ColorMatrixKernel> kernel = CompileStereoMuxKernel();
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
BENCHMARK(BM_StereoMux640x480)->Unit(benchmark::kMicrosecond);

// buffersrc -> stereo3d -> buffersink, built once; one thread, as our mux runs on one.
class Stereo3dGraph
{
public:
    Stereo3dGraph()
    {
        mGraph = avfilter_graph_alloc();
        if (!mGraph)
            return;
        mGraph->nb_threads = 1;
        const char* source = "video_size=1280x480:pix_fmt=rgb24:time_base=1/30:pixel_aspect=1/1";
        if (avfilter_graph_create_filter(&mSource, avfilter_get_by_name("buffer"), "in", source,
                                         nullptr, mGraph) < 0 ||
            avfilter_graph_create_filter(&mStereo, avfilter_get_by_name("stereo3d"), "stereo3d",
                                         "sbsl:arcd", nullptr, mGraph) < 0 ||
            avfilter_graph_create_filter(&mSink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                         nullptr, mGraph) < 0 ||
            avfilter_link(mSource, 0, mStereo, 0) < 0 || avfilter_link(mStereo, 0, mSink, 0) < 0 ||
            avfilter_graph_config(mGraph, nullptr) < 0)
            return;
        mIn = av_frame_alloc();
        mOut = av_frame_alloc();
        if (!mIn || !mOut)
            return;
        mIn->format = AV_PIX_FMT_RGB24;
        mIn->width = 2 * kWidth;
        mIn->height = kHeight;
        if (av_frame_get_buffer(mIn, 0) < 0)
            return;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < 2 * kWidth; ++x)
                for (int c = 0; c < 3; ++c)
                    mIn->data[0][y * mIn->linesize[0] + x * 3 + c] =
                        Sample(x < kWidth ? 0 : 1, x % kWidth, y, c);
        mReady = true;
    }
    ~Stereo3dGraph()
    {
        av_frame_free(&mIn);
        av_frame_free(&mOut);
        avfilter_graph_free(&mGraph);
    }

    bool ready() const { return mReady; }

    // One frame through the filter; the input frame is kept and sent again each time.
    bool run(int64_t pts)
    {
        mIn->pts = pts;
        if (av_buffersrc_add_frame_flags(mSource, mIn, AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
            av_buffersink_get_frame(mSink, mOut) < 0)
            return false;
        benchmark::DoNotOptimize(mOut->data[0]);
        av_frame_unref(mOut);
        return true;
    }

private:
    AVFilterGraph* mGraph = nullptr;
    AVFilterContext* mSource = nullptr;
    AVFilterContext* mStereo = nullptr;
    AVFilterContext* mSink = nullptr;
    AVFrame* mIn = nullptr;
    AVFrame* mOut = nullptr;
    bool mReady = false;
};

void BM_FfmpegStereo3d640x480(benchmark::State& state)
{
    Stereo3dGraph graph;
    if (!graph.ready())
        return state.SkipWithError("libavfilter could not build stereo3d=sbsl:arcd");
    int64_t pts = 0;
    for (auto _ : state)
        if (!graph.run(pts++))
            return state.SkipWithError("stereo3d gave no frame");
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_FfmpegStereo3d640x480)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
