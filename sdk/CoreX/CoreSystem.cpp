#include "CoreSystem.h"

#include <cstdlib>
#include <sys/utsname.h>

#include "CoreMachDebugLog.h"

UInt32 CoreSystem::VersionFromRelease(const char* in_release)
{
    if (!in_release)
        return 0;
    unsigned long parts[3] = {0, 0, 0};
    const char* text = in_release;
    for (unsigned long& part : parts) {
        if (*text < '0' || *text > '9')
            break;
        char* end = nullptr;
        part = strtoul(text, &end, 10);
        text = end;
        if (*text != '.')
            break;
        ++text;
    }
    auto clamp = [](unsigned long value, unsigned long top) { return value > top ? top : value; };
    return UInt32(clamp(parts[0], 0xFF) << 8 | clamp(parts[1], 15) << 4 | clamp(parts[2], 15));
}

UInt32 CoreSystem::GetVersion()
{
    static const UInt32 sVersion = [] {
        struct utsname system;
        return VERIFY(uname(&system) == 0) ? VersionFromRelease(system.release) : UInt32(0);
    }();
    return sVersion;
}

bool CoreSystem::IsEarlierThanRevision(CoreSystemName in_name)
{
    return (GetVersion() & 0xFFFF) < (UInt32(in_name) & 0xFFFF);
}

bool CoreSystem::IsAtLeast(CoreSystemName in_name)
{
    return (GetVersion() & 0xFFF0) >= (UInt32(in_name) & 0xFFF0);
}

bool CoreSystem::IsEarlier(CoreSystemName in_name)
{
    return (GetVersion() & 0xFFF0) < (UInt32(in_name) & 0xFFF0);
}

bool import_CoreSystem()
{
    return import_CoreMachDebugLog();
}
