// libav* objects owned as unique_ptr, each freed by its own library call; libav*'s error texts.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

namespace avhandle {

struct CodecContextFree
{
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
// The I/O context's buffer is av_malloc'd and may have been replaced by libavformat: both go.
struct IoContextFree
{
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
// One opened by URL (a stream): closing it also ends the connection.
struct UrlIoClose
{
    void operator()(AVIOContext* io) const { avio_closep(&io); }
};
// An output context only; its I/O context is owned apart.
struct FormatContextFree
{
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};

} // namespace avhandle

using CodecContextPtr = std::unique_ptr<AVCodecContext, avhandle::CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, avhandle::FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, avhandle::PacketFree>;
using IoContextPtr = std::unique_ptr<AVIOContext, avhandle::IoContextFree>;
using UrlIoContextPtr = std::unique_ptr<AVIOContext, avhandle::UrlIoClose>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, avhandle::FormatContextFree>;

// The text of an AVERROR code, for the user's messages.
inline std::string AvErrorText(int in_error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(in_error, text, sizeof(text));
    return text;
}
