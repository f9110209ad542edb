// ffmpeg's filters in process, as a peer: buffersrc -> a filter chain -> buffersink, built once,
// on one thread as our own code runs, over an input frame the caller fills once and sends again
// for every run.
#pragma once

#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
}

class FfmpegFilterGraph
{
public:
    FfmpegFilterGraph(int width, int height, AVPixelFormat format, const char* filters)
    {
        mGraph = avfilter_graph_alloc();
        if (!mGraph)
            return;
        mGraph->nb_threads = 1;
        const std::string source =
            "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
            ":pix_fmt=" + std::to_string(int(format)) + ":time_base=1/30:pixel_aspect=1/1";
        if (avfilter_graph_create_filter(&mSource, avfilter_get_by_name("buffer"), "in",
                                         source.c_str(), nullptr, mGraph) < 0 ||
            avfilter_graph_create_filter(&mSink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                         nullptr, mGraph) < 0)
            return;
        // The chain's open input is fed by "in", its open output feeds "out".
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        if (outputs && inputs) {
            outputs->name = av_strdup("in");
            outputs->filter_ctx = mSource;
            inputs->name = av_strdup("out");
            inputs->filter_ctx = mSink;
            mReady = avfilter_graph_parse_ptr(mGraph, filters, &inputs, &outputs, nullptr) >= 0 &&
                     avfilter_graph_config(mGraph, nullptr) >= 0;
        }
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        mIn = av_frame_alloc();
        mOut = av_frame_alloc();
        if (!mIn || !mOut) {
            mReady = false;
            return;
        }
        mIn->format = format;
        mIn->width = width;
        mIn->height = height;
        mReady = mReady && av_frame_get_buffer(mIn, 0) >= 0;
    }
    ~FfmpegFilterGraph()
    {
        av_frame_free(&mIn);
        av_frame_free(&mOut);
        avfilter_graph_free(&mGraph);
    }
    FfmpegFilterGraph(const FfmpegFilterGraph&) = delete;
    FfmpegFilterGraph& operator=(const FfmpegFilterGraph&) = delete;

    bool ready() const { return mReady; }
    // The frame every run sends; fill it once before the first.
    AVFrame* input() const { return mIn; }

    // One frame through the chain.
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
