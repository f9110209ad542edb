// The log identity of the programs that are not deliverables (test suites, their helpers,
// benchmarks, fuzz targets): each logs under its own program name, to "<name>.log".
#pragma once

#include <cstddef>

// The size of the buffer g_CoreMachDebug_LogFileName points at, for a program that renames it.
constexpr size_t kProgramLogFileNameSize = 1024;
