#include "CIColorSteps.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The place of each step in a pass's fixed order.
int Rank(CIColorStep::Op op)
{
    switch (op) {
    case CIColorStep::kWhitePoint:
        return 0;
    case CIColorStep::kExposure:
        return 1;
    case CIColorStep::kColorControls:
        return 2;
    }
    return 3;
}

} // namespace

bool CIColorStepPass::set(const CIColorStep* steps, size_t count)
{
    // Filling a program's tables costs hundreds of pow() calls: the same steps as last time
    // keep their programs.
    if (mProgramCount && matches(steps, count))
        return true;
    mProgramCount = 0;
    mStepCount = 0;
    mKernel.reset();
    if (count > kMaxSteps || (count && !steps))
        return false;
    std::copy(steps, steps + count, mSteps);
    mStepCount = count;
    int lastRank = 3;
    for (size_t i = 0; i < count; ++i) {
        const CIColorStep& step = steps[i];
        // A step that cannot follow the last one in the same pass starts a new pass.
        if (Rank(step.op) <= lastRank) {
            mPrograms[mProgramCount++] = CoreImage::ColorProgram();
        }
        lastRank = Rank(step.op);
        CoreImage::ColorProgram& program = mPrograms[mProgramCount - 1];
        const float* p = step.parameters;
        switch (step.op) {
        case CIColorStep::kWhitePoint:
            program.setWhitePoint(true, p[0], p[1], p[2]);
            break;
        case CIColorStep::kExposure:
            program.setExposure(true, p[0]);
            break;
        case CIColorStep::kColorControls:
            program.setColorControls(true, p[0], p[1], p[2]);
            break;
        }
    }
    // Fixed point on every path: even its scalar one keeps up with the float path's SSE2. An
    // identity first program is a copy; a kernel refused stays unready.
    if (mProgramCount && !mPrograms[0].isIdentity())
        mKernel.set(mPrograms[0]);
    return true;
}

void CIColorStepPass::applyRow(UInt8* argbRow, size_t width) const
{
    applyRow(argbRow, argbRow, width, false);
}

void CIColorStepPass::applyRow(const UInt8* src, UInt8* dst, size_t width, bool reversed) const
{
    if (!src || !dst)
        return;
    if (mKernel.ready())
        mKernel.apply(src, width, dst, reversed);
    else if (mProgramCount)
        mPrograms[0].applyARGB8Row(src, width, dst, reversed);
    else if (src != dst)
        CopyRow(src, dst, width, reversed);
    for (size_t i = 1; i < mProgramCount; ++i)
        mPrograms[i].applyARGB8Row(dst, width, dst);
}

void CIColorStepPass::CopyRow(const UInt8* src, UInt8* dst, size_t width, bool reversed)
{
    if (!reversed) {
        memmove(dst, src, 4 * width);
        return;
    }
    for (size_t i = 0; i < width; ++i) {
        uint32_t pixel;
        memcpy(&pixel, src + 4 * (width - 1 - i), 4);
        memcpy(dst + 4 * i, &pixel, 4);
    }
}

bool CIColorStepPass::matches(const CIColorStep* steps, size_t count) const
{
    if (count != mStepCount)
        return false;
    for (size_t i = 0; i < count; ++i)
        if (steps[i].op != mSteps[i].op ||
            memcmp(steps[i].parameters, mSteps[i].parameters, sizeof(steps[i].parameters)) != 0)
            return false;
    return true;
}
