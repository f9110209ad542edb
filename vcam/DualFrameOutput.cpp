#include "DualFrameOutput.h"

#include <utility>

DualFrameOutput::DualFrameOutput(std::unique_ptr<FrameOutput> in_device,
                                 OutputFormat in_deviceFormat,
                                 std::unique_ptr<FrameOutput> in_camera)
    : mDevice(std::move(in_device)), mDeviceFormat(in_deviceFormat), mCamera(std::move(in_camera))
{
}

bool DualFrameOutput::Open(const OutputSettings& in_settings, std::string& out_error,
                           std::string& out_notice)
{
    if (in_settings.format != OutputFormat::kARGB) {
        out_error = "two outputs take A, R, G, B frames";
        return false;
    }
    OutputSettings device = in_settings;
    device.format = mDeviceFormat;
    mConverter =
        std::make_unique<FrameConverter>(mDeviceFormat, in_settings.width, in_settings.height);
    if (!mConverter->IsValid()) {
        out_error = "frames of " + std::to_string(in_settings.width) + " x " +
                    std::to_string(in_settings.height) + " cannot be written as " +
                    OutputFormatName(mDeviceFormat);
        return false;
    }
    if (!mDevice->Open(device, out_error, out_notice))
        return false;
    mDeviceFrame.assign(mConverter->OutputBytes(), 0);
    SetFrameSize(in_settings.width, in_settings.height);

    std::string cameraError, cameraNotice;
    if (!mCamera->Open(in_settings, cameraError, cameraNotice)) {
        cameraNotice = cameraError + "; going on with " + mDevice->Description() + " alone";
        mCamera.reset();
    }
    if (!cameraNotice.empty())
        out_notice += (out_notice.empty() ? "" : "\n") + cameraNotice;
    return true;
}

bool DualFrameOutput::WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                                  const std::function<bool()>& in_whole, std::string& out_error)
{
    mConverter->Convert(in_argb, in_rowBytes, mDeviceFrame.data());
    if (!in_whole())
        return true; // dropped by both
    if (!mDevice->Write(mDeviceFrame.data(), mDeviceFrame.size(), out_error))
        return false;
    return mCamera == nullptr || mCamera->WritePixels(in_argb, in_rowBytes, in_whole, out_error);
}

std::string DualFrameOutput::Description() const
{
    return mCamera == nullptr ? mDevice->Description()
                              : mDevice->Description() + " and " + mCamera->Description();
}
