#include "TestPatternCamera.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

static uint8_t Luma(const uint8_t* in_rgb)
{
    return uint8_t(((66 * in_rgb[0] + 129 * in_rgb[1] + 25 * in_rgb[2] + 128) >> 8) + 16);
}

TestPatternCamera::TestPatternCamera(Clock in_clock)
    : mClock(in_clock ? std::move(in_clock) : Clock(MonotonicMicroseconds)), mStartUs(mClock())
{
    // The programs refuse a bad rig on their command lines; here it is told and left ideal.
    if (const char* text = getenv("PARALLAX3D_TEST_RIG")) {
        TestPatternRig rig;
        std::string reason;
        if (TestPatternRig::Parse(text, rig, reason))
            mScene.SetRig(rig);
        else
            fprintf(stderr, "PARALLAX3D_TEST_RIG: %s; the rig stays ideal\n", reason.c_str());
    }
    // Two real webcams are never in step: the right eye's frames come late by this much.
    if (const char* text = getenv("PARALLAX3D_TEST_SKEW_MS")) {
        char* end = nullptr;
        const long ms = strtol(text, &end, 10);
        if (*text != '\0' && *end == '\0' && ms >= 0 && ms <= kMaxSkewMs)
            mRightSkewUs = uint64_t(ms) * 1000u;
        else
            fprintf(stderr,
                    "PARALLAX3D_TEST_SKEW_MS: \"%s\" is not 0 to %d ms; the eyes stay in "
                    "step\n",
                    text, kMaxSkewMs);
    }
    const char* chessboard = getenv("PARALLAX3D_TEST_CHESSBOARD");
    mScene.SetChessboard(chessboard != nullptr && strcmp(chessboard, "1") == 0);
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
    io_device.streamPerOpen = true;
}

uint64_t TestPatternCamera::StartUs(const FakeV4L2Device& in_device) const
{
    return mStartUs + (in_device.currentInput == 1 ? mRightSkewUs : 0);
}

uint64_t TestPatternCamera::FrameNumber(const FakeV4L2Device& in_device) const
{
    const uint64_t now = mClock();
    const uint64_t start = StartUs(in_device);
    return now < start ? 0 : (now - start) * kFramesPerSecond / 1000000u;
}

bool TestPatternCamera::FrameReady(const FakeV4L2Device& in_device)
{
    const auto last = mLastFrame.find(&in_device);
    return last == mLastFrame.end() || FrameNumber(in_device) > last->second;
}

size_t TestPatternCamera::FillFrame(const FakeV4L2Device& in_device, uint8_t* out_data,
                                    size_t in_capacity, uint64_t* out_timeUs)
{
    const uint64_t frame = FrameNumber(in_device);
    mLastFrame[&in_device] = frame;
    *out_timeUs = StartUs(in_device) + frame * 1000000u / kFramesPerSecond;
    const int width = int(in_device.width);
    const int height = int(in_device.height);
    if ((in_device.fourcc != V4L2_PIX_FMT_MJPEG && in_device.fourcc != V4L2_PIX_FMT_YUYV) ||
        width <= 0 || height <= 0 || width > 8192 || height > 8192)
        return 0;
    const size_t rowBytes = size_t(width) * 3;
    if (in_device.fourcc == V4L2_PIX_FMT_YUYV && size_t(width) * 2 * size_t(height) > in_capacity)
        return 0;
    mRGB.resize(rowBytes * size_t(height));
    mScene.Render(mSceneHeld ? 0 : frame,
                  in_device.currentInput == 1 ? TestPatternScene::kRightEye
                                              : TestPatternScene::kLeftEye,
                  width, height, mRGB.data(), rowBytes);
    return in_device.fourcc == V4L2_PIX_FMT_MJPEG ? FillJPEG(in_device, out_data, in_capacity)
                                                  : FillYUYV(in_device, out_data, in_capacity);
}

// BT.601 video range, as webcams send it; each pair of pixels shares the mean of their colours.
size_t TestPatternCamera::FillYUYV(const FakeV4L2Device& in_device, uint8_t* out_data,
                                   size_t in_capacity)
{
    const size_t pixels = size_t(in_device.width) * in_device.height;
    if (pixels * 2 > in_capacity)
        return 0;
    const size_t width = in_device.width;
    for (size_t y = 0; y < in_device.height; ++y) {
        const uint8_t* rgb = &mRGB[y * width * 3];
        uint8_t* yuyv = out_data + y * width * 2;
        for (size_t x = 0; x < width; x += 2) {
            // An odd last pixel pairs with itself.
            const uint8_t* a = rgb + x * 3;
            const uint8_t* b = x + 1 < width ? a + 3 : a;
            yuyv[x * 2] = Luma(a);
            if (x + 1 < width)
                yuyv[x * 2 + 2] = Luma(b);
            const int red = a[0] + b[0], green = a[1] + b[1], blue = a[2] + b[2];
            yuyv[x * 2 + 1] = uint8_t(((-38 * red - 74 * green + 112 * blue + 256) >> 9) + 128);
            if (x + 1 < width)
                yuyv[x * 2 + 3] = uint8_t(((112 * red - 94 * green - 18 * blue + 256) >> 9) + 128);
        }
    }
    return pixels * 2;
}

// Colour 4:2:2, as webcams send it.
size_t TestPatternCamera::FillJPEG(const FakeV4L2Device& in_device, uint8_t* out_data,
                                   size_t in_capacity)
{
    const int width = int(in_device.width);
    const int height = int(in_device.height);
    if (mCompressor == nullptr)
        mCompressor = tjInitCompress();
    const size_t bound = tjBufSize(width, height, TJSAMP_422);
    if (mCompressor == nullptr || bound == size_t(-1))
        return 0;
    mJPEG.resize(bound);
    unsigned char* jpeg = mJPEG.data();
    unsigned long size = 0;
    if (tjCompress2(mCompressor, mRGB.data(), width, width * 3, height, TJPF_RGB, &jpeg, &size,
                    TJSAMP_422, 85, TJFLAG_NOREALLOC) != 0 ||
        size > in_capacity)
        return 0;
    std::memcpy(out_data, jpeg, size);
    return size;
}
