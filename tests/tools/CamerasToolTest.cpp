// parallax3d-cameras as a user runs it, against the built-in test-pattern camera.
#include <gtest/gtest.h>
#include <string>

#include "MacTypes.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 30000;
const std::vector<std::string> kTestCameras = {"PARALLAX3D_TEST_CAMERAS=1"};

UInt32 BigEndian(const std::string& bytes, size_t offset)
{
    UInt32 value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | UInt8(bytes[offset + i]);
    return value;
}

TEST(CamerasTool, ListsTheTestPatternCameraWithItsInputsAndFormats)
{
    Child list({CAMERAS_TOOL_PATH, "list"}, kTestCameras);
    ASSERT_EQ(list.wait(kTimeoutMs), 0) << list.err();
    const std::string& out = list.out();
    EXPECT_NE(out.find("/dev/parallax3d-test-pattern  Parallax3D Test Pattern\n"),
              std::string::npos)
        << out;
    // By the names the menus show.
    EXPECT_NE(out.find("camera \"Parallax3D Test Pattern: Left Eye\"  (input 0: Left Eye)"),
              std::string::npos);
    EXPECT_NE(out.find("camera \"Parallax3D Test Pattern: Right Eye\"  (input 1: Right Eye)"),
              std::string::npos);
    EXPECT_NE(out.find("format MJPG: 640x480"), std::string::npos);
    EXPECT_NE(out.find("format YUYV:"), std::string::npos);
}

TEST(CamerasTool, GrabsFramesOfTheFrameBufferAsPNGFiles)
{
    p3dtest::TempDir dir;
    // By the camera's name, or by its input's own name where no other input has it.
    for (const char* camera : {"Parallax3D Test Pattern: Right Eye", "Left Eye"}) {
        const std::string out = dir.file(camera);
        Child grab({CAMERAS_TOOL_PATH, "grab", "--camera", camera, "--frames", "2", "--out", out},
                   kTestCameras);
        ASSERT_EQ(grab.wait(kTimeoutMs), 0) << grab.err();
        EXPECT_EQ(grab.err().find("VERIFY"), std::string::npos) << grab.err();
        for (const char* name : {"/frame-0001.png", "/frame-0002.png"}) {
            const std::string png = p3dtest::ReadFile(out + name);
            ASSERT_GT(png.size(), 33u) << name;
            EXPECT_EQ(png.substr(1, 3), "PNG");
            EXPECT_EQ(BigEndian(png, 16), 640u); // the grabber's 640 x 480 frame buffer
            EXPECT_EQ(BigEndian(png, 20), 480u);
        }
    }
}

TEST(CamerasTool, UnknownCamerasAndBadArgumentsSayWhat)
{
    p3dtest::TempDir dir;
    Child missing(
        {CAMERAS_TOOL_PATH, "grab", "--camera", "Nope", "--frames", "1", "--out", dir.file("x")},
        kTestCameras);
    EXPECT_EQ(missing.wait(kTimeoutMs), 1);
    EXPECT_NE(missing.err().find("no camera is named \"Nope\""), std::string::npos);
    Child help({CAMERAS_TOOL_PATH, "--help"});
    EXPECT_EQ(help.wait(kTimeoutMs), 0);
    EXPECT_NE(help.out().find("usage: parallax3d-cameras list"), std::string::npos);
    Child nothing({CAMERAS_TOOL_PATH});
    EXPECT_EQ(nothing.wait(kTimeoutMs), 2);
    for (const char* count : {"0", "2x", "-1", ""}) {
        Child badCount({CAMERAS_TOOL_PATH, "grab", "--camera", "Left Eye", "--frames", count,
                        "--out", dir.file("y")});
        EXPECT_EQ(badCount.wait(kTimeoutMs), 2) << count;
        EXPECT_NE(badCount.err().find("--frames takes a count"), std::string::npos) << count;
    }
    Child stray({CAMERAS_TOOL_PATH, "grab", "--camera", "Left Eye", "--frames", "1", "--out",
                 dir.file("z"), "extra"});
    EXPECT_EQ(stray.wait(kTimeoutMs), 2);
}

} // namespace
