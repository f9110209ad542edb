#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "CFStringEncodingsPrivate.h"

namespace p3dcf {
namespace {

// Mac OS Roman 0x80-0xFF, with the euro sign at 0xDB and the Apple logo at 0xF0 in the
// private use area.
constexpr char16_t kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, //
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, //
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, //
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, //
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, //
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, //
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, //
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, //
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, //
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, //
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, //
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, //
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, //
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, //
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, //
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7, //
};

// Windows Latin 1 0x80-0x9F; 0xA0-0xFF equal ISO Latin 1. The five bytes the code page
// leaves undefined stand for the C1 controls of the same value, so every byte decodes.
constexpr char16_t kWindowsLatin1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

constexpr char16_t kUnmapped = 0xFFFF;

// NextStep Latin 0x80-0xFF; 0xFE and 0xFF have no character.
constexpr char16_t kNextStepLatin[128] = {
    0x00A0, 0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5,    0x00C7,    //
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE,    0x00CF,    //
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6,    0x00D9,    //
    0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00B5, 0x00D7,    0x00F7,    //
    0x00A9, 0x00A1, 0x00A2, 0x00A3, 0x2044, 0x00A5, 0x0192,    0x00A7,    //
    0x00A4, 0x2019, 0x201C, 0x00AB, 0x2039, 0x203A, 0xFB01,    0xFB02,    //
    0x00AE, 0x2013, 0x2020, 0x2021, 0x00B7, 0x00A6, 0x00B6,    0x2022,    //
    0x201A, 0x201E, 0x201D, 0x00BB, 0x2026, 0x2030, 0x00AC,    0x00BF,    //
    0x00B9, 0x02CB, 0x00B4, 0x02C6, 0x02DC, 0x00AF, 0x02D8,    0x02D9,    //
    0x00A8, 0x00B2, 0x02DA, 0x00B8, 0x00B3, 0x02DD, 0x02DB,    0x02C7,    //
    0x2014, 0x00B1, 0x00BC, 0x00BD, 0x00BE, 0x00E0, 0x00E1,    0x00E2,    //
    0x00E3, 0x00E4, 0x00E5, 0x00E7, 0x00E8, 0x00E9, 0x00EA,    0x00EB,    //
    0x00EC, 0x00C6, 0x00ED, 0x00AA, 0x00EE, 0x00EF, 0x00F0,    0x00F1,    //
    0x0141, 0x00D8, 0x0152, 0x00BA, 0x00F2, 0x00F3, 0x00F4,    0x00F5,    //
    0x00F6, 0x00E6, 0x00F9, 0x00FA, 0x00FB, 0x0131, 0x00FC,    0x00FD,    //
    0x0142, 0x00F8, 0x0153, 0x00DF, 0x00FE, 0x00FF, kUnmapped, kUnmapped, //
};

// A decoding table for the upper half plus its inverse, sorted for binary search.
class ByteTable
{
public:
    explicit ByteTable(const char16_t (&upper)[128]) : mUpper(upper)
    {
        size_t n = 0;
        for (size_t i = 0; i < 128; ++i)
            if (upper[i] != kUnmapped)
                mInverse[n++] = {upper[i], UInt8(0x80 + i)};
        mCount = n;
        std::sort(mInverse.begin(), mInverse.begin() + mCount);
    }

    char16_t decode(UInt8 byte) const { return byte < 0x80 ? byte : mUpper[byte - 0x80]; }

    bool encode(char16_t unit, UInt8& byte) const
    {
        if (unit < 0x80) {
            byte = UInt8(unit);
            return true;
        }
        auto end = mInverse.begin() + mCount;
        auto it = std::lower_bound(mInverse.begin(), end, std::pair<char16_t, UInt8>{unit, 0});
        if (it == end || it->first != unit)
            return false;
        byte = it->second;
        return true;
    }

private:
    const char16_t (&mUpper)[128];
    std::array<std::pair<char16_t, UInt8>, 128> mInverse{};
    size_t mCount = 0;
};

const ByteTable& MacRomanTable()
{
    static const ByteTable table(kMacRoman);
    return table;
}

const ByteTable& NextStepTable()
{
    static const ByteTable table(kNextStepLatin);
    return table;
}

const ByteTable& WindowsLatin1Table()
{
    static const ByteTable table = [] {
        static char16_t upper[128];
        for (size_t i = 0; i < 128; ++i)
            upper[i] = i < 32 ? kWindowsLatin1[i] : char16_t(0x80 + i);
        return ByteTable(upper);
    }();
    return table;
}

const ByteTable* TableFor(CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingMacRoman:
        return &MacRomanTable();
    case kCFStringEncodingWindowsLatin1:
        return &WindowsLatin1Table();
    case kCFStringEncodingNextStepLatin:
        return &NextStepTable();
    default:
        return nullptr;
    }
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendCodePoint(char32_t c, std::u16string& units)
{
    if (c < 0x10000) {
        units += char16_t(c);
    } else {
        c -= 0x10000;
        units += char16_t(0xD800 + (c >> 10));
        units += char16_t(0xDC00 + (c & 0x3FF));
    }
}

bool DecodeUTF8Bytes(const UInt8* bytes, size_t count, std::u16string& units)
{
    size_t i = 0;
    while (i < count) {
        const UInt8 lead = bytes[i];
        if (lead < 0x80) {
            units += char16_t(lead);
            ++i;
            continue;
        }
        size_t extra;
        char32_t c;
        char32_t minimum;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
            minimum = 0x10000;
        } else {
            return false; // continuation byte, overlong 0xC0/0xC1 lead, or beyond U+10FFFF
        }
        if (count - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const UInt8 next = bytes[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        AppendCodePoint(c, units);
        i += extra + 1;
    }
    return true;
}

int OctalDigit(UInt8 byte)
{
    return byte >= '0' && byte <= '7' ? byte - '0' : -1;
}

int LowerHexDigit(UInt8 byte)
{
    if (byte >= '0' && byte <= '9')
        return byte - '0';
    if (byte >= 'a' && byte <= 'f')
        return byte - 'a' + 10;
    return -1;
}

// Accepts exactly what the encoder writes, so that decoding then encoding gives back the
// same bytes.
bool DecodeNonLossyASCII(const UInt8* bytes, size_t count, std::u16string& units)
{
    size_t i = 0;
    while (i < count) {
        const UInt8 byte = bytes[i];
        if (byte >= 0x80)
            return false;
        if (byte != '\\') {
            units += char16_t(byte);
            ++i;
            continue;
        }
        const size_t left = count - i - 1;
        if (left >= 1 && bytes[i + 1] == '\\') {
            units += u'\\';
            i += 2;
        } else if (left >= 3 && (bytes[i + 1] == '2' || bytes[i + 1] == '3') &&
                   OctalDigit(bytes[i + 2]) >= 0 && OctalDigit(bytes[i + 3]) >= 0) {
            units += char16_t((OctalDigit(bytes[i + 1]) << 6) | (OctalDigit(bytes[i + 2]) << 3) |
                              OctalDigit(bytes[i + 3]));
            i += 4;
        } else if (left >= 5 && bytes[i + 1] == 'u') {
            char16_t unit = 0;
            for (size_t k = 2; k <= 5; ++k) {
                const int digit = LowerHexDigit(bytes[i + k]);
                if (digit < 0)
                    return false;
                unit = char16_t((unit << 4) | digit);
            }
            if (unit < 0x100)
                return false;
            units += unit;
            i += 6;
        } else {
            return false;
        }
    }
    return true;
}

bool DecodeUTF16(const UInt8* bytes, size_t count, std::u16string& units)
{
    if (count % 2 != 0)
        return false;
    bool swap = false;
    size_t i = 0;
    if (count >= 2) {
        char16_t first;
        std::memcpy(&first, bytes, 2);
        if (first == 0xFEFF) {
            i = 2;
        } else if (first == 0xFFFE) {
            swap = true;
            i = 2;
        }
    }
    for (; i < count; i += 2) {
        char16_t unit;
        std::memcpy(&unit, bytes + i, 2);
        if (swap)
            unit = char16_t((unit << 8) | (unit >> 8));
        units += unit;
    }
    return true;
}

} // namespace

bool IsSupportedEncoding(CFStringEncoding encoding)
{
    return MaxBytesPerUnit(encoding) != 0;
}

size_t MaxBytesPerUnit(CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return 3; // a surrogate pair, 2 units, takes 4 bytes
    case kCFStringEncodingMacRoman:
    case kCFStringEncodingWindowsLatin1:
    case kCFStringEncodingISOLatin1:
    case kCFStringEncodingASCII:
    case kCFStringEncodingNextStepLatin:
        return 1;
    case kCFStringEncodingNonLossyASCII:
        return 6; // "\\uXXXX"
    case kCFStringEncodingUTF16:
        return 2;
    default:
        return 0;
    }
}

bool DecodeBytes(const UInt8* bytes, size_t count, CFStringEncoding encoding, std::u16string& units)
{
    units.clear();
    if (count > 0 && !bytes)
        return false;
    switch (encoding) {
    case kCFStringEncodingUTF8:
        units.reserve(count);
        return DecodeUTF8Bytes(bytes, count, units);
    case kCFStringEncodingNonLossyASCII:
        units.reserve(count);
        return DecodeNonLossyASCII(bytes, count, units);
    case kCFStringEncodingUTF16:
        units.reserve(count / 2);
        return DecodeUTF16(bytes, count, units);
    case kCFStringEncodingISOLatin1:
        units.assign(bytes, bytes + count);
        return true;
    case kCFStringEncodingASCII:
        for (size_t i = 0; i < count; ++i)
            if (bytes[i] >= 0x80)
                return false;
        units.assign(bytes, bytes + count);
        return true;
    default:
        break;
    }
    const ByteTable* table = TableFor(encoding);
    if (!table)
        return false;
    units.resize(count);
    for (size_t i = 0; i < count; ++i) {
        units[i] = table->decode(bytes[i]);
        if (units[i] == kUnmapped)
            return false;
    }
    return true;
}

EncodedCharacter EncodeCharacter(const char16_t* units, size_t count, size_t index,
                                 CFStringEncoding encoding)
{
    EncodedCharacter out{};
    out.units = 1;
    const char16_t unit = units[index];
    const bool pair =
        IsHighSurrogate(unit) && index + 1 < count && IsLowSurrogate(units[index + 1]);
    if (pair)
        out.units = 2;

    switch (encoding) {
    case kCFStringEncodingUTF8: {
        if (pair) {
            const char32_t c =
                0x10000 + ((char32_t(unit - 0xD800) << 10) | char32_t(units[index + 1] - 0xDC00));
            out.bytes[0] = UInt8(0xF0 | (c >> 18));
            out.bytes[1] = UInt8(0x80 | ((c >> 12) & 0x3F));
            out.bytes[2] = UInt8(0x80 | ((c >> 6) & 0x3F));
            out.bytes[3] = UInt8(0x80 | (c & 0x3F));
            out.size = 4;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            out.size = 0; // a lone surrogate has no UTF-8 form
        } else if (unit < 0x80) {
            out.bytes[0] = UInt8(unit);
            out.size = 1;
        } else if (unit < 0x800) {
            out.bytes[0] = UInt8(0xC0 | (unit >> 6));
            out.bytes[1] = UInt8(0x80 | (unit & 0x3F));
            out.size = 2;
        } else {
            out.bytes[0] = UInt8(0xE0 | (unit >> 12));
            out.bytes[1] = UInt8(0x80 | ((unit >> 6) & 0x3F));
            out.bytes[2] = UInt8(0x80 | (unit & 0x3F));
            out.size = 3;
        }
        return out;
    }
    case kCFStringEncodingNonLossyASCII: {
        // Every unit has a form, lone surrogates included, so units go one at a time.
        static constexpr char kHex[] = "0123456789abcdef";
        out.units = 1;
        if (unit == u'\\') {
            out.bytes[0] = out.bytes[1] = '\\';
            out.size = 2;
        } else if (unit < 0x80) {
            out.bytes[0] = UInt8(unit);
            out.size = 1;
        } else if (unit < 0x100) {
            out.bytes[0] = '\\';
            out.bytes[1] = UInt8('0' + (unit >> 6));
            out.bytes[2] = UInt8('0' + ((unit >> 3) & 7));
            out.bytes[3] = UInt8('0' + (unit & 7));
            out.size = 4;
        } else {
            out.bytes[0] = '\\';
            out.bytes[1] = 'u';
            for (int k = 0; k < 4; ++k)
                out.bytes[2 + k] = UInt8(kHex[(unit >> (12 - 4 * k)) & 0xF]);
            out.size = 6;
        }
        return out;
    }
    case kCFStringEncodingUTF16:
        out.units = 1;
        std::memcpy(out.bytes, &unit, 2);
        out.size = 2;
        return out;
    case kCFStringEncodingISOLatin1:
        out.size = unit < 0x100 ? 1 : 0;
        out.bytes[0] = UInt8(unit);
        return out;
    case kCFStringEncodingASCII:
        out.size = unit < 0x80 ? 1 : 0;
        out.bytes[0] = UInt8(unit);
        return out;
    default:
        break;
    }
    const ByteTable* table = TableFor(encoding);
    if (table && !pair && table->encode(unit, out.bytes[0]))
        out.size = 1;
    return out;
}

bool EncodeUnits(const std::u16string& units, CFStringEncoding encoding, std::string& bytes)
{
    bytes.clear();
    if (!IsSupportedEncoding(encoding))
        return false;
    bytes.reserve(units.size());
    for (size_t i = 0; i < units.size();) {
        const EncodedCharacter c = EncodeCharacter(units.data(), units.size(), i, encoding);
        if (c.size == 0)
            return false;
        bytes.append(reinterpret_cast<const char*>(c.bytes), c.size);
        i += c.units;
    }
    return true;
}

} // namespace p3dcf
