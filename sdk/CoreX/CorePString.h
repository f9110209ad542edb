// A length-prefixed text of up to 255 characters, as the classic interfaces want it, kept
// NUL-terminated as well.
#pragma once

#include <cstddef>

#include "MacTypes.h"

class CorePString
{
public:
    static constexpr size_t kMaxLength = 255;

    CorePString();
    CorePString(const char* in_cstring);
    CorePString(ConstStr255Param in_pstring);

    // Up to 255 characters; a null text gives the empty text.
    CorePString& operator=(const char* in_cstring);
    CorePString& operator=(ConstStr255Param in_pstring);

    size_t strlen() const { return mString[0]; }
    size_t string_size() const { return size_t(mString[0]) + 1; }

    // False, and nothing changes, when the text already holds 255 characters.
    bool strcatc(char in_char);
    // Appends what fits in 255 characters; a longer result is cut there and reported.
    bool strcat(ConstStr255Param in_pstring);

    // Write a Pascal text of min(length, maximum) characters; a null destination throws.
    void strcpy(StringPtr out_pstring, size_t in_max_length) const;
    void AssignTo(StringPtr out_pstring, size_t in_max_length) const;
    // The characters and a terminator; the caller's buffer must hold string_size() bytes.
    void AssignTo(char* out_cstring) const;

    // By strcmp of the characters; a null argument throws.
    bool operator==(ConstStr255Param in_pstring) const;
    bool operator==(const char* in_cstring) const;
    bool operator==(const CorePString& in_string) const;

    ConstStr255Param GetPString() const { return mString; }
    operator ConstStr255Param() const { return mString; }
    const char* c_str() const { return reinterpret_cast<const char*>(mString + 1); }

private:
    void SetLength(size_t in_length);

    // Length byte, up to 255 characters, and the NUL right after the last one.
    unsigned char mString[sizeof(Str255) + 1];
};

bool import_CorePString();
