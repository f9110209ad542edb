#include "TickScheduler.h"

#include <algorithm>

TickScheduler::TickScheduler(uint64_t in_periodUs) : mPeriodUs(in_periodUs) {}

uint64_t TickScheduler::next(uint64_t in_startUs, uint64_t in_nowUs, uint64_t in_latestCaptureUs)
{
    uint64_t target = in_startUs + mPeriodUs;
    // No camera, or one that stopped sending: the plain period.
    if (in_latestCaptureUs == 0 || in_latestCaptureUs > in_startUs ||
        in_startUs - in_latestCaptureUs > 3 * mPeriodUs) {
        mLatestUs = 0;
    } else {
        if (mLatestUs != 0) {
            if (in_latestCaptureUs > mLatestUs)
                mMarginUs = std::max(kMinMarginUs, mMarginUs - std::min(mMarginUs, kMarginRelaxUs));
            else
                mMarginUs = std::min(mPeriodUs, mMarginUs + kMarginStepUs);
        }
        mLatestUs = std::max(mLatestUs, in_latestCaptureUs);
        // The frame after the one this tick took, and the margin; past a frame the camera
        // skipped, the first one due after this tick began.
        target = in_latestCaptureUs + mPeriodUs + mMarginUs;
        while (target <= in_startUs)
            target += mPeriodUs;
    }
    return target > in_nowUs ? target - in_nowUs : 0;
}
