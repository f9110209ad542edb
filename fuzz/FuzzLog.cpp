// Log globals for the fuzz targets. Reports go to the system log, so the file route never
// touches the real home folder.
#include "CoreMachDebugLog.h"

const char* g_CoreMachDebug_LogPrefix = "Parallax3DFuzz";
static char sLogFileName[] = "Parallax3DFuzz.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;
char CoreDebugBundleLogFileName::sPathName[1024] = "Parallax3D_XXX.log";

static const bool sRouteSelected = [] {
    CoreMachDebugLogSetUseLogger(kCoreLogOutputSyslog);
    return true;
}();
