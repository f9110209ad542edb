#include "FakeV4L2Device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <utility>

// Buffers are found again by mmap through their offset, one slot per buffer index.
static constexpr uint32_t kOffsetStep = 1u << 20;

FakeV4L2Device::FakeV4L2Device()
    : capabilities(V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING), formats{V4L2_PIX_FMT_YUYV},
      sizes{{640, 480}}
{
}

void FakeV4L2Device::MakeOutput(const std::string& in_card)
{
    card = in_card;
    driver = "v4l2 loopback";
    capabilities = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_READWRITE | V4L2_CAP_STREAMING;
    inputs.clear();
    formats = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_ARGB32, V4L2_PIX_FMT_RGBA32};
}

bool FakeV4L2Device::IsOutput() const
{
    return (capabilities & V4L2_CAP_VIDEO_OUTPUT) != 0;
}

void FakeV4L2Device::PushFrame(const std::vector<uint8_t>& in_bytes, uint64_t in_timeUs)
{
    mPending.push_back({in_bytes, in_timeUs});
}

size_t FakeV4L2Device::QueuedBuffers() const
{
    return size_t(
        std::count_if(mBuffers.begin(), mBuffers.end(), [](const Buffer& b) { return b.queued; }));
}

uint32_t FakeV4L2Device::FrameBytes() const
{
    if (fourcc == V4L2_PIX_FMT_MJPEG)
        return width * height * 2 + 4096; // what drivers answer: room for the worst case
    if (fourcc == V4L2_PIX_FMT_NV12 || fourcc == V4L2_PIX_FMT_YUV420)
        return width * height * 3 / 2;
    return width * height * 2;
}

static uint32_t OutputRowBytes(uint32_t in_fourcc, uint32_t in_width)
{
    switch (in_fourcc) {
    case V4L2_PIX_FMT_ARGB32:
    case V4L2_PIX_FMT_RGBA32:
    case V4L2_PIX_FMT_ABGR32:
    case V4L2_PIX_FMT_XRGB32:
    case V4L2_PIX_FMT_BGR32:
    case V4L2_PIX_FMT_RGB32:
        return in_width * 4;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
        return in_width * 3;
    case V4L2_PIX_FMT_YUV420: // the luma plane's rows
        return in_width;
    default:
        return in_width * 2;
    }
}

uint32_t FakeV4L2Device::OutputFrameBytes() const
{
    if (answerSizeImage != 0)
        return answerSizeImage;
    if (fourcc == V4L2_PIX_FMT_YUV420)
        return width * height * 3 / 2;
    return OutputRowBytes(fourcc, width) * height;
}

bool FakeV4L2Device::FrameReady() const
{
    if (!streaming || QueuedBuffers() == 0)
        return false;
    return !mPending.empty() || (source != nullptr && source->FrameReady(*this));
}

static void CopyName(uint8_t* out_field, size_t in_size, const std::string& in_name)
{
    // The kernel's fields are fixed and NUL-terminated; longer names are cut.
    std::memset(out_field, 0, in_size);
    std::memcpy(out_field, in_name.data(), std::min(in_name.size(), in_size - 1));
}

int FakeV4L2Device::Ioctl(unsigned long in_request, void* io_arg)
{
    const auto failure = failIoctl.find(in_request);
    if (failure != failIoctl.end() && failure->second != 0)
        return -failure->second;
    if (IsOutput() && in_request != VIDIOC_QUERYCAP)
        return OutputIoctl(in_request, io_arg);
    switch (in_request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(io_arg);
        std::memset(cap, 0, sizeof *cap);
        CopyName(cap->driver, sizeof cap->driver, driver);
        CopyName(cap->card, sizeof cap->card, card);
        CopyName(cap->bus_info, sizeof cap->bus_info, busInfo);
        // A loopback device that a program reads shows capture as well.
        cap->device_caps = capabilities | (consumerHolds ? V4L2_CAP_VIDEO_CAPTURE : 0);
        cap->capabilities = cap->device_caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* input = static_cast<v4l2_input*>(io_arg);
        if (input->index >= inputs.size())
            return -EINVAL;
        const uint32_t index = input->index;
        std::memset(input, 0, sizeof *input);
        input->index = index;
        input->type = V4L2_INPUT_TYPE_CAMERA;
        CopyName(input->name, sizeof input->name, inputs[index]);
        return 0;
    }
    case VIDIOC_S_INPUT: {
        const int index = *static_cast<int*>(io_arg);
        if (index < 0 || size_t(index) >= inputs.size())
            return -EINVAL;
        if (streaming)
            return -EBUSY;
        currentInput = index;
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int*>(io_arg) = currentInput;
        return 0;
    case VIDIOC_ENUM_FMT: {
        auto* desc = static_cast<v4l2_fmtdesc*>(io_arg);
        if (desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc->index >= formats.size())
            return -EINVAL;
        desc->pixelformat = formats[desc->index];
        desc->flags = desc->pixelformat == V4L2_PIX_FMT_MJPEG ? V4L2_FMT_FLAG_COMPRESSED : 0;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* size = static_cast<v4l2_frmsizeenum*>(io_arg);
        if (size->index >= sizes.size() ||
            std::find(formats.begin(), formats.end(), size->pixel_format) == formats.end())
            return -EINVAL;
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete.width = sizes[size->index].width;
        size->discrete.height = sizes[size->index].height;
        return 0;
    }
    case VIDIOC_S_FMT:
    case VIDIOC_G_FMT: {
        auto* format = static_cast<v4l2_format*>(io_arg);
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        if (in_request == VIDIOC_S_FMT) {
            if (streaming || !mBuffers.empty())
                return -EBUSY;
            if (formats.empty() || sizes.empty())
                return -EINVAL;
            const v4l2_pix_format& asked = format->fmt.pix;
            fourcc = std::find(formats.begin(), formats.end(), asked.pixelformat) != formats.end()
                         ? asked.pixelformat
                         : formats.front();
            if (answerFourccOnce != 0)
                fourcc = std::exchange(answerFourccOnce, 0);
            FakeFrameSize answer = sizes.front();
            for (const FakeFrameSize& s : sizes)
                if (s.width == asked.width && s.height == asked.height)
                    answer = s;
            if (answerSize.width != 0 || answerSize.height != 0)
                answer = answerSize;
            width = answer.width;
            height = answer.height;
        }
        std::memset(&format->fmt, 0, sizeof format->fmt);
        format->fmt.pix.width = width;
        format->fmt.pix.height = height;
        format->fmt.pix.pixelformat = fourcc;
        format->fmt.pix.field = V4L2_FIELD_NONE;
        format->fmt.pix.bytesperline = fourcc == V4L2_PIX_FMT_MJPEG ? 0 : width * 2;
        format->fmt.pix.sizeimage = FrameBytes();
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(io_arg);
        if (req->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || req->memory != V4L2_MEMORY_MMAP)
            return -EINVAL;
        if (streaming)
            return -EBUSY;
        mBuffers.clear();
        mBuffers.resize(std::min<uint32_t>(req->count, 8));
        for (Buffer& b : mBuffers)
            b.memory.assign(FrameBytes(), 0);
        req->count = uint32_t(mBuffers.size());
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto* buf = static_cast<v4l2_buffer*>(io_arg);
        if (buf->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buf->index >= mBuffers.size())
            return -EINVAL;
        Buffer& b = mBuffers[buf->index];
        if (in_request == VIDIOC_QBUF) {
            if (b.queued)
                return -EINVAL;
            b.queued = true;
            ++queueCount;
        }
        buf->memory = V4L2_MEMORY_MMAP;
        buf->length = uint32_t(b.memory.size());
        buf->m.offset = buf->index * kOffsetStep;
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto* buf = static_cast<v4l2_buffer*>(io_arg);
        if (!FrameReady())
            return -EAGAIN;
        auto slot = std::find_if(mBuffers.begin(), mBuffers.end(),
                                 [](const Buffer& b) { return b.queued; });
        Buffer& b = *slot;
        b.queued = false;
        uint64_t timeUs = 0;
        size_t used = 0;
        if (!mPending.empty()) {
            used = std::min(mPending.front().bytes.size(), b.memory.size());
            std::memcpy(b.memory.data(), mPending.front().bytes.data(), used);
            timeUs = mPending.front().timeUs;
            mPending.pop_front();
        } else {
            used = source->FillFrame(*this, b.memory.data(), b.memory.size(), &timeUs);
        }
        buf->index = uint32_t(slot - mBuffers.begin());
        if (dqbufBadIndexOnce) {
            dqbufBadIndexOnce = false;
            buf->index = uint32_t(mBuffers.size()) + 7;
        }
        buf->memory = V4L2_MEMORY_MMAP;
        buf->flags = (damagedFrames > 0 ? V4L2_BUF_FLAG_ERROR : 0) | timestampFlags;
        damagedFrames = std::max(damagedFrames - 1, 0);
        buf->bytesused = uint32_t(used);
        buf->length = uint32_t(b.memory.size());
        buf->timestamp.tv_sec = time_t(timeUs / 1000000);
        buf->timestamp.tv_usec = suseconds_t(timeUs % 1000000);
        return 0;
    }
    case VIDIOC_STREAMON:
        if (mBuffers.empty())
            return -EINVAL;
        ++streamOnCount;
        if (streamOnNoSpaceFor != 0 && streamOnNoSpaceFor == int(fourcc))
            return -ENOSPC;
        streaming = true;
        return 0;
    case VIDIOC_STREAMOFF:
        streaming = false;
        for (Buffer& b : mBuffers)
            b.queued = false;
        return 0;
    default:
        return -ENOTTY;
    }
}

int FakeV4L2Device::OutputIoctl(unsigned long in_request, void* io_arg)
{
    switch (in_request) {
    case VIDIOC_S_FMT:
    case VIDIOC_G_FMT: {
        auto* format = static_cast<v4l2_format*>(io_arg);
        if (format->type != V4L2_BUF_TYPE_VIDEO_OUTPUT)
            return -EINVAL;
        if (in_request == VIDIOC_S_FMT) {
            const v4l2_pix_format& asked = format->fmt.pix;
            const uint32_t answer =
                std::find(formats.begin(), formats.end(), asked.pixelformat) != formats.end()
                    ? asked.pixelformat
                    : formats.front();
            const bool same = answer == fourcc && asked.width == width && asked.height == height;
            if (streaming && !same)
                return -EBUSY;
            if (consumerHolds && !same) {
                if (!heldFormatAnswered)
                    return -EBUSY;
            } else {
                fourcc = answer;
                width = answerSize.width != 0 ? answerSize.width : asked.width;
                height = answerSize.height != 0 ? answerSize.height : asked.height;
                colorspace = asked.colorspace;
                bytesPerLine = OutputRowBytes(fourcc, width);
            }
        }
        std::memset(&format->fmt, 0, sizeof format->fmt);
        format->fmt.pix.width = width;
        format->fmt.pix.height = height;
        format->fmt.pix.pixelformat = fourcc;
        format->fmt.pix.field = V4L2_FIELD_NONE;
        format->fmt.pix.bytesperline = bytesPerLine;
        format->fmt.pix.sizeimage = OutputFrameBytes();
        format->fmt.pix.colorspace = colorspace;
        return 0;
    }
    case VIDIOC_S_PARM:
    case VIDIOC_G_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(io_arg);
        if (parm->type != V4L2_BUF_TYPE_VIDEO_OUTPUT)
            return -EINVAL;
        v4l2_fract& interval = parm->parm.output.timeperframe;
        if (in_request == VIDIOC_S_PARM) {
            if (interval.numerator == 0 || interval.denominator == 0)
                return -EINVAL;
            frameIntervalNum = interval.numerator;
            frameIntervalDen = interval.denominator;
        }
        std::memset(&parm->parm, 0, sizeof parm->parm);
        parm->parm.output.capability = V4L2_CAP_TIMEPERFRAME;
        parm->parm.output.timeperframe = {frameIntervalNum, frameIntervalDen};
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        if (*static_cast<int*>(io_arg) != V4L2_BUF_TYPE_VIDEO_OUTPUT)
            return -EINVAL;
        if (in_request == VIDIOC_STREAMON) {
            ++streamOnCount;
            streaming = true;
        } else {
            ++streamOffCount;
            streaming = false;
        }
        return 0;
    default:
        return -ENOTTY;
    }
}

ssize_t FakeV4L2Device::Write(const void* in_data, size_t in_size)
{
    if (!IsOutput() || (capabilities & V4L2_CAP_READWRITE) == 0)
        return -EINVAL;
    if (failWrite != 0)
        return -failWrite;
    // v4l2loopback cuts a write to its buffer size.
    size_t taken = std::min<size_t>(in_size, OutputFrameBytes());
    if (writeLimit != 0)
        taken = std::min(taken, writeLimit);
    const auto* bytes = static_cast<const uint8_t*>(in_data);
    lastFrame.assign(bytes, bytes + taken);
    bytesWritten += taken;
    if (taken > 0)
        ++framesWritten;
    return ssize_t(taken);
}

int FakeV4L2Device::Map(size_t in_length, off_t in_offset, void** out_address)
{
    *out_address = nullptr;
    const size_t index = size_t(in_offset) / kOffsetStep;
    if (in_offset < 0 || size_t(in_offset) % kOffsetStep != 0 || index >= mBuffers.size() ||
        in_length > mBuffers[index].memory.size())
        return -EINVAL;
    mBuffers[index].mapped = true;
    *out_address = mBuffers[index].memory.data();
    return 0;
}

void FakeV4L2Device::LastClose()
{
    streaming = false;
    mBuffers.clear();
}
