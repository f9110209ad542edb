// Chessboard pairs of A,R,G,B frames: why a pair is not used.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "StereoCalibrator.h"

namespace {

// An opaque A,R,G,B picture, white, with a columns x rows (inner corners) chessboard of 16 px
// squares from (24, 24) when board is true.
struct Picture
{
    Picture(int width, int height, bool board, int columns = 9, int rows = 6)
        : width(width), height(height), argb(size_t(width) * height * 4, 255)
    {
        for (int y = 0; board && y < (rows + 1) * 16; ++y)
            for (int x = 0; x < (columns + 1) * 16; ++x)
                if ((x / 16 + y / 16) % 2 == 0) {
                    uint8_t* pixel = &argb[(size_t(y + 24) * width + x + 24) * 4];
                    pixel[1] = pixel[2] = pixel[3] = 0;
                }
    }
    ArgbView view() const { return {argb.data(), size_t(width) * 4, width, height}; }
    int width, height;
    std::vector<uint8_t> argb;
};

TEST(StereoCalibratorTest, SaysWhyEachPairIsNotUsed)
{
    const Picture board(240, 180, true), blank(240, 180, false), small(200, 180, true),
        otherBoard(240, 180, true, 7, 5), empty(0, 180, false);
    struct Case
    {
        const Picture& left;
        const Picture& right;
        std::string reason;
    };
    for (const Case& c : {Case{blank, board, "no 9x6 board in the left image"},
                          Case{board, blank, "no 9x6 board in the right image"},
                          Case{otherBoard, otherBoard, "no 9x6 board in the left image"},
                          Case{board, small, "images of two sizes: 240x180 and 200x180"},
                          Case{board, empty, "not a picture"}}) {
        StereoCalibrator calibrator(StereoBoard{});
        std::string reason;
        EXPECT_FALSE(calibrator.AddPair(c.left.view(), c.right.view(), reason));
        EXPECT_EQ(reason, c.reason);
    }
}

TEST(StereoCalibratorTest, UsesAViewOnlyOnce)
{
    const Picture board(240, 180, true);
    StereoCalibrator calibrator(StereoBoard{});
    std::string reason;
    EXPECT_TRUE(calibrator.AddPair(board.view(), board.view(), reason)) << reason;
    EXPECT_FALSE(calibrator.AddPair(board.view(), board.view(), reason));
    EXPECT_EQ(reason, "the same view as pair 1");
}

} // namespace
