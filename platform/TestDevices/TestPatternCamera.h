// "Parallax3D Test Pattern": a camera without hardware, for demos and end-to-end tests. One
// input per eye, each seeing TestPatternScene from its side; the scene moves, a frame every
// 1/30 s of the camera's clock. MJPEG or YUYV frames. PARALLAX3D_TEST_RIG gives the rig faults
// (TestPatternRig's text), PARALLAX3D_TEST_CHESSBOARD=1 has a hand hold a chessboard up and
// PARALLAX3D_TEST_SKEW_MS=N makes the right eye's frames N ms later than the left eye's. Frames
// are stamped on the monotonic clock, as V4L2 drivers stamp theirs.
#pragma once

#include <map>

#include <cstdint>
#include <functional>
#include <vector>

#include "FakeV4L2Device.h"
#include "TestPatternScene.h"

class TestPatternCamera : public FakeFrameSource
{
public:
    static constexpr const char* kNode = "/dev/parallax3d-test-pattern";
    static constexpr const char* kCardName = "Parallax3D Test Pattern";
    static constexpr const char* kLeftInput = "Left Eye";
    static constexpr const char* kRightInput = "Right Eye";
    static constexpr int kFramesPerSecond = 30;
    static constexpr int kMaxSkewMs = 1000;

    // Microseconds; the monotonic clock unless a test gives its own.
    using Clock = std::function<uint64_t()>;
    explicit TestPatternCamera(Clock in_clock = Clock());
    ~TestPatternCamera() override;
    TestPatternCamera(const TestPatternCamera&) = delete;
    TestPatternCamera& operator=(const TestPatternCamera&) = delete;

    // Makes in_device this camera: its name, inputs, formats and sizes.
    void Configure(FakeV4L2Device& io_device);

    // What the eyes see: rig and chessboard as the environment asked, unless changed here.
    TestPatternScene& scene() { return mScene; }
    // The scene stands at its first frame while frames still come, each stamped: a camera
    // looking at a still picture.
    void holdScene() { mSceneHeld = true; }

    bool FrameReady(const FakeV4L2Device& in_device) override;
    size_t FillFrame(const FakeV4L2Device& in_device, uint8_t* out_data, size_t in_capacity,
                     uint64_t* out_timeUs) override;

private:
    // The right eye's clock starts late by the skew.
    uint64_t StartUs(const FakeV4L2Device& in_device) const;
    uint64_t FrameNumber(const FakeV4L2Device& in_device) const;
    size_t FillYUYV(const FakeV4L2Device& in_device, uint8_t* out_data, size_t in_capacity);
    size_t FillJPEG(const FakeV4L2Device& in_device, uint8_t* out_data, size_t in_capacity);
    Clock mClock;
    uint64_t mStartUs;
    uint64_t mRightSkewUs = 0;
    bool mSceneHeld = false;
    // The last frame each stream took: two eyes stream from one device at once.
    std::map<const FakeV4L2Device*, uint64_t> mLastFrame;
    TestPatternScene mScene;
    // Made once per frame size, so streaming allocates nothing.
    void* mCompressor = nullptr;
    std::vector<uint8_t> mRGB;
    std::vector<uint8_t> mJPEG;
};
