#include <gtest/gtest.h>

#include "PipelineStats.h"

namespace {

constexpr uint64_t kSecond = 1000000;

TEST(StampRing, PercentilesAreOfTheSamplesInTheWindow)
{
    const struct
    {
        const char* name;
        int count;      // values 1..count, one a millisecond from time 1 s
        uint64_t since; // the window's start
        double fraction;
        double expected;
    } cases[] = {
        {"median of 1..100", 100, 0, 0.5, 50},
        {"p99 of 1..100", 100, 0, 0.99, 99},
        {"p99 of 1..1000: the newest 512 only", 1000, 0, 0.99, 995},
        {"median of the newest 11", 100, kSecond + 89000, 0.5, 95},
        {"one sample", 1, 0, 0.99, 1},
        {"the largest", 10, 0, 1.0, 10},
    };
    for (const auto& c : cases) {
        StampRing ring;
        for (int i = 1; i <= c.count; ++i)
            ring.add(kSecond + uint64_t(i - 1) * 1000, double(i));
        double value = 0;
        ASSERT_TRUE(ring.percentileSince(c.since, c.fraction, value)) << c.name;
        EXPECT_EQ(value, c.expected) << c.name;
    }
    StampRing empty;
    double value = 0;
    EXPECT_FALSE(empty.percentileSince(0, 0.5, value));
    StampRing old;
    old.add(kSecond, 1);
    EXPECT_FALSE(old.percentileSince(2 * kSecond, 0.5, value)) << "nothing in the window";
}

// Two eyes at 30 frames a second, the right one 10 ms late, each frame broadcast 12 ms after the
// left eye's capture but every tenth one 30 ms after; figures without samples are null.
TEST(PipelineStats, FiguresOfFedStamps)
{
    PipelineStats stats;
    const uint64_t start = 100 * kSecond;
    const uint64_t frame = kSecond / 30;
    uint64_t now = start;
    for (unsigned long n = 1; n <= 300; ++n) {
        const uint64_t left = start + n * frame;
        now = left + 10000 + 1000;
        stats.tick(now, {left, n}, {left + 10000, n + (n > 150)}); // one right frame unused
        stats.published(left + (n % 10 == 0 ? 30000 : 12000));
    }
    const PipelineFigures figures = stats.figures(now);
    EXPECT_NEAR(figures.framesPerSecond[0], 30.0, 0.3);
    EXPECT_NEAR(figures.framesPerSecond[1], 30.0, 0.3);
    ASSERT_TRUE(figures.hasSkew);
    EXPECT_DOUBLE_EQ(figures.skewMs, 10.0);
    ASSERT_TRUE(figures.hasDelay);
    EXPECT_DOUBLE_EQ(figures.delayMedianMs, 12.0);
    EXPECT_DOUBLE_EQ(figures.delay99Ms, 30.0);
    EXPECT_EQ(figures.dropped, 1u);
    EXPECT_EQ(figures.text(),
              "left 30.0 fps, right 30.0 fps, skew 10.0 ms, delay 12.0 ms median, 30.0 ms p99, "
              "1 dropped");
    EXPECT_EQ(PipelineFigures().json(),
              "{\"leftFps\": 0.00, \"rightFps\": 0.00, \"skewMs\": null, "
              "\"delayMedianMs\": null, \"delay99Ms\": null, \"dropped\": 0}\n");
}

} // namespace
