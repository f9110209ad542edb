// A depth map of a rectified pair, made whole: matched at half size, brought to the eyes' size,
// counted into the histogram and coloured with its legend. The depth worker runs it on its
// thread; it keeps its buffers between pairs, so a steady size allocates nothing.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ArgbView.h"
#include "DepthSnapshot.h"
#include "DisparityMatcher.h"

class DepthMapper
{
public:
    // Half size is four times less work, and the eyes' noise is halved with it.
    static constexpr double kScale = 0.5;

    // The largest disparity looked for at this width, in its pixels: a tenth of it, rounded up to
    // the matcher's steps of 16 (64 at 640 wide). That reaches a face half a metre from webcams
    // 6 cm apart (about 60 px at 640 wide); the test scene's nearest object is 16.
    static int DefaultMaxDisparity(int width);

    // out filled for the pair, its memory reused; serial is the caller's. A pair the matcher
    // refuses (too small for its window and range) gives an all-unknown map, false and the reason.
    // focalPx and baselineMm (both positive) add the distance in millimetres to the legend.
    bool Map(const ArgbView& left, const ArgbView& right, double focalPx, double baselineMm,
             DepthSnapshot& out, std::string& out_reason);

    // The disparity the colours' warm end stands for (a multiple of kColourStep): a little past
    // the scene's nearest, so that a far scene is not all cool.
    int colourTop() const { return mColourTop; }
    static constexpr int kColourStep = 4;

private:
    void FitColourRange(const DepthHistogram& histogram);

    DisparityMatcher mMatcher;
    int mColourTop = 0;
    int mBinColoursTop = 0;
    std::vector<std::array<uint8_t, 4>> mBinColours; // A,R,G,B of each histogram bin
    std::vector<uint32_t> mRepeats;                  // rows of the map, each with its repeats
};
