// Frames written to a V4L2 video output device (v4l2loopback), through the system-call seam.
#pragma once

#include <memory>

#include "FrameOutput.h"
#include "V4L2VideoDevice.h"

class V4L2FrameOutput : public FrameOutput
{
public:
    // An empty node picks the first /dev/video* in version order that offers video output.
    explicit V4L2FrameOutput(std::string in_node = std::string());
    ~V4L2FrameOutput() override;
    V4L2FrameOutput(const V4L2FrameOutput&) = delete;
    V4L2FrameOutput& operator=(const V4L2FrameOutput&) = delete;

    bool Open(const OutputSettings& in_settings, std::string& out_error,
              std::string& out_notice) override;
    bool Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error) override;
    std::string Description() const override;

private:
    bool PickNode(std::string& out_error);
    bool Negotiate(V4L2VideoDevice& io_device, std::string& out_error, std::string& out_notice);

    std::string mNode;
    std::unique_ptr<V4L2VideoDevice> mDevice; // open once negotiated
    OutputSettings mSettings;
    size_t mFrameBytes = 0;
};
