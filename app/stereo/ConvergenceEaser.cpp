#include "ConvergenceEaser.h"

#include <algorithm>
#include <cmath>

ConvergenceEaser::ConvergenceEaser(double framesPerSecond, int limit)
    : mTimeConstantFrames(framesPerSecond > 0 && std::isfinite(framesPerSecond)
                              ? std::max(kEaseSeconds * framesPerSecond / 3.0, 1.0)
                              : 1.0),
      mLimit(std::max(limit, 0))
{
}

void ConvergenceEaser::Reset(int shift)
{
    mShift = std::clamp(shift, -mLimit, mLimit);
    mPosition = mShift;
    mMoving = false;
}

int ConvergenceEaser::Step(double target)
{
    if (!std::isfinite(target))
        return mShift;
    target = std::clamp(target, double(-mLimit), double(mLimit));
    if (!mMoving && std::fabs(target - mShift) <= kDeadBandPixels)
        return mShift;
    mMoving = true;
    const double error = target - mPosition;
    const double speed =
        std::clamp(std::fabs(error) / mTimeConstantFrames, kMinPixelsPerFrame, kMaxPixelsPerFrame);
    if (std::fabs(error) <= speed) {
        // Arrived: still until the target leaves the dead band around the new shift.
        mPosition = target;
        mMoving = false;
    } else {
        mPosition += std::copysign(speed, error);
    }
    // Halves rounded up on both sides of 0: a step of at most a pixel stays one.
    mShift = int(std::floor(mPosition + 0.5));
    return mShift;
}
