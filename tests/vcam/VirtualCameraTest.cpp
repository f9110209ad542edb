// The digitizer's loop against a scripted device table and a recording output: calling order,
// every buffer released once, what is written while nothing is broadcast, and failures.
#include <atomic>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "TestSupport.h"
#include "VCamStats.h"
#include "VirtualCamera.h"

namespace {

// A device behind the same table a component hands out; the handle points at this state.
struct ScriptedDevice
{
    std::vector<std::string> calls;
    std::string name = "Parallax3D";
    Rect rect = {0, 0, 480, 640};
    SInt32 frameBytes = 640 * 480 * 4;
    // Which GetFrame calls (counted from 0) hand out a frame; the frame's bytes are its count.
    std::function<bool(int)> hands = [](int) { return true; };
    int asks = 0;
    int delivered = 0;
    std::vector<UInt8> frame = std::vector<UInt8>(640 * 480 * 4);
    bool held = false;
    int faults = 0; // a second GetFrame while held, or a release of something not handed out
    int reopenChecks = 0;

    static ScriptedDevice* sNext;
};
ScriptedDevice* ScriptedDevice::sNext = nullptr;

ScriptedDevice& State(SharedCamDeviceRef device)
{
    return *reinterpret_cast<ScriptedDevice*>(device);
}

const SharedCamDeviceDispatch kScripted = {
    kSharedCamDeviceDispatchVersion,
    sizeof(SharedCamDeviceDispatch),
    [] {
        ScriptedDevice::sNext->calls.push_back("Construct");
        return reinterpret_cast<SharedCamDeviceRef>(ScriptedDevice::sNext);
    },
    [](SharedCamDeviceRef d) { State(d).calls.push_back("Destroy"); },
    [](SharedCamDeviceRef d) -> Boolean {
        State(d).calls.push_back("Connect");
        return true;
    },
    [](SharedCamDeviceRef d) { State(d).calls.push_back("Disconnect"); },
    [](SharedCamDeviceRef d, StringPtr name, long) -> SInt32 {
        const std::string& text = State(d).name;
        name[0] = UInt8(text.size());
        memcpy(name + 1, text.data(), text.size());
        return 0;
    },
    [](SharedCamDeviceRef d, const char* suffix) {
        State(d).calls.push_back(std::string("SetDeviceNameSuffix ") + suffix);
        State(d).name += suffix;
    },
    [](SharedCamDeviceRef d, Rect* rect) { *rect = State(d).rect; },
    [](SharedCamDeviceRef d) { return State(d).frameBytes; },
    [](SharedCamDeviceRef, int) -> SInt32 { return 0; },
    [](SharedCamDeviceRef d, int) { return State(d).frame.data(); },
    [](SharedCamDeviceRef d, UInt8* done, UInt8** buffer, long* size) -> SInt32 {
        ScriptedDevice& state = State(d);
        if (state.held)
            ++state.faults;
        if (!state.hands(state.asks++))
            return -50;
        ++state.delivered;
        memset(state.frame.data(), state.delivered, state.frame.size());
        state.held = true;
        *done = 1;
        *buffer = state.frame.data();
        *size = state.frameBytes;
        return 0;
    },
    [](SharedCamDeviceRef d, UInt8* buffer) -> SInt32 {
        ScriptedDevice& state = State(d);
        if (!state.held || buffer != state.frame.data())
            ++state.faults;
        state.held = false;
        return 0;
    },
    [](SharedCamDeviceRef d) -> Boolean {
        ++State(d).reopenChecks;
        return false;
    },
};

class RecordingOutput : public FrameOutput
{
public:
    bool Open(const OutputSettings&, std::string&, std::string&) override { return true; }
    bool Write(const uint8_t* in_frame, size_t in_bytes, std::string& out_error) override
    {
        if (failAfter >= 0 && int(frames.size()) >= failAfter) {
            out_error = "the reader went away";
            return false;
        }
        frames.emplace_back(in_frame, in_frame + in_bytes);
        if (stopAfter >= 0 && int(frames.size()) >= stopAfter)
            *stop = true;
        return true;
    }
    std::string Description() const override { return "recording"; }

    std::vector<std::vector<uint8_t>> frames;
    int failAfter = -1;
    int stopAfter = -1;
    std::atomic<bool>* stop = nullptr;
};

// Counts frames without keeping them, so that only the camera's own allocations are counted.
class CountingOutput : public FrameOutput
{
public:
    bool Open(const OutputSettings&, std::string&, std::string&) override { return true; }
    bool Write(const uint8_t*, size_t, std::string&) override { return ++frames > 0; }
    std::string Description() const override { return "counting"; }
    int frames = 0;
};

class VirtualCameraTest : public testing::Test
{
protected:
    void SetUp() override { ScriptedDevice::sNext = &device; }

    bool run(VirtualCamera& camera, long long frames)
    {
        std::string error;
        const bool ran = camera.Run(frames, stop, error);
        lastError = error;
        return ran;
    }

    static bool Uniform(const std::vector<uint8_t>& frame, uint8_t value)
    {
        for (uint8_t byte : frame)
            if (byte != value)
                return false;
        return true;
    }

    ScriptedDevice device;
    RecordingOutput output;
    std::atomic<bool> stop{false};
    std::string lastError;
    p3dtest::TempDir dir;
    const std::string stampedPath = dir.file("stamped.tmp"); // no writer unless a test has one
};

TEST_F(VirtualCameraTest, DrivesTheDeviceInOrderAndReleasesEveryFrameOnce)
{
    {
        VirtualCamera camera(kScripted, output, stampedPath);
        const std::string suffix = " left";
        std::string error;
        ASSERT_TRUE(camera.Connect(OutputFormat::kARGB, &suffix, error)) << error;
        EXPECT_EQ(camera.Settings().deviceName, "Parallax3D left");
        EXPECT_EQ(camera.Settings().width, 640);
        EXPECT_EQ(camera.Settings().height, 480);
        EXPECT_EQ(camera.Settings().format, OutputFormat::kARGB);
        ASSERT_TRUE(run(camera, 4)) << lastError;
        EXPECT_EQ(camera.GetCounts().written, 4u);
        EXPECT_EQ(camera.GetCounts().delivered, 4u);
    }
    EXPECT_EQ(device.faults, 0);
    EXPECT_FALSE(device.held);
    const std::vector<std::string> expected = {"Construct", "Connect", "SetDeviceNameSuffix  left",
                                               "Disconnect", "Destroy"};
    EXPECT_EQ(device.calls, expected);
    ASSERT_EQ(output.frames.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Uniform(output.frames[i], uint8_t(i + 1))) << "frame " << i;
}

TEST_F(VirtualCameraTest, ShowsItsPictureUntilTheFirstFrameAndKeepsTheLastOneAfter)
{
    // Nothing at first; then the device hands out frames on the retry; then nothing again.
    const int firstLive = VirtualCamera::kRetryInterval;
    device.hands = [](int ask) { return ask >= 1 && ask <= 3; };
    VirtualCamera camera(kScripted, output, stampedPath);
    std::string error;
    ASSERT_TRUE(camera.Connect(OutputFormat::kARGB, nullptr, error)) << error;
    ASSERT_TRUE(run(camera, firstLive + 6)) << lastError;

    const std::vector<uint8_t>& picture = output.frames[0];
    EXPECT_FALSE(Uniform(picture, picture[1])) << "the picture is more than a flat colour";
    for (int i = 0; i < firstLive; ++i)
        EXPECT_EQ(output.frames[i], picture) << "frame " << i;
    EXPECT_TRUE(Uniform(output.frames[firstLive], 1));
    EXPECT_TRUE(Uniform(output.frames[firstLive + 1], 2));
    EXPECT_TRUE(Uniform(output.frames[firstLive + 2], 3));
    for (int i = firstLive + 3; i < firstLive + 6; ++i)
        EXPECT_TRUE(Uniform(output.frames[i], 3)) << "the last frame is kept, frame " << i;
    EXPECT_EQ(camera.GetCounts().delivered, 3u);
    EXPECT_EQ(camera.GetCounts().repeated, uint64_t(firstLive + 3));
    EXPECT_EQ(device.faults, 0);
    // Failed asks are spaced out, not made on every frame.
    EXPECT_EQ(device.asks, 5);
}

TEST_F(VirtualCameraTest, ConvertsWhatItWrites)
{
    VirtualCamera camera(kScripted, output, stampedPath);
    std::string error;
    ASSERT_TRUE(camera.Connect(OutputFormat::kYUYV, nullptr, error)) << error;
    ASSERT_TRUE(run(camera, 1));
    ASSERT_EQ(output.frames.size(), 1u);
    EXPECT_EQ(output.frames[0].size(), 640u * 480 * 2);
}

TEST_F(VirtualCameraTest, RefusesADeviceWhoseFramesItCannotRead)
{
    std::string error;
    device.frameBytes = 100;
    {
        VirtualCamera camera(kScripted, output, stampedPath);
        EXPECT_FALSE(camera.Connect(OutputFormat::kARGB, nullptr, error));
        EXPECT_NE(error.find("100 bytes"), std::string::npos) << error;
        EXPECT_FALSE(run(camera, 1)) << "no run without a device";
    }
    EXPECT_EQ(device.calls.back(), "Destroy");

    // A rectangle whose byte count does not fit 32 bits is refused, not wrapped.
    device = ScriptedDevice();
    device.rect = {-32768, -32768, 32767, 32767};
    device.frameBytes = 0;
    {
        VirtualCamera camera(kScripted, output, stampedPath);
        EXPECT_FALSE(camera.Connect(OutputFormat::kARGB, nullptr, error));
    }

    device = ScriptedDevice();
    device.rect = {0, 0, 480, 639};
    device.frameBytes = 639 * 480 * 4;
    VirtualCamera camera(kScripted, output, stampedPath);
    EXPECT_FALSE(camera.Connect(OutputFormat::kYUYV, nullptr, error));
    EXPECT_NE(error.find("yuyv"), std::string::npos) << error;
}

TEST_F(VirtualCameraTest, AFailingOutputEndsTheRunWithItsMessageAndStillDisconnects)
{
    output.failAfter = 2;
    {
        VirtualCamera camera(kScripted, output, stampedPath);
        std::string error;
        ASSERT_TRUE(camera.Connect(OutputFormat::kARGB, nullptr, error));
        EXPECT_FALSE(run(camera, -1));
        EXPECT_EQ(lastError, "the reader went away");
    }
    EXPECT_EQ(output.frames.size(), 2u);
    EXPECT_EQ(device.faults, 0);
    EXPECT_EQ(device.calls.back(), "Destroy");
}

TEST_F(VirtualCameraTest, StopsWhenAskedAndLooksForAReplacedChannel)
{
    output.stop = &stop;
    output.stopAfter = VirtualCamera::kReplacedCheckInterval + 1;
    VirtualCamera camera(kScripted, output, stampedPath);
    std::string error;
    ASSERT_TRUE(camera.Connect(OutputFormat::kARGB, nullptr, error));
    EXPECT_TRUE(run(camera, -1));
    EXPECT_EQ(output.frames.size(), size_t(VirtualCamera::kReplacedCheckInterval + 1));
    EXPECT_EQ(device.reopenChecks, 1);
    EXPECT_TRUE(run(camera, -1)) << "a stop already asked for writes nothing";
    EXPECT_EQ(output.frames.size(), size_t(VirtualCamera::kReplacedCheckInterval + 1));
}

TEST_F(VirtualCameraTest, FramesInTheSteadyStateAllocateNothing)
{
    for (OutputFormat format :
         {OutputFormat::kYUYV, OutputFormat::kI420, OutputFormat::kARGB, OutputFormat::kRGBA}) {
        CountingOutput counting;
        VirtualCamera camera(kScripted, counting, stampedPath);
        std::string error;
        ASSERT_TRUE(camera.Connect(format, nullptr, error)) << error;
        ASSERT_TRUE(run(camera, 2)); // warm
        const long before = p3dtest::AllocationCount();
        ASSERT_TRUE(run(camera, 6));
        EXPECT_EQ(p3dtest::AllocationCount() - before, 0) << OutputFormatName(format);
        EXPECT_EQ(counting.frames, 6);
    }
}

TEST(VCamStats, AgesOfTheLastSecondsOfNewStampedFrames)
{
    const uint64_t second = 1000000000, ms = 1000000;
    VCamStats stats;
    stats.frameWritten(1 * second, 1 * second - 900 * ms); // older than the window at the end
    for (uint64_t i = 1; i <= 100; ++i)
        stats.frameWritten(10 * second + i * ms, 10 * second + i * ms - i * ms / 10);
    stats.frameWritten(11 * second, 0);           // a frame written again: no age
    stats.frameWritten(11 * second, 12 * second); // a capture after the write: no age
    EXPECT_EQ(stats.written(), 103u);
    EXPECT_EQ(stats.aged(), 101u);
    EXPECT_EQ(stats.json(11 * second),
              "{\"frames_written\": 103, \"frames_aged\": 101, \"age_ms\": {\"median\": "
              "5.000, \"p99\": 9.900, \"samples\": 100}}\n");
    EXPECT_EQ(VCamStats().json(0),
              "{\"frames_written\": 0, \"frames_aged\": 0, \"age_ms\": null}\n");
}

} // namespace
