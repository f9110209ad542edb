// One recording's encoders and container: pictures with their capture times in, a file or a
// stream out. Used from one thread.
#pragma once

#include <atomic>

#include <cstdint>
#include <string>

#include "ArgbView.h"
#include "AvHandles.h"
#include "RecordDestination.h"
#include "RecordOutput.h"
#include "RecordSettings.h"
#include "VideoEncoder.h"

class MediaWriter
{
public:
    MediaWriter() = default;
    ~MediaWriter();
    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    // Opens the output and writes the container's header; false with the reason for the user.
    // A stream's connection and writes give up once in_cancel turns true.
    bool Open(const RecordDestination& in_destination, const RecordSettings& in_settings,
              std::string& out_message, const std::atomic<bool>* in_cancel = nullptr);
    // The picture the recording's layout holds: the monitor picture, or both eyes side by side
    // (two eye widths). Times are CLOCK_MONOTONIC ns; the first picture's is the file's zero.
    bool Write(const ArgbView& in_picture, uint64_t in_captureNs, std::string& out_message);
    // Writes the pictures the encoders hold and closes the container; false with the reason.
    bool Close(std::string& out_message);

    bool NearlyFull() const { return mOutput.NearlyFull(); }
    uint64_t Bytes() const { return mOutput.Bytes(); }
    // How long the pictures written so far play.
    double Seconds() const;

private:
    // Sends the packets encoder in_stream has ready to the container.
    bool WritePackets(int in_stream, std::string& out_message);
    std::string WriteFailure(int in_error) const;

    RecordOutput mOutput;
    FormatContextPtr mFormat;
    VideoEncoder mEncoders[2];
    int mStreams = 0;
    int mEyeWidth = 0; // the two-stream layout's half of the picture
    PacketPtr mPacket;
    std::string mLocation;
    int64_t mFrameDuration = 0; // nominal, in the encoder's time base
    uint64_t mFirstNs = 0;
    int64_t mLastPts = -1;
    bool mHeaderWritten = false;
};
