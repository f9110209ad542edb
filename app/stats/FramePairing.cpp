#include "FramePairing.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The newest capture time, or -1 without one.
int Newest(std::span<const uint64_t> in_times)
{
    return in_times.empty()
               ? -1
               : int(std::max_element(in_times.begin(), in_times.end()) - in_times.begin());
}

uint64_t Distance(uint64_t a, uint64_t b)
{
    return a > b ? a - b : b - a;
}

} // namespace

FramePair ClosestFramePair(std::span<const uint64_t> in_left, std::span<const uint64_t> in_right)
{
    FramePair newest{Newest(in_left), Newest(in_right)};
    if (newest.left < 0 || newest.right < 0)
        return newest;
    const auto recent = [](std::span<const uint64_t> times, int newestIndex, size_t i) {
        return times[size_t(newestIndex)] - times[i] <= kFramePairMaxBackUs;
    };
    uint64_t closest = std::numeric_limits<uint64_t>::max();
    for (size_t l = 0; l < in_left.size(); ++l)
        for (size_t r = 0; r < in_right.size(); ++r)
            if (recent(in_left, newest.left, l) && recent(in_right, newest.right, r))
                closest = std::min(closest, Distance(in_left[l], in_right[r]));
    // Among the close pairs the newest: its older frame newest, then its newer one.
    FramePair best = newest;
    std::pair<uint64_t, uint64_t> bestAge{0, 0};
    for (size_t l = 0; l < in_left.size(); ++l)
        for (size_t r = 0; r < in_right.size(); ++r) {
            if (!recent(in_left, newest.left, l) || !recent(in_right, newest.right, r) ||
                Distance(in_left[l], in_right[r]) > closest + kFramePairTieUs)
                continue;
            const std::pair<uint64_t, uint64_t> age = std::minmax(in_left[l], in_right[r]);
            if (age > bestAge) {
                bestAge = age;
                best = {int(l), int(r)};
            }
        }
    return best;
}
