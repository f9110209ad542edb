#include "VideoEncoder.h"

#include <libyuv/convert.h>

extern "C" {
#include <libavutil/opt.h>
}

#include "CoreMachDebugLog.h"

namespace {

// Fine enough that a missed tick stays a gap; MPEG-4 caps the denominator at 16 bits.
constexpr AVRational kH264TimeBase = {1, 90000};
constexpr AVRational kMpeg4TimeBase = {1, 60000};
constexpr int kMpeg4Quantiser = 3;

} // namespace

bool VideoEncoder::Open(const RecordSettings& in_settings, int in_width, int in_height,
                        bool in_globalHeader, std::string& out_message)
{
    const int width = in_width & ~1;
    const int height = in_height & ~1;
    if (width <= 0 || height <= 0 || in_settings.framesPerSecond <= 0) {
        out_message = "Nothing to record: the picture has no size";
        return false;
    }
    const AVCodec* codec = nullptr;
    if (in_settings.codec == RecordCodec::H264)
        codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    mContext.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    mFrame.reset(av_frame_alloc());
    if (!VERIFY(mContext && mFrame)) {
        out_message = "No video encoder";
        return false;
    }
    AVCodecContext* context = mContext.get();
    const bool h264 = codec->id == AV_CODEC_ID_H264;
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    // libyuv converts with BT.601's limited range; say so, so players do not guess.
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->time_base = h264 ? kH264TimeBase : kMpeg4TimeBase;
    context->framerate = {in_settings.framesPerSecond, 1};
    context->gop_size = kKeyFrameSeconds * in_settings.framesPerSecond;
    context->max_b_frames = 0;
    context->thread_count = in_settings.threads;
    if (in_globalHeader)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (h264) {
        VERIFY(av_opt_set(context->priv_data, "preset", kH264Preset, 0) == 0);
        VERIFY(av_opt_set(context->priv_data, "tune", kH264Tune, 0) == 0);
        VERIFY(av_opt_set_int(context->priv_data, "crf", kH264Crf, 0) == 0);
    } else {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = FF_QP2LAMBDA * kMpeg4Quantiser;
    }
    const int error = VERIFY_ERR(avcodec_open2(context, codec, nullptr));
    if (error < 0) {
        out_message =
            std::string("Cannot start the ") + codec->name + " encoder: " + AvErrorText(error);
        return false;
    }
    mFrame->format = context->pix_fmt;
    mFrame->width = width;
    mFrame->height = height;
    if (VERIFY_ERR(av_frame_get_buffer(mFrame.get(), 0)) < 0) {
        out_message = "Out of memory";
        return false;
    }
    return true;
}

int VideoEncoder::Send(const ArgbView& in_picture, int64_t in_pts)
{
    AVFrame* frame = mFrame.get();
    // The encoder copies what it keeps, so the buffer is ours again: no allocation here.
    if (in_picture.width < frame->width || in_picture.height < frame->height ||
        !VERIFY(av_frame_make_writable(frame) == 0))
        return AVERROR(EINVAL);
    // A,R,G,B bytes are libyuv's BGRA.
    libyuv::BGRAToI420(in_picture.pixels, int(in_picture.rowBytes), frame->data[0],
                       frame->linesize[0], frame->data[1], frame->linesize[1], frame->data[2],
                       frame->linesize[2], frame->width, frame->height);
    frame->pts = in_pts;
    return avcodec_send_frame(mContext.get(), frame);
}

int VideoEncoder::SendEnd()
{
    return avcodec_send_frame(mContext.get(), nullptr);
}

int VideoEncoder::Receive(AVPacket* out_packet)
{
    return avcodec_receive_packet(mContext.get(), out_packet);
}
