// An image's pixels as the engine draws them, for tests to compare byte for byte.
#pragma once

#include <vector>

#include "CIContext.h"

namespace p3dtest {

// width x height A, R, G, B bytes with the image drawn at the origin, over a ground of 0x55
// bytes so that pixels it leaves undrawn show.
inline std::vector<UInt8> RenderImage(const CIImage* image, size_t width, size_t height)
{
    std::vector<UInt8> out(width * height * 4, 0x55);
    CFPtr<CIContext> context =
        CIContext::contextWithARGBMemory(out.data(), width * 4, width, height);
    context->drawImage(image, CGPointMake(0, 0), CGRectMake(0, 0, CGFloat(width), CGFloat(height)));
    return out;
}

} // namespace p3dtest
