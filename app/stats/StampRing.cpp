#include "StampRing.h"

#include <algorithm>
#include <cmath>

void StampRing::add(uint64_t in_timeUs, double in_value)
{
    mSamples[mNext] = {in_timeUs, in_value};
    mNext = (mNext + 1) % kCapacity;
    mCount = std::min(mCount + 1, kCapacity);
}

const StampRing::Sample& StampRing::back(size_t in_index) const
{
    return mSamples[(mNext + kCapacity - 1 - in_index) % kCapacity];
}

size_t StampRing::countSince(uint64_t in_sinceUs) const
{
    size_t count = 0;
    while (count < mCount && back(count).timeUs >= in_sinceUs)
        ++count;
    return count;
}

uint64_t StampRing::oldestSince(uint64_t in_sinceUs) const
{
    const size_t count = countSince(in_sinceUs);
    return count == 0 ? 0 : back(count - 1).timeUs;
}

uint64_t StampRing::newest() const
{
    return mCount == 0 ? 0 : back(0).timeUs;
}

bool StampRing::percentileSince(uint64_t in_sinceUs, double in_fraction, double& out_value) const
{
    const size_t count = countSince(in_sinceUs);
    if (count == 0)
        return false;
    for (size_t i = 0; i < count; ++i)
        mSorted[i] = back(i).value;
    const double rank = std::ceil(std::clamp(in_fraction, 0.0, 1.0) * double(count));
    const size_t at = size_t(std::max(rank, 1.0)) - 1;
    std::nth_element(mSorted.begin(), mSorted.begin() + ptrdiff_t(at),
                     mSorted.begin() + ptrdiff_t(count));
    out_value = mSorted[at];
    return true;
}
