#include "EyeAdjustment.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Processor/InstructionSet.h"

namespace {

constexpr uint32_t kOpaqueBlack = 0x000000FFu; // A,R,G,B bytes 255, 0, 0, 0 in memory

// Gains as multipliers of x·256 whose high 16 bits are the result: 256 is 1.
uint16_t FixedGain(float gain)
{
    if (!(gain > 0.0f)) // NaN too
        return 0;
    return uint16_t(std::lround(std::min(gain, 4.0f) * 256.0f));
}

void FillBlack(uint8_t* row, int pixels)
{
    for (int i = 0; i < pixels; ++i)
        memcpy(row + size_t(i) * 4, &kOpaqueBlack, 4);
}

// vectors: the process's choice allows SSE2; the scalar loop gives the same bytes.
void ScaleRow(const uint8_t* src, uint8_t* dst, int pixels, const uint16_t gain[4], bool vectors)
{
    int i = 0;
#if defined(__SSE2__)
    const int vectorEnd = vectors ? pixels : 0;
    const __m128i g = _mm_set_epi16(short(gain[3]), short(gain[2]), short(gain[1]), short(gain[0]),
                                    short(gain[3]), short(gain[2]), short(gain[1]), short(gain[0]));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= vectorEnd; i += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + size_t(i) * 4));
        // Each byte into the high half of a 16-bit lane, times the gain, high 16 bits kept.
        const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, in), g);
        const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, in), g);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + size_t(i) * 4), _mm_packus_epi16(lo, hi));
    }
#else
    (void)vectors;
#endif
    for (; i < pixels; ++i)
        for (int c = 0; c < 4; ++c) {
            const uint32_t v = (uint32_t(src[size_t(i) * 4 + c]) << 8) * gain[c] >> 16;
            dst[size_t(i) * 4 + c] = uint8_t(std::min<uint32_t>(v, 255));
        }
}

} // namespace

EyeOffset EyeOffset::clamped() const
{
    return {std::clamp(x, -kLimit, kLimit), std::clamp(y, -kLimit, kLimit)};
}

bool AdjustEyeFrame(const uint8_t* src, size_t srcRowBytes, uint8_t* dst, size_t dstRowBytes,
                    int width, int height, EyeOffset offset, const EyeGains& gains)
{
    if (!src || !dst || width <= 0 || height <= 0 || width > INT_MAX / 4 ||
        srcRowBytes < size_t(width) * 4 || dstRowBytes < size_t(width) * 4)
        return false;
    const uint16_t gain[4] = {256, FixedGain(gains[0]), FixedGain(gains[1]), FixedGain(gains[2])};
    const bool unit = gain[1] == 256 && gain[2] == 256 && gain[3] == 256;
    const bool vectors = Processor::Chosen() >= Processor::InstructionSet::kSSE2;
    // The destination columns the source covers, and where in the source they start.
    const int dx = std::clamp(offset.x, -width, width);
    const int dy = std::clamp(offset.y, -height, height);
    const int first = std::max(dx, 0), last = std::min(width, width + dx);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + size_t(y) * dstRowBytes;
        const int sy = y - dy;
        if (sy < 0 || sy >= height || first >= last) {
            FillBlack(out, width);
            continue;
        }
        const uint8_t* in = src + size_t(sy) * srcRowBytes + size_t(first - dx) * 4;
        FillBlack(out, first);
        if (unit)
            memcpy(out + size_t(first) * 4, in, size_t(last - first) * 4);
        else
            ScaleRow(in, out + size_t(first) * 4, last - first, gain, vectors);
        FillBlack(out + size_t(last) * 4, width - last);
    }
    return true;
}

void EyeOverlap(int width, int height, EyeOffset left, EyeOffset right, EyeRect& leftArea,
                EyeRect& rightArea)
{
    // On the monitor each eye covers its frame moved by its offset; both see the intersection.
    const int x0 = std::max({0, left.x, right.x});
    const int y0 = std::max({0, left.y, right.y});
    const int x1 = std::min({width, width + left.x, width + right.x});
    const int y1 = std::min({height, height + left.y, height + right.y});
    const int w = std::max(0, x1 - x0), h = std::max(0, y1 - y0);
    leftArea = {x0 - left.x, y0 - left.y, w, h};
    rightArea = {x0 - right.x, y0 - right.y, w, h};
}

std::array<double, 3> EyeChannelMeans(const uint8_t* argb, size_t rowBytes, const EyeRect& area,
                                      int step)
{
    std::array<double, 3> means = {0, 0, 0};
    if (!argb || area.empty() || step < 1)
        return means;
    uint64_t sums[3] = {0, 0, 0}, count = 0;
    for (int y = area.y; y < area.y + area.height; y += step) {
        const uint8_t* row = argb + size_t(y) * rowBytes;
        for (int x = area.x; x < area.x + area.width; x += step, ++count)
            for (int c = 0; c < 3; ++c)
                sums[c] += row[size_t(x) * 4 + 1 + size_t(c)];
    }
    for (int c = 0; c < 3; ++c)
        means[size_t(c)] = double(sums[c]) / double(count);
    return means;
}
