// When the next tick fires: shortly after the later eye's next frame should have come, so that a
// frame waits for the tick a few milliseconds, not up to a whole period. The wait after the
// expected moment grows when a tick finds no new frame and shrinks slowly while frames are there.
// Without camera frames the ticks keep the plain period; a tick that overran it is followed at
// once, as by a repeating timer.
#pragma once

#include <cstdint>

class TickScheduler
{
public:
    static constexpr uint64_t kMinMarginUs = 2000;
    static constexpr uint64_t kMarginStepUs = 2000; // after a tick without a new frame
    static constexpr uint64_t kMarginRelaxUs = 50;  // after a tick with one

    explicit TickScheduler(uint64_t in_periodUs);

    // A tick that began at in_startUs and ended at in_nowUs showed frames captured up to
    // in_latestCaptureUs (0: none); the wait from in_nowUs until the next tick.
    uint64_t next(uint64_t in_startUs, uint64_t in_nowUs, uint64_t in_latestCaptureUs);
    uint64_t marginUs() const { return mMarginUs; }

private:
    uint64_t mPeriodUs;
    uint64_t mMarginUs = kMinMarginUs;
    uint64_t mLatestUs = 0; // the newest capture a tick has shown
};
