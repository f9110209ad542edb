// A heap-owned NUL-terminated text with an explicit 16-bit capacity.
#pragma once

#include <cstddef>
#include <string>

#include "CFString.h"
#include "MacTypes.h"

class CorePString;

class CoreCString
{
public:
    // The capacity is 16 bits wide: the longest text is 65,534 characters. Anything that
    // would need more is reported and refused rather than wrapped.
    static constexpr size_t kMaxBufferSize = 0xFFFF;
    static constexpr size_t kPrintfMaxLength = 2048;

    CoreCString();
    CoreCString(const char* in_cstring, unsigned short in_min_size = 0);
    CoreCString(ConstStr255Param in_pstring, unsigned short in_min_size = 0);
    CoreCString(const CoreCString& in_string, unsigned short in_min_size = 0);
    CoreCString(const CorePString& in_string, unsigned short in_min_size = 0);
    CoreCString(const std::string& in_string, unsigned short in_min_size = 0);
    // The name of the record; a null record gives the empty text.
    explicit CoreCString(const FSSpec* in_spec, unsigned short in_min_size = 0);
    // "0x79757673 'yuvs'"; the size is ignored.
    explicit CoreCString(FourCharCode in_code, unsigned short in_ignored_size = 0);
    virtual ~CoreCString();

    // Assignment always makes a new buffer of exactly the text's size.
    CoreCString& operator=(const char* in_cstring);
    CoreCString& operator=(ConstStr255Param in_pstring);
    CoreCString& operator=(const CorePString& in_string);
    CoreCString& operator=(const CoreCString& in_string);
    // In Mac OS Roman; a null string leaves no buffer at all, a failed conversion the empty text.
    CoreCString& operator=(CFStringRef in_string);

    // Capacity = max(text length + 1, minimum); an existing buffer that is large enough is
    // reused. A size over kMaxBufferSize is reported and leaves the empty text (false).
    bool Alloc(const char* in_cstring, unsigned short in_min_size = 0);
    bool Alloc(ConstStr255Param in_pstring, unsigned short in_min_size = 0);
    bool Alloc(unsigned short in_min_size);

    // Copy cut to the capacity; a null text gives the empty text.
    void safe_strncpy(const char* in_cstring, size_t in_count);
    void safe_strcpy(const char* in_cstring);
    // Append cut to the capacity.
    void safe_strcat(const char* in_cstring);

    // Grow to hold the joined text; a result over the 16-bit capacity is reported and the
    // text stays unchanged (false).
    bool strcat(const char* in_cstring);
    CoreCString& operator+=(const char* in_cstring);
    CoreCString& operator+=(ConstStr255Param in_pstring);
    CoreCString& operator+=(const CoreCString& in_string);

    // Results over kPrintfMaxLength characters throw.
    void printf(const char* in_format, ...) __attribute__((format(printf, 2, 3)));
    // Formats into the caller's buffer, then takes it as the text; a null buffer or a result
    // of in_size characters or more throws.
    void sprintf(char* io_buffer, size_t in_size, const char* in_format, ...)
        __attribute__((format(printf, 4, 5)));

    bool ConstructFourCharCode(FourCharCode in_code);

    // Two upper-case digits per byte, each followed by the separator unless it is 0.
    const char* EncodeHexString(const void* in_data, size_t in_length, size_t in_max_length,
                                char in_separator);
    const char* HexData(const void* in_data, size_t in_length, size_t in_max_length = 0);
    const char* AsHexString();
    // The bytes of the hex digits in the text, other characters skipped; an odd last digit is
    // ignored. The result may hold NUL bytes.
    char* DecodeHexString(const char* in_hex_string);
    // The digit pair, the separator and a terminator, in a buffer that the next call on the
    // same thread overwrites.
    static const char* HexDigitPairFromByte(unsigned char in_byte, char in_separator);

    char* trim_leading_whitespace();
    char* trim_trailing_whitespace();
    char* trim_trailing_and_leading_whitespace();

    double AsDouble() const;

    // By strcmp; a null argument throws.
    bool operator==(const char* in_cstring) const;
    bool operator==(ConstStr255Param in_pstring) const;

    // The text with its terminator; the caller's buffer must hold strlen() + 1 bytes.
    void AssignTo(char* out_cstring) const;
    // A length byte of min(length, maximum, 255) and that many characters, no terminator.
    void AssignTo(StringPtr out_pstring, size_t in_max_length) const;

    void Empty();
    void Delete();

    const char* c_str() const { return mBuffer; }
    const char* Get_const_cstring() const { return mBuffer; }
    unsigned short GetBufferSize() const { return mBufferSize; }
    // 0 when there is no buffer.
    size_t strlen() const;

protected:
    // Alloc with a minimum size that may exceed 16 bits, so that it can be refused.
    bool AllocBuffer(const char* in_cstring, size_t in_min_size);
    void ThrowIfNoBuffer() const;
    void Adopt(CoreCString& io_string);

    char* mBuffer;
    unsigned short mBufferSize;
};

bool import_CoreCString();
