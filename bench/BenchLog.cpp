// The log globals every program linking the foundation library defines, for the benchmarks.
#include "CoreMachDebugLog.h"

const char* g_CoreMachDebug_LogPrefix = "Parallax3DBench";
static char sLogFileName[] = "Parallax3DBench.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;
char CoreDebugBundleLogFileName::sPathName[1024] = "Parallax3D_XXX.log";
