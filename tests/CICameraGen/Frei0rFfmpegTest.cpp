// Real ffmpeg as the host: frei0r_src loads the plug-in from FREI0R_PATH, the broadcaster runs
// in another process, and the frames ffmpeg writes are read back.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "Folders.h"
#include "PlugInFrames.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 30000;
const std::string kPlugInFolder =
    std::string(P3D_PLUGIN_PATH).substr(0, std::string(P3D_PLUGIN_PATH).rfind('/'));

off_t FileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

class Frei0rFfmpegTest : public testing::Test
{
protected:
    void SetUp() override
    {
#ifdef P3D_SANITIZED
        GTEST_SKIP() << "ffmpeg cannot load a plug-in built with sanitizers";
#endif
        if (!p3dtest::HaveFfmpeg(P3D_FFMPEG))
            GTEST_SKIP() << "no ffmpeg";
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
        ASSERT_FALSE(p3dtest::LinkUserComponent().empty());
        out = dir.path() + "/frames.rgba";
    }

    // ffmpeg writing frames of the plug-in as raw RGBA; realtime paces it at 30 a second.
    std::vector<std::string> Ffmpeg(const char* size, int frames, bool realtime = false)
    {
        std::vector<std::string> args = {"/usr/bin/env",
                                         "FREI0R_PATH=" + kPlugInFolder,
                                         P3D_FFMPEG,
                                         "-nostdin",
                                         "-v",
                                         "error",
                                         "-y"};
        if (realtime)
            args.push_back("-re");
        for (const std::string& arg :
             {std::string("-f"), std::string("lavfi"), std::string("-i"),
              std::string("frei0r_src=size=") + size +
                  ":framerate=30:filter_name=CIParallax3DInput:filter_params=0",
              std::string("-frames:v"), std::to_string(frames), std::string("-f"),
              std::string("rawvideo"), std::string("-pix_fmt"), std::string("rgba"), out})
            args.push_back(arg);
        return args;
    }

    std::string Frame(const std::string& bytes, size_t index, size_t frameBytes) const
    {
        return bytes.substr(index * frameBytes, frameBytes);
    }

    bool WaitForFrames(size_t frameBytes, off_t frames) const
    {
        for (int i = 0; i < kTimeoutMs / 10; ++i) {
            if (FileSize(out) >= off_t(frameBytes) * frames)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    p3dtest::TempDir dir;
    std::string out;
};

const size_t kFullFrame = 640 * 480 * 4;

TEST_F(Frei0rFfmpegTest, WithNoBroadcasterFfmpegGetsTheNoCameraPicture)
{
    Child ffmpeg(Ffmpeg("640x480", 2));
    ASSERT_EQ(ffmpeg.wait(kTimeoutMs), 0) << ffmpeg.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 2 * kFullFrame);
    EXPECT_TRUE(Frame(bytes, 1, kFullFrame) == p3dtest::NoCameraPictureRgba());
}

TEST_F(Frei0rFfmpegTest, APublishedFrameIsFfmpegsFrameInRGBA)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "88"}));
    Child ffmpeg(Ffmpeg("640x480", 3));
    ASSERT_EQ(ffmpeg.wait(kTimeoutMs), 0) << ffmpeg.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 3 * kFullFrame);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(Frame(bytes, i, kFullFrame) == p3dtest::NumberedFrameRgba(88)) << "frame " << i;
}

TEST_F(Frei0rFfmpegTest, FfmpegsDefaultSizeGetsTheFrameScaled)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish-bars", "0"}));
    Child ffmpeg(Ffmpeg("320x240", 1));
    ASSERT_EQ(ffmpeg.wait(kTimeoutMs), 0) << ffmpeg.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 320u * 240 * 4);
    for (int bar = 0; bar < 8; ++bar) {
        const UInt32 rgb = p3dtest::kBarColours[bar];
        const size_t at = (120 * 320 + size_t(bar) * 40 + 20) * 4;
        EXPECT_EQ(UInt8(bytes[at]), UInt8(rgb >> 16)) << "bar " << bar;
        EXPECT_EQ(UInt8(bytes[at + 1]), UInt8(rgb >> 8)) << "bar " << bar;
        EXPECT_EQ(UInt8(bytes[at + 2]), UInt8(rgb)) << "bar " << bar;
        EXPECT_EQ(UInt8(bytes[at + 3]), 255) << "bar " << bar;
    }
}

TEST_F(Frei0rFfmpegTest, WhenTheBroadcastPausesTheLastFrameStays)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "5"}));
    Child ffmpeg(Ffmpeg("640x480", 30, true));
    ASSERT_TRUE(WaitForFrames(kFullFrame, 3)) << ffmpeg.err();
    ASSERT_TRUE(p3dtest::RunChannelHelper({"unpublish"}));
    const off_t paused = FileSize(out) / off_t(kFullFrame);
    ASSERT_EQ(ffmpeg.wait(kTimeoutMs), 0) << ffmpeg.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 30 * kFullFrame);
    ASSERT_LT(paused + 1, 30) << "ffmpeg ran ahead of the pause";
    for (size_t i = size_t(paused) + 1; i < 30; ++i)
        ASSERT_TRUE(Frame(bytes, i, kFullFrame) == p3dtest::NumberedFrameRgba(5)) << "frame " << i;
}

TEST_F(Frei0rFfmpegTest, ABroadcastThatStartsLaterAppearsWithoutANewFilter)
{
    Child ffmpeg(Ffmpeg("640x480", 30, true));
    ASSERT_TRUE(WaitForFrames(kFullFrame, 3)) << ffmpeg.err();
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "9"}));
    ASSERT_EQ(ffmpeg.wait(kTimeoutMs), 0) << ffmpeg.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 30 * kFullFrame);
    EXPECT_TRUE(Frame(bytes, 0, kFullFrame) == p3dtest::NoCameraPictureRgba());
    EXPECT_TRUE(Frame(bytes, 29, kFullFrame) == p3dtest::NumberedFrameRgba(9));
}

} // namespace
