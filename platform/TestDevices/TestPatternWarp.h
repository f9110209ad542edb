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
    // in_ideal is packed R,G,B of the prepared size; pixels with no ray become black.
    void Apply(const uint8_t* in_ideal, uint8_t* out_rgb, size_t in_rowBytes) const;

private:
    struct Tap
    {
        uint32_t offset; // of the top left of four ideal pixels, in bytes; kNoRay: none
        uint16_t right, down; // weights of the right and lower pixels, of 256
    };
    static constexpr uint32_t kNoRay = UINT32_MAX;
    int mWidth = 0;
    int mHeight = 0;
    std::vector<Tap> mTaps;
};
