#include "MediaWriter.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/stereo3d.h>
}

#include "CoreMachDebugLog.h"

namespace {

// Side by side, left eye first: Matroska's StereoMode and MP4's st3d box both come from this.
bool MarkSideBySide(AVStream* io_stream)
{
    AVStereo3D* stereo = av_stereo3d_alloc();
    if (!stereo)
        return false;
    stereo->type = AV_STEREO3D_SIDEBYSIDE;
    if (av_stream_add_side_data(io_stream, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t*>(stereo),
                                sizeof(*stereo)) < 0) {
        av_free(stereo);
        return false;
    }
    return true;
}

} // namespace

MediaWriter::~MediaWriter()
{
    std::string ignored;
    Close(ignored);
}

bool MediaWriter::Open(const RecordDestination& in_destination, const RecordSettings& in_settings,
                       std::string& out_message, const std::atomic<bool>* in_cancel)
{
    // The encoders' statistics and notes are no concern of the program's users; errors are.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    mLocation = in_destination.location;
    mLastPts = -1; // a writer opened again starts its times again
    AVFormatContext* format = nullptr;
    avformat_alloc_output_context2(&format, nullptr, in_destination.format, mLocation.c_str());
    mFormat.reset(format);
    mPacket.reset(av_packet_alloc());
    if (!VERIFY(mFormat && mPacket)) {
        out_message = "Out of memory";
        return false;
    }
    // The destination first: a path that cannot be written is refused before any encoder starts.
    if (!mOutput.Open(in_destination, out_message, in_cancel))
        return false;
    format->pb = mOutput.Context();
    const bool twoStreams = in_settings.layout == RecordLayout::TwoStreams;
    mStreams = twoStreams ? 2 : 1;
    mEyeWidth = in_settings.width;
    const int width =
        in_settings.layout == RecordLayout::SideBySide ? 2 * in_settings.width : in_settings.width;
    const bool globalHeader = format->oformat->flags & AVFMT_GLOBALHEADER;
    for (int i = 0; i < mStreams; ++i) {
        if (!mEncoders[i].Open(in_settings, width, in_settings.height, globalHeader, out_message))
            return false;
        const AVCodecContext* encoder = mEncoders[i].Context();
        AVStream* stream = avformat_new_stream(format, nullptr);
        if (!VERIFY(stream != nullptr) ||
            VERIFY_ERR(avcodec_parameters_from_context(stream->codecpar, encoder)) < 0) {
            out_message = "Out of memory";
            return false;
        }
        stream->time_base = encoder->time_base;
        stream->avg_frame_rate = encoder->framerate;
        if (twoStreams)
            av_dict_set(&stream->metadata, "title", i == 0 ? "left" : "right", 0);
        if (in_settings.layout == RecordLayout::SideBySide && !VERIFY(MarkSideBySide(stream))) {
            out_message = "Out of memory";
            return false;
        }
    }
    mFrameDuration =
        av_rescale_q(1, av_inv_q(mEncoders[0].Context()->framerate), mEncoders[0].TimeBase());
    // MP4's stereo box is not in the standard's own text: FFmpeg writes it when told it may.
    format->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    const int error = VERIFY_ERR(avformat_write_header(format, nullptr));
    if (error < 0) {
        out_message = WriteFailure(error);
        return false;
    }
    mHeaderWritten = true;
    return true;
}

double MediaWriter::Seconds() const
{
    if (mLastPts < 0)
        return 0;
    return double(mLastPts + mFrameDuration) * av_q2d(mEncoders[0].TimeBase());
}

std::string MediaWriter::WriteFailure(int in_error) const
{
    const std::string reason =
        mOutput.WriteError().empty() ? AvErrorText(in_error) : mOutput.WriteError();
    return "Cannot write " + mLocation + ": " + reason;
}

bool MediaWriter::Write(const ArgbView& in_picture, uint64_t in_captureNs, std::string& out_message)
{
    if (!mHeaderWritten) {
        out_message = "The recording is closed";
        return false;
    }
    if (mLastPts < 0)
        mFirstNs = in_captureNs;
    // A missed tick stays a gap; a time that does not move on still gives the encoder one that
    // does.
    const int64_t sinceFirst = int64_t(in_captureNs - mFirstNs);
    const int64_t pts =
        std::max(av_rescale_q(sinceFirst, {1, 1000000000}, mEncoders[0].TimeBase()), mLastPts + 1);
    mLastPts = pts;
    for (int i = 0; i < mStreams; ++i) {
        ArgbView view = in_picture;
        if (mStreams == 2) {
            view.width = mEyeWidth;
            view.pixels += size_t(i) * size_t(mEyeWidth) * 4;
        }
        const int error = VERIFY_ERR(mEncoders[i].Send(view, pts));
        if (error < 0) {
            out_message = "The encoder failed: " + AvErrorText(error);
            return false;
        }
        if (!WritePackets(i, out_message))
            return false;
    }
    return true;
}

bool MediaWriter::WritePackets(int in_stream, std::string& out_message)
{
    AVPacket* packet = mPacket.get();
    AVStream* stream = mFormat->streams[in_stream];
    for (;;) {
        int error = mEncoders[in_stream].Receive(packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
            return true;
        if (VERIFY_ERR(error) < 0) {
            out_message = "The encoder failed: " + AvErrorText(error);
            return false;
        }
        packet->stream_index = in_stream;
        if (packet->duration == 0)
            packet->duration = mFrameDuration;
        av_packet_rescale_ts(packet, mEncoders[in_stream].TimeBase(), stream->time_base);
        error = VERIFY_ERR(av_interleaved_write_frame(mFormat.get(), packet));
        if (error < 0) {
            out_message = WriteFailure(error);
            return false;
        }
    }
}

bool MediaWriter::Close(std::string& out_message)
{
    bool ok = true;
    if (mHeaderWritten) {
        mHeaderWritten = false;
        for (int i = 0; i < mStreams; ++i)
            ok = VERIFY_ERR(mEncoders[i].SendEnd()) == 0 && WritePackets(i, out_message) && ok;
        const int error = VERIFY_ERR(av_write_trailer(mFormat.get()));
        if (error < 0 && ok)
            out_message = WriteFailure(error);
        ok = error == 0 && ok;
    }
    std::string closing;
    if (!mOutput.Close(closing) && ok) {
        out_message = closing;
        ok = false;
    }
    mFormat.reset();
    return ok;
}
