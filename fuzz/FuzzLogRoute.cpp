// Fuzz targets report to the system log without an echo: the file route would write into the
// real home folder, and an echo would bury the fuzzer's own output.
#include "CoreMachDebugLog.h"

static const bool sRouteSelected = [] {
    CoreMachDebugLogSetUseLogger(kCoreLogOutputSyslog);
    return true;
}();
