// The camera image controls' chain at 640 x 480 with every control away from its identity,
// beside ffmpeg doing the comparable work in process through libavfilter (eq for brightness,
// contrast and saturation, then hflip and vflip) on frames in eq's own format, so no conversion
// is counted against it. And the chain at rest beside a bare copy of the frame.
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

#include "CICameraFilterChain.h"
#include "CIContext.h"

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

// buffersrc -> eq -> hflip -> vflip -> buffersink, built once; one thread, as the chain runs.
class EqFlipGraph
{
public:
    EqFlipGraph()
    {
        mGraph = avfilter_graph_alloc();
        if (!mGraph)
            return;
        mGraph->nb_threads = 1;
        const char* source = "video_size=640x480:pix_fmt=yuv444p:time_base=1/30:pixel_aspect=1/1";
        AVFilterContext *eq = nullptr, *hflip = nullptr, *vflip = nullptr;
        if (avfilter_graph_create_filter(&mSource, avfilter_get_by_name("buffer"), "in", source,
                                         nullptr, mGraph) < 0 ||
            avfilter_graph_create_filter(&eq, avfilter_get_by_name("eq"), "eq",
                                         "brightness=0.05:contrast=1.2:saturation=1.3", nullptr,
                                         mGraph) < 0 ||
            avfilter_graph_create_filter(&hflip, avfilter_get_by_name("hflip"), "hflip", nullptr,
                                         nullptr, mGraph) < 0 ||
            avfilter_graph_create_filter(&vflip, avfilter_get_by_name("vflip"), "vflip", nullptr,
                                         nullptr, mGraph) < 0 ||
            avfilter_graph_create_filter(&mSink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                         nullptr, mGraph) < 0 ||
            avfilter_link(mSource, 0, eq, 0) < 0 || avfilter_link(eq, 0, hflip, 0) < 0 ||
            avfilter_link(hflip, 0, vflip, 0) < 0 || avfilter_link(vflip, 0, mSink, 0) < 0 ||
            avfilter_graph_config(mGraph, nullptr) < 0)
            return;
        mIn = av_frame_alloc();
        mOut = av_frame_alloc();
        if (!mIn || !mOut)
            return;
        mIn->format = AV_PIX_FMT_YUV444P;
        mIn->width = kWidth;
        mIn->height = kHeight;
        if (av_frame_get_buffer(mIn, 0) < 0)
            return;
        for (int plane = 0; plane < 3; ++plane)
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    mIn->data[plane][y * mIn->linesize[plane] + x] = Sample(x, y, plane);
        mReady = true;
    }
    ~EqFlipGraph()
    {
        av_frame_free(&mIn);
        av_frame_free(&mOut);
        avfilter_graph_free(&mGraph);
    }

    bool ready() const { return mReady; }

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
    AVFilterContext* mSink = nullptr;
    AVFrame* mIn = nullptr;
    AVFrame* mOut = nullptr;
    bool mReady = false;
};

void BM_FfmpegEqFlip640x480(benchmark::State& state)
{
    EqFlipGraph graph;
    if (!graph.ready())
        return state.SkipWithError("libavfilter could not build eq,hflip,vflip");
    int64_t pts = 0;
    for (auto _ : state)
        if (!graph.run(pts++))
            return state.SkipWithError("eq,hflip,vflip gave no frame");
    state.SetItemsProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_FfmpegEqFlip640x480)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
