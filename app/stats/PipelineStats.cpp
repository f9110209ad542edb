#include "PipelineStats.h"

#include <algorithm>

void PipelineStats::tick(uint64_t in_nowUs, const Eye& in_left, const Eye& in_right)
{
    const Eye* eyes[2] = {&in_left, &in_right};
    bool fresh = false;
    for (int eye = 0; eye < 2; ++eye) {
        const Eye& now = *eyes[eye];
        Eye& last = mLast[eye];
        // A grabber that took frames since the last tick; fewer than before is a new grabber.
        if (now.captureUs != 0 && now.framesTaken != last.framesTaken) {
            if (now.framesTaken > last.framesTaken && last.framesTaken != 0)
                mDropped += now.framesTaken - last.framesTaken - 1;
            if (mFirstCaptureUs[eye] == 0)
                mFirstCaptureUs[eye] = now.captureUs;
            mCaptures[eye].add(now.captureUs, 0);
            fresh = true;
        }
        last = now;
    }
    if (fresh && in_left.captureUs != 0 && in_right.captureUs != 0)
        mSkew.add(in_nowUs, (double(in_right.captureUs) - double(in_left.captureUs)) / 1000.0);
}

void PipelineStats::published(uint64_t in_publishUs)
{
    uint64_t oldest = 0;
    for (const Eye& eye : mLast)
        if (eye.captureUs != 0 && (oldest == 0 || eye.captureUs < oldest))
            oldest = eye.captureUs;
    if (oldest != 0 && in_publishUs >= oldest)
        mDelay.add(in_publishUs, double(in_publishUs - oldest) / 1000.0);
}

PipelineFigures PipelineStats::figures(uint64_t in_nowUs) const
{
    PipelineFigures figures;
    const uint64_t since = in_nowUs > kWindowUs ? in_nowUs - kWindowUs : 0;
    for (int eye = 0; eye < 2; ++eye) {
        // Over the window, or over the time since the first frame while that is shorter.
        const uint64_t first = mFirstCaptureUs[eye];
        const uint64_t span = std::min(kWindowUs, in_nowUs > first ? in_nowUs - first : 0);
        if (first != 0 && span > 0)
            figures.framesPerSecond[eye] =
                double(mCaptures[eye].countSince(since)) * 1e6 / double(span);
    }
    figures.hasSkew = mSkew.percentileSince(since, 0.5, figures.skewMs);
    figures.hasDelay = mDelay.percentileSince(since, 0.5, figures.delayMedianMs) &&
                       mDelay.percentileSince(since, 0.99, figures.delay99Ms);
    figures.dropped = mDropped;
    return figures;
}
