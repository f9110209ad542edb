// parallax3d-vcam as users run it: the component found in the components folder, a
// broadcaster in another process, frames read back byte for byte or through ffmpeg.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "CommandLineAnswers.h"
#include "Folders.h"
#include "StampedChannelWriter.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 30000;
const size_t kFrameBytes = kSharedCameraFrameSizeBytes;

std::vector<std::string> VCam(std::vector<std::string> args)
{
    args.insert(args.begin(), VCAM_PATH);
    return args;
}

off_t FileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

// Waits until the file holds at least in_frames whole frames of in_bytes.
bool WaitForFrames(const std::string& path, size_t in_bytes, off_t in_frames)
{
    for (int i = 0; i < kTimeoutMs / 10; ++i) {
        if (FileSize(path) >= off_t(in_bytes) * in_frames)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The number of the last whole frame in the file, or -1 when it is torn or missing.
// Only that frame is read: the file grows by 36 MB a second while a test polls it.
long LastFrameNumber(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const off_t frames = FileSize(path) / off_t(kFrameBytes);
    std::vector<UInt8> frame(kFrameBytes);
    UInt32 number = 0;
    const bool whole =
        frames > 0 && pread(fd, frame.data(), kFrameBytes, (frames - 1) * off_t(kFrameBytes)) ==
                          ssize_t(kFrameBytes);
    close(fd);
    return whole && p3dtest::FrameNumber(frame.data(), &number) ? long(number) : -1;
}

class VCamProcessTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        channel = p3dtest::ChannelPath();
        p3dtest::RemoveChannel(channel);
        components = p3dtest::LinkUserComponent();
        ASSERT_FALSE(components.empty());
        out = dir.path() + "/frames.raw";
    }

    p3dtest::TempDir dir;
    std::string channel;
    std::string components;
    std::string out;
};

TEST_F(VCamProcessTest, WritesThePublishedFramesByteForByte)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "77"}));
    Child vcam(VCam({"--output", "-", "--format", "argb", "--frames", "5"}));
    ASSERT_EQ(vcam.wait(kTimeoutMs), 0) << vcam.err();
    ASSERT_EQ(vcam.out().size(), 5 * kFrameBytes);
    std::string expected(kFrameBytes, '\0');
    p3dtest::FillFrame(expected.data(), 77);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_TRUE(vcam.out().compare(i * kFrameBytes, kFrameBytes, expected) == 0) << i;
    EXPECT_NE(vcam.err().find("\"Parallax3D\", 640 x 480 argb"), std::string::npos) << vcam.err();
}

TEST_F(VCamProcessTest, FramesOfALiveBroadcastAreWholeAndInOrder)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper(
        {"publish", "0", "1"})); // so no frame is the camera's own picture
    Child writer({CHANNEL_HELPER_PATH, "write-frames", "3000"});
    Child vcam(VCam({"--output", out, "--format", "argb", "--frames", "20"}));
    ASSERT_EQ(vcam.wait(kTimeoutMs), 0) << vcam.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 20 * kFrameBytes);
    UInt32 last = 0;
    int distinct = 0;
    for (size_t i = 0; i < 20; ++i) {
        UInt32 number = 0;
        ASSERT_TRUE(p3dtest::FrameNumber(bytes.data() + i * kFrameBytes, &number))
            << "frame " << i << " is torn";
        EXPECT_GE(number + 1, last) << "frame " << i << " went back";
        distinct += number != last;
        last = std::max(last, number);
    }
    EXPECT_GT(distinct, 1) << "the frames did not follow the broadcast";
    writer.wait(kTimeoutMs);
}

// ffmpeg reads each camera format's frames without a word, and they show what was broadcast,
// or the camera's own picture, within the rounding of BT.601 and of shared chroma.
TEST_F(VCamProcessTest, FfmpegReadsEachCameraFormatAsTheBroadcastShowsIt)
{
    if (!p3dtest::HaveFfmpeg(P3D_FFMPEG))
        GTEST_SKIP() << "no ffmpeg";
    struct Case
    {
        const char* format;
        const char* pixelFormat;
        size_t frameBytes;
        bool bars; // else nothing is broadcast and the picture is shown
    };
    const Case cases[] = {{"yuyv", "yuyv422", 640 * 480 * 2, true},
                          {"i420", "yuv420p", 640 * 480 * 3 / 2, true},
                          {"yuyv", "yuyv422", 640 * 480 * 2, false},
                          {"i420", "yuv420p", 640 * 480 * 3 / 2, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + (c.bars ? " bars" : " picture"));
        p3dtest::RemoveChannel(channel);
        std::string expected(kFrameBytes, '\0');
        if (c.bars) {
            ASSERT_TRUE(p3dtest::RunChannelHelper({"publish-bars", "0"}));
            p3dtest::FillBars(expected.data());
        } else {
            Child argb(VCam({"--output", "-", "--format", "argb", "--frames", "1"}));
            ASSERT_EQ(argb.wait(kTimeoutMs), 0) << argb.err();
            expected = argb.out();
            ASSERT_EQ(expected.size(), kFrameBytes);
        }
        Child vcam(VCam({"--output", "-", "--format", c.format, "--frames", "2"}));
        ASSERT_EQ(vcam.wait(kTimeoutMs), 0) << vcam.err();
        ASSERT_EQ(vcam.out().size(), 2 * c.frameBytes);
        p3dtest::WriteFile(out, vcam.out());

        const std::string rgb = dir.path() + "/frames.rgb";
        Child ffmpeg({P3D_FFMPEG, "-nostdin", "-y", "-v", "error", "-f", "rawvideo", "-pix_fmt",
                      c.pixelFormat, "-s", "640x480", "-i", out, "-f", "rawvideo", "-pix_fmt",
                      "rgb24", rgb});
        EXPECT_EQ(ffmpeg.wait(kTimeoutMs), 0);
        EXPECT_EQ(ffmpeg.err(), "");
        const std::string pixels = p3dtest::ReadFile(rgb);
        ASSERT_EQ(pixels.size(), 2 * 640u * 480 * 3);
        for (int frame = 0; frame < 2; ++frame) {
            // Limited range rounds the picture's dark ground by 2 or so; edges between colours
            // share chroma, so a few values stray further.
            size_t far = 0;
            long sum = 0;
            for (size_t i = 0; i < 640u * 480; ++i)
                for (int ch = 0; ch < 3; ++ch) {
                    const int d = std::abs(int(UInt8(pixels[(frame * 640u * 480 + i) * 3 + ch])) -
                                           int(UInt8(expected[i * 4 + 1 + ch])));
                    sum += d;
                    far += d > 8;
                }
            EXPECT_LE(double(sum) / (640 * 480 * 3), 3.0) << "frame " << frame;
            EXPECT_LT(far, 640u * 480 * 3 / 100) << "frame " << frame;
        }
    }
}

// At both sizes, from a 1280 x 720 broadcast in the stamped channel or from nothing (the camera's
// own picture), ffmpeg reads i420 and yuyv as raw video, showing what was broadcast: fitted
// between black bars at 640 x 480.
TEST_F(VCamProcessTest, FfmpegReadsBothSizesFromTheStampedChannelOrThePicture)
{
    if (!p3dtest::HaveFfmpeg(P3D_FFMPEG))
        GTEST_SKIP() << "no ffmpeg";
    StampedChannelWriter writer;
    for (const bool broadcast : {true, false})
        for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{640, 480}})
            for (const auto& [format, pixelFormat] :
                 {std::pair{"i420", "yuv420p"}, std::pair{"yuyv", "yuyv422"}}) {
                const std::string size = std::to_string(width) + "x" + std::to_string(height);
                SCOPED_TRACE(size + " " + format + (broadcast ? " broadcast" : " picture"));
                const size_t pixels = size_t(width) * size_t(height);
                std::string expected(pixels * 4, '\0');
                if (broadcast) {
                    // Eight bars across the whole 1280 x 720 frame.
                    ASSERT_TRUE(writer.Open(StampedChannelFile::DefaultPath(), 1280, 720));
                    writer.SetConnectionsAllowed(true);
                    const int n = writer.BeginFrame();
                    ASSERT_GE(n, 0);
                    UInt8* frame = writer.Buffer(n);
                    for (int i = 0; i < 1280 * 720; ++i) {
                        const UInt32 rgb = p3dtest::kBarColours[(i % 1280) * 8 / 1280];
                        const UInt8 argb[4] = {0xFF, UInt8(rgb >> 16), UInt8(rgb >> 8), UInt8(rgb)};
                        memcpy(frame + i * 4, argb, 4);
                    }
                    ASSERT_TRUE(writer.EndFrame({}));
                    Child unsized(VCam({"--output", "/dev/null", "--frames", "1"}));
                    ASSERT_EQ(unsized.wait(kTimeoutMs), 0);
                    EXPECT_NE(unsized.err().find("1280 x 720 yuyv"), std::string::npos)
                        << "the broadcast's size unless told: " << unsized.err();
                    const int top = width == 640 ? 60 : 0;
                    for (size_t i = 0; i < pixels; ++i) {
                        const int x = int(i % size_t(width)), y = int(i / size_t(width));
                        const UInt32 rgb =
                            y < top || y >= height - top ? 0 : p3dtest::kBarColours[x * 8 / width];
                        expected[i * 4 + 1] = char(rgb >> 16);
                        expected[i * 4 + 2] = char(rgb >> 8);
                        expected[i * 4 + 3] = char(rgb);
                    }
                } else {
                    writer.Close();
                    Child argb(VCam(
                        {"--output", "-", "--format", "argb", "--size", size, "--frames", "1"}));
                    ASSERT_EQ(argb.wait(kTimeoutMs), 0) << argb.err();
                    expected = argb.out();
                    ASSERT_EQ(expected.size(), pixels * 4);
                }
                Child vcam(
                    VCam({"--output", "-", "--format", format, "--size", size, "--frames", "2"}));
                ASSERT_EQ(vcam.wait(kTimeoutMs), 0) << vcam.err();
                p3dtest::WriteFile(out, vcam.out());

                const std::string rgb = dir.path() + "/frames.rgb";
                Child ffmpeg({P3D_FFMPEG, "-nostdin", "-y", "-v", "error", "-f", "rawvideo",
                              "-pix_fmt", pixelFormat, "-s", size, "-i", out, "-f", "rawvideo",
                              "-pix_fmt", "rgb24", rgb});
                EXPECT_EQ(ffmpeg.wait(kTimeoutMs), 0);
                EXPECT_EQ(ffmpeg.err(), "");
                const std::string decoded = p3dtest::ReadFile(rgb);
                ASSERT_EQ(decoded.size(), 2 * pixels * 3) << "two whole frames";
                for (size_t frame = 0; frame < 2; ++frame) {
                    // Limited range rounds by 2 or so; edges share chroma.
                    size_t far = 0;
                    long sum = 0;
                    for (size_t i = 0; i < pixels; ++i)
                        for (size_t ch = 0; ch < 3; ++ch) {
                            const int d =
                                std::abs(int(UInt8(decoded[(frame * pixels + i) * 3 + ch])) -
                                         int(UInt8(expected[i * 4 + 1 + ch])));
                            sum += d;
                            far += d > 8;
                        }
                    EXPECT_LE(double(sum) / double(pixels * 3), 3.0) << "frame " << frame;
                    EXPECT_LT(far, pixels * 3 / 100) << "frame " << frame;
                }
            }
}

TEST_F(VCamProcessTest, BeforeAnyBroadcastWritesItsOwnPictureAndCreatesNoChannel)
{
    Child vcam(VCam({"--output", out, "--format", "argb", "--frames", "2"}));
    ASSERT_EQ(vcam.wait(kTimeoutMs), 0) << vcam.err();
    const std::string bytes = p3dtest::ReadFile(out);
    ASSERT_EQ(bytes.size(), 2 * kFrameBytes);
    EXPECT_EQ(bytes.compare(0, kFrameBytes, bytes, kFrameBytes, kFrameBytes), 0);
    EXPECT_NE(bytes.substr(0, kFrameBytes), std::string(kFrameBytes, '\0'));
    EXPECT_EQ(bytes[0], '\xFF') << "opaque";
    EXPECT_EQ(FileSize(channel), -1);
}

TEST_F(VCamProcessTest, KeepsTheLastFrameWhenTheChannelVanishesAndFollowsANewBroadcaster)
{
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "0", "7"}));
    Child vcam(VCam({"--output", out, "--format", "argb"}));
    ASSERT_TRUE(WaitForFrames(out, kFrameBytes, 2)) << vcam.err();
    ASSERT_EQ(unlink(channel.c_str()), 0);
    const off_t before = FileSize(out) / off_t(kFrameBytes);
    ASSERT_TRUE(WaitForFrames(out, kFrameBytes, before + 3));
    EXPECT_TRUE(vcam.running()) << vcam.err();
    EXPECT_EQ(LastFrameNumber(out), 7);

    // The application starts again: a new file, and the camera follows within a second or so.
    ASSERT_TRUE(p3dtest::RunChannelHelper({"publish", "1", "9"}));
    long last = -1;
    for (int i = 0; i < 500 && last != 9; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        last = LastFrameNumber(out);
    }
    EXPECT_EQ(last, 9);
    kill(vcam.pid(), SIGTERM);
    EXPECT_EQ(vcam.wait(kTimeoutMs), 0) << vcam.err();
    EXPECT_EQ(FileSize(out) % off_t(kFrameBytes), 0) << "a stop leaves whole frames";
}

TEST_F(VCamProcessTest, InterruptOrTerminateEndsItCleanly)
{
    for (int signal : {SIGINT, SIGTERM}) {
        unlink(out.c_str());
        Child vcam(VCam({"--output", out}));
        ASSERT_TRUE(WaitForFrames(out, 640 * 480 * 2, 1)) << vcam.err();
        kill(vcam.pid(), signal);
        EXPECT_EQ(vcam.wait(kTimeoutMs), 0) << "signal " << signal << ": " << vcam.err();
    }
}

TEST_F(VCamProcessTest, AnswersEachCommandLineInOneManner)
{
    const std::string usage =
        "Usage: parallax3d-vcam [--pipewire] [--device NODE | --output PATH] [options]";
    const std::string makeOne = "\nMake one with v4l2loopback, then write to it:\n  sudo modprobe "
                                "v4l2loopback video_nr=10 card_label=\"Parallax3D\" "
                                "exclusive_caps=1\n  parallax3d-vcam --device /dev/video10\n";
    const std::string missing = dir.path() + "/no/such/folder/frames.raw";
    p3dtest::ExpectAnswers(
        VCAM_PATH,
        {
            {{"--help"}, 0, usage, "--name-suffix TEXT"},
            {{"--version"}, 0, "parallax3d-vcam " PARALLAX3D_VERSION},
            {{"--nope"}, 2, "unknown option --nope"},
            {{"--frames", "none"}, 2, "--frames needs a whole number of at least 1, not \"none\""},
            {{"--format", "nv12"}, 2, "unknown format \"nv12\"; use yuyv, i420, argb or rgba"},
            {{"--format=yuv420p"}, 2, "unknown format \"yuv420p\"; use yuyv, i420, argb or rgba"},
            {{"--size", "1000x1000"}, 2, "--size needs 640x480 or 1280x720, not \"1000x1000\""},
            {{"--size=0x0"}, 2, "--size needs 640x480 or 1280x720, not \"0x0\""},
            {{"video10"}, 2, "unexpected argument \"video10\""},
            {{"--device", "/dev/null"}, 1, "/dev/null is not a video output device", makeOne},
            {{"--device", dir.path() + "/video99"},
             1,
             "no such device " + dir.path() + "/video99",
             makeOne},
            {{"--output", dir.path()},
             1,
             dir.path() + " is a folder; give a file name with --output"},
            {{"--output", missing},
             1,
             "the folder for " + missing +
                 " does not exist; create it first or give another path with --output"},
        });
}

// The component is linked only while the application broadcasts: the message says so, and the
// command it gives mends it.
TEST_F(VCamProcessTest, AMissingComponentIsToldWithTheLinkThatMendsIt)
{
    p3dtest::RemoveTree(components);
    Child missing(VCam({"--output", out, "--frames", "1"}));
    EXPECT_EQ(missing.wait(kTimeoutMs), 1);
    const std::string& err = missing.err();
    EXPECT_EQ(err.substr(0, err.find('\n')),
              "parallax3d-vcam: the Parallax3D_XXX component could not be loaded");
    for (const std::string& words : {components, std::string("\"Broadcast as a camera\""),
                                     std::string("parallax3d --broadcast")})
        EXPECT_NE(err.find(words), std::string::npos) << words << " in " << err;
    const size_t link = err.find("\n  mkdir -p ");
    ASSERT_NE(link, std::string::npos) << err;
    Child shell({"/bin/sh", "-c", err.substr(link + 1)});
    ASSERT_EQ(shell.wait(kTimeoutMs), 0) << shell.err();

    Child mended(VCam({"--output", out, "--frames", "1"}));
    EXPECT_EQ(mended.wait(kTimeoutMs), 0) << mended.err();
}

TEST_F(VCamProcessTest, AReaderThatGoesAwayEndsItWithAMessage)
{
    const std::string err = dir.path() + "/err.txt";
    Child shell({"/bin/bash", "-c",
                 std::string("'") + VCAM_PATH + "' --output - 2>'" + err +
                     "' | head -c 100000 >/dev/null; echo ${PIPESTATUS[0]}"});
    ASSERT_EQ(shell.wait(kTimeoutMs), 0);
    EXPECT_EQ(shell.out(), "1\n");
    EXPECT_NE(p3dtest::ReadFile(err).find("went away"), std::string::npos)
        << p3dtest::ReadFile(err);
}

} // namespace
