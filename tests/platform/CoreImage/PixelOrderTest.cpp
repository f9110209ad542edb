// Frames on their way to a receiver: reordered, and resampled to the receiver's size.
#include <array>
#include <gtest/gtest.h>
#include <vector>

#include "CGPixelOrder.h"

namespace {

// A, R, G, B bytes of one pixel.
std::vector<uint8_t> Pixels(std::initializer_list<std::array<uint8_t, 4>> pixels)
{
    std::vector<uint8_t> bytes;
    for (const auto& p : pixels)
        bytes.insert(bytes.end(), p.begin(), p.end());
    return bytes;
}

TEST(PixelOrderTest, ScalingAveragesDownRepeatsUpAndEndsInTheReceiversOrder)
{
    // 4 x 2 down to 2 x 1: each output pixel is the mean of a 2 x 2 block.
    const std::vector<uint8_t> src = Pixels({{255, 10, 20, 30},
                                             {255, 30, 40, 50},
                                             {255, 100, 0, 0},
                                             {255, 100, 0, 0},
                                             {255, 10, 20, 30},
                                             {255, 30, 40, 50},
                                             {255, 200, 0, 0},
                                             {255, 200, 0, 0}});
    std::vector<uint8_t> dst(8, 0);
    ASSERT_TRUE(CGScaleARGBPixels(src.data(), 16, 4, 2, dst.data(), 8, 2, 1, CGPixelOrder::kBGRA));
    EXPECT_EQ(dst, Pixels({{40, 30, 20, 255}, {0, 0, 150, 255}}));

    // One pixel up to 3 x 2: the same pixel everywhere, R, G, B, A.
    const std::vector<uint8_t> one = Pixels({{200, 1, 2, 3}});
    std::vector<uint8_t> up(24, 0);
    ASSERT_TRUE(CGScaleARGBPixels(one.data(), 4, 1, 1, up.data(), 12, 3, 2, CGPixelOrder::kRGBA));
    for (size_t i = 0; i < up.size(); i += 4)
        EXPECT_EQ(std::vector<uint8_t>(up.begin() + long(i), up.begin() + long(i) + 4),
                  Pixels({{1, 2, 3, 200}}));

    // The same size is a reorder, byte for byte.
    std::vector<uint8_t> same(16, 0), reordered(16, 0);
    ASSERT_TRUE(
        CGScaleARGBPixels(src.data(), 16, 4, 1, same.data(), 16, 4, 1, CGPixelOrder::kBGRA));
    ASSERT_TRUE(
        CGReorderARGBPixels(src.data(), 16, reordered.data(), 16, 4, 1, CGPixelOrder::kBGRA));
    EXPECT_EQ(same, reordered);
}

TEST(PixelOrderTest, SizesItCannotTakeWriteNothing)
{
    const std::vector<uint8_t> src(64, 7);
    struct Case
    {
        size_t srcRowBytes, srcWidth, srcHeight, dstRowBytes, dstWidth, dstHeight;
    };
    for (const Case& c : {Case{16, 0, 2, 8, 2, 1}, Case{16, 4, 0, 8, 2, 1}, Case{16, 4, 2, 8, 0, 1},
                          Case{12, 4, 2, 8, 2, 1}, Case{16, 4, 2, 4, 2, 1},
                          Case{16, size_t(1) << 62, 2, 8, 2, 1}}) {
        std::vector<uint8_t> dst(64, 0);
        EXPECT_FALSE(CGScaleARGBPixels(src.data(), c.srcRowBytes, c.srcWidth, c.srcHeight,
                                       dst.data(), c.dstRowBytes, c.dstWidth, c.dstHeight,
                                       CGPixelOrder::kBGRA));
        EXPECT_EQ(dst, std::vector<uint8_t>(64, 0));
    }
    EXPECT_FALSE(CGScaleARGBPixels(nullptr, 16, 4, 2, nullptr, 8, 2, 1, CGPixelOrder::kBGRA));
}

} // namespace
