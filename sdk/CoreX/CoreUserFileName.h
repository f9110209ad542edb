// A file name made for the user at the console from a format: %@ is the user's short name,
// %s the caller's text.
#pragma once

#include "CFString.h"

class CoreUserFileName
{
public:
    CoreUserFileName(CFStringRef in_format, const char* in_text);

    // Builds the name; on any failure the name is left as it was.
    void CreateFileName(CFStringRef in_format, const char* in_text);

    const char* c_str() const { return mFileName; }
    operator const char*() const { return mFileName; }

private:
    // Names that do not fit are refused, never cut: a cut name is some other file.
    char mFileName[1024];
};

static_assert(sizeof(CoreUserFileName) == 1024);

bool import_CoreUserFileName();
