// A reader of the stamped channel: knows whether its writer is alive, waits for new frames, and
// holds the newest one while it is used. The writer never waits for it, and a frame it hands on
// was never written meanwhile.
#pragma once

#include <cstdint>
#include <string>

#include "StampedChannelFile.h"

class StampedChannelReader
{
public:
    // A frame held for reading, valid until EndRead.
    struct Frame
    {
        const uint8_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        int rowBytes = 0;
        uint64_t sequence = 0;
        uint64_t leftCaptureNs = 0;
        uint64_t rightCaptureNs = 0;
        uint64_t captureNs = 0;
        uint64_t publishNs = 0;
    };

    explicit StampedChannelReader(std::string in_path = StampedChannelFile::DefaultPath());
    StampedChannelReader(const StampedChannelReader&) = delete;
    StampedChannelReader& operator=(const StampedChannelReader&) = delete;

    // A writer holds the file and lets programs connect. Opens the file as needed, and a file
    // made anew at the path; one system call.
    bool IsWriterAlive();
    // The size the writer broadcasts now; false without a live writer.
    bool BroadcastSize(int& out_width, int& out_height);

    // Returns when a frame was published since the last BeginRead, or after in_timeoutNs.
    void WaitForNewFrame(int64_t in_timeoutNs);
    // Holds the newest published frame, also the last one of a writer gone; false when there is
    // none, it is no newer than the last one read, or the writer is drawing into it.
    bool BeginRead(Frame& out_frame);
    // The same, also when the newest frame was read before: the last one again, for a reader
    // that keeps no copy of it.
    bool BeginReadNewest(Frame& out_frame);
    // Whether the frame held is still whole: the writer never got in and the file was not cut.
    bool IsHeldWhole();
    // Lets the frame go; false when it did not stay whole (then it must not be used).
    bool EndRead();

    uint64_t LastSequence() const { return mLastSequence; }

private:
    // The newest frame when its sequence is above in_after.
    bool BeginRead(Frame& out_frame, uint64_t in_after);
    void Release();

    std::string mPath;
    StampedChannelFile mFile;
    int64_t mNextOpenNs = 0; // no open is tried before, after one failed
    int mHeld = -1;          // the buffer read
    uint64_t mHeldSequence = 0;
    uint64_t mLastSequence = 0;
    uint32_t mSeenPublished = 0; // the publications counted at the last BeginRead
};

bool import_StampedChannelReader();
