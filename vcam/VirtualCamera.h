// The digitizer's loop: drives the virtual camera device in its calling order, keeps 30 frames
// a second on the monotonic clock, and gives every frame to its output, converted.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FrameConverter.h"
#include "FrameOutput.h"
#include "shared_cam_device_dispatch.h"

class VirtualCamera
{
public:
    // Between failed frames the device is asked again only this often, in frames: each failed
    // ask is reported by the device and may wait for a lock.
    static constexpr int kRetryInterval = 15;
    // How often, in frames, a replaced channel file (a broadcaster started anew) is looked for.
    static constexpr int kReplacedCheckInterval = 30;

    struct Counts
    {
        uint64_t written = 0;   // frames given to the output
        uint64_t delivered = 0; // frames the device handed out (each released once)
        uint64_t repeated = 0;  // written again because nothing new came
    };

    // Borrows the device table and the output for its whole life.
    VirtualCamera(const SharedCamDeviceDispatch& in_device, FrameOutput& in_output);
    ~VirtualCamera();
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    // Constructs and connects the device, adds the suffix, and learns the name, source
    // rectangle and frame size the output is given. False with a message when it cannot.
    bool Connect(OutputFormat in_format, const std::string* in_nameSuffix, std::string& out_error);
    const OutputSettings& Settings() const { return mSettings; }

    // Writes frames until in_stop is set or in_frames are written (-1: no end). False with a
    // message when the output fails.
    bool Run(long long in_frames, const std::atomic<bool>& in_stop, std::string& out_error);

    // Disconnects and destroys the device; also done on destruction.
    void Disconnect();

    const Counts& GetCounts() const { return mCounts; }

private:
    // The device's current frame converted into mFrame; false when it had none.
    bool TakeFrame();

    const SharedCamDeviceDispatch& mDevice;
    FrameOutput& mOutput;
    SharedCamDeviceRef mInstance = nullptr;
    OutputSettings mSettings;
    std::unique_ptr<FrameConverter> mConverter;
    std::vector<uint8_t> mFrame; // the frame written: the last delivered, or the picture
    size_t mSourceBytes = 0;
    Counts mCounts;
};
