// Automatic convergence frame by frame: where the shift goes, how fast, and that it stays.
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

#include "ConvergenceEaser.h"

namespace {

constexpr double kFramesPerSecond = 30;
constexpr int kLimit = 128;

// From a still shift to a steady target: never more than a pixel a frame, never back, and held
// at the target (the 2nd percentile at the screen within a pixel) once there; a small move is
// eased over half a second rather than made at once, a large one as fast as a pixel a frame lets.
TEST(ConvergenceEaser, ReachesTheTargetAPixelAFrameAtMostAndStays)
{
    const struct
    {
        int from;
        double target;
        int arrives; // the shift it ends at
        int withinFrames;
    } cases[] = {
        {0, 3.0, 3, 15},        {0, 5.4, 5, 15},          {3, -7.4, -7, 20},
        {0, 40.0, 40, 40 + 15}, {-20, 20.6, 21, 41 + 15}, {0, 500.0, kLimit, kLimit + 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        ConvergenceEaser easer(kFramesPerSecond, kLimit);
        easer.Reset(c.from);
        int shift = c.from, arrivedAt = -1;
        for (int frame = 1; frame <= 200; ++frame) {
            const int next = easer.Step(c.target);
            EXPECT_LE(std::abs(next - shift), 1) << "frame " << frame;
            EXPECT_GE((next - shift) * (c.arrives - c.from), 0) << "backwards at frame " << frame;
            shift = next;
            if (arrivedAt < 0 && shift == c.arrives)
                arrivedAt = frame;
        }
        EXPECT_EQ(shift, c.arrives);
        EXPECT_FALSE(easer.moving());
        EXPECT_LE(arrivedAt, c.withinFrames);
        const int distance = std::abs(c.arrives - c.from);
        EXPECT_TRUE(distance > 5 || arrivedAt > distance) << "eased, not a pixel a frame";
    }
}

// The matcher's percentile wobbles from map to map: within the dead band the shift holds still,
// beyond it the shift follows, and a target that wobbles about its new place is not hunted.
TEST(ConvergenceEaser, HoldsStillWhileTheTargetWobblesWithinTheDeadBand)
{
    ConvergenceEaser easer(kFramesPerSecond, kLimit);
    easer.Reset(10);
    int changes = 0, shift = 10;
    for (int frame = 0; frame < 300; ++frame) {
        const int next = easer.Step(10.0 + 0.95 * std::sin(frame * 1.7));
        changes += next != shift;
        shift = next;
    }
    EXPECT_EQ(changes, 0);

    // Moved to 14 ± 0.9: follows once, then holds.
    int reversals = 0, last = 0;
    for (int frame = 0; frame < 300; ++frame) {
        const int next = easer.Step(14.0 + 0.9 * std::sin(frame * 2.3));
        if (next != shift) {
            const int direction = next > shift ? 1 : -1;
            reversals += last != 0 && direction != last;
            last = direction;
        }
        shift = next;
    }
    EXPECT_EQ(reversals, 0);
    EXPECT_NEAR(shift, 14, 1);
    EXPECT_FALSE(easer.moving());

    // Not a number (no map): held.
    EXPECT_EQ(easer.Step(std::nan("")), shift);
}

} // namespace
