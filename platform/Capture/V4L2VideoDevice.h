// One V4L2 video node through the system-call seam: it owns its descriptor, keeps its names as
// strings, knows its state and serves capture or output by the buffer type it was made for.
// A device that answers ENODEV or EIO is lost: its buffers and descriptor go at once, and every
// later call answers that error until the device is opened again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <linux/videodev2.h>
#include <string>
#include <sys/types.h>
#include <vector>

// What a user who may not open a video node can do about it, for the programs' messages.
inline constexpr char kV4L2VideoGroupHint[] =
    "add yourself to the video group and log in again: sudo usermod -aG video $USER";

class V4L2VideoDevice
{
public:
    enum class State { kClosed, kOpen, kStreaming, kLost };

    // One dequeued buffer; its bytes stay valid until the buffer is queued again.
    struct Frame
    {
        uint32_t index = 0;
        const uint8_t* data = nullptr;
        size_t bytes = 0;
        uint64_t timeUs = 0;  // CLOCK_MONOTONIC
        bool corrupt = false; // the driver flagged the buffer as damaged
    };

    static constexpr uint32_t kMaxBuffers = 4;
    // Beyond these a driver's answer is not believed.
    static constexpr uint32_t kMaxInputs = 256;
    static constexpr uint32_t kMaxFormats = 64;
    static constexpr uint32_t kMaxFrameSizes = 64;

    explicit V4L2VideoDevice(std::string in_node,
                             uint32_t in_bufferType = V4L2_BUF_TYPE_VIDEO_CAPTURE);
    ~V4L2VideoDevice();
    V4L2VideoDevice(const V4L2VideoDevice&) = delete;
    V4L2VideoDevice& operator=(const V4L2VideoDevice&) = delete;

    // Opens the node (read-write, non-blocking) and reads its capabilities: 0 or a negative
    // errno. Opening an open device opens it afresh.
    int Open();
    void Close();

    const std::string& Node() const { return mNode; }
    State GetState() const { return mState; }
    bool IsOpen() const { return mState == State::kOpen || mState == State::kStreaming; }
    // The error that lost the device, 0 unless lost.
    int LostError() const { return mLostError; }

    // From VIDIOC_QUERYCAP, as the last Open read them.
    const std::string& Card() const { return mCard; }
    const std::string& Driver() const { return mDriver; }
    const std::string& BusInfo() const { return mBusInfo; }
    uint32_t Capabilities() const { return mCapabilities; } // of this node
    bool CanCapture() const { return (mCapabilities & V4L2_CAP_VIDEO_CAPTURE) != 0; }
    bool CanOutput() const { return (mCapabilities & V4L2_CAP_VIDEO_OUTPUT) != 0; }

    // The inputs' names in index order; empty for a device without inputs.
    std::vector<std::string> InputNames();
    int SetInput(int in_index);
    // The pixel formats of the device's buffer type, in the driver's order.
    std::vector<uint32_t> Formats();
    // The frame sizes the device offers in a pixel format.
    std::vector<v4l2_frmsizeenum> FrameSizes(uint32_t in_fourcc);
    int GetFormat(v4l2_format& out_format);
    // io_format.type is set to the device's buffer type; the answer comes back in io_format.
    int SetFormat(v4l2_format& io_format);
    int SetFrameRate(int in_framesPerSecond);

    // Memory-mapped streaming: up to kMaxBuffers buffers are asked for, mapped and queued, and
    // streaming starts. A failed start leaves the device open without buffers.
    int StartStreaming();
    // Streaming ends and the buffers go; the device stays open.
    void StopStreaming();
    // Streaming switched on and off without buffers, which makes a v4l2loopback output announce
    // its format to readers.
    int StreamOnOff();

    // > 0 when a buffer is ready, 0 when none is within the time, else a negative errno.
    int Poll(int in_timeoutMs);
    // -EAGAIN when no buffer is ready. A buffer the device never had is reported and gives a
    // frame without data.
    int Dequeue(Frame& out_frame);
    int Queue(uint32_t in_index);
    // Read-write output: the bytes taken, or a negative errno.
    ssize_t Write(const void* in_data, size_t in_size);

private:
    // Every call's result passes here: a lost device is let go.
    int Checked(int in_result);
    // What a call on a device that is not open answers.
    int NotOpenError() const;
    template <class Call> int WhenOpen(Call in_call)
    {
        return IsOpen() ? Checked(in_call()) : NotOpenError();
    }
    void ReleaseBuffers();

    struct Mapping
    {
        void* address = nullptr;
        size_t length = 0;
    };

    std::string mNode;
    uint32_t mType;
    int mFd = -1;
    State mState = State::kClosed;
    int mLostError = 0;
    std::string mCard;
    std::string mDriver;
    std::string mBusInfo;
    uint32_t mCapabilities = 0;
    Mapping mBuffers[kMaxBuffers];
    uint32_t mBufferCount = 0;
};
