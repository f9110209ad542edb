// The size and pixel format of the frames the program hands on to other programs.
#pragma once

#include <string>
#include <string_view>

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
    // The classic channel's frame, and the broadcast's size by default.
    static constexpr QCamOutputFormat sCameraFormat = {
        kSharedCameraFrameWidth, kSharedCameraFrameHeight, k32ARGBPixelFormat};
    static constexpr QCamOutputFormat sHDCameraFormat = {1280, 720, k32ARGBPixelFormat};
    // The sizes the broadcast offers, the classic first.
    static constexpr QCamOutputFormat sBroadcastFormats[] = {sCameraFormat, sHDCameraFormat};

    // "640x480" or "1280x720" to its format; false for any other text.
    static bool FormatNamed(std::string_view in_name, QCamOutputFormat& out_format);
    // The name FormatNamed reads: "1280x720".
    static std::string FormatName(const QCamOutputFormat& in_format);
    // The offered sizes as a user reads them: "640x480 or 1280x720".
    static std::string OfferedNames();
};

bool import_QCamOutputBase();
