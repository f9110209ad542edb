// The device output beside the PipeWire camera: each gets the frame in its own format from one
// loop, and a camera that cannot open leaves the device running alone.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "DualFrameOutput.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;

class RecordingOutput : public FrameOutput
{
public:
    RecordingOutput(std::string in_name, bool in_opens) : name(std::move(in_name)), opens(in_opens)
    {
    }
    bool Open(const OutputSettings& in_settings, std::string& out_error, std::string&) override
    {
        settings = in_settings;
        if (!opens)
            out_error = "no PipeWire answers";
        return opens;
    }
    bool Write(const uint8_t* in_frame, size_t in_bytes, std::string&) override
    {
        frames.emplace_back(in_frame, in_frame + in_bytes);
        return true;
    }
    std::string Description() const override { return name; }

    std::string name;
    bool opens;
    OutputSettings settings;
    std::vector<std::vector<uint8_t>> frames;
};

std::vector<uint8_t> Frame()
{
    std::vector<uint8_t> frame(OutputFrameBytes(OutputFormat::kARGB, kWidth, kHeight));
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 7 + i / 256);
    return frame;
}

struct Dual
{
    RecordingOutput* device;
    RecordingOutput* camera;
    DualFrameOutput output;

    Dual(bool in_cameraOpens)
        : Dual(std::make_unique<RecordingOutput>("/dev/video10", true),
               std::make_unique<RecordingOutput>("the camera", in_cameraOpens))
    {
    }
    Dual(std::unique_ptr<RecordingOutput> in_device, std::unique_ptr<RecordingOutput> in_camera)
        : device(in_device.get()), camera(in_camera.get()),
          output(std::move(in_device), OutputFormat::kYUYV, std::move(in_camera))
    {
    }
    bool Open(std::string& out_error, std::string& out_notice)
    {
        OutputSettings settings;
        settings.width = kWidth;
        settings.height = kHeight;
        settings.format = OutputFormat::kARGB;
        return output.Open(settings, out_error, out_notice);
    }
};

} // namespace

TEST(DualFrameOutputTest, TheDeviceGetsItsFormatAndTheCameraTheBroadcastBytes)
{
    Dual dual(true);
    std::string error, notice;
    ASSERT_TRUE(dual.Open(error, notice)) << error;
    EXPECT_EQ(notice, "");
    EXPECT_EQ(dual.device->settings.format, OutputFormat::kYUYV);
    EXPECT_EQ(dual.camera->settings.format, OutputFormat::kARGB);
    EXPECT_EQ(dual.output.Description(), "/dev/video10 and the camera");

    const std::vector<uint8_t> frame = Frame();
    ASSERT_TRUE(dual.output.Write(frame.data(), frame.size(), error)) << error;
    std::vector<uint8_t> yuyv(OutputFrameBytes(OutputFormat::kYUYV, kWidth, kHeight));
    FrameConverter(OutputFormat::kYUYV, kWidth, kHeight)
        .Convert(frame.data(), kWidth * 4, yuyv.data());
    ASSERT_EQ(dual.device->frames.size(), 1u);
    EXPECT_EQ(dual.device->frames[0], yuyv);
    ASSERT_EQ(dual.camera->frames.size(), 1u);
    EXPECT_EQ(dual.camera->frames[0], frame);

    // Part of a frame would be read past its end: it goes nowhere.
    ASSERT_TRUE(dual.output.Write(frame.data(), frame.size() - 1, error));
    EXPECT_EQ(dual.device->frames.size(), 1u);
    EXPECT_EQ(dual.camera->frames.size(), 1u);
}

TEST(DualFrameOutputTest, WithoutPipeWireTheDeviceGoesOnAloneAndSaysSo)
{
    Dual dual(false);
    std::string error, notice;
    ASSERT_TRUE(dual.Open(error, notice)) << error;
    EXPECT_EQ(notice, "no PipeWire answers; going on with /dev/video10 alone");
    EXPECT_EQ(dual.output.Description(), "/dev/video10");
    const std::vector<uint8_t> frame = Frame();
    ASSERT_TRUE(dual.output.Write(frame.data(), frame.size(), error)) << error;
    EXPECT_EQ(dual.device->frames.size(), 1u);
}

TEST(DualFrameOutputTest, ADeviceThatCannotOpenFailsTheWhole)
{
    Dual dual(std::make_unique<RecordingOutput>("/dev/video10", false),
              std::make_unique<RecordingOutput>("the camera", true));
    std::string error, notice;
    EXPECT_FALSE(dual.Open(error, notice));
    EXPECT_EQ(error, "no PipeWire answers"); // the device's own words, passed on
}
