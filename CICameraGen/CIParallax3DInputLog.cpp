// The plug-in's log identity, built first when the plug-in is loaded so that anything reported
// while loading goes to the system log.
#include "CIParallax3DInput.h"
#include "CoreMachDebugLog.h"

const char* g_CoreMachDebug_LogPrefix = "CIParallax3DInput";
static char sLogFileName[] = "CIParallax3DInput.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

struct SelectSystemLog
{
    SelectSystemLog() { BundleInitFunc(); }
} sSelectSystemLog;

} // namespace
