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
        format = in_settings.format;
        if (!opens)
            out_error = "no PipeWire answers";
        return opens;
    }
    bool Write(const uint8_t* in_frame, size_t in_bytes, std::string&) override
    {
        frames.emplace_back(in_frame, in_frame + in_bytes);
        return true;
    }
    // The camera converts for itself: it takes the rows where they lie.
    bool ConvertsItself() const override { return true; }
    bool WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                     const std::function<bool()>& in_whole, std::string&) override
    {
        std::vector<uint8_t> taken;
        for (int y = 0; y < kHeight; ++y)
            taken.insert(taken.end(), in_argb + y * in_rowBytes,
                         in_argb + y * in_rowBytes + kWidth * 4);
        if (in_whole())
            frames.push_back(taken);
        return true;
    }
    std::string Description() const override { return name; }

    std::string name;
    bool opens;
    OutputFormat format = OutputFormat::kARGB;
    std::vector<std::vector<uint8_t>> frames;
};

} // namespace

TEST(DualFrameOutputTest, EachOutputGetsItsFormatAndTheDeviceGoesOnWithoutTheCamera)
{
    std::vector<uint8_t> frame(OutputFrameBytes(OutputFormat::kARGB, kWidth, kHeight));
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t(i * 7 + i / 256);
    std::vector<uint8_t> yuyv(OutputFrameBytes(OutputFormat::kYUYV, kWidth, kHeight));
    FrameConverter(OutputFormat::kYUYV, kWidth, kHeight)
        .Convert(frame.data(), kWidth * 4, yuyv.data());
    for (const bool cameraOpens : {true, false}) {
        SCOPED_TRACE(cameraOpens ? "with the camera" : "without it");
        auto device = std::make_unique<RecordingOutput>("/dev/video10", true);
        auto camera = std::make_unique<RecordingOutput>("the camera", cameraOpens);
        RecordingOutput& d = *device;
        RecordingOutput& c = *camera;
        DualFrameOutput dual(std::move(device), OutputFormat::kYUYV, std::move(camera));
        OutputSettings settings;
        settings.width = kWidth;
        settings.height = kHeight;
        settings.format = OutputFormat::kARGB;
        std::string error, notice;
        ASSERT_TRUE(dual.Open(settings, error, notice)) << error;
        EXPECT_EQ(d.format, OutputFormat::kYUYV);
        if (cameraOpens) { // else the output let it go
            EXPECT_EQ(c.format, OutputFormat::kARGB);
        }
        EXPECT_EQ(notice,
                  cameraOpens ? "" : "no PipeWire answers; going on with /dev/video10 alone");
        EXPECT_EQ(dual.Description(), cameraOpens ? "/dev/video10 and the camera" : "/dev/video10");

        ASSERT_TRUE(dual.Write(frame.data(), frame.size(), error)) << error;
        // Part of a frame would be read past its end: it goes nowhere.
        ASSERT_TRUE(dual.Write(frame.data(), frame.size() - 1, error));
        // The same frame where it lies, rows apart as in the channel; then one that was torn
        // while it was read, which goes nowhere either.
        std::vector<uint8_t> padded;
        for (int y = 0; y < kHeight; ++y) {
            padded.insert(padded.end(), frame.begin() + y * kWidth * 4,
                          frame.begin() + (y + 1) * kWidth * 4);
            padded.insert(padded.end(), 8, 0xEE);
        }
        const size_t rowBytes = kWidth * 4 + 8;
        ASSERT_TRUE(dual.WritePixels(
            padded.data(), rowBytes, [] { return true; }, error));
        ASSERT_TRUE(dual.WritePixels(
            padded.data(), rowBytes, [] { return false; }, error));
        ASSERT_EQ(d.frames.size(), 2u);
        EXPECT_EQ(d.frames[0], yuyv);
        EXPECT_EQ(d.frames[1], yuyv);
        if (cameraOpens) {
            ASSERT_EQ(c.frames.size(), 2u);
            EXPECT_EQ(c.frames[0], frame);
            EXPECT_EQ(c.frames[1], frame);
        }
    }
}
