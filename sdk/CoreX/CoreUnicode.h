// Conversion between UTF-16 texts and wide (UTF-32) texts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "MacTypes.h"

namespace CoreUnicode {

// Holds one text in both forms. Characters outside the 16-bit plane travel as surrogate
// pairs in UTF-16 and as one unit in the wide form, so both directions are lossless; a lone
// surrogate is carried over unchanged and a wide value that is no character becomes U+FFFD.
class string_t
{
public:
    string_t();
    string_t(const UniChar* in_units, size_t in_count);
    string_t(const wchar_t* in_text, size_t in_count);

    string_t& assign(const UniChar* in_units, size_t in_count);
    string_t& assign(const wchar_t* in_text, size_t in_count);

    // UTF-16 form, followed by a 0 unit that utf16_length() does not count.
    const UniChar* utf16() const { return mUTF16.data(); }
    size_t utf16_length() const { return mUTF16.size() - 1; }
    const std::wstring& wide() const { return mWide; }

private:
    std::vector<UniChar> mUTF16;
    std::wstring mWide;
};

} // namespace CoreUnicode

bool import_CoreUnicode();
