// One video stream's encoder: A,R,G,B pictures in, compressed packets out. H.264 through
// libx264, tuned for live pictures, or MPEG-4 where libavcodec has no libx264.
#pragma once

#include <cstdint>
#include <string>

#include "ArgbView.h"
#include "AvHandles.h"
#include "RecordSettings.h"

class VideoEncoder
{
public:
    // libx264's settings for live pictures; the benchmark hands ffmpeg the same.
    static constexpr const char* kH264Preset = "veryfast";
    static constexpr const char* kH264Tune = "zerolatency";
    static constexpr int kH264Crf = 20;
    static constexpr int kKeyFrameSeconds = 2; // a viewer joining a stream waits no more

    // Pictures of in_width x in_height, encoded at the even size within (4:2:0 needs it).
    // in_globalHeader: the container wants the stream's headers apart (Matroska, MP4, FLV).
    bool Open(const RecordSettings& in_settings, int in_width, int in_height, bool in_globalHeader,
              std::string& out_message);
    const AVCodecContext* Context() const { return mContext.get(); }
    // Converts the picture (at least the encoded size) and sends it; in_pts in TimeBase().
    int Send(const ArgbView& in_picture, int64_t in_pts);
    // No more pictures: the packets still held come out.
    int SendEnd();
    // The next packet, 0; AVERROR(EAGAIN) when it needs more pictures, AVERROR_EOF at the end.
    int Receive(AVPacket* out_packet);
    AVRational TimeBase() const { return mContext->time_base; }

private:
    CodecContextPtr mContext;
    FramePtr mFrame; // the converted picture, reused
};
