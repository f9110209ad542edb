// A calibration chessboard held up in front of the test-pattern scene by a hand: 9 x 6 inner
// corners of 25 mm squares on white card. The hand holds it still in one pose for a second, then
// moves it to the next in 0.4 s; the poses go about the whole picture, tilted up to 28 degrees,
// 0.45 to 0.9 m away, the board whole inside both eyes. All follows from the frame number.
//
// Drawn into the ideal eyes' pictures: each pixel through the board plane's homography, the
// pixels across an edge from 16 samples, so that the corners are found to a fraction of a pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "TestPatternOptics.h"

class TestPatternChessboard
{
public:
    static constexpr int kColumns = 9; // inner corners
    static constexpr int kRows = 6;
    static constexpr double kSquareMm = 25.0;
    static constexpr uint64_t kHoldFrames = 30; // at 30 frames a second
    static constexpr uint64_t kMoveFrames = 12;

    // A frame in the middle of the n-th pose held still.
    static uint64_t StillFrame(uint64_t in_pose);
    // Inner corner (column, row) at this frame; (0, 0) is the top left one in the left eye.
    static TestPatternPoint Corner(uint64_t in_frame, int in_column, int in_row);

    // Draws board and hand into an ideal eye's R,G,B picture described by in_optics.
    void Draw(uint64_t in_frame, int in_eye, const TestPatternOptics& in_optics, int in_width,
              int in_height, uint8_t* io_rgb, size_t in_rowBytes);

private:
    std::vector<uint8_t> mRegions; // two rows of pixel corners, reused frame to frame
};
