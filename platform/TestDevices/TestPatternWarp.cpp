#include "TestPatternWarp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "TestPatternOptics.h"

void TestPatternWarp::Prepare(const TestPatternOptics& in_optics, int in_eye, int in_width,
                              int in_height)
{
    mWidth = in_width;
    mHeight = in_height;
    mTaps.resize(size_t(in_width) * size_t(in_height));
    for (int y = 0; y < in_height; ++y)
        for (int x = 0; x < in_width; ++x) {
            Tap& tap = mTaps[size_t(y) * size_t(in_width) + size_t(x)];
            double idealX = 0, idealY = 0;
            if (!in_optics.IdealPixel(in_eye, x, y, idealX, idealY)) {
                tap = {kNoRay, 0, 0};
                continue;
            }
            // Beyond the ideal picture its edge goes on; a one-pixel side reads one pixel.
            idealX = std::clamp(idealX, 0.0, double(in_width - 1));
            idealY = std::clamp(idealY, 0.0, double(in_height - 1));
            const int left = std::min(int(idealX), std::max(in_width - 2, 0));
            const int top = std::min(int(idealY), std::max(in_height - 2, 0));
            tap.offset = uint32_t((size_t(top) * size_t(in_width) + size_t(left)) * 3);
            tap.right = in_width > 1 ? uint16_t(std::lround((idealX - left) * 256.0)) : 0;
            tap.down = in_height > 1 ? uint16_t(std::lround((idealY - top) * 256.0)) : 0;
        }
}

void TestPatternWarp::Apply(const uint8_t* in_ideal, uint8_t* out_rgb, size_t in_rowBytes) const
{
    const size_t below = size_t(mWidth) * 3;
    for (int y = 0; y < mHeight; ++y) {
        const Tap* taps = &mTaps[size_t(y) * size_t(mWidth)];
        uint8_t* out = out_rgb + size_t(y) * in_rowBytes;
        for (int x = 0; x < mWidth; ++x, out += 3) {
            const Tap tap = taps[x];
            if (tap.offset == kNoRay) {
                std::memset(out, 0, 3);
                continue;
            }
            // A neighbour of no weight is not read: it may lie beyond a one-pixel side.
            const uint32_t right = tap.right, down = tap.down;
            const uint8_t* p = in_ideal + tap.offset;
            const uint8_t* q = p + (down != 0 ? below : 0);
            const size_t next = right != 0 ? 3 : 0;
            for (int c = 0; c < 3; ++c) {
                const uint32_t top = p[c] * (256 - right) + p[c + next] * right;
                const uint32_t bottom = q[c] * (256 - right) + q[c + next] * right;
                out[c] = uint8_t((top * (256 - down) + bottom * down + 32768) >> 16);
            }
        }
    }
}
