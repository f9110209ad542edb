// What a frei0r host should get from the camera input plug-in, worked out without it: broadcast
// frames and the no-camera picture, as the host's R, G, B, A bytes.
#pragma once

#include <string>
#include <vector>

#include "CIParallax3DInputResources.h"
#include "ChannelFrames.h"
#include "PNGDecoder.h"

namespace p3dtest {

// A, R, G, B pixels as R, G, B, A bytes.
inline std::string ArgbAsRgba(const UInt8* argb, size_t pixels)
{
    std::string rgba(pixels * 4, '\0');
    for (size_t i = 0; i < pixels; ++i) {
        rgba[4 * i] = char(argb[4 * i + 1]);
        rgba[4 * i + 1] = char(argb[4 * i + 2]);
        rgba[4 * i + 2] = char(argb[4 * i + 3]);
        rgba[4 * i + 3] = char(argb[4 * i]);
    }
    return rgba;
}

// The picture the plug-in carries, decoded by the engine's own decoder.
inline std::string NoCameraPictureRgba()
{
    const CIParallax3DInputResource png = CIParallax3DInputFindResource("CISpyglassInput", "png");
    CoreImage::DecodedImage picture;
    if (!png.bytes || !CoreImage::DecodePNG(png.bytes, png.size, picture))
        return std::string();
    return ArgbAsRgba(picture.pixels.data(), picture.width * picture.height);
}

// Broadcast frame n at 640 x 480.
inline std::string NumberedFrameRgba(UInt32 number)
{
    std::vector<UInt8> frame(kSharedCameraFrameSizeBytes);
    FillFrame(frame.data(), number);
    return ArgbAsRgba(frame.data(), size_t(kSharedCameraFrameWidth) * kSharedCameraFrameHeight);
}

} // namespace p3dtest
