#include "CoreCString.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "CoreMachDebugLog.h"
#include "CorePString.h"

namespace {

// A Pascal text as a NUL-terminated one; null gives the empty text.
struct PascalText
{
    explicit PascalText(ConstStr255Param in_pstring, size_t in_max_length = 255)
    {
        const size_t length =
            in_pstring != nullptr ? std::min<size_t>(in_pstring[0], in_max_length) : 0;
        if (length > 0)
            std::memcpy(mText, in_pstring + 1, length);
        mText[length] = 0;
    }
    char mText[sizeof(Str255)];
};

bool IsSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

CoreCString::CoreCString() : mBuffer(nullptr), mBufferSize(0)
{
    AllocBuffer(nullptr, 0);
}

CoreCString::CoreCString(const char* in_cstring, unsigned short in_min_size)
    : mBuffer(nullptr), mBufferSize(0)
{
    AllocBuffer(in_cstring, in_min_size);
}

CoreCString::CoreCString(ConstStr255Param in_pstring, unsigned short in_min_size)
    : mBuffer(nullptr), mBufferSize(0)
{
    AllocBuffer(PascalText(in_pstring).mText, in_min_size);
}

CoreCString::CoreCString(const CoreCString& in_string, unsigned short in_min_size)
    : mBuffer(nullptr), mBufferSize(0)
{
    AllocBuffer(in_string.mBuffer, in_min_size);
}

CoreCString::CoreCString(const CorePString& in_string, unsigned short in_min_size)
    : mBuffer(nullptr), mBufferSize(0)
{
    AllocBuffer(in_string.c_str(), in_min_size);
}

CoreCString::CoreCString(const std::string& in_string, unsigned short in_min_size)
    : mBuffer(nullptr), mBufferSize(0)
{
    AllocBuffer(in_string.c_str(), in_min_size);
}

CoreCString::CoreCString(const FSSpec* in_spec, unsigned short in_min_size)
    : mBuffer(nullptr), mBufferSize(0)
{
    // The name is a Str63: a larger length byte must not read past the record.
    AllocBuffer(in_spec != nullptr ? PascalText(in_spec->name, sizeof(Str63) - 1).mText : nullptr,
                in_min_size);
}

CoreCString::CoreCString(FourCharCode in_code, unsigned short /*in_ignored_size*/)
    : mBuffer(nullptr), mBufferSize(0)
{
    ConstructFourCharCode(in_code);
}

CoreCString::~CoreCString()
{
    delete[] mBuffer;
}

// Assignments build the new text before the old buffer goes, so a text taken from this very
// object survives.
void CoreCString::Adopt(CoreCString& io_string)
{
    std::swap(mBuffer, io_string.mBuffer);
    std::swap(mBufferSize, io_string.mBufferSize);
}

CoreCString& CoreCString::operator=(const char* in_cstring)
{
    CoreCString text(in_cstring);
    Adopt(text);
    return *this;
}

CoreCString& CoreCString::operator=(ConstStr255Param in_pstring)
{
    CoreCString text(in_pstring);
    Adopt(text);
    return *this;
}

CoreCString& CoreCString::operator=(const CorePString& in_string)
{
    CoreCString text(in_string);
    Adopt(text);
    return *this;
}

CoreCString& CoreCString::operator=(const CoreCString& in_string)
{
    CoreCString text(in_string.mBuffer);
    Adopt(text);
    return *this;
}

CoreCString& CoreCString::operator=(CFStringRef in_string)
{
    Delete();
    if (in_string == nullptr)
        return *this;
    // Mac OS Roman needs at most one byte per UTF-16 unit.
    const CFIndex length = ::CFStringGetLength(in_string);
    AllocBuffer(nullptr, static_cast<size_t>(std::max<CFIndex>(length, 0)) + 1);
    if (!::CFStringGetCString(in_string, mBuffer, mBufferSize, kCFStringEncodingMacRoman))
        mBuffer[0] = 0;
    return *this;
}

bool CoreCString::Alloc(const char* in_cstring, unsigned short in_min_size)
{
    return AllocBuffer(in_cstring, in_min_size);
}

bool CoreCString::Alloc(ConstStr255Param in_pstring, unsigned short in_min_size)
{
    return AllocBuffer(PascalText(in_pstring).mText, in_min_size);
}

bool CoreCString::Alloc(unsigned short in_min_size)
{
    return AllocBuffer(nullptr, in_min_size);
}

bool CoreCString::AllocBuffer(const char* in_cstring, size_t in_min_size)
{
    // Bounded scan: a text that reaches the limit is refused without reading it all.
    const size_t text_length = in_cstring != nullptr ? ::strnlen(in_cstring, kMaxBufferSize) : 0;
    const size_t needed_size = std::max(text_length + 1, in_min_size);
    VERIFY(needed_size <= kMaxBufferSize);
    if (needed_size > kMaxBufferSize) {
        if (mBuffer == nullptr) {
            mBuffer = new char[1];
            mBufferSize = 1;
        }
        mBuffer[0] = 0;
        return false;
    }
    if (mBuffer != nullptr && needed_size <= mBufferSize) {
        safe_strcpy(in_cstring);
        return true;
    }
    char* buffer = new char[needed_size];
    if (text_length > 0)
        std::memcpy(buffer, in_cstring, text_length);
    buffer[text_length] = 0;
    delete[] mBuffer;
    mBuffer = buffer;
    mBufferSize = static_cast<unsigned short>(needed_size);
    return true;
}

void CoreCString::ThrowIfNoBuffer() const
{
    if (mBuffer == nullptr)
        throw CoreException("Nil exception pointer");
}

size_t CoreCString::strlen() const
{
    return mBuffer != nullptr ? ::strnlen(mBuffer, mBufferSize) : 0;
}

void CoreCString::safe_strncpy(const char* in_cstring, size_t in_count)
{
    ThrowIfNoBuffer();
    const size_t length = in_cstring != nullptr
                              ? ::strnlen(in_cstring, std::min<size_t>(in_count, mBufferSize - 1))
                              : 0;
    // memmove: the text may be a part of this one.
    if (length > 0)
        std::memmove(mBuffer, in_cstring, length);
    mBuffer[length] = 0;
}

void CoreCString::safe_strcpy(const char* in_cstring)
{
    safe_strncpy(in_cstring, kMaxBufferSize);
}

void CoreCString::safe_strcat(const char* in_cstring)
{
    ThrowIfNoBuffer();
    if (in_cstring == nullptr)
        return;
    const size_t length = strlen();
    const size_t room = mBufferSize - 1 - length;
    const size_t added = ::strnlen(in_cstring, room);
    if (added > 0)
        std::memmove(mBuffer + length, in_cstring, added);
    mBuffer[length + added] = 0;
}

bool CoreCString::strcat(const char* in_cstring)
{
    ThrowIfNoBuffer();
    if (in_cstring == nullptr)
        return true;
    const size_t old_length = strlen();
    const size_t added_length = ::strnlen(in_cstring, kMaxBufferSize);
    const size_t needed_size = old_length + added_length + 1;
    VERIFY(needed_size <= kMaxBufferSize);
    if (needed_size > kMaxBufferSize)
        return false;
    // Both texts with their terminators, as far as 16 bits reach.
    const size_t new_size = std::min(needed_size + 1, kMaxBufferSize);
    char* buffer = new char[new_size];
    std::memcpy(buffer, mBuffer, old_length);
    if (added_length > 0)
        std::memcpy(buffer + old_length, in_cstring, added_length);
    buffer[old_length + added_length] = 0;
    delete[] mBuffer;
    mBuffer = buffer;
    mBufferSize = static_cast<unsigned short>(new_size);
    return true;
}

CoreCString& CoreCString::operator+=(const char* in_cstring)
{
    strcat(in_cstring);
    return *this;
}

CoreCString& CoreCString::operator+=(ConstStr255Param in_pstring)
{
    strcat(in_pstring != nullptr ? PascalText(in_pstring).mText : nullptr);
    return *this;
}

CoreCString& CoreCString::operator+=(const CoreCString& in_string)
{
    strcat(in_string.mBuffer);
    return *this;
}

void CoreCString::printf(const char* in_format, ...)
{
    if (in_format == nullptr)
        throw CoreException("Nil exception pointer");
    char scratch[kPrintfMaxLength + 2];
    va_list arguments;
    va_start(arguments, in_format);
    const int length = std::vsnprintf(scratch, sizeof(scratch), in_format, arguments);
    va_end(arguments);
    if (length < 0 || static_cast<size_t>(length) > kPrintfMaxLength)
        throw CoreException("Nil exception pointer");
    AllocBuffer(scratch, 0);
}

void CoreCString::sprintf(char* io_buffer, size_t in_size, const char* in_format, ...)
{
    if (io_buffer == nullptr || in_size == 0 || in_format == nullptr)
        throw CoreException("Nil exception pointer");
    io_buffer[0] = 0;
    va_list arguments;
    va_start(arguments, in_format);
    const int length = std::vsnprintf(io_buffer, in_size, in_format, arguments);
    va_end(arguments);
    if (length < 0 || static_cast<size_t>(length) >= in_size)
        throw CoreException("Nil exception pointer");
    AllocBuffer(io_buffer, 0);
}

bool CoreCString::ConstructFourCharCode(FourCharCode in_code)
{
    Delete();
    printf("0x%08lx '%c%c%c%c'", static_cast<unsigned long>(in_code), char(in_code >> 24),
           char(in_code >> 16), char(in_code >> 8), char(in_code));
    return mBuffer != nullptr;
}

const char* CoreCString::HexDigitPairFromByte(unsigned char in_byte, char in_separator)
{
    static const char kDigits[] = "0123456789ABCDEF";
    // Per thread, so that two threads encoding at once do not mix their digits.
    static thread_local char sPair[4];
    sPair[0] = kDigits[in_byte >> 4];
    sPair[1] = kDigits[in_byte & 0x0F];
    if (in_separator == 0) {
        sPair[2] = 0;
    } else {
        const auto separator = static_cast<unsigned char>(in_separator);
        sPair[2] = (separator < 32 || separator >= 128) ? ' ' : in_separator;
        sPair[3] = 0;
    }
    return sPair;
}

const char* CoreCString::EncodeHexString(const void* in_data, size_t in_length,
                                         size_t in_max_length, char in_separator)
{
    size_t count = (in_max_length != 0 && in_max_length < in_length) ? in_max_length : in_length;
    if (in_data == nullptr)
        count = 0;
    const auto* bytes = static_cast<const unsigned char*>(in_data);

    // Data inside this object's own buffer is copied before the buffer is replaced.
    std::string own_copy;
    const std::less<const void*> before;
    if (count > 0 && mBuffer != nullptr && !before(in_data, mBuffer) &&
        before(in_data, mBuffer + mBufferSize)) {
        own_copy.assign(reinterpret_cast<const char*>(bytes), count);
        bytes = reinterpret_cast<const unsigned char*>(own_copy.data());
    }

    const size_t needed_size =
        count <= (kMaxBufferSize - 9) / 4 ? 4 * count + 9 : kMaxBufferSize + 1;
    if (!AllocBuffer(nullptr, needed_size))
        return mBuffer;
    char* out = mBuffer;
    for (size_t i = 0; i < count; ++i) {
        for (const char* pair = HexDigitPairFromByte(bytes[i], in_separator); *pair != 0; ++pair)
            *out++ = *pair;
    }
    *out = 0;
    return mBuffer;
}

const char* CoreCString::HexData(const void* in_data, size_t in_length, size_t in_max_length)
{
    return EncodeHexString(in_data, in_length, in_max_length, ' ');
}

const char* CoreCString::AsHexString()
{
    ThrowIfNoBuffer();
    if (mBuffer[0] == 0)
        return mBuffer;
    return EncodeHexString(mBuffer, strlen(), 0, ' ');
}

char* CoreCString::DecodeHexString(const char* in_hex_string)
{
    // A copy: the input may be this object's own text.
    const std::string hex = in_hex_string != nullptr ? in_hex_string : "";
    const size_t digits = static_cast<size_t>(
        std::count_if(hex.begin(), hex.end(), [](char c) { return HexValue(c) >= 0; }));
    const size_t count = digits / 2;
    if (!AllocBuffer(nullptr, count + 9))
        return mBuffer;
    size_t stored = 0;
    int high = -1;
    for (const char c : hex) {
        if (stored == count)
            break;
        const int value = HexValue(c);
        if (value < 0)
            continue;
        if (high < 0) {
            high = value;
        } else {
            mBuffer[stored++] = static_cast<char>((high << 4) | value);
            mBuffer[stored] = 0;
            high = -1;
        }
    }
    return mBuffer;
}

char* CoreCString::trim_leading_whitespace()
{
    ThrowIfNoBuffer();
    if (!IsSpace(mBuffer[0]))
        return mBuffer;
    size_t first = 0;
    while (mBuffer[first] != 0 && IsSpace(mBuffer[first]))
        ++first;
    if (mBuffer[first] == 0)
        return mBuffer;
    std::memmove(mBuffer, mBuffer + first, ::strlen(mBuffer + first) + 1);
    return mBuffer;
}

char* CoreCString::trim_trailing_whitespace()
{
    ThrowIfNoBuffer();
    size_t length = strlen();
    while (length > 0 && IsSpace(mBuffer[length - 1]))
        --length;
    mBuffer[length] = 0;
    return mBuffer;
}

char* CoreCString::trim_trailing_and_leading_whitespace()
{
    trim_leading_whitespace();
    return trim_trailing_whitespace();
}

double CoreCString::AsDouble() const
{
    ThrowIfNoBuffer();
    double value = 0.0;
    if (std::sscanf(mBuffer, "%lf", &value) != 1)
        return 0.0;
    return value;
}

bool CoreCString::operator==(const char* in_cstring) const
{
    ThrowIfNoBuffer();
    if (in_cstring == nullptr)
        throw CoreException("Nil exception pointer");
    return std::strcmp(mBuffer, in_cstring) == 0;
}

bool CoreCString::operator==(ConstStr255Param in_pstring) const
{
    ThrowIfNoBuffer();
    if (in_pstring == nullptr)
        throw CoreException("Nil exception pointer");
    return std::strcmp(mBuffer, PascalText(in_pstring).mText) == 0;
}

void CoreCString::AssignTo(char* out_cstring) const
{
    ThrowIfNoBuffer();
    if (out_cstring == nullptr)
        throw CoreException("Nil exception pointer");
    std::memmove(out_cstring, mBuffer, strlen() + 1);
}

void CoreCString::AssignTo(StringPtr out_pstring, size_t in_max_length) const
{
    if (out_pstring == nullptr)
        throw CoreException("Nil exception pointer");
    // One length byte counts at most 255 characters.
    const size_t length = std::min({strlen(), in_max_length, size_t(255)});
    if (length > 0)
        std::memmove(out_pstring + 1, mBuffer, length);
    out_pstring[0] = static_cast<unsigned char>(length);
}

void CoreCString::Empty()
{
    ThrowIfNoBuffer();
    mBuffer[0] = 0;
}

void CoreCString::Delete()
{
    delete[] mBuffer;
    mBuffer = nullptr;
    mBufferSize = 0;
}

bool import_CoreCString()
{
    return import_CoreMachDebugLog() && import_CorePString();
}
