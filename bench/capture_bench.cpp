// One 640 x 480 camera frame decoded into a 640 x 480 A,R,G,B bitmap: MJPEG and YUYV through the
// decompressor, and the same MJPEG frame through libavcodec's decoder and swscale into ARGB (the
// same byte order), both single-threaded with contexts and frames reused.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <linux/videodev2.h>
#include <turbojpeg.h>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "FrameDecompressor.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Camera-like content: gradients with some texture, 4:2:2 as webcams send it.
std::vector<uint8_t> RGBScene()
{
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &rgb[(size_t(y) * kWidth + size_t(x)) * 3];
            p[0] = uint8_t(x * 255 / kWidth);
            p[1] = uint8_t(y * 255 / kHeight + ((x / 8 + y / 8) % 2) * 24);
            p[2] = uint8_t(((x * y) >> 7) & 0xff);
        }
    return rgb;
}

// The frame's bytes, followed by the zero padding libavcodec reads past the end of a packet.
struct Encoded
{
    std::vector<uint8_t> bytes;
    size_t size;
};

const Encoded& MJPEGFrame()
{
    static const Encoded frame = [] {
        const std::vector<uint8_t> rgb = RGBScene();
        tjhandle encoder = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        tjCompress2(encoder, rgb.data(), kWidth, 0, kHeight, TJPF_RGB, &jpeg, &size, TJSAMP_422, 85,
                    0);
        Encoded out{std::vector<uint8_t>(jpeg, jpeg + size), size};
        out.bytes.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        tjFree(jpeg);
        tjDestroy(encoder);
        return out;
    }();
    return frame;
}

std::vector<uint8_t> YUYVFrame()
{
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 2);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i % 2 ? 64 + (i / 7) % 128 : 16 + (i / 3) % 219);
    return frame;
}

void Decompress(benchmark::State& state, UInt32 fourcc, const uint8_t* frame, size_t size)
{
    std::vector<uint8_t> bitmap(size_t(kWidth) * kHeight * 4);
    Capture::FrameDecompressor decompressor;
    if (!decompressor.configure({kWidth, kHeight, fourcc, 0},
                                {bitmap.data(), size_t(kWidth) * 4, kWidth, kHeight}))
        return state.SkipWithError("configure failed");
    for (auto _ : state) {
        if (!decompressor.decompress(frame, size))
            return state.SkipWithError("the frame did not decode");
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
}

void BM_DecompressMJPEG640x480(benchmark::State& state)
{
    Decompress(state, V4L2_PIX_FMT_MJPEG, MJPEGFrame().bytes.data(), MJPEGFrame().size);
}

void BM_DecompressYUYV640x480(benchmark::State& state)
{
    const std::vector<uint8_t> frame = YUYVFrame();
    Decompress(state, V4L2_PIX_FMT_YUYV, frame.data(), frame.size());
}

void BM_FfmpegDecodeMJPEG640x480(benchmark::State& state)
{
    const Encoded& frame = MJPEGFrame();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* decoded = av_frame_alloc();
    std::vector<uint8_t> bitmap(size_t(kWidth) * kHeight * 4);
    SwsContext* sws = nullptr;
    if (!context || !packet || !decoded)
        return state.SkipWithError("no mjpeg decoder");
    context->thread_count = 1;
    av_log_set_level(AV_LOG_ERROR);
    if (avcodec_open2(context, codec, nullptr) < 0)
        return state.SkipWithError("the mjpeg decoder did not open");
    packet->data = const_cast<uint8_t*>(frame.bytes.data());
    packet->size = int(frame.size);
    // One frame first, to set up the converter once: the decoder's yuvj formats are the plain
    // ones at full range, as swscale wants them named.
    if (avcodec_send_packet(context, packet) < 0 || avcodec_receive_frame(context, decoded) < 0)
        return state.SkipWithError("the frame did not decode");
    AVPixelFormat format = AVPixelFormat(decoded->format);
    if (format == AV_PIX_FMT_YUVJ422P)
        format = AV_PIX_FMT_YUV422P;
    else if (format == AV_PIX_FMT_YUVJ420P)
        format = AV_PIX_FMT_YUV420P;
    sws = sws_getContext(decoded->width, decoded->height, format, kWidth, kHeight, AV_PIX_FMT_ARGB,
                         SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws)
        return state.SkipWithError("no converter");
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(sws, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
    uint8_t* planes[1] = {bitmap.data()};
    const int strides[1] = {kWidth * 4};
    for (auto _ : state) {
        if (avcodec_send_packet(context, packet) < 0 || avcodec_receive_frame(context, decoded) < 0)
            return state.SkipWithError("the frame did not decode");
        sws_scale(sws, decoded->data, decoded->linesize, 0, decoded->height, planes, strides);
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
    av_frame_free(&decoded);
    packet->data = nullptr;
    packet->size = 0;
    av_packet_free(&packet);
    avcodec_free_context(&context);
}

BENCHMARK(BM_DecompressMJPEG640x480)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecompressYUYV640x480)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FfmpegDecodeMJPEG640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
