// The digitizer's loop: takes frames from the stamped channel while its writer is alive, as soon
// as they are published, and otherwise drives the virtual camera device in its calling order,
// keeping 30 frames a second on the monotonic clock; gives every frame to its output at the
// output's size (a frame of another size fitted between bars), converted.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FrameConverter.h"
#include "FrameOutput.h"
#include "StampedChannelReader.h"
#include "VCamStats.h"
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
    VirtualCamera(const SharedCamDeviceDispatch& in_device, FrameOutput& in_output,
                  std::string in_stampedPath = StampedChannelFile::DefaultPath());
    ~VirtualCamera();
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    // Constructs and connects the device, adds the suffix, and learns the name and source
    // rectangle. The output is given in_width x in_height; 0 x 0 is the size the stamped channel
    // broadcasts now, else the device's. False with a message when it cannot.
    bool Connect(OutputFormat in_format, const std::string* in_nameSuffix, std::string& out_error,
                 int in_width = 0, int in_height = 0);
    const OutputSettings& Settings() const { return mSettings; }

    // Writes frames until in_stop is set or in_frames are written (-1: no end), and the figures
    // into in_statsPath every second when one is given. False with a message when the output
    // fails.
    bool Run(long long in_frames, const std::atomic<bool>& in_stop, std::string& out_error,
             const std::string& in_statsPath = "");

    // Disconnects and destroys the device; also done on destruction.
    void Disconnect();

    const Counts& GetCounts() const { return mCounts; }
    const VCamStats& Stats() const { return mStats; }

private:
    // The device's current frame converted into mFrame; false when it had none.
    bool TakeFrame();
    // The stamped channel's newest frame, when new and whole, into mFrame with its capture time
    // (0 for one published before the run began).
    bool TakeStampedFrame(uint64_t& out_captureNs);
    // The stamped channel's newest frame into mFrame, for an output that was given it in place.
    void KeepChannelFrame();
    // The current frame to the output: mFrame, or the channel's newest in place. out_written
    // is false when there was none to give just now.
    bool WriteFrame(bool& out_written, std::string& out_error);
    // A frame of the source's size into out_frame at the output's size and format.
    void Convert(const uint8_t* in_argb, int in_rowBytes, int in_width, int in_height,
                 uint8_t* out_frame);

    const SharedCamDeviceDispatch& mDevice;
    FrameOutput& mOutput;
    SharedCamDeviceRef mInstance = nullptr;
    OutputSettings mSettings;
    std::unique_ptr<FrameConverter> mConverter;
    std::vector<uint8_t> mFrame;  // the frame written: the last delivered, or the picture
    std::vector<uint8_t> mNext;   // a stamped frame converted, until it is known whole
    std::vector<uint8_t> mFitted; // A,R,G,B at the output's size, for frames of another
    bool mInChannel = false;      // the frame written is the stamped channel's newest, not mFrame
    size_t mSourceBytes = 0;
    int mSourceWidth = 0; // the device's frames
    int mSourceHeight = 0;
    StampedChannelReader mStamped;
    uint64_t mRunStartNs = 0;
    Counts mCounts;
    VCamStats mStats;
};
