// The per-pixel colour steps of the built-in filters, run over rows of A,R,G,B bytes in as few
// passes as their order allows: white point, exposure and colour controls in that order share
// one pass. The first pass reads its own source row, mirrored if need be, so a run of steps over
// pixel memory costs one pass from that memory to the destination; it runs in fixed point
// (ColorByteKernel) when its gains allow.
#pragma once

#include <cstddef>

#include "CIImage.h"
#include "ColorByteKernel.h"
#include "ColorOps.h"

class CIColorStepPass
{
public:
    static constexpr size_t kMaxSteps = 8;

    // The steps in the order they apply; false (and nothing set) for more than kMaxSteps.
    bool set(const CIColorStep* steps, size_t count);
    void applyRow(UInt8* argbRow, size_t width) const;
    // From src to dst; reversed reads src from its last pixel back (then they may not overlap).
    void applyRow(const UInt8* src, UInt8* dst, size_t width, bool reversed) const;

    // A plain copy of a row, mirrored when reversed.
    static void CopyRow(const UInt8* src, UInt8* dst, size_t width, bool reversed);

private:
    bool matches(const CIColorStep* steps, size_t count) const;

    CoreImage::ColorProgram mPrograms[kMaxSteps];
    // The first program in fixed point, when it is ready.
    CoreImage::ColorByteKernel mKernel;
    size_t mProgramCount = 0;
    CIColorStep mSteps[kMaxSteps];
    size_t mStepCount = 0;
};
