// One device of the in-memory V4L2 driver (FakeV4L2): what it answers, the failures a test
// scripts, and the state it shows. Capture devices take frames from a test or a generator;
// output devices behave like v4l2loopback's: they take frames through Write and keep the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <linux/videodev2.h>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class FakeV4L2Device;

// Writes frames straight into a capture buffer, so a streaming device allocates nothing.
class FakeFrameSource
{
public:
    virtual ~FakeFrameSource() = default;
    virtual bool FrameReady(const FakeV4L2Device& in_device) = 0;
    // Bytes written into out_data (at most in_capacity), 0 for none; out_timeUs its time.
    virtual size_t FillFrame(const FakeV4L2Device& in_device, uint8_t* out_data, size_t in_capacity,
                             uint64_t* out_timeUs) = 0;
};

struct FakeFrameSize
{
    uint32_t width;
    uint32_t height;
};

class FakeV4L2Device
{
public:
    std::string card = "Fake Camera";
    std::string driver = "fake";
    std::string busInfo;   // where the device sits, "usb-0000:00:14.0-1"
    uint32_t capabilities; // device_caps; capture by default
    std::vector<std::string> inputs = {"Camera"};
    std::vector<uint32_t> formats;     // fourccs in ENUM_FMT order; YUYV by default
    std::vector<FakeFrameSize> sizes;  // what S_FMT accepts; 640 x 480 by default
    FakeFrameSize answerSize{0, 0};    // when set, S_FMT answers this whatever is asked
    uint32_t answerFourccOnce = 0;     // when set, the next S_FMT answers this format
    FakeFrameSource* source = nullptr; // not owned; pushed frames go first

    // Scripted failures: the ioctl answers -error until cleared (0).
    std::map<unsigned long, int> failIoctl;
    int failPoll = 0;           // poll reports this error
    int streamOnNoSpaceFor = 0; // STREAMON answers ENOSPC while this fourcc is set
    bool dqbufBadIndexOnce = false;
    int damagedFrames = 0; // the next frames come with V4L2_BUF_FLAG_ERROR
    uint32_t timestampFlags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC; // the stamps' clock

    // Output devices, as v4l2loopback with exclusive_caps=1 shows itself before a program reads.
    bool consumerHolds = false;      // a reader holds the format: S_FMT to another answers EBUSY
    bool heldFormatAnswered = false; // with consumerHolds, S_FMT answers the held format instead
    uint32_t answerSizeImage = 0;    // when set, the output formats answer this frame size
    int failOpen = 0;                // Open answers -failOpen until cleared
    int failWrite = 0;               // Write answers -failWrite until cleared
    size_t writeLimit = 0;           // when set, a write takes at most this many bytes
    // Each open gets a stream of its own (input, format, buffers), as on a device whose inputs
    // stream at once; the state fields below then stay the first open's.
    bool streamPerOpen = false;

    FakeV4L2Device();
    // Video output with read-write and streaming I/O, formats YUYV, YUV420, ARGB32 and RGBA32.
    void MakeOutput(const std::string& in_card);
    bool IsOutput() const;
    void PushFrame(const std::vector<uint8_t>& in_bytes, uint64_t in_timeUs = 0);

    // State as the device sees it.
    int currentInput = 0;
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool streaming = false;
    int openCount = 0;
    int streamOnCount = 0;
    size_t queueCount = 0; // QBUF calls
    int streamOffCount = 0;
    int openTotal = 0; // every Open that succeeded
    int lastOpenFlags = 0;
    uint32_t bytesPerLine = 0; // output: as asked or answered
    uint32_t colorspace = 0;
    uint32_t frameIntervalNum = 0; // output: the S_PARM time per frame
    uint32_t frameIntervalDen = 0;
    size_t framesWritten = 0; // output: Write calls that took bytes
    size_t bytesWritten = 0;
    std::vector<uint8_t> lastFrame;
    size_t QueuedBuffers() const;
    size_t BufferCount() const { return mBuffers.size(); }

private:
    friend class FakeV4L2;
    struct Buffer
    {
        std::vector<uint8_t> memory;
        bool queued = false;
        bool mapped = false;
    };
    int Ioctl(unsigned long in_request, void* io_arg);
    // The buffer mapped at this offset, as the driver's mmap answers it.
    int Map(size_t in_length, off_t in_offset, void** out_address);
    // The last descriptor went: streaming ends and the buffers go, as the kernel does.
    void LastClose();
    int OutputIoctl(unsigned long in_request, void* io_arg);
    ssize_t Write(const void* in_data, size_t in_size);
    uint32_t OutputFrameBytes() const;
    bool FrameReady() const;
    uint32_t FrameBytes() const;
    std::vector<Buffer> mBuffers;
    struct Pending
    {
        std::vector<uint8_t> bytes;
        uint64_t timeUs;
    };
    std::deque<Pending> mPending;
};
