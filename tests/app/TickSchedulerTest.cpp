// When the tick fires after the cameras' frames.
#include <gtest/gtest.h>

#include "TickScheduler.h"

namespace {

constexpr uint64_t kPeriod = 33333;
constexpr uint64_t kStart = 10000000; // any moment of the monotonic clock

TEST(TickSchedulerTest, TheTickFollowsTheLaterEyesFrames)
{
    TickScheduler scheduler(kPeriod);
    // Without frames, and with frames that stopped coming, the plain period.
    EXPECT_EQ(scheduler.next(kStart, 0), kPeriod);
    EXPECT_EQ(scheduler.next(kStart, kStart - 4 * kPeriod), kPeriod);

    // A frame of kStart shown at kStart + 15 ms: the next one is due at kStart + 33.3 ms, and the
    // tick comes the margin after it.
    EXPECT_EQ(scheduler.next(kStart + 15000, kStart), kPeriod + 2000 - 15000);
    // The next tick found it: the margin stays at its least, the phase follows the frames.
    EXPECT_EQ(scheduler.next(kStart + kPeriod + 12000, kStart + kPeriod), kPeriod + 2000 - 12000);
    // A tick that found nothing new waits longer after the next frame.
    EXPECT_EQ(scheduler.next(kStart + 2 * kPeriod + 12000, kStart + kPeriod), kPeriod - 8000);
    EXPECT_EQ(scheduler.marginUs(), 4000u);
    // A tick that ended past the next frame's moment aims at the one after; the margin relaxes.
    EXPECT_EQ(scheduler.next(kStart + 3 * kPeriod, kStart + 2 * kPeriod - 1000), kPeriod + 2950);
}

} // namespace
