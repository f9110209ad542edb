// A colour program over opaque A,R,G,B bytes in 16-bit fixed point: the engine's fast path for
// camera frames, where the float path spends most of its time converting.
//
// The program's colour controls are a diagonal gain plus a luma term shared by every channel:
//   v_c = p_c u_c + (q_R u_R + q_G u_G + q_B u_B + offset)
// and u_c, the curve of white point and exposure, depends on channel c's byte alone: a table of
// 16-bit fractions U_c[x] = round(32767 u_c(x)). The sums are in units of 1 / S of an output
// level, with the coefficients as fractions P_c, Q_c that the vector multiply-high takes
// (m(U, P) = round(U P / 2^15), which is about 255 S p u):
//   out_c = clamp((m(U_c, P_c) + m(U_R, Q_R) + m(U_G, Q_G) + m(U_B, Q_B) + K) >> log2 S, 0, 255)
//   K = round(255 S offset) + S / 2
// Each term is within a unit and a half of exact, K within half a unit: an opaque pixel lands
// within 0.5 + 6.5 / S levels of the exact value, never more than one level from the exactly
// rounded byte (S is 16 at the least). S is the largest power of two up to 128 for which no sum
// leaves 16 bits; programs whose gains leave no S of 16 are refused, and run in floats.
//
// The sums are the same whatever the path: each byte's three terms (with K in R's) are one table
// entry of four 16-bit lanes, A, R, G, B, raised so that none is negative and a pixel's three
// entries add without a carry between lanes, to its sums plus 2^15.
//
// Pixels that are not opaque go through the program's own byte path, exactly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ColorOps.h"

namespace CoreImage {

class ColorByteKernel
{
public:
    enum class Path { kScalar, kAVX2, kAVX512 };

    // Whether the path runs here, at or below Processor::Chosen().
    static bool Supported(Path path);
    // The fastest supported path.
    static Path BestPath();

    // False when the program's gains leave too few fraction bits (the kernel then refuses to
    // run); tables are filled here, not per row.
    bool set(const ColorProgram& program);
    bool ready() const { return mReady; }
    // Unready, without touching the tables.
    void reset() { mReady = false; }
    // log2 S: the fraction bits of the sums.
    int fractionBits() const { return mShift; }

    // n pixels from src to dst on the best path. reversed reads src from its last pixel back,
    // as a left-right mirror does; src may be dst only when not reversed.
    void apply(const UInt8* src, size_t n, UInt8* dst, bool reversed) const;
    void applyOnPath(Path path, const UInt8* src, size_t n, UInt8* dst, bool reversed) const;

    // Byte tables of u_c's 16-bit entries, as the AVX-512 path looks them up.
    enum Table { kULow, kUHigh, kTables };

private:
    void applyScalar(const UInt8* src, size_t from, size_t to, size_t n, UInt8* dst,
                     bool reversed) const;
    // Pixels from..to of the output through the program's exact path.
    void applyExact(const UInt8* src, size_t from, size_t to, size_t n, UInt8* dst,
                    bool reversed) const;
#if defined(__x86_64__)
    size_t applyAVX2(const UInt8* src, size_t n, UInt8* dst, bool reversed) const;
    size_t applyAVX512(const UInt8* src, size_t n, UInt8* dst, bool reversed) const;
#endif

    bool mReady = false;
    int mShift = 0;
    ColorProgram mProgram;
    // The raised terms of byte x of channel c in lanes A, R, G, B of a word, lane k at bit 16 k;
    // alpha's lane of R's entries holds 255 S.
    alignas(64) uint64_t mTerms[3][256] = {};
    // The byte of a raised sum, by its bits above log2 S.
    UInt8 mClamp[1 << 12] = {};
    // The coefficients as 16-bit fractions that turn u_c into units of 1 / S level.
    int16_t mOwn[3] = {};
    int16_t mShared[3] = {};
    int16_t mConstant = 0;
    alignas(64) UInt8 mBytes[3][kTables][256] = {};
};

bool import_ColorByteKernel();

} // namespace CoreImage
