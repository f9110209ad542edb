// The running system's version, and comparisons against named versions.
#pragma once

#include "MacTypes.h"

// Kernel versions as 0xMMmp: major, minor (0-15), patch (0-15).
enum CoreSystemName : UInt32 {
    kCoreSystemLinux5_10 = 0x05A0,
    kCoreSystemLinux6_1 = 0x0610,
};

class CoreSystem
{
public:
    // Asked once and kept.
    static UInt32 GetVersion();
    // The low 16 bits of the version against the name.
    static bool IsEarlierThanRevision(CoreSystemName in_name);
    // The version without its lowest four bits against the name.
    static bool IsAtLeast(CoreSystemName in_name);
    static bool IsEarlier(CoreSystemName in_name);

    // "6.1.0-18-amd64" gives 0x0610; minor and patch above 15 count as 15.
    static UInt32 VersionFromRelease(const char* in_release);
};

bool import_CoreSystem();
