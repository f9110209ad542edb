#include "TestPatternCamera.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <linux/videodev2.h>
#include <turbojpeg.h>

static uint64_t MonotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

TestPatternCamera::TestPatternCamera(Clock in_clock)
    : mClock(in_clock ? std::move(in_clock) : Clock(MonotonicMicroseconds)), mStartUs(mClock())
{
}

TestPatternCamera::~TestPatternCamera()
{
    if (mCompressor != nullptr)
        tjDestroy(mCompressor);
}

void TestPatternCamera::Configure(FakeV4L2Device& io_device)
{
    io_device.card = kCardName;
    io_device.inputs = {kLeftInput, kRightInput};
    io_device.formats = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV};
    io_device.sizes = {{640, 480}, {320, 240}, {1280, 720}};
    io_device.source = this;
}

uint64_t TestPatternCamera::FrameNumber() const
{
    const uint64_t now = mClock();
    return now < mStartUs ? 0 : (now - mStartUs) * kFramesPerSecond / 1000000u;
}

bool TestPatternCamera::FrameReady(const FakeV4L2Device&)
{
    return mLastFrame == UINT64_MAX || FrameNumber() > mLastFrame;
}

uint8_t TestPatternCamera::LumaAt(int in_x, uint64_t in_frame, int in_input)
{
    const int64_t period = kBarWidth * 4;
    // The right eye's scene point sits kParallaxPixels left of where the left eye has it.
    int64_t x = int64_t(in_x) - int64_t(in_frame % uint64_t(period)) * kStepPixels +
                (in_input == 1 ? kParallaxPixels : 0);
    x %= period;
    if (x < 0)
        x += period;
    return x < kBarWidth ? 235 : 16;
}

size_t TestPatternCamera::FillFrame(const FakeV4L2Device& in_device, uint8_t* out_data,
                                    size_t in_capacity, uint64_t* out_timeUs)
{
    const uint64_t frame = FrameNumber();
    mLastFrame = frame;
    *out_timeUs = mStartUs + frame * 1000000u / kFramesPerSecond;
    if (in_device.fourcc == V4L2_PIX_FMT_MJPEG)
        return FillJPEG(in_device, frame, out_data, in_capacity);
    const size_t rowBytes = size_t(in_device.width) * 2;
    const size_t bytes = rowBytes * in_device.height;
    if (in_device.fourcc != V4L2_PIX_FMT_YUYV || bytes == 0 || bytes > in_capacity)
        return 0;
    // Every row is the same: write one and copy it down.
    for (uint32_t x = 0; x < in_device.width; ++x) {
        out_data[x * 2] = LumaAt(int(x), frame, in_device.currentInput);
        out_data[x * 2 + 1] = 128;
    }
    for (uint32_t y = 1; y < in_device.height; ++y)
        std::copy_n(out_data, rowBytes, out_data + y * rowBytes);
    return bytes;
}

// Colour 4:2:2, as webcams send it, from a grey RGB image.
size_t TestPatternCamera::FillJPEG(const FakeV4L2Device& in_device, uint64_t in_frame,
                                   uint8_t* out_data, size_t in_capacity)
{
    const int width = int(in_device.width);
    const int height = int(in_device.height);
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192)
        return 0;
    if (mCompressor == nullptr)
        mCompressor = tjInitCompress();
    const size_t rowBytes = size_t(width) * 3;
    const size_t bound = tjBufSize(width, height, TJSAMP_422);
    if (mCompressor == nullptr || bound == size_t(-1))
        return 0;
    mRGB.resize(rowBytes * size_t(height));
    mJPEG.resize(bound);
    for (int x = 0; x < width; ++x) {
        // Video range to full range.
        const uint8_t grey =
            uint8_t((LumaAt(x, in_frame, in_device.currentInput) - 16) * 255 / 219);
        std::memset(&mRGB[size_t(x) * 3], grey, 3);
    }
    for (int y = 1; y < height; ++y)
        std::memcpy(&mRGB[size_t(y) * rowBytes], mRGB.data(), rowBytes);
    unsigned char* jpeg = mJPEG.data();
    unsigned long size = 0;
    if (tjCompress2(mCompressor, mRGB.data(), width, int(rowBytes), height, TJPF_RGB, &jpeg, &size,
                    TJSAMP_422, 85, TJFLAG_NOREALLOC) != 0 ||
        size > in_capacity)
        return 0;
    std::memcpy(out_data, jpeg, size);
    return size;
}
