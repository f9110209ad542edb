#include "ColorByteKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Processor/InstructionSet.h"

#if defined(__x86_64__)
// GCC 12 takes the AVX-512 headers' deliberately undefined vectors for uninitialised ones.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
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
// What the table entries of a pixel add up to beyond its sums.
constexpr int kBias = 1 << 15;

inline UInt8 ToByte(int v)
{
    return UInt8(std::clamp(v, 0, 255));
}

// a b / 2^15 rounded, as the vector multiply of 16-bit fractions has it.
inline int MulHighRound(int a, int b)
{
    return (a * b + 0x4000) >> 15;
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
    // Every partial sum within 16 bits: the terms' magnitudes, the rounding half and a unit and
    // a half of rounding per term.
    constexpr double kUnit = 32768.0 / 32767;
    int shift = kMaxShift;
    while (shift >= kMinShift && 255.0 * (1 << shift) * gain * kUnit + (1 << shift) / 2 + 8 > 32767)
        --shift;
    if (shift < kMinShift)
        return false;
    mShift = shift;
    const double scale = 255.0 * (1 << shift) * kUnit;
    for (int c = 0; c < 3; ++c) {
        mOwn[c] = int16_t(std::lround(scale * p[c]));
        mShared[c] = int16_t(std::lround(scale * q[c]));
    }
    mConstant = int16_t(std::lround(255.0 * (1 << shift) * offset) + (1 << shift) / 2);
    // Each byte's terms: the shared one in every colour, the own one in c's, K in R's, and the
    // alpha of 255 S.
    int terms[3][256][4];
    for (int c = 0; c < 3; ++c)
        for (int x = 0; x < 256; ++x) {
            const int u = int(std::lround(program.curve(c, UInt8(x)) * 32767));
            mBytes[c][kULow][x] = UInt8(u & 0xFF);
            mBytes[c][kUHigh][x] = UInt8(u >> 8);
            const int shared = MulHighRound(u, mShared[c]) + (c == 0 ? mConstant : 0);
            terms[c][x][0] = c == 0 ? 255 << shift : 0;
            for (int k = 0; k < 3; ++k)
                terms[c][x][1 + k] = shared + (k == c ? MulHighRound(u, mOwn[c]) : 0);
        }
    // Each lane raised by 2^15 in all, G's and B's by just enough to leave none negative, so
    // three entries add without a carry between lanes.
    memset(mTerms, 0, sizeof(mTerms));
    for (int k = 0; k < 4; ++k) {
        int raise[3];
        for (int c = 2; c >= 0; --c) {
            int least = 0;
            for (int x = 0; x < 256; ++x)
                least = std::min(least, terms[c][x][k]);
            raise[c] = c > 0 ? -least : kBias - raise[1] - raise[2];
            // The gains' bound keeps every lane within 16 bits; a fault would show here.
            if (least + raise[c] < 0)
                return false;
        }
        for (int c = 0; c < 3; ++c)
            for (int x = 0; x < 256; ++x)
                mTerms[c][x] |= uint64_t(terms[c][x][k] + raise[c]) << (16 * k);
    }
    static_assert(sizeof(mClamp) == 1 << (16 - kMinShift));
    for (int i = 0; i < (1 << (16 - shift)); ++i)
        mClamp[i] = ToByte(i - (kBias >> shift));
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
    else if (path == Path::kAVX2)
        done = applyAVX2(src, n, dst, reversed);
#endif
    applyScalar(src, done, n, n, dst, reversed);
}

void ColorByteKernel::applyScalar(const UInt8* src, size_t from, size_t to, size_t n, UInt8* dst,
                                  bool reversed) const
{
    const int shift = mShift; // a local, since stores through dst may alias anything
    const uint64_t top = (uint64_t(1) << (16 - shift)) - 1;
    for (size_t j = from; j < to; ++j) {
        const UInt8* s = src + 4 * (reversed ? n - 1 - j : j);
        if (s[0] != 255) {
            applyExact(src, j, j + 1, n, dst, reversed);
            continue;
        }
        const uint64_t sum = mTerms[0][s[1]] + mTerms[1][s[2]] + mTerms[2][s[3]];
        // Memory order A, R, G, B: alpha is the low byte of the little-endian word.
        uint32_t word = 255u;
        for (int k = 1; k < 4; ++k)
            word |= uint32_t(mClamp[(sum >> (16 * k + shift)) & top]) << (8 * k);
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

#define P3D_AVX2 __attribute__((target("avx2,fma")))

// Whether the 32 pixels from block on are opaque.
P3D_AVX2 inline bool Opaque_AVX2(const UInt8* block)
{
    __m256i alphas = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    for (int k = 1; k < 4; ++k)
        alphas = _mm256_and_si256(
            alphas, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32 * k)));
    alphas = _mm256_or_si256(alphas, _mm256_set1_epi32(int(0xFFFFFF00)));
    return _mm256_movemask_epi8(_mm256_cmpeq_epi8(alphas, _mm256_set1_epi8(char(0xFF)))) == -1;
}

// Whole opaque blocks of 32 output pixels from from on; stops where the first block that is not
// opaque, or no whole block, is left, and answers where. The tables are looked up one entry at a
// time: AVX2's gathers and byte shuffles over 16-entry pieces both measured slower.
template <bool kReversed>
P3D_AVX2 size_t Blocks_AVX2(const uint64_t (*terms)[256], int shift, const UInt8* src, size_t n,
                            UInt8* dst, size_t from)
{
    const __m128i count = _mm_cvtsi32_si128(shift);
    constexpr ptrdiff_t kStep = kReversed ? -4 : 4;
    const __m256i bias = _mm256_set1_epi16(short(kBias));
    // The entry of channel c of the pixel i after p.
    const auto term = [terms](const UInt8* p, int i, int c) {
        return static_cast<long long>(terms[c][p[kStep * i + 1 + c]]);
    };
    size_t j = from;
    for (; j + 32 <= n; j += 32) {
        if (!Opaque_AVX2(src + 4 * (kReversed ? n - 32 - j : j)))
            break;
        const UInt8* first = src + 4 * (kReversed ? n - 1 - j : j);
        for (int q = 0; q < 32; q += 4) {
            const UInt8* p = first + kStep * q;
            __m256i sum = _mm256_setzero_si256();
            for (int c = 0; c < 3; ++c)
                sum = _mm256_add_epi16(sum, _mm256_setr_epi64x(term(p, 0, c), term(p, 1, c),
                                                               term(p, 2, c), term(p, 3, c)));
            // Less the bias, as the 16-bit words have it, the sums themselves.
            sum = _mm256_sra_epi16(_mm256_xor_si256(sum, bias), count);
            // The saturating pack clamps to 0..255; alpha's lane is 255 S >> log2 S.
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(dst + 4 * (j + q)),
                _mm_packus_epi16(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1)));
        }
    }
    return j;
}

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
struct ByteTable
{
    __m512i part[4];
};

P3D_AVX512 inline ByteTable LoadTable(const UInt8* table)
{
    ByteTable t;
    for (int k = 0; k < 4; ++k)
        t.part[k] = _mm512_load_si512(table + 64 * k);
    return t;
}

P3D_AVX512 inline __m512i Lookup(const ByteTable& t, __m512i index, __mmask64 high)
{
    const __m512i low = _mm512_permutex2var_epi8(t.part[0], index, t.part[1]);
    const __m512i up = _mm512_permutex2var_epi8(t.part[2], index, t.part[3]);
    return _mm512_mask_blend_epi8(high, low, up);
}

P3D_AVX512 inline bool Opaque(const UInt8* block)
{
    __m512i alphas = _mm512_loadu_si512(block);
    for (int k = 1; k < 4; ++k)
        alphas = _mm512_and_si512(alphas, _mm512_loadu_si512(block + 64 * k));
    return !_mm512_mask_cmpneq_epi8_mask(kAlphaLanes, alphas, _mm512_set1_epi8(char(0xFF)));
}

struct Coefficients
{
    __m512i own[3];
    __m512i shared[3];
    __m512i constant;
};

// kBlocks opaque blocks of 64 output pixels from j on. Planes of R, G and B bytes, each table
// loaded once for all blocks; the 16-bit entries as words of bytes 0..7 and 8..15 of each
// 128-bit lane, as the saturating pack puts them back.
template <bool kReversed, int kBlocks>
P3D_AVX512 inline void Process(const UInt8 (*tables)[ColorByteKernel::kTables][256],
                               const Coefficients& coefficients, __m128i shift, const UInt8* src,
                               size_t n, UInt8* dst, size_t j)
{
    const __m512i splitRG = _mm512_load_si512(kPermutations.split[kReversed][0]);
    const __m512i splitB = _mm512_load_si512(kPermutations.split[kReversed][1]);
    __m512i planes[kBlocks][3];
    for (int b = 0; b < kBlocks; ++b) {
        const size_t at = j + 64 * size_t(b);
        const UInt8* block = src + 4 * (kReversed ? n - 64 - at : at);
        __m512i in[4];
        for (int k = 0; k < 4; ++k)
            in[k] = _mm512_loadu_si512(block + 64 * k);
        // The output's first 32 pixels: the first two vectors, or mirrored the last two.
        constexpr int kFirst = kReversed ? 2 : 0, kSecond = 2 - kFirst;
        const __m512i rg0 = _mm512_permutex2var_epi8(in[kFirst], splitRG, in[kFirst + 1]);
        const __m512i rg1 = _mm512_permutex2var_epi8(in[kSecond], splitRG, in[kSecond + 1]);
        const __m512i b0 = _mm512_permutex2var_epi8(in[kFirst], splitB, in[kFirst + 1]);
        const __m512i b1 = _mm512_permutex2var_epi8(in[kSecond], splitB, in[kSecond + 1]);
        planes[b][0] = _mm512_shuffle_i64x2(rg0, rg1, 0x44);
        planes[b][1] = _mm512_shuffle_i64x2(rg0, rg1, 0xEE);
        planes[b][2] = _mm512_shuffle_i64x2(b0, b1, 0x44);
    }
    __m512i u[kBlocks][3][2];
    for (int c = 0; c < 3; ++c) {
        __mmask64 high[kBlocks];
        for (int b = 0; b < kBlocks; ++b)
            high[b] = _mm512_movepi8_mask(planes[b][c]);
        const ByteTable low = LoadTable(tables[c][ColorByteKernel::kULow]);
        const ByteTable up = LoadTable(tables[c][ColorByteKernel::kUHigh]);
        for (int b = 0; b < kBlocks; ++b) {
            const __m512i lowBytes = Lookup(low, planes[b][c], high[b]);
            const __m512i highBytes = Lookup(up, planes[b][c], high[b]);
            u[b][c][0] = _mm512_unpacklo_epi8(lowBytes, highBytes);
            u[b][c][1] = _mm512_unpackhi_epi8(lowBytes, highBytes);
        }
    }
    const __m512i opaque = _mm512_set1_epi8(char(0xFF));
    for (int b = 0; b < kBlocks; ++b) {
        __m512i half[3][2];
        for (int h = 0; h < 2; ++h) {
            __m512i common = coefficients.constant;
            for (int c = 0; c < 3; ++c)
                common = _mm512_add_epi16(common,
                                          _mm512_mulhrs_epi16(u[b][c][h], coefficients.shared[c]));
            for (int c = 0; c < 3; ++c)
                half[c][h] = _mm512_sra_epi16(
                    _mm512_add_epi16(_mm512_mulhrs_epi16(u[b][c][h], coefficients.own[c]), common),
                    shift);
        }
        // The saturating pack clamps to 0..255.
        __m512i out[3];
        for (int c = 0; c < 3; ++c)
            out[c] = _mm512_packus_epi16(half[c][0], half[c][1]);
        UInt8* to = dst + 4 * (j + 64 * size_t(b));
        for (int k = 0; k < 4; ++k) {
            __m512i v = _mm512_permutex2var_epi8(
                out[0], _mm512_load_si512(kPermutations.merge[k][0]), out[1]);
            v = _mm512_mask_permutex2var_epi8(v, kBlueLanes,
                                              _mm512_load_si512(kPermutations.merge[k][1]), out[2]);
            _mm512_storeu_si512(to + 64 * k, _mm512_mask_mov_epi8(v, kAlphaLanes, opaque));
        }
    }
}

// Whole blocks of 64 output pixels from from on, two at a time where they can; stops at the
// first block with a pixel that is not opaque, or where no whole block is left, and answers where.
template <bool kReversed>
P3D_AVX512 size_t Blocks_AVX512(const UInt8 (*tables)[ColorByteKernel::kTables][256],
                                const int16_t* own, const int16_t* shared, int16_t constant,
                                int shift, const UInt8* src, size_t n, UInt8* dst, size_t from)
{
    Coefficients coefficients;
    for (int c = 0; c < 3; ++c) {
        coefficients.own[c] = _mm512_set1_epi16(own[c]);
        coefficients.shared[c] = _mm512_set1_epi16(shared[c]);
    }
    coefficients.constant = _mm512_set1_epi16(constant);
    const __m128i count = _mm_cvtsi32_si128(shift);
    const auto block = [&](size_t at) { return src + 4 * (kReversed ? n - 64 - at : at); };
    size_t j = from;
    while (j + 64 <= n && Opaque(block(j))) {
        if (j + 128 <= n && Opaque(block(j + 64))) {
            Process<kReversed, 2>(tables, coefficients, count, src, n, dst, j);
            j += 128;
        } else {
            Process<kReversed, 1>(tables, coefficients, count, src, n, dst, j);
            j += 64;
        }
    }
    return j;
}

} // namespace

size_t ColorByteKernel::applyAVX2(const UInt8* src, size_t n, UInt8* dst, bool reversed) const
{
    size_t j = 0;
    for (;;) {
        j = reversed ? Blocks_AVX2<true>(mTerms, mShift, src, n, dst, j)
                     : Blocks_AVX2<false>(mTerms, mShift, src, n, dst, j);
        if (j + 32 > n)
            return j;
        // A block with pixels that are not opaque: the scalar path sorts them out.
        applyScalar(src, j, j + 32, n, dst, reversed);
        j += 32;
    }
}

size_t ColorByteKernel::applyAVX512(const UInt8* src, size_t n, UInt8* dst, bool reversed) const
{
    size_t j = 0;
    for (;;) {
        j = reversed
                ? Blocks_AVX512<true>(mBytes, mOwn, mShared, mConstant, mShift, src, n, dst, j)
                : Blocks_AVX512<false>(mBytes, mOwn, mShared, mConstant, mShift, src, n, dst, j);
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
    using Processor::InstructionSet;
    switch (path) {
    case Path::kScalar:
        return true;
#if defined(__x86_64__)
    case Path::kAVX2:
        return Processor::Chosen() >= InstructionSet::kAVX2;
    case Path::kAVX512:
        return Processor::Chosen() >= InstructionSet::kAVX512;
#else
    default:
        return false;
#endif
    }
    return false;
}

ColorByteKernel::Path ColorByteKernel::BestPath()
{
    for (Path path : {Path::kAVX512, Path::kAVX2})
        if (Supported(path))
            return path;
    return Path::kScalar;
}

bool import_ColorByteKernel()
{
    return true;
}

} // namespace CoreImage
