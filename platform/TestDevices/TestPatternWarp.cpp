#include "TestPatternWarp.h"

#include <algorithm>
#include <cmath>

#include "TestPatternOptics.h"

void TestPatternWarp::Prepare(const TestPatternOptics& in_optics, int in_eye, int in_width,
                              int in_height)
{
    mWidth = in_width;
    mHeight = in_height;
    const size_t pixels = size_t(in_width) * size_t(in_height);
    mIdeal.assign((pixels + size_t(in_width) + 2) * 3, 0);
    mTaps.resize(pixels);
    for (int y = 0; y < in_height; ++y)
        for (int x = 0; x < in_width; ++x) {
            Tap& tap = mTaps[size_t(y) * size_t(in_width) + size_t(x)];
            double idealX = 0, idealY = 0;
            if (!in_optics.IdealPixel(in_eye, x, y, idealX, idealY)) {
                tap = {uint32_t(pixels * 3), {256, 0, 0, 0}};
                continue;
            }
            // Beyond the ideal picture its edge goes on.
            idealX = std::clamp(idealX, 0.0, double(in_width - 1));
            idealY = std::clamp(idealY, 0.0, double(in_height - 1));
            const int left = std::min(int(idealX), std::max(in_width - 2, 0));
            const int top = std::min(int(idealY), std::max(in_height - 2, 0));
            tap.offset = uint32_t((size_t(top) * size_t(in_width) + size_t(left)) * 3);
            const double right = idealX - left, down = idealY - top;
            const double weights[4] = {(1 - right) * (1 - down), right * (1 - down),
                                       (1 - right) * down, right * down};
            // Rounded, the largest takes what the others leave, so that they add up to 256.
            const int largest = int(std::max_element(weights, weights + 4) - weights);
            int rest = 256;
            for (int i = 0; i < 4; ++i)
                if (i != largest) {
                    tap.weight[i] = uint16_t(std::lround(weights[i] * 256));
                    rest -= tap.weight[i];
                }
            tap.weight[largest] = uint16_t(rest);
        }
}

void TestPatternWarp::Apply(uint8_t* out_rgb, size_t in_rowBytes) const
{
    const size_t below = size_t(mWidth) * 3;
    for (int y = 0; y < mHeight; ++y) {
        const Tap* taps = &mTaps[size_t(y) * size_t(mWidth)];
        uint8_t* out = out_rgb + size_t(y) * in_rowBytes;
        for (int x = 0; x < mWidth; ++x, out += 3) {
            const Tap& tap = taps[x];
            const uint8_t* p = &mIdeal[tap.offset];
            const uint8_t* q = p + below;
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t((p[c] * tap.weight[0] + p[c + 3] * tap.weight[1] +
                                  q[c] * tap.weight[2] + q[c + 3] * tap.weight[3] + 128) >>
                                 8);
        }
    }
}
