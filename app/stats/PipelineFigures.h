// The pipeline's figures at one moment, as PipelineStats gives them, in words and as JSON.
#pragma once

#include <string>

struct PipelineFigures
{
    double framesPerSecond[2] = {0, 0}; // left, right
    bool hasSkew = false;
    double skewMs = 0; // median, right eye's capture minus the left's
    bool hasDelay = false;
    double delayMedianMs = 0, delay99Ms = 0; // the older eye's capture to the publish
    unsigned long dropped = 0; // frames the grabbers took that no tick used, since the start

    // "left 30.0 fps, right 30.0 fps, skew 10.0 ms, delay 12.3 ms median, 20.5 ms p99, 0
    // dropped"; a figure without samples reads "-".
    std::string text() const;
    // The same figures for scripts; null for a figure without samples.
    std::string json() const;
};
