// A device output and a PipeWire camera fed by one loop. Frames come as A, R, G, B: the device
// gets them converted to its format, the camera as they are (it converts for its consumers).
// The camera comes second: where it cannot open, the device goes on alone.
#pragma once

#include <memory>
#include <vector>

#include "FrameConverter.h"
#include "SelfConvertingOutput.h"

class DualFrameOutput : public SelfConvertingOutput
{
public:
    DualFrameOutput(std::unique_ptr<FrameOutput> in_device, OutputFormat in_deviceFormat,
                    std::unique_ptr<FrameOutput> in_camera);

    // in_settings.format must be kARGB; the device is opened in its own format.
    bool Open(const OutputSettings& in_settings, std::string& out_error,
              std::string& out_notice) override;
    bool WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                     const std::function<bool()>& in_whole, std::string& out_error) override;
    std::string Description() const override;

private:
    std::unique_ptr<FrameOutput> mDevice;
    OutputFormat mDeviceFormat;
    std::unique_ptr<FrameOutput> mCamera; // gone when it could not open
    std::unique_ptr<FrameConverter> mConverter;
    std::vector<uint8_t> mDeviceFrame;
};
