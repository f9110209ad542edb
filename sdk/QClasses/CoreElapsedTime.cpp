#include "CoreElapsedTime.h"

#include <ctime>

namespace {

CoreElapsedTime::MicrosecondsProc sClock = &CoreElapsedTime::MonotonicMicroseconds;

} // namespace

UInt64 CoreElapsedTime::MonotonicMicroseconds()
{
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return UInt64(now.tv_sec) * 1000000u + UInt64(now.tv_nsec) / 1000u;
}

double CoreElapsedTime::Now()
{
    const UInt64 now = sClock();
    // Low and high words, as a 64-bit microsecond count is handed out in two halves.
    return double(UInt32(now)) + double(UInt32(now >> 32)) * 4294967296.0;
}

CoreElapsedTime::MicrosecondsProc CoreElapsedTime::SetClock(MicrosecondsProc in_clock)
{
    const MicrosecondsProc previous = sClock;
    sClock = in_clock != nullptr ? in_clock : &MonotonicMicroseconds;
    return previous;
}

bool import_CoreElapsedTime()
{
    return true;
}
