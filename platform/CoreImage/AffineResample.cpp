#include "AffineResample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace CoreImage {

namespace {

constexpr int64_t kMaxExtent = int64_t(1) << 30;
// Output coordinates and copy offsets stay below this, so their sums never overflow.
constexpr int64_t kMaxCoordinate = int64_t(1) << 52;

bool Usable(const SourceRows& source)
{
    const PixelExtent& e = source.extent;
    auto within = [](int64_t v, int64_t low) { return v >= low && v <= kMaxExtent; };
    if (!within(e.width, 0) || !within(e.height, 0) || !within(e.x, -kMaxExtent) ||
        !within(e.y, -kMaxExtent))
        return false;
    if (e.empty())
        return true;
    return source.base && source.rowBytes / 4 >= size_t(e.width) &&
           size_t(e.height) <= std::numeric_limits<size_t>::max() / source.rowBytes;
}

// Pixel (i, j) of the extent, j counted up from its bottom row.
inline const UInt8* PixelAt(const SourceRows& source, int64_t i, int64_t j)
{
    return source.base + size_t(source.extent.height - 1 - j) * source.rowBytes + size_t(i) * 4;
}

bool Integral(double v)
{
    return std::fabs(v) < double(kMaxCoordinate) && v == std::floor(v);
}

#if defined(__SSE2__)
// One pixel's bytes A, R, G, B as four floats.
inline __m128 Widen(const UInt8* pixel)
{
    int32_t word;
    std::memcpy(&word, pixel, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_cvtsi32_si128(word);
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}
#endif

// Each writer's vector code runs only where set allows it; its scalar code gives the same bytes.
struct FloatWriter
{
    RGBAf* out;
    Processor::InstructionSet set;

    void clear(size_t from, size_t to) { std::fill(out + from, out + to, RGBAf{0, 0, 0, 0}); }
    void copy(size_t at, const UInt8* pixels, size_t count)
    {
        UnpackARGB8Row(pixels, count, out + at, set);
    }
    void copyReversed(size_t at, const UInt8* start, size_t count)
    {
        constexpr float kScale = 1.0f / 255;
        for (size_t k = 0; k < count; ++k) {
            const UInt8* p = start - 4 * k;
            out[at + k] = {p[1] * kScale, p[2] * kScale, p[3] * kScale, p[0] * kScale};
        }
    }
    // Values A, R, G, B in byte units.
    void blend(size_t at, const float (&v)[4])
    {
        constexpr float kScale = 1.0f / 255;
        out[at] = {v[1] * kScale, v[2] * kScale, v[3] * kScale, v[0] * kScale};
    }
#if defined(__SSE2__)
    void blend(size_t at, __m128 v)
    {
        v = _mm_mul_ps(v, _mm_set1_ps(1.0f / 255));
        _mm_storeu_ps(&out[at].r, _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 3, 2, 1)));
    }
#endif
};

struct ByteWriter
{
    UInt8* out;
    Processor::InstructionSet set;

    void clear(size_t from, size_t to) { std::memset(out + 4 * from, 0, 4 * (to - from)); }
    void copy(size_t at, const UInt8* pixels, size_t count)
    {
        std::memcpy(out + 4 * at, pixels, 4 * count);
    }
    void copyReversed(size_t at, const UInt8* start, size_t count)
    {
        size_t k = 0;
#if defined(__SSE2__)
        // Four pixels that lie before start in memory, in reverse order.
        const size_t vectorEnd = set >= Processor::InstructionSet::kSSE2 ? count : 0;
        for (; k + 4 <= vectorEnd; k += 4) {
            const __m128i v =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(start - 4 * (k + 3)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * (at + k)),
                             _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)));
        }
#endif
        for (; k < count; ++k)
            std::memcpy(out + 4 * (at + k), start - 4 * k, 4);
    }
    // A weighted mean of premultiplied pixels keeps colour <= alpha, and rounding keeps order.
    void blend(size_t at, const float (&v)[4])
    {
        for (int c = 0; c < 4; ++c)
            out[4 * at + c] = UInt8(int(std::min(v[c], 255.0f) + 0.5f));
    }
#if defined(__SSE2__)
    void blend(size_t at, __m128 v)
    {
        const __m128i words =
            _mm_cvttps_epi32(_mm_add_ps(_mm_min_ps(v, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), words);
        const int32_t pixel = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + 4 * at, &pixel, 4);
    }
#endif
};

} // namespace

AffineSampling::AffineSampling(const CGAffineTransform& t)
{
    const double values[6] = {t.a, t.b, t.c, t.d, t.tx, t.ty};
    const double determinant = t.a * t.d - t.b * t.c;
    if (!std::all_of(std::begin(values), std::end(values),
                     [](double v) { return std::isfinite(v); }) ||
        !std::isfinite(determinant) || determinant == 0.0)
        return;
    mInverse = CGAffineTransformInvert(t);
    const CGAffineTransform& i = mInverse;
    const double inverse[6] = {i.a, i.b, i.c, i.d, i.tx, i.ty};
    if (!std::all_of(std::begin(inverse), std::end(inverse),
                     [](double v) { return std::isfinite(v); }))
        return;
    mKind = Kind::Bilinear;
    if (i.b == 0.0 && i.c == 0.0 && std::fabs(i.a) == 1.0 && std::fabs(i.d) == 1.0 &&
        Integral(i.tx) && Integral(i.ty)) {
        // Centre X + 0.5 goes to a X + a/2 + tx, the centre of column a X + tx (a = 1) or
        // tx - X - 1 (a = -1).
        mKind = Kind::Copy;
        mColumnSign = i.a > 0 ? 1 : -1;
        mColumnOffset = int64_t(i.tx) - (i.a > 0 ? 0 : 1);
        mRowSign = i.d > 0 ? 1 : -1;
        mRowOffset = int64_t(i.ty) - (i.d > 0 ? 0 : 1);
    }
}

template <typename Writer>
bool AffineSampling::resample(const SourceRows& source, int64_t y, int64_t x0, size_t n,
                              Writer& out) const
{
    if (n == 0)
        return true;
    const bool usable = Usable(source);
    if (!usable || mKind == Kind::Nothing || source.extent.empty() || y > kMaxCoordinate ||
        y < -kMaxCoordinate || x0 > kMaxCoordinate || x0 < -kMaxCoordinate) {
        out.clear(0, n);
        return usable;
    }
    const PixelExtent& e = source.extent;

    if (mKind == Kind::Copy) {
        const int64_t row = mRowSign * y + mRowOffset - e.y;
        if (row < 0 || row >= e.height) {
            out.clear(0, n);
            return true;
        }
        // Output columns whose source column c = sign X + offset lies in the extent.
        int64_t first, last; // X in [first, last)
        if (mColumnSign > 0) {
            first = e.x - mColumnOffset;
            last = first + e.width;
        } else {
            first = mColumnOffset - (e.x + e.width - 1);
            last = mColumnOffset - e.x + 1;
        }
        const int64_t span = int64_t(std::min<size_t>(n, size_t(kMaxCoordinate)));
        const size_t from = size_t(std::clamp<int64_t>(first - x0, 0, span));
        const size_t to = size_t(std::clamp<int64_t>(last - x0, 0, span));
        out.clear(0, from);
        if (from < to) {
            const int64_t column = mColumnSign * (x0 + int64_t(from)) + mColumnOffset - e.x;
            if (mColumnSign > 0)
                out.copy(from, PixelAt(source, column, row), to - from);
            else
                out.copyReversed(from, PixelAt(source, column, row), to - from);
        }
        out.clear(to, n);
        return true;
    }

    const CGAffineTransform& m = mInverse;
    const double cy = double(y) + 0.5;
    const double startX = double(x0) + 0.5;
    // Source point of the first centre, in pixels from the first pixel centre of the extent.
    const double u0 = m.a * startX + m.c * cy + m.tx - double(e.x) - 0.5;
    const double v0 = m.b * startX + m.d * cy + m.ty - double(e.y) - 0.5;
    const double w = double(e.width), h = double(e.height);
    static const UInt8 kNothing[4] = {0, 0, 0, 0};
#if defined(__SSE2__)
    const bool vectors = out.set >= Processor::InstructionSet::kSSE2;
#endif
    for (size_t k = 0; k < n; ++k) {
        const double u = u0 + m.a * double(k);
        const double v = v0 + m.b * double(k);
        // Also false for NaN.
        if (!(u > -1.0 && u < w && v > -1.0 && v < h)) {
            out.clear(k, k + 1);
            continue;
        }
        // floor without a library call: u and v are above -1.
        const int64_t i = int64_t(u + 1.0) - 1, j = int64_t(v + 1.0) - 1;
        const float wx = float(u - double(i)), wy = float(v - double(j));
        const UInt8 *p00, *p10, *p01, *p11;
        if (i >= 0 && i + 1 < e.width && j >= 0 && j + 1 < e.height) {
            p00 = PixelAt(source, i, j);
            p10 = p00 + 4;
            p01 = p00 - source.rowBytes; // the row above is the one before in memory
            p11 = p01 + 4;
        } else {
            const bool left = i >= 0, right = i + 1 < e.width;
            const bool below = j >= 0, above = j + 1 < e.height;
            p00 = left && below ? PixelAt(source, i, j) : kNothing;
            p10 = right && below ? PixelAt(source, i + 1, j) : kNothing;
            p01 = left && above ? PixelAt(source, i, j + 1) : kNothing;
            p11 = right && above ? PixelAt(source, i + 1, j + 1) : kNothing;
        }
        const float w00 = (1 - wx) * (1 - wy), w10 = wx * (1 - wy);
        const float w01 = (1 - wx) * wy, w11 = wx * wy;
#if defined(__SSE2__)
        if (vectors) {
            const __m128 value = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(w00), Widen(p00)),
                                                       _mm_mul_ps(_mm_set1_ps(w10), Widen(p10))),
                                            _mm_add_ps(_mm_mul_ps(_mm_set1_ps(w01), Widen(p01)),
                                                       _mm_mul_ps(_mm_set1_ps(w11), Widen(p11))));
            out.blend(k, value);
            continue;
        }
#endif
        // Summed in the vector code's order, so that both give the same bytes.
        float value[4];
        for (int c = 0; c < 4; ++c)
            value[c] = (w00 * p00[c] + w10 * p10[c]) + (w01 * p01[c] + w11 * p11[c]);
        out.blend(k, value);
    }
    return true;
}

bool AffineSampling::resampleRow(const SourceRows& source, int64_t y, int64_t x0, size_t n,
                                 RGBAf* out, Processor::InstructionSet set) const
{
    if (!out)
        return false;
    FloatWriter writer{out, set};
    return resample(source, y, x0, n, writer);
}

bool AffineSampling::resampleRow(const SourceRows& source, int64_t y, int64_t x0, size_t n,
                                 UInt8* out, Processor::InstructionSet set) const
{
    if (!out)
        return false;
    ByteWriter writer{out, set};
    return resample(source, y, x0, n, writer);
}

bool ResampleAffine(const SourceRows& source, const CGAffineTransform& t, int64_t y, int64_t x0,
                    size_t n, RGBAf* out)
{
    return AffineSampling(t).resampleRow(source, y, x0, n, out);
}

bool ResampleAffine(const SourceRows& source, const CGAffineTransform& t, int64_t y, int64_t x0,
                    size_t n, UInt8* out)
{
    return AffineSampling(t).resampleRow(source, y, x0, n, out);
}

bool import_AffineResample()
{
    return true;
}

} // namespace CoreImage
