// The V4L2 output against the in-memory driver's loopback devices, and against a real
// v4l2loopback device when one is loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <memory>
#include <string>
#include <vector>

#include "FakeV4L2.h"
#include "OutputFormat.h"
#include "V4L2Device.h"
#include "V4L2FrameOutput.h"
#include "V4L2System.h"

namespace {

using testing::HasSubstr;

OutputSettings Settings(OutputFormat in_format = OutputFormat::kYUYV)
{
    OutputSettings settings;
    settings.format = in_format;
    return settings;
}

std::vector<uint8_t> Frame(const OutputSettings& in_settings, uint8_t in_seed)
{
    std::vector<uint8_t> frame(
        OutputFrameBytes(in_settings.format, in_settings.width, in_settings.height));
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 7 + in_seed);
    return frame;
}

class V4L2FrameOutputTest : public testing::Test
{
protected:
    FakeV4L2Device& AddOutput(const std::string& in_node, const std::string& in_card = "Parallax3D")
    {
        FakeV4L2Device& device = fake.AddDevice(in_node);
        device.MakeOutput(in_card);
        return device;
    }

    // Opens in_node with in_settings; the error, or "" when it opened.
    std::string OpenError(V4L2FrameOutput& io_output, const OutputSettings& in_settings)
    {
        std::string error, notice;
        const bool opened = io_output.Open(in_settings, error, notice);
        EXPECT_EQ(opened, error.empty()) << error;
        return error;
    }

    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
};

TEST_F(V4L2FrameOutputTest, NegotiatesThenWritesWholeFramesThroughAFreshDescriptor)
{
    FakeV4L2Device& device = AddOutput("/dev/video10");
    {
        V4L2FrameOutput output("/dev/video10");
        std::string error, notice;
        const std::vector<uint8_t> early(614400);
        EXPECT_FALSE(output.Write(early.data(), early.size(), error));
        EXPECT_FALSE(error.empty());

        error.clear();
        OutputSettings settings = Settings();
        settings.framesPerSecond = 25;
        ASSERT_TRUE(output.Open(settings, error, notice)) << error;
        EXPECT_EQ(notice, "");
        EXPECT_EQ(output.Description(), "/dev/video10");
        EXPECT_EQ(device.fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
        EXPECT_EQ(device.width, 640u);
        EXPECT_EQ(device.height, 480u);
        EXPECT_EQ(device.colorspace, uint32_t(V4L2_COLORSPACE_SMPTE170M));
        EXPECT_EQ(device.frameIntervalNum, 1u);
        EXPECT_EQ(device.frameIntervalDen, 25u);
        EXPECT_EQ(device.streamOnCount, 1);
        EXPECT_EQ(device.streamOffCount, 1);
        EXPECT_FALSE(device.streaming);
        // The negotiating descriptor is closed; a fresh one writes, without blocking.
        EXPECT_EQ(device.openTotal, 2);
        EXPECT_EQ(device.openCount, 1);
        EXPECT_EQ(device.lastOpenFlags & O_ACCMODE, O_RDWR);
        EXPECT_NE(device.lastOpenFlags & O_NONBLOCK, 0);

        const std::vector<uint8_t> first = Frame(settings, 1), second = Frame(settings, 2);
        EXPECT_TRUE(output.Write(first.data(), first.size(), error)) << error;
        EXPECT_TRUE(output.Write(second.data(), second.size(), error)) << error;
        EXPECT_EQ(device.framesWritten, 2u);
        EXPECT_EQ(device.bytesWritten, 2 * first.size());
        EXPECT_EQ(device.lastFrame, second);

        EXPECT_FALSE(output.Write(second.data(), second.size() - 2, error));
        EXPECT_THAT(error, HasSubstr("614398"));
        EXPECT_EQ(device.framesWritten, 2u);
    }
    EXPECT_EQ(device.openCount, 0);
}

TEST_F(V4L2FrameOutputTest, EachFormatAsksForItsFourccRowBytesAndColorspace)
{
    struct Case
    {
        OutputFormat format;
        uint32_t fourcc;
        uint32_t rowBytes;
        uint32_t colorspace;
        size_t frameBytes;
    };
    const Case cases[] = {
        {OutputFormat::kYUYV, V4L2_PIX_FMT_YUYV, 1280, V4L2_COLORSPACE_SMPTE170M, 614400},
        {OutputFormat::kI420, V4L2_PIX_FMT_YUV420, 640, V4L2_COLORSPACE_SMPTE170M, 460800},
        {OutputFormat::kARGB, V4L2_PIX_FMT_ARGB32, 2560, V4L2_COLORSPACE_SRGB, 1228800},
        {OutputFormat::kRGBA, V4L2_PIX_FMT_RGBA32, 2560, V4L2_COLORSPACE_SRGB, 1228800},
    };
    FakeV4L2Device& device = AddOutput("/dev/video3");
    for (const Case& c : cases) {
        SCOPED_TRACE(OutputFormatName(c.format));
        V4L2FrameOutput output("/dev/video3");
        ASSERT_EQ(OpenError(output, Settings(c.format)), "");
        EXPECT_EQ(device.fourcc, c.fourcc);
        EXPECT_EQ(device.bytesPerLine, c.rowBytes);
        EXPECT_EQ(device.colorspace, c.colorspace);
        const std::vector<uint8_t> frame = Frame(Settings(c.format), 9);
        std::string error;
        EXPECT_TRUE(output.Write(frame.data(), frame.size(), error)) << error;
        EXPECT_EQ(device.bytesWritten, c.frameBytes);
        device.bytesWritten = 0;
    }
}

TEST_F(V4L2FrameOutputTest, PicksTheFirstOutputNodeInListOrderAndHintsAtItsLabel)
{
    fake.AddDevice("/dev/video0");                  // a camera
    AddOutput("/dev/video1").failOpen = EACCES;     // not ours to open
    AddOutput("/dev/video2", "Dummy video device"); // the first usable one
    AddOutput("/dev/video10");
    V4L2FrameOutput output;
    std::string error, notice;
    ASSERT_TRUE(output.Open(Settings(), error, notice)) << error;
    EXPECT_EQ(output.Description(), "/dev/video2");
    EXPECT_EQ(fake.DeviceAt("/dev/video2")->openCount, 1);
    EXPECT_EQ(fake.DeviceAt("/dev/video10")->openCount, 0);
    EXPECT_THAT(notice, HasSubstr("\"Dummy video device\""));
    EXPECT_THAT(notice, HasSubstr("video_nr=2 card_label=\"Parallax3D\""));
}

TEST_F(V4L2FrameOutputTest, WithoutAnOutputNodeSaysHowToLoadTheModule)
{
    fake.AddDevice("/dev/video0");
    V4L2FrameOutput output;
    OutputSettings settings = Settings();
    settings.deviceName = "Stereo Desk";
    std::string error = OpenError(output, settings);
    EXPECT_THAT(error, HasSubstr("sudo modprobe v4l2loopback"));
    EXPECT_THAT(error, HasSubstr("card_label=\"Stereo Desk\""));
    EXPECT_THAT(error, testing::Not(HasSubstr("video group")));

    // An output node that could not be opened may be the one meant.
    AddOutput("/dev/video4").failOpen = EPERM;
    error = OpenError(output, settings);
    EXPECT_THAT(error, HasSubstr("/dev/video4"));
    EXPECT_THAT(error, HasSubstr("video group"));
}

TEST_F(V4L2FrameOutputTest, RefusesNodesThatDoNotTakeWrittenFrames)
{
    fake.AddDevice("/dev/video0").card = "Left Eye";
    V4L2FrameOutput camera("/dev/video0");
    std::string error = OpenError(camera, Settings());
    EXPECT_THAT(error, HasSubstr("/dev/video0 is not a video output device (Left Eye)"));
    EXPECT_THAT(error, HasSubstr("--device"));

    AddOutput("/dev/video1").capabilities = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
    V4L2FrameOutput streamingOnly("/dev/video1");
    EXPECT_THAT(OpenError(streamingOnly, Settings()), HasSubstr("does not take written frames"));
    EXPECT_EQ(fake.DeviceAt("/dev/video1")->openCount, 0);

    // With exclusive_caps=1 a loopback device that another program writes to shows capture only.
    AddOutput("/dev/video2").capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    V4L2FrameOutput taken("/dev/video2");
    EXPECT_THAT(OpenError(taken, Settings()), HasSubstr("another program writes to it"));
}

TEST_F(V4L2FrameOutputTest, RestartsWhileAProgramStillReadsTheSameFormat)
{
    FakeV4L2Device& device = AddOutput("/dev/video10");
    {
        V4L2FrameOutput first("/dev/video10");
        ASSERT_EQ(OpenError(first, Settings(OutputFormat::kARGB)), "");
    }
    device.consumerHolds = true;

    V4L2FrameOutput again("/dev/video10");
    ASSERT_EQ(OpenError(again, Settings(OutputFormat::kARGB)), "");
    const std::vector<uint8_t> frame = Frame(Settings(OutputFormat::kARGB), 3);
    std::string error;
    EXPECT_TRUE(again.Write(frame.data(), frame.size(), error)) << error;
    EXPECT_EQ(device.lastFrame, frame);

    V4L2FrameOutput other("/dev/video10");
    error = OpenError(other, Settings(OutputFormat::kYUYV));
    EXPECT_THAT(error, HasSubstr("busy"));
    EXPECT_THAT(error, HasSubstr("BA24 640x480"));
    EXPECT_THAT(error, HasSubstr("--format argb"));
    EXPECT_EQ(device.fourcc, uint32_t(V4L2_PIX_FMT_ARGB32));

    // Another size: no format of ours fits, so only closing the reader helps.
    OutputSettings small = Settings(OutputFormat::kARGB);
    small.width = 320;
    small.height = 240;
    error = OpenError(other, small);
    EXPECT_THAT(error, HasSubstr("busy"));
    EXPECT_THAT(error, testing::Not(HasSubstr("--format")));

    // Older drivers answer the held format instead of EBUSY.
    device.heldFormatAnswered = true;
    error = OpenError(other, Settings(OutputFormat::kYUYV));
    EXPECT_THAT(error, HasSubstr("offers BA24 640x480"));
}

TEST_F(V4L2FrameOutputTest, RefusesAnAnsweredFormatItCannotFill)
{
    FakeV4L2Device& device = AddOutput("/dev/video10");
    V4L2FrameOutput output("/dev/video10");

    device.answerSize = {320, 240};
    EXPECT_THAT(OpenError(output, Settings()), HasSubstr("offers YUYV 320x240"));
    device.answerSize = {0, 0};

    device.answerSizeImage = 614400 - 1280;
    EXPECT_THAT(OpenError(output, Settings()), HasSubstr("613120 a frame"));
    // Room to spare is fine: the frame is written whole.
    device.answerSizeImage = 614400 + 4096;
    EXPECT_EQ(OpenError(output, Settings()), "");
}

TEST_F(V4L2FrameOutputTest, OptionalStepsMayFailButAVanishedDeviceMayNot)
{
    FakeV4L2Device& device = AddOutput("/dev/video10");
    device.failIoctl[VIDIOC_G_FMT] = EINVAL;
    device.failIoctl[VIDIOC_S_PARM] = ENOTTY;
    device.failIoctl[VIDIOC_STREAMON] = EINVAL;
    V4L2FrameOutput output("/dev/video10");
    ASSERT_EQ(OpenError(output, Settings()), "");
    EXPECT_EQ(device.fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
    EXPECT_EQ(device.streamOffCount, 0);

    device.failIoctl[VIDIOC_STREAMON] = ENODEV;
    EXPECT_THAT(OpenError(output, Settings()), HasSubstr("went away"));

    device.failIoctl[VIDIOC_S_FMT] = EINVAL;
    EXPECT_THAT(OpenError(output, Settings()), HasSubstr("YUYV 640x480"));
}

TEST_F(V4L2FrameOutputTest, OpenFailuresSayWhatToDo)
{
    V4L2FrameOutput missing("/dev/video7");
    std::string error = OpenError(missing, Settings());
    EXPECT_THAT(error, HasSubstr("no such device /dev/video7"));
    EXPECT_THAT(error, HasSubstr("modprobe v4l2loopback video_nr=7"));

    FakeV4L2Device& device = AddOutput("/dev/video10");
    V4L2FrameOutput output("/dev/video10");
    device.failOpen = EBUSY;
    EXPECT_THAT(OpenError(output, Settings()), HasSubstr("another program writes to it"));
    device.failOpen = EACCES;
    EXPECT_THAT(OpenError(output, Settings()), HasSubstr("video group"));
    device.failOpen = 0;
    EXPECT_EQ(OpenError(output, Settings()), "");
}

TEST_F(V4L2FrameOutputTest, WriteDropsFramesOnlyWhenTheDeviceIsFull)
{
    FakeV4L2Device& device = AddOutput("/dev/video10");
    V4L2FrameOutput output("/dev/video10");
    ASSERT_EQ(OpenError(output, Settings()), "");
    const std::vector<uint8_t> frame = Frame(Settings(), 5);
    std::string error;

    device.failWrite = EAGAIN;
    EXPECT_TRUE(output.Write(frame.data(), frame.size(), error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(device.framesWritten, 0u);

    device.failWrite = ENOSPC;
    EXPECT_FALSE(output.Write(frame.data(), frame.size(), error));
    EXPECT_THAT(error, HasSubstr("no room on /dev/video10"));

    device.failWrite = 0;
    device.writeLimit = frame.size() / 2;
    EXPECT_FALSE(output.Write(frame.data(), frame.size(), error));
    EXPECT_THAT(error, HasSubstr("took 307200 of the 614400 bytes"));

    device.writeLimit = 0;
    EXPECT_TRUE(output.Write(frame.data(), frame.size(), error)) << error;
    EXPECT_EQ(device.lastFrame, frame);

    // A device that went away stays gone until it is opened again.
    device.failWrite = ENODEV;
    EXPECT_FALSE(output.Write(frame.data(), frame.size(), error));
    EXPECT_THAT(error, HasSubstr("/dev/video10 went away"));
    device.failWrite = 0;
    EXPECT_FALSE(output.Write(frame.data(), frame.size(), error));
    EXPECT_THAT(error, HasSubstr("/dev/video10 went away"));
    EXPECT_EQ(device.openCount, 0);
    ASSERT_EQ(OpenError(output, Settings()), "");
    EXPECT_TRUE(output.Write(frame.data(), frame.size(), error)) << error;
}

// A real v4l2loopback device, when the module is loaded and one is free.
TEST(V4L2FrameOutputKernel, WritesFramesToALoadedLoopbackDevice)
{
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    std::string loopback;
    for (const std::string& node : nodes) {
        int fd = -1;
        if (V4L2::Open(node.c_str(), &fd) != 0)
            continue;
        v4l2_capability cap;
        const bool found = V4L2::QueryCapability(fd, cap) == 0 && V4L2::IsVideoOutput(cap) &&
                           V4L2::FieldText(cap.driver, sizeof cap.driver) == "v4l2 loopback";
        V4L2::Close(fd);
        if (found) {
            loopback = node;
            break;
        }
    }
    if (loopback.empty())
        GTEST_SKIP() << "no v4l2loopback output device";

    V4L2FrameOutput output(loopback);
    std::string error, notice;
    const OutputSettings settings = Settings();
    if (!output.Open(settings, error, notice) && error.find("busy") != std::string::npos)
        GTEST_SKIP() << error;
    ASSERT_EQ(error, "");
    for (uint8_t i = 0; i < 3; ++i) {
        const std::vector<uint8_t> frame = Frame(settings, i);
        EXPECT_TRUE(output.Write(frame.data(), frame.size(), error)) << error;
    }
}

} // namespace
