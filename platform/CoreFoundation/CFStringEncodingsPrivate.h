// Private: conversions between UTF-16 units and the byte encodings the subset offers.
#pragma once

#include <cstddef>
#include <string>

#include "CFString.h"

namespace p3dcf {

// The seven 8-bit encodings plus UTF-16 (host order), which only the byte calls accept.
bool IsSupportedEncoding(CFStringEncoding encoding);
// Worst-case bytes per UTF-16 unit; 0 for an unsupported encoding.
size_t MaxBytesPerUnit(CFStringEncoding encoding);

// The whole byte text as UTF-16; false when any byte sequence is not valid in the encoding.
bool DecodeBytes(const UInt8* bytes, size_t count, CFStringEncoding encoding,
                 std::u16string& units);

struct EncodedCharacter
{
    UInt8 bytes[8];
    size_t size;  // bytes used; 0 when the encoding cannot hold the character
    size_t units; // units covered: 2 for a surrogate pair taken as one character
};

// The character starting at units[index] (index < count) in the encoding.
EncodedCharacter EncodeCharacter(const char16_t* units, size_t count, size_t index,
                                 CFStringEncoding encoding);

// The whole text, or false when a character is not representable.
bool EncodeUnits(const std::u16string& units, CFStringEncoding encoding, std::string& bytes);

// Strict UTF-8 (no overlong forms, encoded surrogates or code points above U+10FFFF).
inline bool DecodeUTF8(const std::string& text, std::u16string& units)
{
    return DecodeBytes(reinterpret_cast<const UInt8*>(text.data()), text.size(),
                       kCFStringEncodingUTF8, units);
}

} // namespace p3dcf
