// Where the virtual camera's frames go: a V4L2 output device, a file or a pipe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "OutputFormat.h"
#include "shared_camera_buffer.h"

// What the device states about itself, passed on to the output.
struct OutputSettings
{
    std::string deviceName = "Parallax3D";
    int width = kSharedCameraFrameWidth; // the device's source rectangle
    int height = kSharedCameraFrameHeight;
    OutputFormat format = OutputFormat::kYUYV;
    int framesPerSecond = 30;
};

class FrameOutput
{
public:
    virtual ~FrameOutput() = default;

    // Prepares for frames of in_settings. On failure out_error says what went wrong and what
    // to do about it, in words for the user. out_notice may carry a hint for the user even on
    // success (the device is labelled differently, say).
    virtual bool Open(const OutputSettings& in_settings, std::string& out_error,
                      std::string& out_notice) = 0;

    // One whole frame of OutputFrameBytes(). A frame the output cannot take just now is
    // dropped and answers true; false only for a failure that must end the run.
    virtual bool Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error) = 0;

    // An output that converts for itself (its consumers pick the format) takes A, R, G, B
    // frames of the settings' size where they lie, rows in_rowBytes apart: the shared channel's
    // memory, with no copy on the way. After converting it asks in_whole whether the pixels
    // stayed whole, and drops the frame when they did not.
    virtual bool ConvertsItself() const { return false; }
    virtual bool WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                             const std::function<bool()>& in_whole, std::string& out_error)
    {
        (void)in_argb, (void)in_rowBytes, (void)in_whole;
        out_error = Description() + " takes frames already converted";
        return false;
    }

    // What the frames go to, for messages: "/dev/video9", "standard output", a path.
    virtual std::string Description() const = 0;
};
