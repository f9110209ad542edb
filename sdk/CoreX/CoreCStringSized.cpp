#include "CoreCStringSized.h"

#include <cstring>

#include "CoreMachDebugLog.h"

CoreCStringSized::CoreCStringSized(unsigned short in_size)
    : CoreCString(static_cast<const char*>(nullptr), in_size)
{
}

CoreCStringSized::CoreCStringSized(const char* in_cstring, unsigned short in_size)
    : CoreCString(in_cstring, in_size)
{
}

CoreCStringSized::CoreCStringSized(ConstStr255Param in_pstring, unsigned short in_size)
    : CoreCString(in_pstring, in_size)
{
}

CoreCStringSized::CoreCStringSized(const FSSpec* in_spec, unsigned short in_size)
    : CoreCString(in_spec, in_size)
{
}

CoreCStringSized::CoreCStringSized(const CoreCStringSized& in_string)
    : CoreCString(in_string, in_string.GetBufferSize())
{
}

CoreCStringSized& CoreCStringSized::operator=(const CoreCStringSized& in_string)
{
    CoreCStringSized text(in_string);
    Adopt(text);
    return *this;
}

void CoreCStringSized::strcat(const char* in_cstring)
{
    ThrowIfNoBuffer();
    if (in_cstring == nullptr)
        throw CoreException("Nil exception pointer");
    const size_t length = strlen();
    const size_t added = ::strnlen(in_cstring, mBufferSize);
    if (length + added >= size_t(mBufferSize) - 1)
        throw CoreException("Nil exception pointer");
    std::memmove(mBuffer + length, in_cstring, added);
    mBuffer[length + added] = 0;
}

CoreCStringSized& CoreCStringSized::operator+=(const char* in_cstring)
{
    strcat(in_cstring);
    return *this;
}

CoreCStringSized& CoreCStringSized::operator+=(ConstStr255Param in_pstring)
{
    if (in_pstring == nullptr)
        throw CoreException("Nil exception pointer");
    char text[sizeof(Str255)];
    std::memcpy(text, in_pstring + 1, in_pstring[0]);
    text[in_pstring[0]] = 0;
    strcat(text);
    return *this;
}

CoreCStringSized& CoreCStringSized::operator+=(const CoreCString& in_string)
{
    strcat(in_string.c_str());
    return *this;
}

void CoreCStringSized::truncate(size_t in_position)
{
    ThrowIfNoBuffer();
    if (in_position > strlen())
        throw CoreException("Nil exception pointer");
    mBuffer[in_position] = 0;
}

bool import_CoreCStringSized()
{
    return import_CoreCString();
}
