// How the pipeline keeps up, over the last few seconds: each eye's frames per second, the skew
// between the eyes' capture times in the pair a tick uses, the delay from capture to broadcast
// and the frames no tick used. Times are CLOCK_MONOTONIC microseconds, as the grabbers stamp.
#pragma once

#include <cstdint>

#include "PipelineFigures.h"
#include "StampRing.h"

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
