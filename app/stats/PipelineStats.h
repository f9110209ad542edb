// How the pipeline keeps up, over the last few seconds: each eye's frames per second, the skew
// between the eyes' capture times in the pair a tick uses, the delay from capture to broadcast
// and the frames no tick used. Times are CLOCK_MONOTONIC microseconds, as the grabbers stamp.
#pragma once

#include <cstdint>
#include <string>

#include "StampRing.h"

struct PipelineFigures
{
    double framesPerSecond[2] = {0, 0}; // left, right
    bool hasSkew = false;
    double skewMs = 0; // median, right eye's capture minus the left's
    bool hasDelay = false;
    double delayMedianMs = 0, delay99Ms = 0; // the older eye's capture to the publish
    unsigned long dropped = 0; // frames the grabbers took that no tick used, since the start

    // "left 30.0 fps, right 30.0 fps, skew 10.0 ms, delay 12.3 ms median, 20.5 ms p99, 0
    // dropped"; a figure without samples reads "-".
    std::string text() const;
    // The same figures for scripts; null for a figure without samples.
    std::string json() const;
};

class PipelineStats
{
public:
    static constexpr uint64_t kWindowUs = 5000000;

    // The eye's frame a tick uses: its capture time (0 for none) and how many frames its
    // grabber has taken so far.
    struct Eye
    {
        uint64_t captureUs = 0;
        unsigned long framesTaken = 0;
    };

    // A tick at in_nowUs uses these frames, left then right.
    void tick(uint64_t in_nowUs, const Eye& in_left, const Eye& in_right);
    // The frames of the last tick were broadcast at in_publishUs.
    void published(uint64_t in_publishUs);
    PipelineFigures figures(uint64_t in_nowUs) const;

private:
    StampRing mCaptures[2];
    Eye mLast[2];
    uint64_t mFirstCaptureUs[2] = {0, 0};
    StampRing mSkew;
    StampRing mDelay;
    unsigned long mDropped = 0;
};
