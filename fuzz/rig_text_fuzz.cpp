// Rig texts come from the command line and the environment: any bytes give a rig within its
// ranges or a reason, and a rig that is taken reads back the same from its numbers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "TestPatternRig.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TestPatternRig rig;
    rig.k1 = 0.25; // untouched on refusal
    std::string reason;
    if (!TestPatternRig::Parse(text, rig, reason)) {
        Check(!reason.empty() && rig.k1 == 0.25);
        return 0;
    }
    for (double value : {rig.verticalPx, rig.rollDeg, rig.focalPercent, rig.k1})
        Check(std::isfinite(value) && std::fabs(value) <= 100);
    return 0;
}
