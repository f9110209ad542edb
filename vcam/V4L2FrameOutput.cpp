#include "V4L2FrameOutput.h"

#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <utility>
#include <vector>

#include "OutputFormat.h"
#include "V4L2System.h"

namespace {

std::string FourccText(uint32_t in_fourcc)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((in_fourcc >> (8 * i)) & 0x7f);
        text += c >= ' ' && c < 0x7f ? c : '?';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string SizeText(uint32_t in_width, uint32_t in_height)
{
    return std::to_string(in_width) + "x" + std::to_string(in_height);
}

// The number of a /dev/videoN node, "10" for any other: a node given back by the module.
std::string NodeNumber(const std::string& in_node)
{
    const std::string prefix = "/dev/video";
    if (in_node.size() > prefix.size() && in_node.compare(0, prefix.size(), prefix) == 0 &&
        in_node.find_first_not_of("0123456789", prefix.size()) == std::string::npos)
        return in_node.substr(prefix.size());
    return "10";
}

// The module load line, numbered like the node so that the same node comes back.
std::string LoadCommand(const std::string& in_node, const std::string& in_deviceName)
{
    return "sudo modprobe v4l2loopback video_nr=" + NodeNumber(in_node) + " card_label=\"" +
           in_deviceName + "\" exclusive_caps=1";
}

// The lines that make a loopback device and write to it; in_node is one that does not exist
// yet, or empty for /dev/video10.
std::string MakeDeviceHint(const std::string& in_node, const std::string& in_deviceName)
{
    return "\nMake one with v4l2loopback, then write to it:\n  " +
           LoadCommand(in_node, in_deviceName) + "\n  parallax3d-vcam --device /dev/video" +
           NodeNumber(in_node);
}

// What a failed system call means for the user, and what to do about it.
std::string SystemErrorText(int in_error, const std::string& in_node,
                            const OutputSettings& in_settings, const char* in_doing)
{
    switch (-in_error) {
    case ENOENT:
        return "no such device " + in_node + MakeDeviceHint(in_node, in_settings.deviceName);
    case ENOTTY: // opens, but answers no V4L2 call: /dev/null, a file
    case EISDIR:
        return in_node + " is not a video output device" +
               MakeDeviceHint(std::string(), in_settings.deviceName);
    case EBUSY:
        return "device " + in_node +
               " is busy: another program writes to it; close that program or pick another "
               "device with --device";
    case EACCES:
    case EPERM:
        return "no permission to open " + in_node + "; " + kV4L2VideoGroupHint;
    case ENOSPC: {
        std::string text = "no room on " + in_node + " for " +
                           OutputFormatName(in_settings.format) + " frames of " +
                           SizeText(uint32_t(in_settings.width), uint32_t(in_settings.height)) +
                           "; reload v4l2loopback (sudo modprobe -r v4l2loopback, then " +
                           LoadCommand(in_node, in_settings.deviceName) + ")";
        if (in_settings.format == OutputFormat::kARGB || in_settings.format == OutputFormat::kRGBA)
            text += " or use --format yuyv, whose frames are half the size";
        return text;
    }
    case ENODEV:
    case ENXIO:
        return in_node + " went away (was v4l2loopback unloaded?)";
    default:
        return std::string(in_doing) + " " + in_node + " failed: " + strerror(-in_error);
    }
}

} // namespace

V4L2FrameOutput::V4L2FrameOutput(std::string in_node) : mNode(std::move(in_node)) {}

V4L2FrameOutput::~V4L2FrameOutput() = default;

std::string V4L2FrameOutput::Description() const
{
    return mNode.empty() ? "the first V4L2 output device" : mNode;
}

bool V4L2FrameOutput::PickNode(std::string& out_error)
{
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    std::string denied;
    for (const std::string& node : nodes) {
        V4L2VideoDevice device(node, V4L2_BUF_TYPE_VIDEO_OUTPUT);
        const int err = device.Open();
        if (err == -EACCES || err == -EPERM)
            denied += (denied.empty() ? "" : ", ") + node;
        if (err == 0 && device.CanOutput()) {
            mNode = node;
            return true;
        }
    }
    out_error = "no video output device found";
    if (!denied.empty())
        out_error += " (no permission to open " + denied + "; " + kV4L2VideoGroupHint + ")";
    out_error += MakeDeviceHint(std::string(), mSettings.deviceName);
    return false;
}

bool V4L2FrameOutput::Negotiate(V4L2VideoDevice& io_device, std::string& out_error,
                                std::string& out_notice)
{
    const std::string& card = io_device.Card();
    if (!io_device.CanOutput()) {
        // With exclusive_caps=1 a loopback device shows only capture while a program writes.
        if (io_device.Driver() == "v4l2 loopback" && io_device.CanCapture())
            out_error = mNode + " (" + card +
                        ") is busy: another program writes to it; close that program or pick "
                        "another v4l2loopback device with --device";
        else
            out_error = mNode + " is not a video output device (" + card + ")" +
                        MakeDeviceHint(std::string(), mSettings.deviceName);
        return false;
    }
    if ((io_device.Capabilities() & V4L2_CAP_READWRITE) == 0) {
        out_error = mNode + " (" + card +
                    ") does not take written frames; pick a v4l2loopback device with --device";
        return false;
    }
    if (card != mSettings.deviceName)
        out_notice = "programs list " + mNode + " as \"" + card + "\"; to list it as \"" +
                     mSettings.deviceName +
                     "\", reload v4l2loopback: sudo modprobe -r v4l2loopback, then " +
                     LoadCommand(mNode, mSettings.deviceName);

    const uint32_t fourcc = OutputFormatFourcc(mSettings.format);
    const auto width = uint32_t(mSettings.width);
    const auto height = uint32_t(mSettings.height);
    const size_t rowBytes = OutputRowBytes(mSettings.format, mSettings.width);
    const std::string wanted = FourccText(fourcc) + " " + SizeText(width, height);

    // Start from what the device holds, so fields we do not set keep its values.
    v4l2_format format;
    if (io_device.GetFormat(format) != 0)
        format = {};
    v4l2_pix_format& pix = format.fmt.pix;
    pix.width = width;
    pix.height = height;
    pix.pixelformat = fourcc;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = uint32_t(rowBytes);
    pix.sizeimage = uint32_t(mFrameBytes);
    const bool yuv =
        mSettings.format == OutputFormat::kYUYV || mSettings.format == OutputFormat::kI420;
    pix.colorspace = yuv ? V4L2_COLORSPACE_SMPTE170M : V4L2_COLORSPACE_SRGB;
    int err = io_device.SetFormat(format);
    if (err == -EBUSY) {
        // A program still reads the device: fine if it reads our format (a restart).
        v4l2_format held;
        if (io_device.GetFormat(held) != 0) {
            out_error = mNode + " is busy: a program still reads it; close that program";
            return false;
        }
        const v4l2_pix_format& h = held.fmt.pix;
        if (h.pixelformat != fourcc || h.width != width || h.height != height) {
            out_error = mNode + " is busy: a program still reads it in " +
                        FourccText(h.pixelformat) + " " + SizeText(h.width, h.height) +
                        "; close that program";
            for (OutputFormat other : {OutputFormat::kYUYV, OutputFormat::kI420,
                                       OutputFormat::kARGB, OutputFormat::kRGBA})
                if (OutputFormatFourcc(other) == h.pixelformat && h.width == width &&
                    h.height == height)
                    out_error += " or use --format " + std::string(OutputFormatName(other));
            return false;
        }
        format = held;
    } else if (err != 0) {
        out_error = SystemErrorText(err, mNode, mSettings, ("setting " + wanted + " on").c_str());
        return false;
    }
    // Frames are written whole and packed: the device must take exactly that.
    if (pix.pixelformat != fourcc || pix.width != width || pix.height != height ||
        (pix.bytesperline != 0 && pix.bytesperline != rowBytes) ||
        (pix.sizeimage != 0 && pix.sizeimage < mFrameBytes)) {
        out_error = mNode + " offers " + FourccText(pix.pixelformat) + " " +
                    SizeText(pix.width, pix.height) + " (" + std::to_string(pix.bytesperline) +
                    " bytes a row, " + std::to_string(pix.sizeimage) + " a frame) instead of " +
                    wanted + " (" + std::to_string(rowBytes) + " bytes a row, " +
                    std::to_string(mFrameBytes) +
                    " a frame); try another --format or reload v4l2loopback";
        return false;
    }
    // Consumers read the rate, but a device without one still takes frames.
    if (mSettings.framesPerSecond > 0)
        io_device.SetFrameRate(mSettings.framesPerSecond);
    // Streaming once makes v4l2loopback announce capture to programs with our format. Written
    // frames do not need it, so only a device that went away is an error here.
    err = io_device.StreamOnOff();
    if (err == -ENODEV || err == -ENXIO) {
        out_error = SystemErrorText(err, mNode, mSettings, "starting");
        return false;
    }
    return true;
}

bool V4L2FrameOutput::Open(const OutputSettings& in_settings, std::string& out_error,
                           std::string& out_notice)
{
    mDevice.reset();
    mSettings = in_settings;
    if (in_settings.width <= 0 || in_settings.height <= 0) {
        out_error = "cannot write frames of " + std::to_string(in_settings.width) + "x" +
                    std::to_string(in_settings.height);
        return false;
    }
    mFrameBytes = OutputFrameBytes(in_settings.format, in_settings.width, in_settings.height);
    if (mNode.empty() && !PickNode(out_error))
        return false;

    auto device = std::make_unique<V4L2VideoDevice>(mNode, V4L2_BUF_TYPE_VIDEO_OUTPUT);
    if (const int err = device->Open(); err != 0) {
        out_error = SystemErrorText(err, mNode, mSettings, "opening");
        return false;
    }
    if (!Negotiate(*device, out_error, out_notice))
        return false;
    // A fresh descriptor writes frames, not streaming buffers.
    if (const int err = device->Open(); err != 0) {
        out_error = SystemErrorText(err, mNode, mSettings, "opening");
        return false;
    }
    mDevice = std::move(device);
    return true;
}

bool V4L2FrameOutput::Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error)
{
    if (!mDevice) {
        out_error = "frames written to " + Description() + " before it was opened";
        return false;
    }
    if (in_bytes != mFrameBytes) {
        out_error = "a frame of " + std::to_string(in_bytes) + " bytes for " + mNode +
                    ", which takes " + std::to_string(mFrameBytes);
        return false;
    }
    const ssize_t written = mDevice->Write(in_frame, in_bytes);
    if (written == -EAGAIN)
        return true; // the device has no room just now: drop this frame
    if (written < 0) {
        out_error = SystemErrorText(int(written), mNode, mSettings, "writing to");
        return false;
    }
    if (size_t(written) != in_bytes) {
        out_error = mNode + " took " + std::to_string(written) + " of the " +
                    std::to_string(in_bytes) +
                    " bytes of a frame; its frame size differs: reload v4l2loopback";
        return false;
    }
    return true;
}
