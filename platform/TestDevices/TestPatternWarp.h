// One eye's picture as its faulty lens sees the ideal one: for each pixel, where to read the ideal
// picture, worked out once per size and rig, then applied to every frame with fixed-point
// bilinear weights.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TestPatternOptics;

class TestPatternWarp
{
public:
    void Prepare(const TestPatternOptics& in_optics, int in_eye, int in_width, int in_height);
    // The ideal picture to draw before Apply: packed R,G,B of the prepared size.
    uint8_t* ideal() { return mIdeal.data(); }
    // The faulty eye's picture from ideal(); pixels with no ray are black.
    void Apply(uint8_t* out_rgb, size_t in_rowBytes) const;

private:
    struct Tap
    {
        uint32_t offset;    // of the top left of four ideal pixels, in bytes
        uint16_t weight[4]; // top left, top right, bottom left, bottom right; of 256
    };
    int mWidth = 0;
    int mHeight = 0;
    std::vector<Tap> mTaps;
    // Followed by a black row and pixel, so that every tap reads inside: no ray reads black.
    std::vector<uint8_t> mIdeal;
};
