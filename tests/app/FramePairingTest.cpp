// Which frames of two cameras a tick pairs.
#include <gtest/gtest.h>
#include <vector>

#include "FramePairing.h"

namespace {

struct Case
{
    const char* what;
    std::vector<long long> left, right; // capture times, ms
    int wantLeft, wantRight;
};

TEST(FramePairingTest, ThePairClosestInTimeWithinAFrameOfEachNewest)
{
    const Case cases[] = {
        {"in step: the newest pair", {0, 33, 66}, {0, 33, 66}, 2, 2},
        {"10 ms apart either way: still the newest", {33, 66}, {43, 76}, 1, 1},
        {"left 20 ms ahead: its frame before, 13 ms", {33, 66}, {46}, 0, 0},
        {"right stalled a second ago: left goes back one frame only", {0, 33, 66}, {-1000}, 1, 0},
        {"within a millisecond of the closest: the newer pair", {0, 33}, {16, 50}, 1, 1},
        {"no right frame: the newest left", {10, 40}, {}, 1, -1},
        {"no frames at all", {}, {}, -1, -1},
        {"in any order", {66, 0, 33}, {40, 73}, 0, 1},
    };
    for (const Case& c : cases) {
        std::vector<uint64_t> left, right;
        for (long long ms : c.left)
            left.push_back(uint64_t(ms + 10000) * 1000);
        for (long long ms : c.right)
            right.push_back(uint64_t(ms + 10000) * 1000);
        const FramePair pair = ClosestFramePair(left, right);
        EXPECT_EQ(pair.left, c.wantLeft) << c.what;
        EXPECT_EQ(pair.right, c.wantRight) << c.what;
    }
}

} // namespace
