#include "PipelineFigures.h"

#include <cstdio>

namespace {

std::string Number(double in_value, const char* in_format)
{
    char text[32];
    snprintf(text, sizeof text, in_format, in_value);
    return text;
}

std::string Shown(bool in_has, double in_value)
{
    return in_has ? Number(in_value, "%.1f") : "-";
}

std::string Json(bool in_has, double in_value)
{
    return in_has ? Number(in_value, "%.3f") : "null";
}

} // namespace

std::string PipelineFigures::text() const
{
    return "left " + Shown(true, framesPerSecond[0]) + " fps, right " +
           Shown(true, framesPerSecond[1]) + " fps, skew " + Shown(hasSkew, skewMs) +
           " ms, delay " + Shown(hasDelay, delayMedianMs) + " ms median, " +
           Shown(hasDelay, delay99Ms) + " ms p99, " + std::to_string(dropped) + " dropped";
}

std::string PipelineFigures::json() const
{
    return "{\"leftFps\": " + Number(framesPerSecond[0], "%.2f") +
           ", \"rightFps\": " + Number(framesPerSecond[1], "%.2f") +
           ", \"skewMs\": " + Json(hasSkew, skewMs) +
           ", \"delayMedianMs\": " + Json(hasDelay, delayMedianMs) +
           ", \"delay99Ms\": " + Json(hasDelay, delay99Ms) +
           ", \"dropped\": " + std::to_string(dropped) + "}\n";
}
