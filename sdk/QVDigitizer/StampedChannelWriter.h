// The broadcaster's side of the stamped channel: one writer per user at a time, alive for readers
// while it holds the file. A frame is begun in whichever buffer no reader holds, drawn there, and
// published with its times; no reader can hold the writer up.
#pragma once

#include <cstdint>
#include <string>

#include "StampedChannelFile.h"

class StampedChannelWriter
{
public:
    // The capture times of a frame's eyes, CLOCK_MONOTONIC nanoseconds; 0 for an eye without one.
    struct Times
    {
        uint64_t leftNs = 0;
        uint64_t rightNs = 0;
    };

    StampedChannelWriter() = default;
    ~StampedChannelWriter() { Close(); }
    StampedChannelWriter(const StampedChannelWriter&) = delete;
    StampedChannelWriter& operator=(const StampedChannelWriter&) = delete;

    // Opens the file and becomes its writer; false when it cannot be had, or another writer is
    // alive on it.
    bool Open(const std::string& in_path, int in_width, int in_height);
    // Readers see the writer gone at once.
    void Close();
    bool IsOpen() const { return mFile.IsOpen(); }

    // 640 x 480 or 1280 x 720; frames begun from now on have it.
    bool SetFrameSize(int in_width, int in_height);
    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    int RowBytes() const { return mWidth * 4; }
    void SetConnectionsAllowed(bool in_allowed);

    // The buffer to draw the next frame into, locked; -1 when readers hold both (the frame is
    // dropped) or the file is unusable.
    int BeginFrame();
    uint8_t* Buffer(int in_n) const { return mFile.Buffer(in_n); }
    // Publishes the frame begun as the newest; false when the file was cut short meanwhile.
    bool EndFrame(const Times& in_times);
    // Gives the buffer back unpublished.
    void AbandonFrame();

    uint64_t Published() const { return mSequence / 2; }

private:
    StampedChannelFile mFile;
    int mWidth = 640;
    int mHeight = 480;
    int mWriting = -1;      // the buffer begun
    uint64_t mSequence = 0; // the last published frame's
};

// CLOCK_MONOTONIC in nanoseconds, the clock of every time in the channel.
uint64_t StampedChannelNowNs();

bool import_StampedChannelWriter();
