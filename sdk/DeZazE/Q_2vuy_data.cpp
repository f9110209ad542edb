#include "Q_2vuy_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

#include "CoreGraphicsBitmapContext.h"
#include "CoreGraphicsMaskContext.h"
#include "CoreMachDebugLog.h"
#include "Processor/InstructionSet.h"

// Built with -ffp-contract=off: a multiply-add the compiler fused on its own would change the
// reference's bytes. The vector paths fuse only where the tests show it changes none.

namespace {

constexpr float kLumaScale = 1.1643828f;
constexpr float kRedFromCr = 1.7927421f;
constexpr float kGreenFromCb = 0.21325f;
constexpr float kGreenFromCr = 0.53291017f;
constexpr float kBlueFromCb = 2.1124024f;

// Byte positions of Cb, Y'0, Cr, Y'1 within a pair.
struct Layout2vuy
{
    static constexpr int kCb = 0, kY0 = 1, kCr = 2, kY1 = 3;
};
struct LayoutYuvs
{
    static constexpr int kCb = 1, kY0 = 0, kCr = 3, kY1 = 2;
};

inline UInt8 ToByte(float in_value)
{
    const int v = int(double(in_value) + 0.49999999);
    return UInt8(v < 0 ? 0 : v > 255 ? 255 : v);
}

template <class L> void ScalarPairs(const UInt8* src, UInt8* dst, int firstPair, int width)
{
    for (int x = 2 * firstPair; x < width; x += 2) {
        const UInt8* s = src + 2 * x;
        UInt8* d = dst + 4 * x;
        const float c = float(int(s[L::kCb]) - 128);
        const float e = float(int(s[L::kCr]) - 128);
        const UInt8 lumas[2] = {s[L::kY0], s[L::kY1]};
        for (int i = 0; i < 2; ++i, d += 4) {
            const float l = kLumaScale * float(int(lumas[i]) - 16);
            d[0] = 255;
            d[1] = ToByte(l + kRedFromCr * e);
            d[2] = ToByte(l - kGreenFromCb * c - kGreenFromCr * e);
            d[3] = ToByte(l + kBlueFromCb * c);
        }
    }
}

#if defined(__x86_64__)
// The vector paths round with ceil(v - 0.5): for a float v, double(v) + 0.49999999 can only
// stop short of the next integer when v is exactly halfway, so both round halves down. They take
// the half off L once rather than off each sum, and fuse that, and the red and blue sums, into
// multiply-adds: over every input (the tests go through all of them) the bytes stay the same.
// Green keeps its separate roundings; fused, it would not.

// A byte as the low mantissa bits of 2^23: one subtraction gives it, less an offset, exactly.
constexpr int kMagicBits = 0x4B000000;
constexpr float kMagic = 8388608.0f;

#define P3D_AVX2 __attribute__((target("avx2,fma")))

template <int kByte> P3D_AVX2 inline __m256 Channel_AVX2(__m256i pairs, float offset)
{
    constexpr int kPick = int(0x80808000u) | kByte; // 0x80: a zero byte
    const __m256i pick = _mm256_setr_epi32(kPick, kPick + 4, kPick + 8, kPick + 12, kPick,
                                           kPick + 4, kPick + 8, kPick + 12);
    const __m256i bits =
        _mm256_or_si256(_mm256_shuffle_epi8(pairs, pick), _mm256_set1_epi32(kMagicBits));
    return _mm256_sub_ps(_mm256_castsi256_ps(bits), _mm256_set1_ps(kMagic + offset));
}

P3D_AVX2 inline __m256i Round_AVX2(__m256 v)
{
    return _mm256_cvttps_epi32(_mm256_ceil_ps(v));
}

// R, G, B words of four pixels per 128-bit lane to their A,R,G,B bytes; the saturating
// packs do the clamping.
P3D_AVX2 inline __m256i Pack_AVX2(__m256i r, __m256i g, __m256i b)
{
    const __m256i order = _mm256_setr_epi8(12, 0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10, 15, 3, 7, 11, 12,
                                           0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10, 15, 3, 7, 11);
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(r, g),
                                              _mm256_packs_epi32(b, _mm256_set1_epi32(255)));
    return _mm256_shuffle_epi8(bytes, order);
}

template <class L> P3D_AVX2 int Pairs_AVX2(const UInt8* src, UInt8* dst, int pairs)
{
    const __m256 luma = _mm256_set1_ps(kLumaScale), redCr = _mm256_set1_ps(kRedFromCr),
                 greenCb = _mm256_set1_ps(kGreenFromCb), greenCr = _mm256_set1_ps(kGreenFromCr),
                 blueCb = _mm256_set1_ps(kBlueFromCb), minusHalf = _mm256_set1_ps(-0.5f);
    int p = 0;
    for (; p + 8 <= pairs; p += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * p));
        // Pairs 0,1,4,5 | 2,3,6,7, so that the in-lane unpacks below come out in order.
        v = _mm256_permute4x64_epi64(v, 0xD8);
        const __m256 c = Channel_AVX2<L::kCb>(v, 128), e = Channel_AVX2<L::kCr>(v, 128);
        const __m256 gb = _mm256_mul_ps(greenCb, c), gr = _mm256_mul_ps(greenCr, e);
        __m256 l = _mm256_fmadd_ps(luma, Channel_AVX2<L::kY0>(v, 16), minusHalf);
        const __m256i even = Pack_AVX2(Round_AVX2(_mm256_fmadd_ps(redCr, e, l)),
                                       Round_AVX2(_mm256_sub_ps(_mm256_sub_ps(l, gb), gr)),
                                       Round_AVX2(_mm256_fmadd_ps(blueCb, c, l)));
        l = _mm256_fmadd_ps(luma, Channel_AVX2<L::kY1>(v, 16), minusHalf);
        const __m256i odd = Pack_AVX2(Round_AVX2(_mm256_fmadd_ps(redCr, e, l)),
                                      Round_AVX2(_mm256_sub_ps(_mm256_sub_ps(l, gb), gr)),
                                      Round_AVX2(_mm256_fmadd_ps(blueCb, c, l)));
        __m256i* out = reinterpret_cast<__m256i*>(dst + 8 * p);
        _mm256_storeu_si256(out, _mm256_unpacklo_epi32(even, odd));
        _mm256_storeu_si256(out + 1, _mm256_unpackhi_epi32(even, odd));
    }
    return p;
}

#define P3D_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,fma")))

template <int kByte> P3D_AVX512 inline __m512 Channel_AVX512(__m512i pairs, float offset)
{
    const __m512i pick = _mm512_set4_epi32(12 + kByte, 8 + kByte, 4 + kByte, kByte);
    const __m512i bits = _mm512_mask_shuffle_epi8(_mm512_set1_epi32(kMagicBits),
                                                  __mmask64(0x1111111111111111ULL), pairs, pick);
    return _mm512_sub_ps(_mm512_castsi512_ps(bits), _mm512_set1_ps(kMagic + offset));
}

// The conversion itself rounds up, which saves the separate ceil.
P3D_AVX512 inline __m512i Round_AVX512(__m512 v)
{
    return _mm512_cvt_roundps_epi32(v, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
}

// Where each output byte of pairs 0..7 and 8..15 sits in the two packed vectors: the first
// holds per 128-bit lane k the bytes Re, Ge, Be, Ro of pairs 4k..4k+3, the second Go, Bo and
// then 255s.
struct ArgbOrder
{
    alignas(64) UInt8 index[2][64];
};

constexpr ArgbOrder MakeArgbOrder()
{
    ArgbOrder order{};
    for (int pair = 0; pair < 16; ++pair) {
        const int at = 16 * (pair / 4) + pair % 4;
        const int bytes[8] = {72, at, at + 4, at + 8, 72, at + 12, 64 + at, 68 + at};
        for (int i = 0; i < 8; ++i)
            order.index[pair / 8][8 * (pair % 8) + i] = UInt8(bytes[i]);
    }
    return order;
}

constexpr ArgbOrder kArgbOrder = MakeArgbOrder();

template <class L> P3D_AVX512 int Pairs_AVX512(const UInt8* src, UInt8* dst, int pairs)
{
    const __m512 luma = _mm512_set1_ps(kLumaScale), redCr = _mm512_set1_ps(kRedFromCr),
                 greenCb = _mm512_set1_ps(kGreenFromCb), greenCr = _mm512_set1_ps(kGreenFromCr),
                 blueCb = _mm512_set1_ps(kBlueFromCb), minusHalf = _mm512_set1_ps(-0.5f);
    const __m512i alpha = _mm512_set1_epi16(255);
    const __m512i first = _mm512_load_si512(kArgbOrder.index[0]);
    const __m512i second = _mm512_load_si512(kArgbOrder.index[1]);
    int p = 0;
    for (; p + 16 <= pairs; p += 16) {
        const __m512i v = _mm512_loadu_si512(src + 4 * p);
        const __m512 c = Channel_AVX512<L::kCb>(v, 128), e = Channel_AVX512<L::kCr>(v, 128);
        const __m512 gb = _mm512_mul_ps(greenCb, c), gr = _mm512_mul_ps(greenCr, e);
        __m512 l = _mm512_fmadd_ps(luma, Channel_AVX512<L::kY0>(v, 16), minusHalf);
        const __m512i redEven = Round_AVX512(_mm512_fmadd_ps(redCr, e, l));
        const __m512i greenEven = Round_AVX512(_mm512_sub_ps(_mm512_sub_ps(l, gb), gr));
        const __m512i blueEven = Round_AVX512(_mm512_fmadd_ps(blueCb, c, l));
        l = _mm512_fmadd_ps(luma, Channel_AVX512<L::kY1>(v, 16), minusHalf);
        const __m512i redOdd = Round_AVX512(_mm512_fmadd_ps(redCr, e, l));
        const __m512i greenOdd = Round_AVX512(_mm512_sub_ps(_mm512_sub_ps(l, gb), gr));
        const __m512i blueOdd = Round_AVX512(_mm512_fmadd_ps(blueCb, c, l));
        // The saturating packs clamp to 0..255.
        const __m512i rgbr = _mm512_packus_epi16(_mm512_packs_epi32(redEven, greenEven),
                                                 _mm512_packs_epi32(blueEven, redOdd));
        const __m512i greenBlueAlpha =
            _mm512_packus_epi16(_mm512_packs_epi32(greenOdd, blueOdd), alpha);
        _mm512_storeu_si512(dst + 8 * p, _mm512_permutex2var_epi8(rgbr, first, greenBlueAlpha));
        _mm512_storeu_si512(dst + 8 * p + 64,
                            _mm512_permutex2var_epi8(rgbr, second, greenBlueAlpha));
    }
    return p;
}
#endif // __x86_64__

// What the processor runs, whatever PARALLAX3D_CPU says: the tests compare every path it has.
bool Supported(Q_2vuy_path in_path)
{
    switch (in_path) {
    case Q_2vuy_path::kScalar:
        return true;
    case Q_2vuy_path::kAVX2:
        return Processor::Runs(Processor::InstructionSet::kAVX2);
    case Q_2vuy_path::kAVX512:
        return Processor::Runs(Processor::InstructionSet::kAVX512);
    }
    return false;
}

// The best path at or below the process's choice; no SSE2-only path, so that falls to scalar.
Q_2vuy_path BestPath()
{
    static const Q_2vuy_path sBest = [] {
        switch (Processor::Chosen()) {
        case Processor::InstructionSet::kAVX512:
            return Q_2vuy_path::kAVX512;
        case Processor::InstructionSet::kAVX2:
            return Q_2vuy_path::kAVX2;
        default:
            return Q_2vuy_path::kScalar;
        }
    }();
    return sBest;
}

template <class L> void ConvertOnPath(Q_2vuy_path in_path, const UInt8* src, UInt8* dst, int width)
{
    if (width <= 0)
        return;
    int done = 0;
#if defined(__x86_64__)
    const int pairs = width / 2; // the vector body takes whole pairs; an odd end goes below
    if (in_path == Q_2vuy_path::kAVX512)
        done = Pairs_AVX512<L>(src, dst, pairs);
    if (in_path == Q_2vuy_path::kAVX2 || in_path == Q_2vuy_path::kAVX512)
        done += Pairs_AVX2<L>(src + 4 * done, dst + 8 * done, pairs - done);
#else
    (void)in_path; // no path but the scalar one elsewhere
#endif
    ScalarPairs<L>(src, dst, done, width);
}

// Exactly width A,R,G,B pixels, even when width is odd.
void ConvertRow(UInt32 in_format, const UInt8* src, UInt8* dst, int width)
{
    const int even = width & ~1;
    if (in_format == Q_2vuy_format::kFormat_yuvs)
        Q_2vuy_data::ConvertScanline_yuvs_to_ARGB(src, dst, even);
    else
        Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(src, dst, even);
    if (width & 1) {
        UInt8 pair[8];
        if (in_format == Q_2vuy_format::kFormat_yuvs)
            ScalarPairs<LayoutYuvs>(src + 2 * even, pair, 0, 1);
        else
            ScalarPairs<Layout2vuy>(src + 2 * even, pair, 0, 1);
        std::memcpy(dst + 4 * even, pair, 4);
    }
}

inline UInt8 RoundByte(double in_value)
{
    const double v = std::floor(in_value + 0.5);
    return UInt8(v < 0 ? 0 : v > 255 ? 255 : v);
}

// "2vuy" <-> "yuvs" is the same swap of neighbouring bytes both ways; safe in place.
void SwapByteOrder(const UInt8* src, UInt8* dst, size_t bytes)
{
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const UInt8 first = src[i];
        dst[i] = src[i + 1];
        dst[i + 1] = first;
    }
}

// Where luma and chroma sit in each two-byte pixel: a "2vuy" pixel is chroma then luma, a
// "yuvs" pixel luma then chroma. The chroma of an even pixel is Cb, of an odd one Cr.
struct PixelOrder
{
    explicit PixelOrder(UInt32 in_format)
        : luma(in_format == Q_2vuy_format::kFormat_yuvs ? 0 : 1), chroma(1 - luma)
    {
    }
    int luma;
    int chroma;
};

// count pixels from one byte order into another; src and dst may be the same row.
void CopyRow(const UInt8* src, UInt32 in_srcFormat, UInt8* dst, UInt32 in_dstFormat, int count)
{
    const size_t bytes = 2 * size_t(count);
    if (in_srcFormat != in_dstFormat)
        SwapByteOrder(src, dst, bytes);
    else if (src != dst)
        std::memmove(dst, src, bytes);
}

// The same with the luma through a table and counted; either may be null.
void CopyRowThrough(const UInt8* src, PixelOrder in_from, UInt8* dst, PixelOrder in_to, int count,
                    const RasterGraphics::CLUT_BASE* in_table,
                    RasterGraphics::T_HISTOGRAM<>* io_histogram)
{
    for (int i = 0; i < count; ++i) {
        const UInt8 luma = src[2 * i + in_from.luma], chroma = src[2 * i + in_from.chroma];
        if (io_histogram)
            io_histogram->Count(luma);
        dst[2 * i + in_to.luma] = in_table ? in_table->Map(luma) : luma;
        dst[2 * i + in_to.chroma] = chroma;
    }
}

int WeightOf(float in_mixB)
{
    if (!(in_mixB > 0.0f))
        return 0; // NaN too
    if (in_mixB >= 1.0f)
        return 256;
    return int(std::lround(double(in_mixB) * 256.0));
}

inline UInt8 Mix256(int a, int b, int weightB)
{
    return UInt8((a * (256 - weightB) + b * weightB + 128) >> 8);
}

inline UInt8 Mix255(int a, int b, int maskB)
{
    return UInt8((a * (255 - maskB) + b * maskB + 127) / 255);
}

} // namespace

Q_2vuy_data& Q_2vuy_data::operator=(const Q_2vuy_data& in_rhs)
{
    _width = in_rhs._width;
    _height = in_rhs._height;
    _rowBytes = in_rhs._rowBytes;
    _pixelFormat = in_rhs._pixelFormat;
    _PixelData = in_rhs._PixelData;
    _PixelDataSize = in_rhs._PixelDataSize;
    return *this;
}

bool Q_2vuy_data::SetFormat(const Q_2vuy_format& in_rhs)
{
    _width = in_rhs._width;
    _height = in_rhs._height;
    _rowBytes = in_rhs._rowBytes;
    _pixelFormat = in_rhs._pixelFormat;
    return _width != 0 && _height != 0 && _rowBytes != 0;
}

bool Q_2vuy_data::CanCopyFormat(const Q_2vuy_data& in_rhs) const
{
    return _width == in_rhs._width && _height == in_rhs._height &&
           IsValidPixelFormat(_pixelFormat) && IsValidPixelFormat(in_rhs._pixelFormat);
}

bool Q_2vuy_data::CanCopyFormat(const CoreGraphics::BitmapContext& in_rhs) const
{
    bool fOk = VERIFY(in_rhs.IsConstructed());
    if (fOk) {
        // clang-format off
        VERIFY(fOk = (CoreGraphics::BitmapContext::BitmapType_Device_ARGB==in_rhs.GetImageType()));
        // clang-format on
    }
    return fOk;
}

bool Q_2vuy_data::FormatCompatible(const Q_2vuy_data& in_source) const
{
    return CanCopyFormat(in_source) && !IsEmpty() && !in_source.IsEmpty() && _width >= 0 &&
           _rowBytes >= 2 * intptr_t(_width) && in_source._rowBytes >= 2 * intptr_t(_width);
}

int Q_2vuy_data::RowsInData(size_t in_bytesPerRow) const
{
    if (IsEmpty() || _height <= 0 || _rowBytes <= 0 || in_bytesPerRow == 0 ||
        in_bytesPerRow > _PixelDataSize)
        return 0;
    const size_t rows = (_PixelDataSize - in_bytesPerRow) / size_t(_rowBytes) + 1;
    return int(std::min(rows, size_t(_height)));
}

bool Q_2vuy_data::IsPairImage() const
{
    return !IsEmpty() && IsValidPixelFormat(_pixelFormat) && _width > 0 && (_width & 1) == 0 &&
           _height > 0 && _rowBytes >= 2 * intptr_t(_width) &&
           RowsInData(2 * size_t(_width)) == _height;
}

bool Q_2vuy_data::Overlaps(const Q_2vuy_data& in_other) const
{
    if (IsEmpty() || in_other.IsEmpty() || _PixelDataSize == 0 || in_other._PixelDataSize == 0)
        return false;
    const uintptr_t begin = uintptr_t(_PixelData), end = begin + _PixelDataSize;
    const uintptr_t otherBegin = uintptr_t(in_other._PixelData),
                    otherEnd = otherBegin + in_other._PixelDataSize;
    return begin < otherEnd && otherBegin < end;
}

bool Q_2vuy_data::IsSameOrApart(const Q_2vuy_data& in_other) const
{
    return (in_other._PixelData == _PixelData && in_other._rowBytes == _rowBytes) ||
           !Overlaps(in_other);
}

bool Q_2vuy_data::ConstructSubImage(Q_2vuy_data& out_image, const p3dqd::QRect& in_rect) const
{
    // clang-format off
    if (!VERIFY(!IsEmpty() && _rowBytes>=2*intptr_t(_width)))
        return false;
    // A pair shares its chroma, so the image may not start or end inside one.
    if (!VERIFY((in_rect.left&1)==0 && ((in_rect.right-in_rect.left)&1)==0))
        return false;
    if (!VERIFY(0<=in_rect.left && in_rect.left<in_rect.right && in_rect.right<=_width && 0<=in_rect.top && in_rect.top<in_rect.bottom && in_rect.bottom<=_height))
        return false;
    const size_t offset = size_t(in_rect.top)*size_t(_rowBytes) + 2*size_t(in_rect.left);
    if (!VERIFY(offset<_PixelDataSize))
        return false;
    // clang-format on
    out_image = *this;
    out_image._width = SInt16(in_rect.right - in_rect.left);
    out_image._height = SInt16(in_rect.bottom - in_rect.top);
    out_image._PixelData = _PixelData + offset;
    out_image._PixelDataSize = _PixelDataSize - offset;
    return true;
}

void Q_2vuy_data::CopyPixelsFromColor(UInt8 in_y, UInt8 in_cb, UInt8 in_cr)
{
    if (_width <= 0 || _rowBytes < 2 * intptr_t(_width))
        return;
    UInt8 pair[4] = {in_cb, in_y, in_cr, in_y};
    if (_pixelFormat == kFormat_yuvs)
        SwapByteOrder(pair, pair, 4);
    const int pairs = _width / 2;
    const int rows = RowsInData(size_t(4 * pairs));
    for (int y = 0; y < rows; ++y) {
        UInt8* row = _PixelData + size_t(y) * size_t(_rowBytes);
        for (int x = 0; x < pairs; ++x)
            std::memcpy(row + 4 * x, pair, 4);
    }
}

bool Q_2vuy_data::CopyPixelsFrom(const Q_2vuy_data& in_source)
{
    if (!VERIFY(FormatCompatible(in_source)))
        return false;
    const size_t bytes = 2 * size_t(_width);
    const int rows = std::min(RowsInData(bytes), in_source.RowsInData(bytes));
    for (int y = 0; y < rows; ++y) {
        const UInt8* src = in_source._PixelData + size_t(y) * size_t(in_source._rowBytes);
        UInt8* dst = _PixelData + size_t(y) * size_t(_rowBytes);
        if (_pixelFormat == in_source._pixelFormat)
            std::memmove(dst, src, bytes);
        else
            SwapByteOrder(src, dst, bytes);
    }
    return true;
}

bool Q_2vuy_data::CopyPixelsThrough(const Q_2vuy_data& in_source,
                                    const RasterGraphics::CLUT_BASE* in_table,
                                    RasterGraphics::T_HISTOGRAM<>* io_histogram)
{
    if (!VERIFY(IsSameOrApart(in_source)))
        return false;
    if (io_histogram)
        io_histogram->Clear();
    const size_t bytes = 2 * size_t(_width);
    const int rows = std::min(RowsInData(bytes), in_source.RowsInData(bytes));
    const PixelOrder from(in_source._pixelFormat), to(_pixelFormat);
    for (int y = 0; y < rows; ++y)
        CopyRowThrough(in_source._PixelData + size_t(y) * size_t(in_source._rowBytes), from,
                       _PixelData + size_t(y) * size_t(_rowBytes), to, _width, in_table,
                       io_histogram);
    return true;
}

bool Q_2vuy_data::CopyPixelsFrom(const Q_2vuy_data& in_source,
                                 const RasterGraphics::CLUT_BASE& in_lumaTable)
{
    if (!VERIFY(FormatCompatible(in_source)))
        return false;
    return CopyPixelsThrough(in_source, &in_lumaTable, nullptr);
}

bool Q_2vuy_data::CopyPixelsFrom(const Q_2vuy_data& in_source,
                                 RasterGraphics::T_HISTOGRAM<>& out_histogram)
{
    if (!VERIFY(FormatCompatible(in_source)))
        return false;
    return CopyPixelsThrough(in_source, nullptr, &out_histogram);
}

bool Q_2vuy_data::CopyPixelsFrom(const Q_2vuy_data& in_source,
                                 const RasterGraphics::CLUT_BASE& in_lumaTable,
                                 RasterGraphics::T_HISTOGRAM<>& out_histogram)
{
    if (!VERIFY(FormatCompatible(in_source)))
        return false;
    return CopyPixelsThrough(in_source, &in_lumaTable, &out_histogram);
}

bool Q_2vuy_data::CopyPixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                                 float in_mixB)
{
    if (!VERIFY(FormatCompatible(in_sourceA)))
        return false;
    if (!VERIFY(FormatCompatible(in_sourceB)))
        return false;
    if (!VERIFY(IsSameOrApart(in_sourceA)) || !VERIFY(IsSameOrApart(in_sourceB)))
        return false;
    const size_t bytes = 2 * size_t(_width);
    const int rows =
        std::min({RowsInData(bytes), in_sourceA.RowsInData(bytes), in_sourceB.RowsInData(bytes)});
    const int weight = WeightOf(in_mixB);
    const bool sameOrder =
        in_sourceA._pixelFormat == _pixelFormat && in_sourceB._pixelFormat == _pixelFormat;
    const PixelOrder a(in_sourceA._pixelFormat), b(in_sourceB._pixelFormat), to(_pixelFormat);
    for (int y = 0; y < rows; ++y) {
        const UInt8* rowA = in_sourceA._PixelData + size_t(y) * size_t(in_sourceA._rowBytes);
        const UInt8* rowB = in_sourceB._PixelData + size_t(y) * size_t(in_sourceB._rowBytes);
        UInt8* dst = _PixelData + size_t(y) * size_t(_rowBytes);
        if (sameOrder) {
            BlendScanline_2vuy(rowA, rowB, dst, _width, weight);
            continue;
        }
        for (int i = 0; i < _width; ++i) {
            const UInt8 luma = Mix256(rowA[2 * i + a.luma], rowB[2 * i + b.luma], weight);
            const UInt8 chroma = Mix256(rowA[2 * i + a.chroma], rowB[2 * i + b.chroma], weight);
            dst[2 * i + to.luma] = luma;
            dst[2 * i + to.chroma] = chroma;
        }
    }
    return true;
}

bool Q_2vuy_data::WipePixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                                 const p3dqd::QRect& in_rect)
{
    if (!VERIFY(IsPairImage()))
        return false;
    if (!VERIFY(FormatCompatible(in_sourceA)))
        return false;
    if (!VERIFY(FormatCompatible(in_sourceB)))
        return false;
    if (!VERIFY(IsSameOrApart(in_sourceA)) || !VERIFY(IsSameOrApart(in_sourceB)))
        return false;
    const size_t bytes = 2 * size_t(_width);
    const int rows = std::min(in_sourceA.RowsInData(bytes), in_sourceB.RowsInData(bytes));
    const int left = std::max(int(in_rect.left) & ~1, 0);
    const int right = std::min(int(in_rect.right) & ~1, int(_width));
    const int top = std::max(int(in_rect.top), 0), bottom = std::min(int(in_rect.bottom), rows);
    for (int y = 0; y < rows; ++y) {
        const UInt8* rowA = in_sourceA._PixelData + size_t(y) * size_t(in_sourceA._rowBytes);
        const UInt8* rowB = in_sourceB._PixelData + size_t(y) * size_t(in_sourceB._rowBytes);
        UInt8* dst = _PixelData + size_t(y) * size_t(_rowBytes);
        if (y < top || y >= bottom || left >= right) {
            CopyRow(rowA, in_sourceA._pixelFormat, dst, _pixelFormat, _width);
            continue;
        }
        CopyRow(rowA, in_sourceA._pixelFormat, dst, _pixelFormat, left);
        CopyRow(rowB + 2 * left, in_sourceB._pixelFormat, dst + 2 * left, _pixelFormat,
                right - left);
        CopyRow(rowA + 2 * right, in_sourceA._pixelFormat, dst + 2 * right, _pixelFormat,
                _width - right);
    }
    return true;
}

bool Q_2vuy_data::WipePixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                                 const CoreGraphics::MaskContext& in_mask)
{
    if (!VERIFY(IsPairImage()))
        return false;
    if (!VERIFY(FormatCompatible(in_sourceA)))
        return false;
    if (!VERIFY(FormatCompatible(in_sourceB)))
        return false;
    if (!VERIFY(IsSameOrApart(in_sourceA)) || !VERIFY(IsSameOrApart(in_sourceB)))
        return false;
    // clang-format off
    if (!VERIFY(in_mask.IsMask() && in_mask.mImageWidth==UInt32(_width) && in_mask.mImageHeight==UInt32(_height)))
        return false;
    // clang-format on
    const size_t bytes = 2 * size_t(_width);
    const int rows = std::min(in_sourceA.RowsInData(bytes), in_sourceB.RowsInData(bytes));
    const PixelOrder a(in_sourceA._pixelFormat), b(in_sourceB._pixelFormat), to(_pixelFormat);
    for (int y = 0; y < rows; ++y) {
        const UInt8* rowA = in_sourceA._PixelData + size_t(y) * size_t(in_sourceA._rowBytes);
        const UInt8* rowB = in_sourceB._PixelData + size_t(y) * size_t(in_sourceB._rowBytes);
        const UInt8* mask = in_mask.Row(UInt32(y));
        UInt8* dst = _PixelData + size_t(y) * size_t(_rowBytes);
        for (int i = 0; i < _width; ++i) {
            const int pairMask = (mask[i & ~1] + mask[i | 1] + 1) >> 1;
            const UInt8 luma = Mix255(rowA[2 * i + a.luma], rowB[2 * i + b.luma], mask[i]);
            const UInt8 chroma = Mix255(rowA[2 * i + a.chroma], rowB[2 * i + b.chroma], pairMask);
            dst[2 * i + to.luma] = luma;
            dst[2 * i + to.chroma] = chroma;
        }
    }
    return true;
}

void Q_2vuy_data::DrawScaled(const Q_2vuy_data& in_source, const p3dqd::QRect& in_rect)
{
    const int left = int(in_rect.left) & ~1, right = int(in_rect.right) & ~1;
    const int top = in_rect.top, bottom = in_rect.bottom;
    const int width = right - left, height = bottom - top;
    if (width <= 0 || height <= 0)
        return;
    const int x0 = std::max(left, 0), x1 = std::min(right, int(_width));
    const int y0 = std::max(top, 0), y1 = std::min(bottom, int(_height));
    if (x0 >= x1 || y0 >= y1)
        return;
    const PixelOrder from(in_source._pixelFormat), to(_pixelFormat);
    // Source columns floor(x * sourceWidth / width), stepped without a division per pixel.
    const int64_t sourceWidth = in_source._width;
    const int64_t stepWhole = sourceWidth / width, stepRest = sourceWidth % width;
    for (int y = y0; y < y1; ++y) {
        const int64_t sourceY = int64_t(y - top) * in_source._height / height;
        const UInt8* src = in_source._PixelData + size_t(sourceY) * size_t(in_source._rowBytes);
        UInt8* dst = _PixelData + size_t(y) * size_t(_rowBytes);
        int64_t sourceX = int64_t(x0 - left) * sourceWidth / width;
        int64_t rest = int64_t(x0 - left) * sourceWidth % width;
        auto next = [&] {
            const int64_t at = sourceX;
            sourceX += stepWhole;
            rest += stepRest;
            if (rest >= width) {
                rest -= width;
                ++sourceX;
            }
            return size_t(at);
        };
        for (int x = x0; x < x1; x += 2) {
            const size_t first = next(), second = next();
            const size_t pair = first & ~size_t(1);
            UInt8* d = dst + 2 * size_t(x);
            d[to.luma] = src[2 * first + size_t(from.luma)];
            d[to.chroma] = src[2 * pair + size_t(from.chroma)];
            d[2 + to.luma] = src[2 * second + size_t(from.luma)];
            d[2 + to.chroma] = src[2 * (pair + 1) + size_t(from.chroma)];
        }
    }
}

bool Q_2vuy_data::WipePIPPixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB,
                                    const p3dqd::QRect& in_rect)
{
    if (!VERIFY(IsPairImage()))
        return false;
    if (!VERIFY(FormatCompatible(in_sourceA)))
        return false;
    if (!VERIFY(in_sourceB.IsPairImage()))
        return false;
    if (!VERIFY(IsSameOrApart(in_sourceA)) || !VERIFY(!Overlaps(in_sourceB)))
        return false;
    const size_t bytes = 2 * size_t(_width);
    const int rows = in_sourceA.RowsInData(bytes);
    for (int y = 0; y < rows; ++y)
        CopyRow(in_sourceA._PixelData + size_t(y) * size_t(in_sourceA._rowBytes),
                in_sourceA._pixelFormat, _PixelData + size_t(y) * size_t(_rowBytes), _pixelFormat,
                _width);
    DrawScaled(in_sourceB, in_rect);
    return true;
}

bool Q_2vuy_data::WipeTwoUpPixelsFrom(const Q_2vuy_data& in_sourceA, const Q_2vuy_data& in_sourceB)
{
    const SInt16 half = SInt16((_width / 2) & ~1);
    return WipeTwoUpPixelsFromCore(in_sourceA, in_sourceB, p3dqd::QRect(0, 0, _height, half),
                                   p3dqd::QRect(0, half, _height, _width));
}

bool Q_2vuy_data::WipeTwoUpPixelsFromCore(const Q_2vuy_data& in_sourceA,
                                          const Q_2vuy_data& in_sourceB,
                                          const p3dqd::QRect& in_rectA,
                                          const p3dqd::QRect& in_rectB)
{
    if (!VERIFY(IsPairImage()))
        return false;
    if (!VERIFY(in_sourceA.IsPairImage()))
        return false;
    if (!VERIFY(in_sourceB.IsPairImage()))
        return false;
    if (!VERIFY(!Overlaps(in_sourceA)) || !VERIFY(!Overlaps(in_sourceB)))
        return false;
    CopyPixelsFromColor(0, 128, 128);
    DrawScaled(in_sourceA, in_rectA);
    DrawScaled(in_sourceB, in_rectB);
    return true;
}

bool Q_2vuy_data::CopyPixelsFrom(const CoreGraphics::BitmapContext& in_bitmap,
                                 bool in_bottomAligned)
{
    if (!CanCopyFormat(in_bitmap))
        return false;
    // clang-format off
    if (!VERIFY(!IsEmpty() && IsValidPixelFormat(_pixelFormat) && _width>0 && (_width&1)==0 && _rowBytes>=2*intptr_t(_width)))
        return false;
    // clang-format on
    const int bitmapHeight = int(in_bitmap.mImageHeight);
    const int width = std::min(int(_width), int(in_bitmap.mImageWidth));
    const size_t bytes = 2 * size_t((width + 1) & ~1);
    const int rows = RowsInData(bytes);
    for (int y = 0; y < rows; ++y) {
        const int source = in_bottomAligned ? bitmapHeight - _height + y : y;
        if (source < 0 || source >= bitmapHeight)
            continue;
        UInt8* dst = _PixelData + size_t(y) * size_t(_rowBytes);
        ConvertScanline_ARGB_to_2vuy(
            in_bitmap.mImageDataBytes + size_t(source) * in_bitmap.mImageRowBytes, dst, width);
        if (_pixelFormat == kFormat_yuvs)
            SwapByteOrder(dst, dst, bytes);
    }
    return true;
}

void Q_2vuy_data::CopyPixelsTo(CoreGraphics::BitmapContext& bitmap) const
{
    if (!CanCopyFormat(bitmap) || _height < 1)
        return;
    // An odd width would end inside a pixel pair.
    // clang-format off
    if (!VERIFY(!IsEmpty() && IsValidPixelFormat(_pixelFormat) && _width>0 && (_width&1)==0 && _rowBytes>=2*intptr_t(_width)))
        return;
    // clang-format on
    const int bitmapHeight = int(bitmap.mImageHeight);
    const int width = std::min(int(_width), int(bitmap.mImageWidth));
    // A cut odd width still reads its last column's whole pair.
    const int rows = RowsInData(2 * size_t((width + 1) & ~1));
    // Only whole rows are read: a short buffer gives its top rows and no more.
    // clang-format off
    VERIFY(rows==_height);
    // clang-format on
    for (int y = 0; y < rows; ++y) {
        const int row = bitmapHeight - _height + y;
        if (row < 0 || row >= bitmapHeight)
            continue;
        ConvertRow(_pixelFormat, _PixelData + size_t(y) * size_t(_rowBytes),
                   bitmap.mImageDataBytes + size_t(row) * bitmap.mImageRowBytes, width);
    }
}

bool Q_2vuy_data::AllocateBuffer(const Q_2vuy_format& in_rhs)
{
    if (!VERIFY(IsEmpty()) || !VERIFY(in_rhs.FrameSizeBytes()))
        return false;
    // clang-format off
    if (!VERIFY(in_rhs._width>0 && (in_rhs._width&1)==0 && in_rhs._height>0 && in_rhs._rowBytes>=2*intptr_t(in_rhs._width) && IsValidPixelFormat(in_rhs._pixelFormat)))
        return false;
    // clang-format on
    SetFormat(in_rhs);
    _PixelDataSize = size_t(FrameSizeBytes());
    // clang-format off
    if (!VERIFY(_PixelData = (pixel_ptr_t)std::malloc(_PixelDataSize))) {
        // clang-format on
        _PixelDataSize = 0;
        return false;
    }
    std::memset(_PixelData, 0, _PixelDataSize);
    CopyPixelsFromColor(0, 128, 128);
    return true;
}

void Q_2vuy_data::FreeBuffer()
{
    std::free(_PixelData);
    _PixelData = nullptr;
    _PixelDataSize = 0;
}

void Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(const UInt8* src, UInt8* dst, int width)
{
    ConvertOnPath<Layout2vuy>(BestPath(), src, dst, width);
}

void Q_2vuy_data::ConvertScanline_yuvs_to_ARGB(const UInt8* src, UInt8* dst, int width)
{
    ConvertOnPath<LayoutYuvs>(BestPath(), src, dst, width);
}

bool Q_2vuy_data::PathSupported(Q_2vuy_path in_path)
{
    return Supported(in_path);
}

bool Q_2vuy_data::ConvertScanline_to_ARGB(Q_2vuy_path in_path, UInt32 in_pixelFormat,
                                          const UInt8* src, UInt8* dst, int width)
{
    if (!Supported(in_path) || !IsValidPixelFormat(in_pixelFormat))
        return false;
    if (in_pixelFormat == kFormat_yuvs)
        ConvertOnPath<LayoutYuvs>(in_path, src, dst, width);
    else
        ConvertOnPath<Layout2vuy>(in_path, src, dst, width);
    return true;
}

// Studio range, the inverse of the conversion to ARGB: Y' = 16 + 219/255 E with
// E = 0.2125 R + 0.7154 G + 0.0721 B, and Cb, Cr = 128 + 224/255 times the scaled blue and red
// differences of the pair's average. Alpha is not looked at.
void Q_2vuy_data::ConvertScanline_ARGB_to_2vuy(const UInt8* src, UInt8* dst, int width)
{
    constexpr double kLuma = 219.0 / 255.0, kChroma = 224.0 / 255.0;
    constexpr double kBlueScale = 0.5388511 * kChroma, kRedScale = 0.6349207 * kChroma;
    auto luma = [](const UInt8* p) { return 0.2125 * p[1] + 0.7154 * p[2] + 0.0721 * p[3]; };
    for (int x = 0; x < width; x += 2) {
        const UInt8* p0 = src + 4 * x;
        const UInt8* p1 = x + 1 < width ? p0 + 4 : p0;
        const double e0 = luma(p0), e1 = luma(p1);
        const double e = 0.5 * (e0 + e1);
        const double red = 0.5 * (p0[1] + p1[1]), blue = 0.5 * (p0[3] + p1[3]);
        UInt8* d = dst + 2 * x;
        d[0] = RoundByte(128.0 + kBlueScale * (blue - e));
        d[1] = RoundByte(16.0 + kLuma * e0);
        d[2] = RoundByte(128.0 + kRedScale * (red - e));
        d[3] = RoundByte(16.0 + kLuma * e1);
    }
}

bool Q_2vuy_data::SwizzleScanline_XXXX_to_2vuy(const UInt8* src, UInt32 in_srcFormat, UInt8* dst,
                                               int width, const RasterGraphics::CLUT_BASE& in_table,
                                               RasterGraphics::T_HISTOGRAM<>& io_histogram)
{
    if (!IsValidPixelFormat(in_srcFormat) || width < 0 || (width > 0 && (!src || !dst)))
        return false;
    CopyRowThrough(src, PixelOrder(in_srcFormat), dst, PixelOrder(kFormat_2vuy), width, &in_table,
                   &io_histogram);
    return true;
}

void Q_2vuy_data::BlendScanline_2vuy(const UInt8* srcA, const UInt8* srcB, UInt8* dst, int width,
                                     int in_weightB)
{
    const int weight = std::clamp(in_weightB, 0, 256);
    for (int i = 0; i < 2 * width; ++i)
        dst[i] = Mix256(srcA[i], srcB[i], weight);
}

Q_2vuy_buffer::~Q_2vuy_buffer()
{
    if (_PixelData != nullptr && _PixelDataSize != 0 && _width != 0 && _height != 0 &&
        _rowBytes != 0)
        FreeBuffer();
}

bool import_Q_2vuy_data()
{
    return import_CoreMachDebugLog() && import_CoreGraphicsBitmapContext() &&
           import_CoreGraphicsMaskContext() && import_CLUT_BASE();
}
