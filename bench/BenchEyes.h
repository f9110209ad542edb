// The eye pictures the benchmarks share, so that ours and the peers work on the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

constexpr size_t kEyeWidth = 640, kEyeHeight = 480, kEyeRowBytes = kEyeWidth * 4;

// A 640 x 480 opaque A,R,G,B picture of varied content; another seed, another picture.
inline std::vector<uint8_t> SeededEye(int seed)
{
    std::vector<uint8_t> bytes(kEyeRowBytes * kEyeHeight);
    for (size_t i = 0; i < kEyeWidth * kEyeHeight; ++i) {
        bytes[i * 4] = 255;
        bytes[i * 4 + 1] = uint8_t(i * 7 + size_t(seed));
        bytes[i * 4 + 2] = uint8_t(i * 13 + size_t(seed));
        bytes[i * 4 + 3] = uint8_t(i * 3 + size_t(seed));
    }
    return bytes;
}

} // namespace bench
