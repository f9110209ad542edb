// A CoreCString whose capacity is fixed at construction: appending never grows it.
#pragma once

#include "CoreCString.h"

class CoreCStringSized : public CoreCString
{
public:
    explicit CoreCStringSized(unsigned short in_size);
    CoreCStringSized(const char* in_cstring, unsigned short in_size);
    CoreCStringSized(ConstStr255Param in_pstring, unsigned short in_size);
    CoreCStringSized(const FSSpec* in_spec, unsigned short in_size);
    // Copies keep the capacity along with the text.
    CoreCStringSized(const CoreCStringSized& in_string);
    CoreCStringSized& operator=(const CoreCStringSized& in_string);

    // Appends only while one byte more than the terminator needs stays free; otherwise, and
    // for a null text, throws CoreException.
    void strcat(const char* in_cstring);
    CoreCStringSized& operator+=(const char* in_cstring);
    CoreCStringSized& operator+=(ConstStr255Param in_pstring);
    CoreCStringSized& operator+=(const CoreCString& in_string);

    // Ends the text at a position from 0 to its length; any other position throws.
    void truncate(size_t in_position);
};

bool import_CoreCStringSized();
