// Elapsed time from a microsecond clock that tests can replace, so time-driven behaviour is
// tested without waiting.
#pragma once

#include "MacTypes.h"

class CoreElapsedTime
{
public:
    // Microseconds from an arbitrary origin; monotonic.
    typedef UInt64 (*MicrosecondsProc)();

    CoreElapsedTime() { Restart(); }

    void Restart() { mStartTime = Now(); }
    double ElapsedMicroseconds() const { return Now() - mStartTime; }
    double ElapsedSeconds() const { return ElapsedMicroseconds() / 1000 / 1000; }

    static double Now();
    // Installs the process-wide clock (null: the monotonic clock) and answers the previous one.
    static MicrosecondsProc SetClock(MicrosecondsProc in_clock);
    static UInt64 MonotonicMicroseconds();

    double mStartTime;
};

bool import_CoreElapsedTime();
