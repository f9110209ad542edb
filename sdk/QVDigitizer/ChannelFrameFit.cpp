#include "ChannelFrameFit.h"

#include <algorithm>
#include <cstdint>
#include <libyuv/planar_functions.h>
#include <libyuv/scale_argb.h>

namespace {

// A, R, G, B in memory: opaque black.
constexpr uint32_t kOpaqueBlack = 0x000000FF;

} // namespace

ChannelFrameRect FitChannelFrame(int in_width, int in_height, int in_frameWidth, int in_frameHeight)
{
    if (in_width <= 0 || in_height <= 0)
        return {0, 0, in_frameWidth, in_frameHeight};
    // Width-bound when the picture is wider than the frame, in whole numbers.
    int width = in_frameWidth, height = in_frameHeight;
    if (int64_t(in_width) * in_frameHeight > int64_t(in_height) * in_frameWidth)
        height = int(int64_t(in_frameWidth) * in_height / in_width) & ~1;
    else
        width = int(int64_t(in_frameHeight) * in_width / in_height) & ~1;
    return {((in_frameWidth - width) / 2) & ~1, ((in_frameHeight - height) / 2) & ~1, width,
            height};
}

void FitChannelFrameInto(const uint8_t* in_source, int in_sourceRowBytes, int in_width,
                         int in_height, uint8_t* out_frame, int in_frameRowBytes, int in_frameWidth,
                         int in_frameHeight)
{
    if (in_width == in_frameWidth && in_height == in_frameHeight) {
        libyuv::ARGBCopy(in_source, in_sourceRowBytes, out_frame, in_frameRowBytes, in_width,
                         in_height);
        return;
    }
    const ChannelFrameRect fit =
        FitChannelFrame(in_width, in_height, in_frameWidth, in_frameHeight);
    const int right = fit.x + fit.width, bottom = fit.y + fit.height;
    libyuv::ARGBRect(out_frame, in_frameRowBytes, 0, 0, in_frameWidth, fit.y, kOpaqueBlack);
    libyuv::ARGBRect(out_frame, in_frameRowBytes, 0, bottom, in_frameWidth, in_frameHeight - bottom,
                     kOpaqueBlack);
    libyuv::ARGBRect(out_frame, in_frameRowBytes, 0, fit.y, fit.x, fit.height, kOpaqueBlack);
    libyuv::ARGBRect(out_frame, in_frameRowBytes, right, fit.y, in_frameWidth - right, fit.height,
                     kOpaqueBlack);
    libyuv::ARGBScale(in_source, in_sourceRowBytes, in_width, in_height,
                      out_frame + size_t(fit.y) * size_t(in_frameRowBytes) + size_t(fit.x) * 4,
                      in_frameRowBytes, fit.width, fit.height, libyuv::kFilterBox);
}
