// When the tick fires after the cameras' frames.
#include <gtest/gtest.h>

#include "TickScheduler.h"

namespace {

constexpr uint64_t kPeriod = 33333;
constexpr uint64_t kStart = 10000000; // any moment of the monotonic clock

TEST(TickSchedulerTest, TheTickFollowsTheLaterEyesFrames)
{
    TickScheduler scheduler(kPeriod);
    // Without frames, and with frames that stopped coming, the plain period from the tick's
    // start; at once after a tick that took longer.
    EXPECT_EQ(scheduler.next(kStart, kStart + 5000, 0), kPeriod - 5000);
    EXPECT_EQ(scheduler.next(kStart, kStart + 5000, kStart - 4 * kPeriod), kPeriod - 5000);
    EXPECT_EQ(scheduler.next(kStart, kStart + 2 * kPeriod, 0), 0u);

    // A tick of kStart + 3 ms took the frame of kStart and ended at + 15 ms: the next frame is
    // due at kStart + 33.3 ms, and the tick comes the margin after it.
    EXPECT_EQ(scheduler.next(kStart + 3000, kStart + 15000, kStart), kPeriod + 2000 - 15000);
    // The next tick found the next frame: the margin stays at its least.
    EXPECT_EQ(scheduler.next(kStart + kPeriod + 2000, kStart + kPeriod + 12000, kStart + kPeriod),
              kPeriod + 2000 - 12000);
    // A tick that found nothing new: the late frame must have come by its end, so the next tick
    // comes at once, and later after each frame from then on.
    EXPECT_EQ(
        scheduler.next(kStart + 2 * kPeriod + 2000, kStart + 2 * kPeriod + 12000, kStart + kPeriod),
        0u);
    EXPECT_EQ(scheduler.marginUs(), 4000u);
    // A camera that skipped frames: the first one due after the tick began.
    EXPECT_EQ(
        scheduler.next(kStart + 5 * kPeriod, kStart + 5 * kPeriod + 2000, kStart + 3 * kPeriod),
        3950u - 2000u);
    // A tick that began late and ended past the next frame's moment: the next one at once.
    EXPECT_EQ(scheduler.next(kStart + 6 * kPeriod + 30000, kStart + 6 * kPeriod + 40000,
                             kStart + 6 * kPeriod),
              0u);
}

} // namespace
