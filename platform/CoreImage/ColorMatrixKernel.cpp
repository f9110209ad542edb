#include "ColorMatrixKernel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "Diagnostics.h"

namespace CoreImage {

namespace {

// ---------------------------------------------------------------------------------------------
// Compiler

enum class Token { End, Name, Number, Punct };

struct Lexeme
{
    Token kind = Token::End;
    size_t offset = 0;
    std::string_view text;
    double value = 0;
};

class Parser
{
public:
    explicit Parser(std::string_view text) : mText(text) {}

    bool failed() const { return mFailed; }
    const KernelTextError& error() const { return mError; }

    // Reports the first fault only: later ones are usually its echoes.
    bool fail(size_t offset, std::string reason)
    {
        if (mFailed)
            return false;
        mFailed = true;
        mError.offset = offset;
        mError.line = 1;
        mError.column = 1;
        for (size_t i = 0; i < offset && i < mText.size(); ++i) {
            if (mText[i] == '\n') {
                ++mError.line;
                mError.column = 1;
            } else {
                ++mError.column;
            }
        }
        mError.reason = std::move(reason);
        return false;
    }

    std::optional<Lexeme> next()
    {
        if (!skipSpace())
            return std::nullopt;
        Lexeme lexeme;
        lexeme.offset = mPos;
        if (mPos == mText.size())
            return lexeme;
        const char c = mText[mPos];
        if (IsNameStart(c)) {
            size_t end = mPos + 1;
            while (end < mText.size() && IsNameChar(mText[end]))
                ++end;
            lexeme.kind = Token::Name;
            lexeme.text = mText.substr(mPos, end - mPos);
            mPos = end;
            return lexeme;
        }
        if (IsDigit(c) || c == '.' || c == '+' || c == '-')
            return number();
        if (std::strchr("(){}[],;=", c) && c != '\0') {
            lexeme.kind = Token::Punct;
            lexeme.text = mText.substr(mPos, 1);
            ++mPos;
            return lexeme;
        }
        char reason[64];
        snprintf(reason, sizeof reason, "unexpected byte 0x%02x", unsigned(uint8_t(c)));
        fail(mPos, reason);
        return std::nullopt;
    }

    bool expectName(std::string_view word)
    {
        const std::optional<Lexeme> lexeme = next();
        if (!lexeme)
            return false;
        if (lexeme->kind != Token::Name || lexeme->text != word)
            return fail(lexeme->offset, "expected \"" + std::string(word) + "\"");
        return true;
    }

    bool expectPunct(char punct)
    {
        const std::optional<Lexeme> lexeme = next();
        if (!lexeme)
            return false;
        if (lexeme->kind != Token::Punct || lexeme->text[0] != punct)
            return fail(lexeme->offset, std::string("expected '") + punct + "'");
        return true;
    }

    std::optional<Lexeme> expectAnyName(const char* what)
    {
        std::optional<Lexeme> lexeme = next();
        if (!lexeme)
            return std::nullopt;
        if (lexeme->kind != Token::Name) {
            fail(lexeme->offset, std::string("expected ") + what);
            return std::nullopt;
        }
        return lexeme;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsNameStart(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    static bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

    bool skipSpace()
    {
        while (mPos < mText.size()) {
            const char c = mText[mPos];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++mPos;
            } else if (mText.substr(mPos, 2) == "//") {
                const size_t end = mText.find('\n', mPos);
                mPos = end == std::string_view::npos ? mText.size() : end + 1;
            } else if (mText.substr(mPos, 2) == "/*") {
                const size_t end = mText.find("*/", mPos + 2);
                if (end == std::string_view::npos)
                    return fail(mPos, "comment not closed");
                mPos = end + 2;
            } else {
                break;
            }
        }
        return true;
    }

    std::optional<Lexeme> number()
    {
        const size_t start = mPos;
        size_t pos = mPos;
        const bool negative = mText[pos] == '-';
        if (mText[pos] == '+' || mText[pos] == '-')
            ++pos;
        const size_t mantissa = pos;
        size_t digits = 0;
        while (pos < mText.size() && IsDigit(mText[pos]))
            ++pos, ++digits;
        if (pos < mText.size() && mText[pos] == '.') {
            ++pos;
            while (pos < mText.size() && IsDigit(mText[pos]))
                ++pos, ++digits;
        }
        if (digits == 0) {
            fail(start, "expected a number");
            return std::nullopt;
        }
        if (pos < mText.size() && (mText[pos] == 'e' || mText[pos] == 'E')) {
            ++pos;
            if (pos < mText.size() && (mText[pos] == '+' || mText[pos] == '-'))
                ++pos;
            size_t exponent = 0;
            while (pos < mText.size() && IsDigit(mText[pos]))
                ++pos, ++exponent;
            if (exponent == 0) {
                fail(start, "exponent without digits");
                return std::nullopt;
            }
        }
        double value = 0;
        const char* first = mText.data() + mantissa;
        const char* last = mText.data() + pos;
        const std::from_chars_result result = std::from_chars(first, last, value);
        if (result.ec == std::errc::result_out_of_range) {
            fail(start, "number out of range");
            return std::nullopt;
        }
        if (result.ec != std::errc() || result.ptr != last) {
            fail(start, "malformed number");
            return std::nullopt;
        }
        Lexeme lexeme;
        lexeme.kind = Token::Number;
        lexeme.offset = start;
        lexeme.text = mText.substr(start, pos - start);
        lexeme.value = negative ? -value : value;
        mPos = pos;
        return lexeme;
    }

    std::string_view mText;
    size_t mPos = 0;
    bool mFailed = false;
    KernelTextError mError;
};

// Text of the kernel's own in a report, cut short: a report is a line, not a copy.
std::string Shown(std::string_view text)
{
    return text.size() <= 32 ? std::string(text) : std::string(text.substr(0, 32)) + "...";
}

std::string Quoted(std::string_view text)
{
    return "\"" + Shown(text) + "\"";
}

// Before any parsing: a text that is empty, too long or not text at all, said where.
bool ScreenText(Parser& parser, std::string_view text)
{
    if (text.empty())
        return parser.fail(0, "the text is empty");
    if (text.size() > ColorMatrixKernel::kMaxTextBytes)
        return parser.fail(ColorMatrixKernel::kMaxTextBytes,
                           "text longer than " + std::to_string(ColorMatrixKernel::kMaxTextBytes) +
                               " bytes");
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = uint8_t(text[i]);
        const bool space = c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
        if (!space && (c < 0x20 || c >= 0x7F)) {
            char reason[64];
            snprintf(reason, sizeof reason, "unexpected byte 0x%02x: not a text", unsigned(c));
            return parser.fail(i, reason);
        }
    }
    return true;
}

// "matrix" "(" row { "," row } ")" ";" with the name and "=" already read.
bool ParseMatrix(Parser& parser, ColorMatrixKernel::Matrix& matrix, const std::string& eye)
{
    if (!parser.expectName("matrix") || !parser.expectPunct('('))
        return false;
    size_t rows = 0;
    for (;;) {
        std::optional<Lexeme> open = parser.next();
        if (!open)
            return false;
        if (open->kind != Token::Punct || open->text[0] != '[')
            return parser.fail(open->offset, "expected '[' to open a row");
        if (rows == 3)
            return parser.fail(open->offset, "matrix of " + eye + " has more than 3 rows");
        size_t columns = 0;
        for (;;) {
            std::optional<Lexeme> number = parser.next();
            if (!number)
                return false;
            if (number->kind != Token::Number)
                return parser.fail(number->offset, "expected a coefficient");
            if (columns == 3)
                return parser.fail(number->offset, "row " + std::to_string(rows + 1) + " of " +
                                                       eye + " has more than 3 coefficients");
            const double value = number->value;
            if (!std::isfinite(value) || std::fabs(value) > ColorMatrixKernel::kMaxCoefficient)
                return parser.fail(number->offset,
                                   "coefficient " + Shown(number->text) + " is outside -3..3");
            matrix[rows][columns++] = value;
            std::optional<Lexeme> separator = parser.next();
            if (!separator)
                return false;
            if (separator->kind == Token::Punct && separator->text[0] == ']') {
                if (columns != 3)
                    return parser.fail(separator->offset,
                                       "row " + std::to_string(rows + 1) + " of " + eye + " has " +
                                           std::to_string(columns) + " coefficients; 3 needed");
                break;
            }
            if (separator->kind != Token::Punct || separator->text[0] != ',')
                return parser.fail(separator->offset, "expected ',' or ']'");
        }
        ++rows;
        std::optional<Lexeme> separator = parser.next();
        if (!separator)
            return false;
        if (separator->kind == Token::Punct && separator->text[0] == ')') {
            if (rows != 3)
                return parser.fail(separator->offset, "matrix of " + eye + " has " +
                                                          std::to_string(rows) + " rows; 3 needed");
            break;
        }
        if (separator->kind != Token::Punct || separator->text[0] != ',')
            return parser.fail(separator->offset, "expected ',' or ')'");
    }
    return parser.expectPunct(';');
}

// ---------------------------------------------------------------------------------------------
// Evaluator

constexpr int kRound = 1 << (ColorMatrixKernel::kFractionBits - 1);

// round(255 c / a), at most 255; the colour of a transparent pixel is nothing.
inline int Unpremultiply(int c, int a)
{
    if (a == 0)
        return 0;
    return std::min(255, (255 * c + a / 2) / a);
}

// round(c a / 255) without a division, exact for every product of two bytes.
inline int Premultiply(int c, int a)
{
    const int x = c * a + 128;
    return (x + (x >> 8)) >> 8;
}

inline uint8_t ClampByte(int value)
{
    return uint8_t(std::clamp(value, 0, 255));
}

// Fixed point, one pixel at a time: translucent pixels and row ends.
void EvaluateScalar(const int16_t (&coeff)[3][3][2], const uint8_t* first, const uint8_t* second,
                    uint8_t* out, size_t count)
{
    static const uint8_t kNothing[4] = {0, 0, 0, 0};
    for (size_t n = 0; n < count; ++n) {
        const uint8_t* f = first ? first + 4 * n : kNothing;
        const uint8_t* s = second ? second + 4 * n : kNothing;
        const int fa = f[0], sa = s[0];
        int fc[3], sc[3];
        for (int i = 0; i < 3; ++i) {
            fc[i] = fa == 255 ? f[1 + i] : Unpremultiply(f[1 + i], fa);
            sc[i] = sa == 255 ? s[1 + i] : Unpremultiply(s[1 + i], sa);
        }
        const int alpha = std::max(fa, sa);
        uint8_t* o = out + 4 * n;
        o[0] = uint8_t(alpha);
        for (int c = 0; c < 3; ++c) {
            int sum = kRound;
            for (int i = 0; i < 3; ++i)
                sum += coeff[c][i][0] * sc[i] + coeff[c][i][1] * fc[i];
            const int value = ClampByte(sum >> ColorMatrixKernel::kFractionBits);
            o[1 + c] = uint8_t(alpha == 255 ? value : Premultiply(value, alpha));
        }
    }
}

#if defined(__SSE2__)
// Eight opaque pixels of each eye at a time: channels split into 16-bit lanes, each output
// channel a sum of three multiply-adds over interleaved (second, first) pairs.
size_t EvaluateOpaqueSSE2(const int16_t (&coeff)[3][3][2], const uint8_t* first,
                          const uint8_t* second, uint8_t* out, size_t count)
{
    __m128i pairs[3][3];
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i)
            pairs[c][i] = _mm_set1_epi32(int32_t(uint32_t(uint16_t(coeff[c][i][0])) |
                                                 (uint32_t(uint16_t(coeff[c][i][1])) << 16)));
    const __m128i byteMask = _mm_set1_epi32(0xFF);
    const __m128i rounding = _mm_set1_epi32(kRound);
    const __m128i opaque = _mm_set1_epi8(char(0xFF));

    size_t n = 0;
    for (; n + 8 <= count; n += 8) {
        const __m128i f0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 4 * n));
        const __m128i f1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 4 * n + 16));
        const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 4 * n));
        const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 4 * n + 16));
        const __m128i alphas =
            _mm_and_si128(_mm_and_si128(_mm_and_si128(f0, f1), _mm_and_si128(s0, s1)), byteMask);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alphas, byteMask)) != 0xFFFF) {
            EvaluateScalar(coeff, first + 4 * n, second + 4 * n, out + 4 * n, 8);
            continue;
        }
        // Memory order A, R, G, B: R is bits 8..15 of the little-endian word.
        __m128i fc[3], sc[3];
        for (int i = 0; i < 3; ++i) {
            const int shift = 8 * (i + 1);
            fc[i] = _mm_packs_epi32(
                _mm_and_si128(_mm_srl_epi32(f0, _mm_cvtsi32_si128(shift)), byteMask),
                _mm_and_si128(_mm_srl_epi32(f1, _mm_cvtsi32_si128(shift)), byteMask));
            sc[i] = _mm_packs_epi32(
                _mm_and_si128(_mm_srl_epi32(s0, _mm_cvtsi32_si128(shift)), byteMask),
                _mm_and_si128(_mm_srl_epi32(s1, _mm_cvtsi32_si128(shift)), byteMask));
        }
        __m128i lo[3], hi[3];
        for (int i = 0; i < 3; ++i) {
            lo[i] = _mm_unpacklo_epi16(sc[i], fc[i]);
            hi[i] = _mm_unpackhi_epi16(sc[i], fc[i]);
        }
        __m128i channel[3];
        for (int c = 0; c < 3; ++c) {
            __m128i sumLo = rounding, sumHi = rounding;
            for (int i = 0; i < 3; ++i) {
                sumLo = _mm_add_epi32(sumLo, _mm_madd_epi16(lo[i], pairs[c][i]));
                sumHi = _mm_add_epi32(sumHi, _mm_madd_epi16(hi[i], pairs[c][i]));
            }
            sumLo = _mm_srai_epi32(sumLo, ColorMatrixKernel::kFractionBits);
            sumHi = _mm_srai_epi32(sumHi, ColorMatrixKernel::kFractionBits);
            const __m128i words = _mm_packs_epi32(sumLo, sumHi);
            channel[c] = _mm_packus_epi16(words, words); // clamps to 0..255
        }
        const __m128i ar = _mm_unpacklo_epi8(opaque, channel[0]);
        const __m128i gb = _mm_unpacklo_epi8(channel[1], channel[2]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * n), _mm_unpacklo_epi16(ar, gb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * n + 16), _mm_unpackhi_epi16(ar, gb));
    }
    return n;
}
#endif

#if defined(__x86_64__)
// The SSE2 code on sixteen pixels of each eye: every step stays within its 128-bit half, and the
// halves' packs and unpacks undo each other, so the pixels come out in their order.
__attribute__((target("avx2"))) size_t EvaluateOpaqueAVX2(const int16_t (&coeff)[3][3][2],
                                                          const uint8_t* first,
                                                          const uint8_t* second, uint8_t* out,
                                                          size_t count)
{
    __m256i pairs[3][3];
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i)
            pairs[c][i] = _mm256_set1_epi32(int32_t(uint32_t(uint16_t(coeff[c][i][0])) |
                                                    (uint32_t(uint16_t(coeff[c][i][1])) << 16)));
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    const __m256i rounding = _mm256_set1_epi32(kRound);
    const __m256i opaque = _mm256_set1_epi8(char(0xFF));

    size_t n = 0;
    for (; n + 16 <= count; n += 16) {
        const auto* f = reinterpret_cast<const __m256i*>(first + 4 * n);
        const auto* s = reinterpret_cast<const __m256i*>(second + 4 * n);
        const __m256i f0 = _mm256_loadu_si256(f), f1 = _mm256_loadu_si256(f + 1);
        const __m256i s0 = _mm256_loadu_si256(s), s1 = _mm256_loadu_si256(s + 1);
        const __m256i alphas = _mm256_and_si256(
            _mm256_and_si256(_mm256_and_si256(f0, f1), _mm256_and_si256(s0, s1)), byteMask);
        if (uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi32(alphas, byteMask))) != 0xFFFFFFFFu) {
            EvaluateScalar(coeff, first + 4 * n, second + 4 * n, out + 4 * n, 16);
            continue;
        }
        __m256i fc[3], sc[3];
        for (int i = 0; i < 3; ++i) {
            const __m128i shift = _mm_cvtsi32_si128(8 * (i + 1));
            fc[i] = _mm256_packs_epi32(_mm256_and_si256(_mm256_srl_epi32(f0, shift), byteMask),
                                       _mm256_and_si256(_mm256_srl_epi32(f1, shift), byteMask));
            sc[i] = _mm256_packs_epi32(_mm256_and_si256(_mm256_srl_epi32(s0, shift), byteMask),
                                       _mm256_and_si256(_mm256_srl_epi32(s1, shift), byteMask));
        }
        __m256i lo[3], hi[3];
        for (int i = 0; i < 3; ++i) {
            lo[i] = _mm256_unpacklo_epi16(sc[i], fc[i]);
            hi[i] = _mm256_unpackhi_epi16(sc[i], fc[i]);
        }
        __m256i channel[3];
        for (int c = 0; c < 3; ++c) {
            __m256i sumLo = rounding, sumHi = rounding;
            for (int i = 0; i < 3; ++i) {
                sumLo = _mm256_add_epi32(sumLo, _mm256_madd_epi16(lo[i], pairs[c][i]));
                sumHi = _mm256_add_epi32(sumHi, _mm256_madd_epi16(hi[i], pairs[c][i]));
            }
            sumLo = _mm256_srai_epi32(sumLo, ColorMatrixKernel::kFractionBits);
            sumHi = _mm256_srai_epi32(sumHi, ColorMatrixKernel::kFractionBits);
            const __m256i words = _mm256_packs_epi32(sumLo, sumHi);
            channel[c] = _mm256_packus_epi16(words, words); // clamps to 0..255
        }
        const __m256i ar = _mm256_unpacklo_epi8(opaque, channel[0]);
        const __m256i gb = _mm256_unpacklo_epi8(channel[1], channel[2]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * n), _mm256_unpacklo_epi16(ar, gb));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * n + 32),
                            _mm256_unpackhi_epi16(ar, gb));
    }
    return n;
}
#endif

constexpr int64_t kMaxCoordinate = int64_t(1) << 30;

bool Describes(const PixelExtent& extent)
{
    auto within = [](int64_t v, int64_t low) { return v >= low && v <= kMaxCoordinate; };
    return within(extent.width, 0) && within(extent.height, 0) &&
           within(extent.x, -kMaxCoordinate) && within(extent.y, -kMaxCoordinate);
}

bool UsableMemory(const uint8_t* base, size_t rowBytes, const PixelExtent& extent)
{
    if (!Describes(extent))
        return false;
    if (extent.empty())
        return true;
    return base && rowBytes / 4 >= size_t(extent.width) &&
           size_t(extent.height) <= std::numeric_limits<size_t>::max() / rowBytes;
}

// The row of an image that holds the pixels at height y, or null when the image has none.
const uint8_t* RowAt(const KernelImage& image, int64_t y)
{
    if (image.extent.empty() || y < image.extent.y || y >= image.extent.y + image.extent.height)
        return nullptr;
    return image.base + size_t(image.extent.y + image.extent.height - 1 - y) * image.rowBytes;
}

} // namespace

PixelExtent UnionExtent(const PixelExtent& a, const PixelExtent& b)
{
    if (a.empty())
        return b.empty() ? PixelExtent{} : b;
    if (b.empty())
        return a;
    const int64_t x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    return {x, y, std::max(a.x + a.width, b.x + b.width) - x,
            std::max(a.y + a.height, b.y + b.height) - y};
}

std::unique_ptr<ColorMatrixKernel> ColorMatrixKernel::Compile(std::string_view text,
                                                              KernelTextError* error)
{
    Parser parser(text);
    std::unique_ptr<ColorMatrixKernel> kernel(new ColorMatrixKernel);
    [&] {
        if (!ScreenText(parser, text))
            return;
        if (!parser.expectName("kernel") || !parser.expectName("vec4"))
            return;
        std::optional<Lexeme> name = parser.expectAnyName("the kernel's name");
        if (!name || !parser.expectPunct('('))
            return;
        kernel->mName = name->text;
        static const char* const kTypes[3] = {"sampler", "sampler", "float"};
        for (int p = 0; p < 3; ++p) {
            if (p > 0 && !parser.expectPunct(','))
                return;
            if (!parser.expectName(kTypes[p]))
                return;
            std::optional<Lexeme> parameter = parser.expectAnyName("a parameter name");
            if (!parameter)
                return;
            for (int q = 0; q < p; ++q)
                if (kernel->mParameters[q] == parameter->text) {
                    parser.fail(parameter->offset,
                                "parameter " + Quoted(parameter->text) + " repeated");
                    return;
                }
            kernel->mParameters[p] = parameter->text;
        }
        if (!parser.expectPunct(')') || !parser.expectPunct('{'))
            return;
        bool bound[2] = {false, false};
        for (;;) {
            std::optional<Lexeme> lexeme = parser.next();
            if (!lexeme)
                return;
            if (lexeme->kind == Token::Punct && lexeme->text[0] == '}') {
                if (!bound[0] || !bound[1]) {
                    parser.fail(lexeme->offset,
                                "no matrix for " + Quoted(kernel->mParameters[bound[0] ? 1 : 0]));
                    return;
                }
                break;
            }
            if (lexeme->kind != Token::Name) {
                parser.fail(lexeme->offset, "expected a sampler's name or '}'");
                return;
            }
            int eye = -1;
            for (int p = 0; p < 2; ++p)
                if (lexeme->text == kernel->mParameters[p])
                    eye = p;
            if (eye < 0) {
                parser.fail(lexeme->offset, Quoted(lexeme->text) + " is not a sampler parameter");
                return;
            }
            if (bound[eye]) {
                parser.fail(lexeme->offset, "second matrix for " + Quoted(lexeme->text));
                return;
            }
            if (!parser.expectPunct('=') ||
                !ParseMatrix(parser, eye == 0 ? kernel->mFirst : kernel->mSecond,
                             Quoted(lexeme->text)))
                return;
            bound[eye] = true;
        }
        std::optional<Lexeme> end = parser.next();
        if (end && end->kind != Token::End)
            parser.fail(end->offset, "text after the kernel's end");
    }();

    if (parser.failed()) {
        const KernelTextError& fault = parser.error();
        DIAG_REPORT("kernel text, line %u column %u: %s", fault.line, fault.column,
                    fault.reason.c_str());
        if (error)
            *error = fault;
        return nullptr;
    }
    kernel->prepare();
    return kernel;
}

void ColorMatrixKernel::prepare()
{
    for (int swapped = 0; swapped < 2; ++swapped)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 3; ++i) {
                const double onSecond = swapped ? mFirst[c][i] : mSecond[c][i];
                const double onFirst = swapped ? mSecond[c][i] : mFirst[c][i];
                mFixed[swapped][c][i][0] = int16_t(std::lround(onSecond * (1 << kFractionBits)));
                mFixed[swapped][c][i][1] = int16_t(std::lround(onFirst * (1 << kFractionBits)));
            }
}

void ColorMatrixKernel::evaluateRow(const uint8_t* first, const uint8_t* second, uint8_t* out,
                                    size_t count, float swap,
                                    [[maybe_unused]] Processor::InstructionSet set) const
{
    const int16_t(&coeff)[3][3][2] = mFixed[Swaps(swap) ? 1 : 0];
    size_t done = 0;
    // The fixed-point sums are the same in all: the scalar code gives the same bytes.
#if defined(__x86_64__)
    if (first && second && set >= Processor::InstructionSet::kAVX2)
        done = EvaluateOpaqueAVX2(coeff, first, second, out, count);
#endif
#if defined(__SSE2__)
    if (first && second && set >= Processor::InstructionSet::kSSE2)
        done += EvaluateOpaqueSSE2(coeff, first + 4 * done, second + 4 * done, out + 4 * done,
                                   count - done);
#endif
    EvaluateScalar(coeff, first ? first + 4 * done : nullptr, second ? second + 4 * done : nullptr,
                   out + 4 * done, count - done);
}

void ColorMatrixKernel::evaluateRowReference(const uint8_t* first, const uint8_t* second,
                                             uint8_t* out, size_t count, float swap) const
{
    const bool swapped = Swaps(swap);
    const Matrix& onFirst = swapped ? mSecond : mFirst;
    const Matrix& onSecond = swapped ? mFirst : mSecond;
    for (size_t n = 0; n < count; ++n) {
        double a[2] = {0, 0};
        double colour[2][3] = {};
        const uint8_t* eyes[2] = {first ? first + 4 * n : nullptr,
                                  second ? second + 4 * n : nullptr};
        for (int e = 0; e < 2; ++e) {
            if (!eyes[e])
                continue;
            a[e] = eyes[e][0];
            for (int i = 0; i < 3; ++i)
                colour[e][i] =
                    a[e] == 0 ? 0.0 : std::min(255.0, std::round(eyes[e][1 + i] * 255.0 / a[e]));
        }
        const double alpha = std::max(a[0], a[1]);
        out[4 * n] = uint8_t(alpha);
        for (int c = 0; c < 3; ++c) {
            double value = 0;
            for (int i = 0; i < 3; ++i)
                value += onFirst[c][i] * colour[0][i] + onSecond[c][i] * colour[1][i];
            value = std::clamp(std::round(value), 0.0, 255.0);
            out[4 * n + 1 + c] = uint8_t(std::round(value * alpha / 255.0));
        }
    }
}

bool ColorMatrixKernel::apply(const KernelImage& first, const KernelImage& second, float swap,
                              const KernelImageOut& out) const
{
    if (!DIAG_CHECK(UsableMemory(first.base, first.rowBytes, first.extent)) ||
        !DIAG_CHECK(UsableMemory(second.base, second.rowBytes, second.extent)) ||
        !DIAG_CHECK(UsableMemory(out.base, out.rowBytes, out.extent)))
        return false;
    if (out.extent.empty())
        return true;

    const Processor::InstructionSet set = Processor::Chosen();
    const int64_t left = out.extent.x, right = out.extent.x + out.extent.width;
    for (int64_t row = 0; row < out.extent.height; ++row) {
        const int64_t y = out.extent.y + out.extent.height - 1 - row;
        uint8_t* outRow = out.base + size_t(row) * out.rowBytes;
        const uint8_t* firstRow = RowAt(first, y);
        const uint8_t* secondRow = RowAt(second, y);
        // The row splits where either eye begins or ends.
        int64_t cuts[6] = {left,
                           right,
                           std::clamp(first.extent.x, left, right),
                           std::clamp(first.extent.x + first.extent.width, left, right),
                           std::clamp(second.extent.x, left, right),
                           std::clamp(second.extent.x + second.extent.width, left, right)};
        std::sort(std::begin(cuts), std::end(cuts));
        for (int k = 0; k + 1 < 6; ++k) {
            const int64_t x0 = cuts[k], x1 = cuts[k + 1];
            if (x0 == x1)
                continue;
            auto at = [x0](const KernelImage& image, const uint8_t* row) -> const uint8_t* {
                if (!row || x0 < image.extent.x || x0 >= image.extent.x + image.extent.width)
                    return nullptr;
                return row + size_t(x0 - image.extent.x) * 4;
            };
            evaluateRow(at(first, firstRow), at(second, secondRow), outRow + size_t(x0 - left) * 4,
                        size_t(x1 - x0), swap, set);
        }
    }
    return true;
}

bool import_ColorMatrixKernel()
{
    return true;
}

} // namespace CoreImage
