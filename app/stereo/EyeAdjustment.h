// What the stereo view does to each eye's camera frame before the image controls and the mux:
// moves it by the eye's alignment offset and scales its colours by the eye's gains, in one pass
// over A,R,G,B memory. Nothing here needs a display.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// An eye's alignment in pixels: right and down on the monitor.
struct EyeOffset
{
    static constexpr int kLimit = 64;
    int x = 0;
    int y = 0;
    bool operator==(const EyeOffset&) const = default;
    // Each coordinate held to ±kLimit.
    EyeOffset clamped() const;
};

// Red, green and blue multipliers.
using EyeGains = std::array<float, 3>;
constexpr EyeGains kUnitGains = {1.0f, 1.0f, 1.0f};

// An area of the frame, in pixels from its top-left corner.
struct EyeRect
{
    int x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const EyeRect&) const = default;
};

// Copies width x height opaque A,R,G,B pixels into dst moved by offset, each colour byte times its
// gain (gains held to 0…4, in steps of 1/256, results held to 255); what the move uncovers is
// opaque black. False, with nothing written, for sizes or rows it cannot take.
bool AdjustEyeFrame(const uint8_t* src, size_t srcRowBytes, uint8_t* dst, size_t dstRowBytes,
                    int width, int height, EyeOffset offset, const EyeGains& gains);

// The part of each eye's own frame that the other eye sees too once both are moved: leftArea in
// the left frame, rightArea in the right one (equal sizes; empty when they do not meet).
void EyeOverlap(int width, int height, EyeOffset left, EyeOffset right, EyeRect& leftArea,
                EyeRect& rightArea);

// Mean red, green and blue levels over the area, every step-th pixel each way.
std::array<double, 3> EyeChannelMeans(const uint8_t* argb, size_t rowBytes, const EyeRect& area,
                                      int step);
