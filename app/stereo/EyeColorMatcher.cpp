#include "EyeColorMatcher.h"

#include <algorithm>
#include <cmath>

void EyeColorMatcher::update(const std::array<double, 3>& leftMeans,
                             const std::array<double, 3>& rightMeans)
{
    for (size_t c = 0; c < 3; ++c) {
        if (!(leftMeans[c] >= kDarkLevel) || !(rightMeans[c] >= kDarkLevel))
            continue;
        // The means are the raw frames', before the gains: the target is a plain ratio, so the
        // smoothing approaches it from one side, without the overshoot of a feedback loop.
        const double target =
            std::clamp(leftMeans[c] / rightMeans[c], double(kMinGain), double(kMaxGain));
        mGains[c] = float(mGains[c] + (target - mGains[c]) * kStep);
    }
}
