// Dense disparity of a rectified pair by semi-global matching, without a display. The pair may
// be matched at a reduced scale (the live monitor matches at half size); the map is always at
// the input's full size and in its pixels. Buffers live between calls, so a steady size costs
// no allocation after the first pair.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ArgbView.h"

class DisparityMatcher
{
public:
    // Unknown pixels of the map.
    static constexpr float kUnknown = -1.0f;

    DisparityMatcher();
    ~DisparityMatcher();

    // Disparity of the left eye, in pixels of the input, width x height floats row by row
    // (kUnknown where no match); false with the reason and out_map untouched when refused.
    // maxDisparity is in input pixels, a positive multiple of 16; scale in (0, 1].
    bool Match(const ArgbView& left, const ArgbView& right, int maxDisparity, double scale,
               std::vector<float>& out_map, std::string& out_reason);

private:
    struct Buffers;
    std::unique_ptr<Buffers> mBuffers;
};
