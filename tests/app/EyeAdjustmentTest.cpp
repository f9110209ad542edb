// Each eye moved and recoloured before the mux, and the right eye's colour matcher, without a
// display.
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "EyeAdjustment.h"
#include "EyeColorMatcher.h"

namespace {

constexpr int kWidth = 37; // not a multiple of the vector width: the tail runs too
constexpr int kHeight = 9;

// Opaque pixels that all differ.
std::vector<uint8_t> Frame()
{
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
    for (size_t i = 0; i < frame.size(); i += 4) {
        frame[i] = 255;
        frame[i + 1] = uint8_t(i * 7 / 4);
        frame[i + 2] = uint8_t(i * 3 / 4 + 40);
        frame[i + 3] = uint8_t(255 - i / 4);
    }
    return frame;
}

TEST(EyeAdjustmentTest, MovesEveryPixelExactlyAndScalesItsColoursUncoveredEdgesOpaqueBlack)
{
    const std::vector<uint8_t> src = Frame();
    struct Case
    {
        EyeOffset offset;
        EyeGains gains;
    };
    for (const Case& c :
         {Case{{0, 0}, kUnitGains}, Case{{5, -3}, kUnitGains}, Case{{-64, 64}, kUnitGains},
          Case{{3, 2}, {1.5f, 0.5f, 1.0f}}, Case{{0, 0}, {NAN, 9.0f, -1.0f}}}) {
        std::vector<uint8_t> dst(src.size(), 7);
        ASSERT_TRUE(AdjustEyeFrame(src.data(), kWidth * 4, dst.data(), kWidth * 4, kWidth, kHeight,
                                   c.offset, c.gains));
        // Gains held to 0…4 in steps of 1/256, results cut to whole levels and held to 255.
        int fixed[3];
        for (int k = 0; k < 3; ++k)
            fixed[k] = c.gains[k] > 0 ? int(std::lround(std::fmin(c.gains[k], 4.0f) * 256)) : 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* out = &dst[(size_t(y) * kWidth + x) * 4];
                const int sx = x - c.offset.x, sy = y - c.offset.y;
                ASSERT_EQ(out[0], 255);
                for (int k = 0; k < 3; ++k) {
                    const int expected =
                        sx < 0 || sx >= kWidth || sy < 0 || sy >= kHeight
                            ? 0
                            : std::min(255, src[(size_t(sy) * kWidth + sx) * 4 + 1 + k] * fixed[k] /
                                                256);
                    ASSERT_EQ(out[1 + k], expected)
                        << "offset " << c.offset.x << "," << c.offset.y << " at " << x << "," << y;
                }
            }
    }
    std::vector<uint8_t> dst(src.size());
    EXPECT_FALSE(AdjustEyeFrame(src.data(), kWidth * 4 - 1, dst.data(), kWidth * 4, kWidth, kHeight,
                                {}, kUnitGains));
    EXPECT_FALSE(AdjustEyeFrame(nullptr, kWidth * 4, dst.data(), kWidth * 4, kWidth, kHeight, {},
                                kUnitGains));
    EXPECT_EQ((EyeOffset{-100, 65}.clamped()), (EyeOffset{-64, 64}));
}

TEST(EyeAdjustmentTest, TheOverlapIsWhatBothEyesSeeInEachOwnFrame)
{
    struct Case
    {
        EyeOffset left, right;
        EyeRect leftArea, rightArea;
    };
    for (const Case& c : {Case{{0, 0}, {0, 0}, {0, 0, 640, 480}, {0, 0, 640, 480}},
                          Case{{0, 0}, {5, -3}, {5, 0, 635, 477}, {0, 3, 635, 477}},
                          Case{{-10, 4}, {10, -4}, {20, 0, 620, 472}, {0, 8, 620, 472}},
                          Case{{-64, 0}, {64, 0}, {128, 0, 512, 480}, {0, 0, 512, 480}}}) {
        EyeRect left, right;
        EyeOverlap(640, 480, c.left, c.right, left, right);
        EXPECT_EQ(left, c.leftArea);
        EXPECT_EQ(right, c.rightArea);
    }
    const std::vector<uint8_t> src = Frame();
    const std::array<double, 3> means = EyeChannelMeans(src.data(), kWidth * 4, {1, 2, 1, 1}, 4);
    EXPECT_EQ(means[0], src[(2 * kWidth + 1) * 4 + 1]);
    EXPECT_EQ(means[2], src[(2 * kWidth + 1) * 4 + 3]);
}

TEST(EyeColorMatcherTest, SettlesWithoutSwingingAndDarkOrWildScenesCannotPushIt)
{
    EyeColorMatcher matcher;
    const std::array<double, 3> left = {150, 120, 90}, right = {105, 84, 80};
    float previous = 1.0f;
    for (int tick = 0; tick < 60; ++tick) {
        matcher.update(left, right);
        EXPECT_GT(matcher.gains()[0], previous) << "straight toward the ratio, no swing";
        EXPECT_LE(matcher.gains()[0], 150.0 / 105.0);
        previous = matcher.gains()[0];
    }
    for (size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(matcher.gains()[c] * right[c], left[c], 2.0) << "channel " << c;

    const EyeGains settled = matcher.gains();
    for (const std::array<double, 3>& dark :
         {std::array<double, 3>{0, 0, 0}, std::array<double, 3>{NAN, 3, 7.9}})
        for (int tick = 0; tick < 100; ++tick) {
            matcher.update(left, dark);
            matcher.update(dark, left);
        }
    EXPECT_EQ(matcher.gains(), settled) << "a black eye says nothing of colour";
    for (int tick = 0; tick < 300; ++tick)
        matcher.update({255, 255, 255}, {9, 9, 9});
    for (float gain : matcher.gains())
        EXPECT_LE(gain, EyeColorMatcher::kMaxGain);
    for (int tick = 0; tick < 300; ++tick)
        matcher.update({9, 9, 9}, {255, 255, 255});
    for (float gain : matcher.gains())
        EXPECT_GE(gain, EyeColorMatcher::kMinGain);
}

} // namespace
