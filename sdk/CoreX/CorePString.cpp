#include "CorePString.h"

#include <algorithm>
#include <cstring>

#include "CoreMachDebugLog.h"

CorePString::CorePString() : mString{} {}

CorePString::CorePString(const char* in_cstring) : mString{}
{
    *this = in_cstring;
}

CorePString::CorePString(ConstStr255Param in_pstring) : mString{}
{
    *this = in_pstring;
}

void CorePString::SetLength(size_t in_length)
{
    mString[0] = static_cast<unsigned char>(in_length);
    mString[in_length + 1] = 0;
}

CorePString& CorePString::operator=(const char* in_cstring)
{
    const size_t length = in_cstring != nullptr ? ::strnlen(in_cstring, kMaxLength) : 0;
    if (length > 0)
        std::memmove(mString + 1, in_cstring, length);
    SetLength(length);
    return *this;
}

CorePString& CorePString::operator=(ConstStr255Param in_pstring)
{
    const size_t length = in_pstring != nullptr ? in_pstring[0] : 0;
    if (length > 0)
        std::memmove(mString + 1, in_pstring + 1, length);
    SetLength(length);
    return *this;
}

bool CorePString::strcatc(char in_char)
{
    const size_t length = strlen();
    if (length >= kMaxLength)
        return false;
    mString[length + 1] = static_cast<unsigned char>(in_char);
    SetLength(length + 1);
    return true;
}

bool CorePString::strcat(ConstStr255Param in_pstring)
{
    if (in_pstring == nullptr)
        return true;
    const size_t length = strlen();
    const size_t total_length = length + in_pstring[0];
    VERIFY(total_length <= kMaxLength);
    const size_t added = total_length <= kMaxLength ? in_pstring[0] : kMaxLength - length;
    std::memmove(mString + 1 + length, in_pstring + 1, added);
    SetLength(length + added);
    return total_length <= kMaxLength;
}

void CorePString::strcpy(StringPtr out_pstring, size_t in_max_length) const
{
    if (out_pstring == nullptr)
        throw CoreException("Nil exception pointer");
    const size_t length = std::min(strlen(), std::min(in_max_length, kMaxLength));
    std::memmove(out_pstring + 1, mString + 1, length);
    out_pstring[0] = static_cast<unsigned char>(length);
}

void CorePString::AssignTo(StringPtr out_pstring, size_t in_max_length) const
{
    strcpy(out_pstring, in_max_length);
}

void CorePString::AssignTo(char* out_cstring) const
{
    if (out_cstring == nullptr)
        throw CoreException("Nil exception pointer");
    std::memmove(out_cstring, c_str(), string_size());
}

bool CorePString::operator==(ConstStr255Param in_pstring) const
{
    if (in_pstring == nullptr)
        throw CoreException("Nil exception pointer");
    char other[sizeof(Str255)];
    std::memcpy(other, in_pstring + 1, in_pstring[0]);
    other[in_pstring[0]] = 0;
    return std::strcmp(c_str(), other) == 0;
}

bool CorePString::operator==(const char* in_cstring) const
{
    if (in_cstring == nullptr)
        throw CoreException("Nil exception pointer");
    return std::strcmp(c_str(), in_cstring) == 0;
}

bool CorePString::operator==(const CorePString& in_string) const
{
    return std::strcmp(c_str(), in_string.c_str()) == 0;
}

bool import_CorePString()
{
    return import_CoreMachDebugLog();
}
