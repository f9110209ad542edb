// The per-pixel colour steps of the built-in filters, run over rows of A,R,G,B bytes in as few
// passes as their order allows: white point, exposure and colour controls in that order share
// one pass.
#pragma once

#include <cstddef>

#include "CIImage.h"
#include "ColorOps.h"

class CIColorStepPass
{
public:
    static constexpr size_t kMaxSteps = 8;

    // The steps in the order they apply; false (and nothing set) for more than kMaxSteps.
    bool set(const CIColorStep* steps, size_t count);
    void applyRow(UInt8* argbRow, size_t width) const;

private:
    bool matches(const CIColorStep* steps, size_t count) const;

    CoreImage::ColorProgram mPrograms[kMaxSteps];
    size_t mProgramCount = 0;
    CIColorStep mSteps[kMaxSteps];
    size_t mStepCount = 0;
};
