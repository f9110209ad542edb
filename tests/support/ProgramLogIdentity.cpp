#include "ProgramLogIdentity.h"

#include <cerrno>
#include <cstdio>

#include "CoreMachDebugLog.h"

// glibc names the program before any static object is built.
const char* g_CoreMachDebug_LogPrefix = program_invocation_short_name;

static char sLogFileName[kProgramLogFileNameSize];
char* g_CoreMachDebug_LogFileName = [] {
    snprintf(sLogFileName, sizeof(sLogFileName), "%s.log", program_invocation_short_name);
    return sLogFileName;
}();
