#include "CoreUserFileName.h"

#include <cstdlib>
#include <cstring>

#include "CoreMachDebugLog.h"
#include "SCDynamicStore.h"

CoreUserFileName::CoreUserFileName(CFStringRef in_format, const char* in_text)
{
    mFileName[0] = 0;
    if (in_format)
        CreateFileName(in_format, in_text);
}

void CoreUserFileName::CreateFileName(CFStringRef in_format, const char* in_text)
{
    if (!in_format || !in_text)
        return;
    CFStringRef currentUser = SCDynamicStoreCopyConsoleUser(nullptr, nullptr, nullptr);
    if (!VERIFY(currentUser))
        return;

    CFStringRef pathname =
        CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, in_format, currentUser, in_text);
    CFRelease(currentUser);
    if (!VERIFY(pathname))
        return;

    const CFIndex maximum =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(pathname), kCFStringEncodingUTF8);
    char* utf8_cstring = maximum >= 0 ? static_cast<char*>(malloc(size_t(maximum) + 1)) : nullptr;
    if (VERIFY(utf8_cstring)) {
        const bool success =
            CFStringGetCString(pathname, utf8_cstring, maximum + 1, kCFStringEncodingUTF8);
        if (VERIFY(success)) {
            const size_t length = strlen(utf8_cstring);
            if (VERIFY(length < sizeof(mFileName)))
                memcpy(mFileName, utf8_cstring, length + 1);
        }
        free(utf8_cstring);
    }
    CFRelease(pathname);
}

bool import_CoreUserFileName()
{
    return import_CoreMachDebugLog();
}
