#include "CoreUnicode.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(UniChar unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(UniChar unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

namespace CoreUnicode {

string_t::string_t() : mUTF16(1, 0) {}

string_t::string_t(const UniChar* in_units, size_t in_count)
{
    assign(in_units, in_count);
}

string_t::string_t(const wchar_t* in_text, size_t in_count)
{
    assign(in_text, in_count);
}

string_t& string_t::assign(const UniChar* in_units, size_t in_count)
{
    mUTF16.clear();
    mWide.clear();
    if (in_units == nullptr)
        in_count = 0;
    mUTF16.assign(in_units, in_units + in_count);
    mUTF16.push_back(0);
    mWide.reserve(in_count);
    for (size_t i = 0; i < in_count; ++i) {
        const UniChar unit = in_units[i];
        if (IsHighSurrogate(unit) && i + 1 < in_count && IsLowSurrogate(in_units[i + 1])) {
            const char32_t code =
                0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(in_units[i + 1]) - 0xDC00);
            mWide.push_back(static_cast<wchar_t>(code));
            ++i;
        } else {
            mWide.push_back(static_cast<wchar_t>(unit));
        }
    }
    return *this;
}

string_t& string_t::assign(const wchar_t* in_text, size_t in_count)
{
    mUTF16.clear();
    mWide.clear();
    if (in_text == nullptr)
        in_count = 0;
    mWide.assign(in_text, in_count);
    mUTF16.reserve(in_count + 1);
    for (size_t i = 0; i < in_count; ++i) {
        // wchar_t is signed here: a negative unit is no character.
        const auto value = static_cast<long long>(in_text[i]);
        if (value < 0 || value > 0x10FFFF) {
            mUTF16.push_back(static_cast<UniChar>(kReplacement));
        } else if (value > 0xFFFF) {
            const auto code = static_cast<char32_t>(value) - 0x10000;
            mUTF16.push_back(static_cast<UniChar>(0xD800 + (code >> 10)));
            mUTF16.push_back(static_cast<UniChar>(0xDC00 + (code & 0x3FF)));
        } else {
            mUTF16.push_back(static_cast<UniChar>(value));
        }
    }
    mUTF16.push_back(0);
    return *this;
}

} // namespace CoreUnicode

bool import_CoreUnicode()
{
    return true;
}
