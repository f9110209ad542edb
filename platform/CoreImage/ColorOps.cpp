#include "ColorOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace CoreImage {

namespace {

// NaN goes to 0, as do values below it.
inline float Clamp01(float v)
{
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

inline float Clamp(float v, float low, float high)
{
    return v > low ? (v < high ? v : high) : low;
}

// The vector loops run only where set allows them; the scalar loops after them give the same
// bytes, and finish what the vectors leave.
inline bool Vectors(Processor::InstructionSet set)
{
    return set >= Processor::InstructionSet::kSSE2;
}

#if defined(__SSE2__)
// Clamp to low..high; NaN gives low, as _mm_max_ps returns its second operand for it.
inline __m128 ClampPs(__m128 v, __m128 low, __m128 high)
{
    return _mm_min_ps(_mm_max_ps(v, low), high);
}
#endif

} // namespace

void UnpackARGB8Row(const UInt8* src, size_t n, RGBAf* out,
                    [[maybe_unused]] Processor::InstructionSet set)
{
    if (!src || !out)
        return;
    constexpr float kScale = 1.0f / 255;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(kScale);
    const __m128i zero = _mm_setzero_si128();
    const size_t vectorEnd = Vectors(set) ? n : 0;
    for (; i + 4 <= vectorEnd; i += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
        const __m128i words[2] = {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
        for (int k = 0; k < 4; ++k) {
            const __m128i argb = k % 2 == 0 ? _mm_unpacklo_epi16(words[k / 2], zero)
                                            : _mm_unpackhi_epi16(words[k / 2], zero);
            const __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(argb), scale);
            _mm_storeu_ps(&out[i + k].r, _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 3, 2, 1)));
        }
    }
#endif
    for (; i < n; ++i) {
        const UInt8* p = src + 4 * i;
        out[i] = {p[1] * kScale, p[2] * kScale, p[3] * kScale, p[0] * kScale};
    }
}

void PackARGB8Row(const RGBAf* in, size_t n, UInt8* dst,
                  [[maybe_unused]] Processor::InstructionSet set)
{
    if (!in || !dst)
        return;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
    const size_t vectorEnd = Vectors(set) ? n : 0;
    for (; i + 4 <= vectorEnd; i += 4) {
        __m128i words[4];
        for (int k = 0; k < 4; ++k) {
            const __m128 v = _mm_loadu_ps(&in[i + k].r);
            const __m128 a = ClampPs(_mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)), zero, one);
            const __m128 c = ClampPs(v, zero, a); // the alpha lane becomes a itself
            const __m128i rgba = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(c, scale), half));
            words[k] = _mm_shuffle_epi32(rgba, _MM_SHUFFLE(2, 1, 0, 3));
        }
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(words[0], words[1]),
                                                _mm_packs_epi32(words[2], words[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), packed);
    }
#endif
    for (; i < n; ++i) {
        const float a = Clamp01(in[i].a);
        // Colour at most alpha in floats keeps it at most alpha in bytes: rounding is monotone.
        auto byte = [a](float c) {
            return UInt8(int((c > 0.0f ? (c < a ? c : a) : 0.0f) * 255.0f + 0.5f));
        };
        UInt8* p = dst + 4 * i;
        p[0] = UInt8(int(a * 255.0f + 0.5f));
        p[1] = byte(in[i].r);
        p[2] = byte(in[i].g);
        p[3] = byte(in[i].b);
    }
}

namespace {

// Rows go through in chunks of planes, so everything but the table reads runs four pixels at
// a time; the planes live on the stack.
constexpr size_t kChunk = 64;

struct Planes
{
    float r[kChunk];
    float g[kChunk];
    float b[kChunk];
    float a[kChunk];
    UInt8 alpha[kChunk];
};

void LoadFloats(const RGBAf* in, size_t count, Planes& p, [[maybe_unused]] bool vectors)
{
    size_t j = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    const size_t vectorEnd = vectors ? count : 0;
    for (; j + 4 <= vectorEnd; j += 4) {
        __m128 r = _mm_loadu_ps(&in[j].r), g = _mm_loadu_ps(&in[j + 1].r);
        __m128 b = _mm_loadu_ps(&in[j + 2].r), a = _mm_loadu_ps(&in[j + 3].r);
        _MM_TRANSPOSE4_PS(r, g, b, a);
        a = ClampPs(a, zero, one);
        const __m128 unpremultiply = _mm_and_ps(_mm_cmpgt_ps(a, zero), _mm_div_ps(one, a));
        _mm_storeu_ps(p.a + j, a);
        _mm_storeu_ps(p.r + j, ClampPs(_mm_mul_ps(r, unpremultiply), zero, one));
        _mm_storeu_ps(p.g + j, ClampPs(_mm_mul_ps(g, unpremultiply), zero, one));
        _mm_storeu_ps(p.b + j, ClampPs(_mm_mul_ps(b, unpremultiply), zero, one));
    }
#endif
    for (; j < count; ++j) {
        const float a = Clamp01(in[j].a);
        const float unpremultiply = a > 0.0f ? 1.0f / a : 0.0f;
        p.a[j] = a;
        p.r[j] = Clamp01(in[j].r * unpremultiply);
        p.g[j] = Clamp01(in[j].g * unpremultiply);
        p.b[j] = Clamp01(in[j].b * unpremultiply);
    }
}

// White point and exposure of one channel: the table holds them exactly at u = i / 255;
// between those, linear interpolation.
inline float Curve(const float* table, float u)
{
    const float x = u * 255.0f; // u within 0..1
    const int i = int(x);
    return table[i] + (x - float(i)) * (table[i + 1] - table[i]);
}

void Curves(Planes& p, size_t count, const float (&table)[3][257])
{
    for (size_t j = 0; j < count; ++j) {
        p.r[j] = Curve(table[0], p.r[j]);
        p.g[j] = Curve(table[1], p.g[j]);
        p.b[j] = Curve(table[2], p.b[j]);
    }
}

inline float Affine(const float (&m)[3], float offset, float r, float g, float b)
{
    return Clamp01(m[0] * r + m[1] * g + m[2] * b + offset);
}

#if defined(__SSE2__)
// Clamp(M u + offset) for four pixels, in the scalar path's order of operations.
inline __m128 AffinePs(const __m128 (&m)[3], __m128 offset, __m128 r, __m128 g, __m128 b)
{
    const __m128 sum =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(m[0], r), _mm_mul_ps(m[1], g)), _mm_mul_ps(m[2], b));
    return ClampPs(_mm_add_ps(sum, offset), _mm_setzero_ps(), _mm_set1_ps(1.0f));
}

struct MatrixPs
{
    __m128 m[3][3];
    __m128 offset;

    MatrixPs(const float (&matrix)[3][3], float off) : offset(_mm_set1_ps(off))
    {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 3; ++i)
                m[c][i] = _mm_set1_ps(matrix[c][i]);
    }
};
#endif

void StoreFloats(const Planes& p, size_t count, const float (&m)[3][3], float offset, RGBAf* out,
                 [[maybe_unused]] bool vectors)
{
    size_t j = 0;
#if defined(__SSE2__)
    const MatrixPs matrix(m, offset);
    const size_t vectorEnd = vectors ? count : 0;
    for (; j + 4 <= vectorEnd; j += 4) {
        const __m128 r = _mm_loadu_ps(p.r + j), g = _mm_loadu_ps(p.g + j);
        const __m128 b = _mm_loadu_ps(p.b + j);
        __m128 a = _mm_loadu_ps(p.a + j);
        __m128 outR = _mm_mul_ps(AffinePs(matrix.m[0], matrix.offset, r, g, b), a);
        __m128 outG = _mm_mul_ps(AffinePs(matrix.m[1], matrix.offset, r, g, b), a);
        __m128 outB = _mm_mul_ps(AffinePs(matrix.m[2], matrix.offset, r, g, b), a);
        _MM_TRANSPOSE4_PS(outR, outG, outB, a);
        _mm_storeu_ps(&out[j].r, outR);
        _mm_storeu_ps(&out[j + 1].r, outG);
        _mm_storeu_ps(&out[j + 2].r, outB);
        _mm_storeu_ps(&out[j + 3].r, a);
    }
#endif
    for (; j < count; ++j) {
        const float r = p.r[j], g = p.g[j], b = p.b[j], a = p.a[j];
        out[j] = {Affine(m[0], offset, r, g, b) * a, Affine(m[1], offset, r, g, b) * a,
                  Affine(m[2], offset, r, g, b) * a, a};
    }
}

void StoreBytes(const Planes& p, size_t count, const float (&m)[3][3], float offset, UInt8* out,
                [[maybe_unused]] bool vectors)
{
    size_t j = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
    const MatrixPs matrix(m, offset);
    const size_t vectorEnd = vectors ? count : 0;
    for (; j + 4 <= vectorEnd; j += 4) {
        const __m128 r = _mm_loadu_ps(p.r + j), g = _mm_loadu_ps(p.g + j);
        const __m128 b = _mm_loadu_ps(p.b + j);
        const __m128 a = _mm_mul_ps(_mm_loadu_ps(p.a + j), scale);
        __m128i word = _mm_set_epi32(p.alpha[j + 3], p.alpha[j + 2], p.alpha[j + 1], p.alpha[j]);
        for (int c = 0; c < 3; ++c) {
            const __m128 v = AffinePs(matrix.m[c], matrix.offset, r, g, b);
            const __m128i byte = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, a), half));
            word = _mm_or_si128(word, _mm_sll_epi32(byte, _mm_cvtsi32_si128(8 * (c + 1))));
        }
        // Memory order A, R, G, B: alpha is the low byte of the little-endian word.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * j), word);
    }
#endif
    for (; j < count; ++j) {
        const float r = p.r[j], g = p.g[j], b = p.b[j], a = p.a[j] * 255.0f;
        UInt8* o = out + 4 * j;
        o[0] = p.alpha[j];
        for (int c = 0; c < 3; ++c)
            o[1 + c] = UInt8(int(Affine(m[c], offset, r, g, b) * a + 0.5f));
    }
}

} // namespace

ColorProgram::ColorProgram()
{
    rebuildTables();
}

void ColorProgram::setWhitePoint(bool enabled, float r, float g, float b)
{
    const float given[3] = {r, g, b};
    float white[3];
    bool changes = false;
    for (int c = 0; c < 3; ++c) {
        // Not above zero (NaN included): no white to map to, so no change.
        white[c] = given[c] > 0.0f ? Clamp(given[c], kMinWhite, kMaxWhite) : 1.0f;
        changes = changes || white[c] != 1.0f;
    }
    const bool active = enabled && changes;
    if (active == mWhitePoint && white[0] == mWhite[0] && white[1] == mWhite[1] &&
        white[2] == mWhite[2])
        return;
    for (int c = 0; c < 3; ++c)
        mWhite[c] = white[c];
    mWhitePoint = active;
    rebuildTables();
}

void ColorProgram::setExposure(bool enabled, float ev)
{
    const float value = std::isnan(ev) ? 0.0f : Clamp(ev, -kMaxEV, kMaxEV);
    const bool active = enabled && value != 0.0f;
    if (active == mExposure && value == mEV)
        return;
    mEV = value;
    mExposure = active;
    rebuildTables();
}

void ColorProgram::setColorControls(bool enabled, float saturation, float brightness,
                                    float contrast)
{
    mSaturation = std::isnan(saturation) ? 1.0f : Clamp(saturation, 0.0f, kMaxSaturation);
    mBrightness =
        std::isnan(brightness) ? 0.0f : Clamp(brightness, -kMaxBrightness, kMaxBrightness);
    mContrast = std::isnan(contrast) ? 1.0f : Clamp(contrast, 0.0f, kMaxContrast);
    mControls = enabled && (mSaturation != 1.0f || mBrightness != 0.0f || mContrast != 1.0f);

    // v = k (Y + s (u - Y) + b - 0.5) + 0.5 = k s u + k (1 - s) Y + k (b - 0.5) + 0.5
    static const double kLuma[3] = {0.2126, 0.7152, 0.0722};
    const double s = mControls ? mSaturation : 1, k = mControls ? mContrast : 1;
    const double b = mControls ? mBrightness : 0;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i)
            mMatrix[c][i] = float(k * (1 - s) * kLuma[i] + (c == i ? k * s : 0.0));
    mOffset = float(k * (b - 0.5) + 0.5);
}

void ColorProgram::rebuildTables()
{
    // Worked in double with the exact curve: these are the values of most camera pixels.
    const double gain = std::exp2(double(mEV));
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) {
            double u = v / 255.0;
            if (mWhitePoint)
                u = std::clamp(u / mWhite[c], 0.0, 1.0);
            if (mExposure) {
                double l = u <= 0.04045 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
                l = std::min(1.0, l * gain);
                u = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
            }
            mByteTable[c][v] = float(u);
        }
    // Interpolation at u = 1 reads one past the last entry.
    for (int c = 0; c < 3; ++c)
        mByteTable[c][256] = mByteTable[c][255];
}

void ColorProgram::applyRow(RGBAf* row, size_t n, Processor::InstructionSet set) const
{
    if (!row || isIdentity())
        return;
    const bool vectors = Vectors(set);
    Planes planes;
    for (size_t done = 0; done < n; done += kChunk) {
        const size_t count = std::min(kChunk, n - done);
        LoadFloats(row + done, count, planes, vectors);
        if (mWhitePoint || mExposure)
            Curves(planes, count, mByteTable);
        StoreFloats(planes, count, mMatrix, mOffset, row + done, vectors);
    }
}

void ColorProgram::applyARGB8Row(const UInt8* src, size_t n, UInt8* dst, bool reversed,
                                 Processor::InstructionSet set) const
{
    if (!src || !dst)
        return;
    if (isIdentity()) {
        if (!reversed && src != dst)
            std::memmove(dst, src, 4 * n);
        for (size_t i = 0; reversed && i < n; ++i)
            std::memcpy(dst + 4 * i, src + 4 * (n - 1 - i), 4);
        return;
    }
    const bool vectors = Vectors(set);
    Planes planes;
    for (size_t done = 0; done < n; done += kChunk) {
        const size_t count = std::min(kChunk, n - done);
        const UInt8* in = src + 4 * done;
        for (size_t j = 0; j < count; ++j) {
            const UInt8* p = reversed ? src + 4 * (n - 1 - (done + j)) : in + 4 * j;
            planes.alpha[j] = p[0];
            if (p[0] == 255) {
                planes.a[j] = 1.0f;
                planes.r[j] = mByteTable[0][p[1]];
                planes.g[j] = mByteTable[1][p[2]];
                planes.b[j] = mByteTable[2][p[3]];
                continue;
            }
            // Translucent: un-premultiplied colour falls between the table's entries.
            const float unpremultiply = p[0] ? 1.0f / p[0] : 0.0f;
            planes.a[j] = p[0] * (1.0f / 255);
            planes.r[j] = Curve(mByteTable[0], Clamp01(p[1] * unpremultiply));
            planes.g[j] = Curve(mByteTable[1], Clamp01(p[2] * unpremultiply));
            planes.b[j] = Curve(mByteTable[2], Clamp01(p[3] * unpremultiply));
        }
        StoreBytes(planes, count, mMatrix, mOffset, dst + 4 * done, vectors);
    }
}

bool import_ColorOps()
{
    return true;
}

} // namespace CoreImage
