// The size and pixel format of the frames the program hands on to other programs.
#pragma once

#include "MacTypes.h"
#include "QuickDraw.h"
#include "shared_camera_buffer.h"

struct QCamOutputFormat
{
    SInt16 width;
    SInt16 height;
    OSType pixelFormat;
};

class QCamOutputBase
{
public:
    // A constant, so that everything sized from it during static initialisation sees it set.
    static constexpr QCamOutputFormat sCameraFormat = {
        kSharedCameraFrameWidth, kSharedCameraFrameHeight, k32ARGBPixelFormat};
};
