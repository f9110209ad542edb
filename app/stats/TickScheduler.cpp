#include "TickScheduler.h"

#include <algorithm>

TickScheduler::TickScheduler(uint64_t in_periodUs) : mPeriodUs(in_periodUs) {}

uint64_t TickScheduler::next(uint64_t in_nowUs, uint64_t in_latestCaptureUs)
{
    // No camera, or one that stopped sending: the plain period.
    if (in_latestCaptureUs == 0 || in_latestCaptureUs > in_nowUs ||
        in_nowUs - in_latestCaptureUs > 3 * mPeriodUs) {
        mLatestUs = 0;
        return mPeriodUs;
    }
    if (mLatestUs != 0) {
        if (in_latestCaptureUs > mLatestUs)
            mMarginUs = std::max(kMinMarginUs, mMarginUs - std::min(mMarginUs, kMarginRelaxUs));
        else
            mMarginUs = std::min(mPeriodUs, mMarginUs + kMarginStepUs);
    }
    mLatestUs = std::max(mLatestUs, in_latestCaptureUs);
    uint64_t target = in_latestCaptureUs + mPeriodUs + mMarginUs;
    while (target < in_nowUs + kMinWaitUs)
        target += mPeriodUs;
    return std::min(target - in_nowUs, mPeriodUs + mPeriodUs / 2);
}
