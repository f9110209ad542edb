#include "V4L2VideoDevice.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <utility>

#include "Diagnostics.h"
#include "V4L2Device.h"
#include "V4L2System.h"

V4L2VideoDevice::V4L2VideoDevice(std::string in_node, uint32_t in_bufferType)
    : mNode(std::move(in_node)), mType(in_bufferType)
{
}

V4L2VideoDevice::~V4L2VideoDevice()
{
    Close();
}

int V4L2VideoDevice::Open()
{
    Close();
    mState = State::kClosed;
    mLostError = 0;
    int err = V4L2::Open(mNode.c_str(), &mFd);
    if (err != 0)
        return err;
    v4l2_capability cap;
    err = V4L2::QueryCapability(mFd, cap);
    if (err != 0) {
        V4L2::Close(mFd);
        return err;
    }
    mCard = V4L2::FieldText(cap.card, sizeof cap.card);
    mDriver = V4L2::FieldText(cap.driver, sizeof cap.driver);
    mBusInfo = V4L2::FieldText(cap.bus_info, sizeof cap.bus_info);
    mCapabilities = V4L2::NodeCapabilities(cap);
    mState = State::kOpen;
    return 0;
}

void V4L2VideoDevice::Close()
{
    ReleaseBuffers();
    V4L2::Close(mFd);
    if (mState != State::kLost)
        mState = State::kClosed;
}

int V4L2VideoDevice::Checked(int in_result)
{
    if (in_result == -ENODEV || in_result == -EIO) {
        // Gone: nothing of it is worth keeping, and a later call must not reach another device
        // that was given its number.
        Close();
        mState = State::kLost;
        mLostError = in_result;
    }
    return in_result;
}

int V4L2VideoDevice::NotOpenError() const
{
    return mState == State::kLost ? mLostError : -EBADF;
}

void V4L2VideoDevice::ReleaseBuffers()
{
    if (mState == State::kStreaming)
        V4L2::StreamOff(mFd, mType);
    for (uint32_t i = 0; i < mBufferCount; ++i)
        if (mBuffers[i].address != nullptr) // a failed start maps only some
            V4L2Sys().Munmap(mBuffers[i].address, mBuffers[i].length);
    if (mBufferCount != 0 && mFd >= 0) {
        uint32_t none = 0;
        V4L2::RequestBuffers(mFd, &none, mType);
    }
    mBufferCount = 0;
    std::fill(std::begin(mBuffers), std::end(mBuffers), Mapping());
    if (mState == State::kStreaming)
        mState = State::kOpen;
}

std::vector<std::string> V4L2VideoDevice::InputNames()
{
    std::vector<std::string> names;
    if (!IsOpen())
        return names;
    v4l2_input input;
    for (uint32_t i = 0; i < kMaxInputs && Checked(V4L2::EnumInput(mFd, i, input)) == 0; ++i)
        names.push_back(V4L2::FieldText(input.name, sizeof input.name));
    return names;
}

int V4L2VideoDevice::SetInput(int in_index)
{
    return WhenOpen([&] { return V4L2::SetInput(mFd, in_index); });
}

std::vector<uint32_t> V4L2VideoDevice::Formats()
{
    std::vector<uint32_t> formats;
    uint32_t fourcc = 0;
    for (uint32_t i = 0;
         IsOpen() && i < kMaxFormats && Checked(V4L2::EnumFormat(mFd, i, &fourcc, mType)) == 0; ++i)
        formats.push_back(fourcc);
    return formats;
}

std::vector<v4l2_frmsizeenum> V4L2VideoDevice::FrameSizes(uint32_t in_fourcc)
{
    std::vector<v4l2_frmsizeenum> sizes;
    v4l2_frmsizeenum size;
    for (uint32_t i = 0; IsOpen() && i < kMaxFrameSizes &&
                         Checked(V4L2::EnumFrameSize(mFd, in_fourcc, i, size)) == 0;
         ++i)
        sizes.push_back(size);
    return sizes;
}

int V4L2VideoDevice::GetFormat(v4l2_format& out_format)
{
    return WhenOpen([&] { return V4L2::GetFormat(mFd, mType, out_format); });
}

int V4L2VideoDevice::SetFormat(v4l2_format& io_format)
{
    io_format.type = mType;
    return WhenOpen([&] { return V4L2::SetFormat(mFd, io_format); });
}

int V4L2VideoDevice::SetFrameRate(int in_framesPerSecond)
{
    return WhenOpen([&] { return V4L2::SetFrameRate(mFd, mType, in_framesPerSecond); });
}

int V4L2VideoDevice::StartStreaming()
{
    if (mState == State::kStreaming)
        return 0;
    if (!IsOpen())
        return NotOpenError();
    uint32_t count = kMaxBuffers;
    int err = Checked(V4L2::RequestBuffers(mFd, &count, mType));
    if (err == 0 && count == 0)
        err = -ENOMEM;
    mBufferCount = err == 0 ? std::min(count, kMaxBuffers) : 0;
    for (uint32_t i = 0; err == 0 && i < mBufferCount; ++i) {
        v4l2_buffer buf;
        err = Checked(V4L2::QueryBuffer(mFd, i, buf, mType));
        if (err == 0)
            err =
                Checked(V4L2Sys().Mmap(mFd, buf.length, off_t(buf.m.offset), &mBuffers[i].address));
        if (err == 0) {
            mBuffers[i].length = buf.length;
            err = Checked(V4L2::QueueBuffer(mFd, i, mType));
        }
    }
    if (err == 0)
        err = Checked(V4L2::StreamOn(mFd, mType));
    if (err == 0)
        mState = State::kStreaming;
    else if (mState != State::kLost)
        ReleaseBuffers();
    return err;
}

void V4L2VideoDevice::StopStreaming()
{
    ReleaseBuffers();
}

int V4L2VideoDevice::StreamOnOff()
{
    const int err = WhenOpen([&] { return V4L2::StreamOn(mFd, mType); });
    if (err == 0)
        V4L2::StreamOff(mFd, mType);
    return err;
}

int V4L2VideoDevice::Poll(int in_timeoutMs)
{
    return WhenOpen([&] {
        struct pollfd ready = {mFd, short(mType == V4L2_BUF_TYPE_VIDEO_OUTPUT ? POLLOUT : POLLIN),
                               0};
        return V4L2Sys().Poll(&ready, 1, in_timeoutMs);
    });
}

int V4L2VideoDevice::Dequeue(Frame& out_frame)
{
    out_frame = Frame();
    if (mState != State::kStreaming)
        return mState == State::kLost ? mLostError : -EINVAL;
    v4l2_buffer buf;
    const int err = Checked(V4L2::DequeueBuffer(mFd, buf, mType));
    if (err != 0)
        return err;
    if (!DIAG_CHECK(buf.index < mBufferCount))
        return 0; // not a buffer of ours: no data, and nothing to queue again
    const Mapping& mapped = mBuffers[buf.index];
    out_frame.index = buf.index;
    out_frame.data = static_cast<const uint8_t*>(mapped.address);
    out_frame.bytes = std::min<size_t>(buf.bytesused, mapped.length);
    // Stamps on another clock (or none) cannot be compared with the other eye's: the dequeue
    // is the nearest moment we know on the monotonic clock.
    if ((buf.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC) {
        out_frame.timeUs =
            uint64_t(buf.timestamp.tv_sec) * 1000000u + uint64_t(buf.timestamp.tv_usec);
    } else {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        out_frame.timeUs = uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
    }
    out_frame.corrupt = (buf.flags & V4L2_BUF_FLAG_ERROR) != 0;
    return 0;
}

int V4L2VideoDevice::Queue(uint32_t in_index)
{
    if (mState != State::kStreaming)
        return mState == State::kLost ? mLostError : -EINVAL;
    return Checked(V4L2::QueueBuffer(mFd, in_index, mType));
}

ssize_t V4L2VideoDevice::Write(const void* in_data, size_t in_size)
{
    if (!IsOpen())
        return NotOpenError();
    const ssize_t written = V4L2Sys().Write(mFd, in_data, in_size);
    return written < 0 ? Checked(int(written)) : written;
}
