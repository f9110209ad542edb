// One finished depth map of the eyes: the disparity, its coloured picture and its histogram.
#pragma once

#include <cstdint>
#include <vector>

struct DepthHistogram
{
    static constexpr int kBinsPerPixel = 4; // quarter-pixel bins of disparity
    static constexpr int kEdgeBand = 16;    // columns at each side, in eye pixels at 640 wide,
                                            // scaled with the width (window violations)
    int maxDisparity = 0;                   // bins cover [0, maxDisparity) eye pixels
    std::vector<uint32_t> all, leftEdge, rightEdge; // known pixels per bin
    uint64_t known = 0, unknown = 0;
};

struct DepthSnapshot
{
    uint64_t serial = 0;          // 1 for the first finished map, +1 each
    int width = 0, height = 0;    // the eyes' full size
    std::vector<float> disparity; // full size, DisparityMatcher::kUnknown where unknown
    std::vector<uint8_t> picture; // coloured A,R,G,B, width * 4 a row, legend strip drawn in;
                                  // unknown black; near warm, far cool (turbo)
    DepthHistogram histogram;
};
