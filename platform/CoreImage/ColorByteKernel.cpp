#include "ColorByteKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
// GCC 12 takes the AVX-512 headers' deliberately undefined vectors for uninitialised ones.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace CoreImage {

namespace {

constexpr int kMaxShift = 7;
constexpr int kMinShift = 4;

inline UInt8 ToByte(int v)
{
    return UInt8(std::clamp(v, 0, 255));
}

} // namespace

bool ColorByteKernel::set(const ColorProgram& program)
{
    mReady = false;
    mProgram = program;
    // The controls' matrix is k s on the diagonal plus a column that every row shares.
    double p[3], q[3];
    for (int c = 0; c < 3; ++c) {
        q[c] = program.matrix((c + 1) % 3, c);
        p[c] = program.matrix(c, c) - q[c];
    }
    const double offset = program.offset();
    const double gain = std::max({std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])}) +
                        std::fabs(q[0]) + std::fabs(q[1]) + std::fabs(q[2]) + std::fabs(offset);
    if (!std::isfinite(gain))
        return false;
    // Every partial sum within 16 bits: the terms' magnitudes, the rounding half and one unit
    // of rounding per table.
    int shift = kMaxShift;
    while (shift >= kMinShift && 255.0 * (1 << shift) * gain + (1 << shift) / 2 + 4 > 32767)
        --shift;
    if (shift < kMinShift)
        return false;
    mShift = shift;
    const double scale = 255.0 * (1 << shift);
    for (int c = 0; c < 3; ++c)
        for (int x = 0; x < 256; ++x) {
            const double u = program.curve(c, UInt8(x));
            mP[c][x] = int16_t(std::lround(scale * p[c] * u));
            const double shared = q[c] * u + (c == 0 ? offset : 0.0);
            mQ[c][x] = int16_t(std::lround(scale * shared) + (c == 0 ? (1 << shift) / 2 : 0));
            const uint16_t entries[2] = {uint16_t(mP[c][x]), uint16_t(mQ[c][x])};
            for (int t = 0; t < 2; ++t) {
                mBytes[c][2 * t][x] = UInt8(entries[t] & 0xFF);
                mBytes[c][2 * t + 1][x] = UInt8(entries[t] >> 8);
            }
        }
    mReady = true;
    return true;
}

void ColorByteKernel::apply(const UInt8* src, size_t n, UInt8* dst, bool reversed) const
{
    applyOnPath(BestPath(), src, n, dst, reversed);
}

void ColorByteKernel::applyOnPath(Path path, const UInt8* src, size_t n, UInt8* dst,
                                  bool reversed) const
{
    if (!mReady || !src || !dst || !Supported(path))
        return;
    size_t done = 0;
#if defined(__x86_64__)
    if (path == Path::kAVX512)
        done = applyAVX512(src, n, dst, reversed);
#endif
    applyScalar(src, done, n, n, dst, reversed);
}

void ColorByteKernel::applyScalar(const UInt8* src, size_t from, size_t to, size_t n, UInt8* dst,
                                  bool reversed) const
{
    // Locals, since stores through dst may alias anything.
    const int shift = mShift;
    const int16_t *pR = mP[0], *pG = mP[1], *pB = mP[2];
    const int16_t *qR = mQ[0], *qG = mQ[1], *qB = mQ[2];
    for (size_t j = from; j < to; ++j) {
        const UInt8* s = src + 4 * (reversed ? n - 1 - j : j);
        if (s[0] != 255) {
            applyExact(src, j, j + 1, n, dst, reversed);
            continue;
        }
        const UInt8 r = s[1], g = s[2], b = s[3];
        const int shared = qR[r] + qG[g] + qB[b];
        // Memory order A, R, G, B: alpha is the low byte of the little-endian word.
        const uint32_t word = 255u | uint32_t(ToByte((pR[r] + shared) >> shift)) << 8 |
                              uint32_t(ToByte((pG[g] + shared) >> shift)) << 16 |
                              uint32_t(ToByte((pB[b] + shared) >> shift)) << 24;
        memcpy(dst + 4 * j, &word, 4);
    }
}

void ColorByteKernel::applyExact(const UInt8* src, size_t from, size_t to, size_t n, UInt8* dst,
                                 bool reversed) const
{
    // Mirrored, output pixels from..to are the source's n - to..n - from, last first.
    const UInt8* first = src + 4 * (reversed ? n - to : from);
    mProgram.applyARGB8Row(first, to - from, dst + 4 * from, reversed);
}

#if defined(__x86_64__)

namespace {

#define P3D_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Byte permutations, 64 pixels a block. split: from two vectors of 16 pixels each to R of
// their 32 pixels then G, and B (twice); reversed, the pixels come last first. merge: planes
// of R, G (first table) and B (second) back to A,R,G,B bytes of 16 pixels.
struct Permutations
{
    alignas(64) UInt8 split[2][2][64]; // [reversed][RG, B]
    alignas(64) UInt8 merge[4][2][64]; // [output vector][RG, B]
};

constexpr Permutations MakePermutations()
{
    Permutations p{};
    for (int reversed = 0; reversed < 2; ++reversed)
        for (int lane = 0; lane < 64; ++lane) {
            const int pixel = reversed ? 31 - lane % 32 : lane % 32;
            p.split[reversed][0][lane] = UInt8(4 * pixel + (lane < 32 ? 1 : 2));
            p.split[reversed][1][lane] = UInt8(4 * pixel + 3);
        }
    for (int k = 0; k < 4; ++k)
        for (int pixel = 0; pixel < 16; ++pixel) {
            p.merge[k][0][4 * pixel + 1] = UInt8(16 * k + pixel);
            p.merge[k][0][4 * pixel + 2] = UInt8(64 + 16 * k + pixel);
            p.merge[k][1][4 * pixel + 3] = UInt8(64 + 16 * k + pixel);
        }
    return p;
}

constexpr Permutations kPermutations = MakePermutations();
constexpr __mmask64 kAlphaLanes = 0x1111111111111111ULL;
constexpr __mmask64 kBlueLanes = kAlphaLanes << 3;

// A 256-entry byte table: two 128-entry permutations, chosen by the index's top bit.
P3D_AVX512 inline __m512i Lookup(__m512i index, __mmask64 high, const UInt8* table)
{
    const __m512i low =
        _mm512_permutex2var_epi8(_mm512_load_si512(table), index, _mm512_load_si512(table + 64));
    const __m512i up = _mm512_permutex2var_epi8(_mm512_load_si512(table + 128), index,
                                                _mm512_load_si512(table + 192));
    return _mm512_mask_blend_epi8(high, low, up);
}

// The 16-bit P and Q entries of a plane of 64 bytes: words of bytes 0..7 and 8..15 of each
// 128-bit lane, as the saturating pack puts them back.
P3D_AVX512 inline void Entries(__m512i index, const UInt8 (*tables)[256], __m512i p[2],
                               __m512i q[2])
{
    const __mmask64 high = _mm512_movepi8_mask(index);
    const __m512i pLow = Lookup(index, high, tables[ColorByteKernel::kPLow]);
    const __m512i pHigh = Lookup(index, high, tables[ColorByteKernel::kPHigh]);
    const __m512i qLow = Lookup(index, high, tables[ColorByteKernel::kQLow]);
    const __m512i qHigh = Lookup(index, high, tables[ColorByteKernel::kQHigh]);
    p[0] = _mm512_unpacklo_epi8(pLow, pHigh);
    p[1] = _mm512_unpackhi_epi8(pLow, pHigh);
    q[0] = _mm512_unpacklo_epi8(qLow, qHigh);
    q[1] = _mm512_unpackhi_epi8(qLow, qHigh);
}

// Whole blocks of 64 output pixels from from on; stops at the first block with a pixel that is
// not opaque, or where no whole block is left, and answers where.
P3D_AVX512 size_t Blocks_AVX512(const UInt8 (*tables)[ColorByteKernel::kTables][256], int shift,
                                const UInt8* src, size_t n, UInt8* dst, bool reversed, size_t from)
{
    const __m512i splitRG = _mm512_load_si512(kPermutations.split[reversed][0]);
    const __m512i splitB = _mm512_load_si512(kPermutations.split[reversed][1]);
    const __m512i opaque = _mm512_set1_epi8(char(0xFF));
    const __m128i count = _mm_cvtsi32_si128(shift);
    size_t j = from;
    for (; j + 64 <= n; j += 64) {
        const UInt8* block = src + 4 * (reversed ? n - 64 - j : j);
        __m512i in[4];
        for (int k = 0; k < 4; ++k)
            in[k] = _mm512_loadu_si512(block + 64 * k);
        const __m512i alphas =
            _mm512_and_si512(_mm512_and_si512(in[0], in[1]), _mm512_and_si512(in[2], in[3]));
        if (_mm512_mask_cmpneq_epi8_mask(kAlphaLanes, alphas, opaque))
            return j;
        // The output's first 32 pixels: the first two vectors, or mirrored the last two.
        const int first = reversed ? 2 : 0, second = 2 - first;
        const __m512i rgFirst = _mm512_permutex2var_epi8(in[first], splitRG, in[first + 1]);
        const __m512i rgSecond = _mm512_permutex2var_epi8(in[second], splitRG, in[second + 1]);
        const __m512i bFirst = _mm512_permutex2var_epi8(in[first], splitB, in[first + 1]);
        const __m512i bSecond = _mm512_permutex2var_epi8(in[second], splitB, in[second + 1]);
        const __m512i planes[3] = {_mm512_shuffle_i64x2(rgFirst, rgSecond, 0x44),
                                   _mm512_shuffle_i64x2(rgFirst, rgSecond, 0xEE),
                                   _mm512_shuffle_i64x2(bFirst, bSecond, 0x44)};
        __m512i p[3][2], q[3][2];
        for (int c = 0; c < 3; ++c)
            Entries(planes[c], tables[c], p[c], q[c]);
        __m512i out[3];
        __m512i half[3][2];
        for (int h = 0; h < 2; ++h) {
            const __m512i shared = _mm512_add_epi16(_mm512_add_epi16(q[0][h], q[1][h]), q[2][h]);
            for (int c = 0; c < 3; ++c)
                half[c][h] = _mm512_sra_epi16(_mm512_add_epi16(p[c][h], shared), count);
        }
        // The saturating pack clamps to 0..255.
        for (int c = 0; c < 3; ++c)
            out[c] = _mm512_packus_epi16(half[c][0], half[c][1]);
        UInt8* to = dst + 4 * j;
        for (int k = 0; k < 4; ++k) {
            __m512i v = _mm512_permutex2var_epi8(
                out[0], _mm512_load_si512(kPermutations.merge[k][0]), out[1]);
            v = _mm512_mask_permutex2var_epi8(v, kBlueLanes,
                                              _mm512_load_si512(kPermutations.merge[k][1]), out[2]);
            _mm512_storeu_si512(to + 64 * k, _mm512_mask_mov_epi8(v, kAlphaLanes, opaque));
        }
    }
    return j;
}

} // namespace

size_t ColorByteKernel::applyAVX512(const UInt8* src, size_t n, UInt8* dst, bool reversed) const
{
    size_t j = 0;
    for (;;) {
        j = Blocks_AVX512(mBytes, mShift, src, n, dst, reversed, j);
        if (j + 64 > n)
            return j;
        // A block with pixels that are not opaque: the scalar path sorts them out.
        applyScalar(src, j, j + 64, n, dst, reversed);
        j += 64;
    }
}

#endif

bool ColorByteKernel::Supported(Path path)
{
    switch (path) {
    case Path::kScalar:
        return true;
    case Path::kAVX512:
#if defined(__x86_64__)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
#else
        return false;
#endif
    }
    return false;
}

ColorByteKernel::Path ColorByteKernel::BestPath()
{
    static const Path sBest = Supported(Path::kAVX512) ? Path::kAVX512 : Path::kScalar;
    return sBest;
}

bool import_ColorByteKernel()
{
    return true;
}

} // namespace CoreImage
