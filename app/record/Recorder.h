// A recording (or stream) on its own thread. The caller, the tick, hands each frame over and
// never waits for the encoder: frames go into a bounded queue of buffers made at the start, and
// when the encoder falls behind, the frames that find the queue full are dropped and counted.
// A write error or a full disk ends the recording with a message, the file closed properly up
// to its last good frame. A stream whose server goes away connects again, waiting longer after
// each failed try; the frames meanwhile are dropped.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ArgbView.h"
#include "MediaWriter.h"
#include "RecordDestination.h"
#include "RecordSettings.h"

struct RecordFigures
{
    uint64_t framesWritten = 0;
    uint64_t framesDropped = 0; // found the queue full
    double seconds = 0;         // how long the written frames play
    uint64_t bytes = 0;
};

class Recorder
{
public:
    static constexpr size_t kQueueFrames = 8;

    Recorder() = default;
    ~Recorder(); // stops
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Opens the file (.mkv, .mp4) and starts the thread, or starts the thread that connects to
    // the srt:// or rtmp:// server (neither the caller nor its window waits for a server); false
    // with the reason for the user, and nothing started, otherwise.
    bool Start(const std::string& in_destination, const RecordSettings& in_settings,
               std::string& out_message);
    // A frame and its capture time (CLOCK_MONOTONIC ns), copied; the monitor layout takes the
    // picture, the others the two eyes. False when not taken: not recording, a size other than
    // the recording's (which ends the recording with a message), or the queue full (dropped).
    // From one thread.
    bool Push(const ArgbView& in_picture, uint64_t in_captureNs);
    bool Push(const ArgbView& in_left, const ArgbView& in_right, uint64_t in_captureNs);
    // Writes what is queued and closes the file; the message says why not when that failed.
    // Nothing to do when not recording.
    bool Stop(std::string& out_message);

    // Whether frames are taken: started, and neither stopped nor ended by an error.
    bool Recording() const { return mRecording; }
    RecordLayout Layout() const { return mSettings.layout; }
    // A stream not connected to its server: connecting, at the start or again after it went
    // away; the frames meanwhile are dropped.
    bool Connecting() const { return mConnecting; }
    RecordFigures Figures() const;
    // Where the last Start went.
    const RecordDestination& Destination() const { return mDestination; }
    // Why the recording ended by itself; "" while it runs or after a clean stop.
    std::string Message() const;

private:
    struct Slot
    {
        std::vector<uint8_t> pixels; // the recorded picture, rows packed
        uint64_t captureNs = 0;
    };

    // The slot a frame may be copied into, or null (dropped) when the queue is full.
    Slot* FreeSlot();
    // A picture of another size than the recording's asks the thread to end it.
    bool SizeChanged(const ArgbView& in_picture);
    void Queue();
    void Run();
    // Connects the stream, at once or (again) after a wait, until it works (true) or the
    // recording stops (false); what is queued meanwhile is dropped.
    bool Connect(bool in_again);
    // Ends the thread's side: closes the writer, keeps the reason.
    void Finish(const std::string& in_reason);

    RecordSettings mSettings;
    RecordDestination mDestination;
    int mPictureWidth = 0; // pixels in a queued row: the monitor's, or two eyes'
    MediaWriter mWriter;   // the thread's once started
    uint64_t mEarlierBytes =
        0; // a stream's, sent over its connections before this one; the thread's
    std::array<Slot, kQueueFrames> mSlots;

    mutable std::mutex mMutex; // guards what follows
    std::condition_variable mWake;
    size_t mFirst = 0; // the oldest queued slot
    size_t mQueued = 0;
    bool mStopping = false;
    std::string mEndReason; // why the thread was asked to stop, other than Stop()
    std::string mMessage;
    bool mClosedOk = true;

    std::atomic<bool> mRecording{false};
    std::atomic<bool> mConnecting{false};
    std::atomic<bool> mStopRequested{false}; // ends a connection attempt or a blocked write
    std::atomic<uint64_t> mWritten{0}, mDropped{0}, mBytes{0};
    std::atomic<double> mSeconds{0};
    std::thread mThread;
};
