// parallax3d as users run it: headless, with the test cameras, broadcasting, while other
// processes read the channel.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <glob.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "CommandLineAnswers.h"
#include "MediaProbe.h"
#include "StampedChannelReader.h"
#include "StatsFigure.h"
#include "TestSupport.h"

using p3dtest::Child;
using p3dtest::StatsFigure;

namespace {

#ifdef P3D_SANITIZED
constexpr int kMinimumFrames = 10;  // instrumented builds run many times slower
constexpr int kMinimumHDFrames = 3; // and at 1280 x 720 tick about twice a second
#else
constexpr int kMinimumFrames = 100;
constexpr int kMinimumHDFrames = 100;
#endif

uint64_t Hash(const UInt8* bytes, size_t size)
{
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < size; i += 8)
        hash = (hash ^ *reinterpret_cast<const uint64_t*>(bytes + i)) * 1099511628211ull;
    return hash;
}

// The frame the channel's file shows now: its current buffer, or buffer 0 before any.
std::string ChannelFrame()
{
    const std::string channel = p3dtest::ReadFile(p3dtest::ChannelPath());
    if (channel.size() < kSharedMemoryFileSize)
        return std::string();
    UInt32 selector = 0;
    memcpy(&selector, channel.data() + kSharedMemorySelectorOffset, 4);
    const size_t current = selector == kSharedMemoryCurrentBuffer1
                               ? kSharedMemoryFrameBuffer1Offset
                               : kSharedMemoryFrameBuffer0Offset;
    return channel.substr(current, kSharedCameraFrameSizeBytes);
}

// The colour of each pixel, whatever byte order and alpha a reader writes.
std::string RGB(const std::string& frame, size_t red)
{
    std::string rgb;
    rgb.reserve(frame.size() / 4 * 3);
    for (size_t i = 0; i + 4 <= frame.size(); i += 4)
        rgb.append(frame, i + red, 3);
    return rgb;
}

// The hashes of the colours of each whole frame in a reader's file.
std::vector<uint64_t> FrameHashes(const std::string& bytes, size_t red)
{
    std::vector<uint64_t> hashes;
    for (size_t at = 0; at + kSharedCameraFrameSizeBytes <= bytes.size();
         at += kSharedCameraFrameSizeBytes) {
        const std::string rgb = RGB(bytes.substr(at, kSharedCameraFrameSizeBytes), red);
        hashes.push_back(Hash(reinterpret_cast<const UInt8*>(rgb.data()), rgb.size() & ~size_t(7)));
    }
    return hashes;
}

// Whether every sampled pixel of a channel frame is opaque.
bool IsOpaque(const UInt8* pixels)
{
    for (size_t i = 0; i < kSharedCameraFrameSizeBytes; i += 4 * 97)
        if (pixels[i] != 0xFF)
            return false;
    return true;
}

// How many different frames a reader of the channel sees in 4 s, read through the component as
// old readers read them; out_held is cleared when a frame fails in_holds.
int DistinctFrames(p3dtest::ComponentExports& exports, bool (*in_holds)(const UInt8*) = nullptr,
                   bool* out_held = nullptr)
{
    std::set<uint64_t> distinct;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < end) {
        SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
        if (exports.GetCurrentReadBuffer(&record) &&
            exports.LockFrameBuffer(record.frameBufferPtr)) {
            const UInt8* pixels = static_cast<const UInt8*>(record.frameBufferPtr);
            distinct.insert(Hash(pixels, kSharedCameraFrameSizeBytes));
            if (in_holds && out_held)
                *out_held = *out_held && in_holds(pixels);
            exports.UnLockFrameBuffer(record.frameBufferPtr);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return int(distinct.size());
}

bool PlugInReadable()
{
#ifdef P3D_SANITIZED
    return false; // ffmpeg cannot load a plug-in built with sanitizers
#else
    return p3dtest::HaveFfmpeg(P3D_FFMPEG);
#endif
}

class AppProcessTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
    }
    // The application without a display, as on a server or in CI.
    static std::vector<std::string> Headless()
    {
        return {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    }
};

TEST_F(AppProcessTest, BroadcastsLiveFramesThatOtherProcessesSeeAndKeep)
{
    Child app(
        {APP_PATH, "--test-cameras", "--broadcast", "--monitor", "stereo", "--quit-after", "7"},
        Headless());
    p3dtest::ComponentExports exports;
    ASSERT_TRUE(exports.loaded());
    SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
    for (int i = 0; i < 1000 && !exports.GetCurrentReadBuffer(&record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(record.frameBufferPtr, nullptr) << app.err();
    EXPECT_EQ(record.frameWidth, 640);
    EXPECT_EQ(record.frameHeight, 480);

    Child second({APP_PATH, "--test-cameras", "--quit-after", "1"}, Headless());
    EXPECT_EQ(second.wait(20000), 1);
    EXPECT_NE(second.err().find("Parallax3D is already running"), std::string::npos)
        << second.err();

    // Two readers at once: the virtual camera's converter and ffmpeg through the plug-in, both
    // reading on past the application's close.
    const std::string frames = p3dtest::SuiteRoot() + "/vcam.argb";
    const std::string plugInFrames = p3dtest::SuiteRoot() + "/ffmpeg.rgba";
    Child vcam({VCAM_PATH, "--output", frames, "--format", "argb", "--frames", "240"});
    std::unique_ptr<Child> ffmpeg;
    if (PlugInReadable()) {
        ASSERT_FALSE(p3dtest::LinkUserComponent().empty());
        ffmpeg = std::make_unique<Child>(std::vector<std::string>{
            "/usr/bin/env", std::string("FREI0R_PATH=") + PLUGIN_FOLDER, P3D_FFMPEG, "-nostdin",
            "-v", "error", "-y", "-re", "-f", "lavfi", "-i",
            "frei0r_src=size=640x480:framerate=30:filter_name=CIParallax3DInput:filter_params=0",
            "-frames:v", "240", "-f", "rawvideo", "-pix_fmt", "rgba", plugInFrames});
    }

    bool opaque = true;
    EXPECT_GE(DistinctFrames(exports, IsOpaque, &opaque), kMinimumFrames);
    EXPECT_TRUE(opaque);

    ASSERT_EQ(app.wait(30000), 0) << app.err();
    ASSERT_EQ(vcam.wait(30000), 0) << vcam.err();
    // After the application closed, each reader kept the channel's last frame.
    const std::string last = RGB(ChannelFrame(), 1);
    const std::string shown = p3dtest::ReadFile(frames);
    ASSERT_GE(shown.size(), 20u * kSharedCameraFrameSizeBytes);
    EXPECT_TRUE(RGB(shown.substr(shown.size() - kSharedCameraFrameSizeBytes), 1) == last);
    const std::vector<uint64_t> vcamSaw = FrameHashes(shown.substr(0, shown.size() / 2), 1);
    const std::set<uint64_t> live(vcamSaw.begin(), vcamSaw.end());
    EXPECT_GE(live.size(), 10u) << "the virtual camera saw the broadcast live";
    if (!ffmpeg)
        return;
    ASSERT_EQ(ffmpeg->wait(30000), 0) << ffmpeg->err();
    const std::string taken = p3dtest::ReadFile(plugInFrames);
    ASSERT_EQ(taken.size(), 240u * kSharedCameraFrameSizeBytes);
    EXPECT_TRUE(RGB(taken.substr(taken.size() - kSharedCameraFrameSizeBytes), 0) == last);
    size_t same = 0;
    for (uint64_t frame : FrameHashes(taken.substr(0, taken.size() / 2), 0))
        same += live.count(frame);
    EXPECT_GE(same, 10u) << "ffmpeg saw the live frames the virtual camera saw";
}

// The stamped channel's newest frame, also a writer gone's last one, as A,R,G,B rows.
std::string StampedFrame(int* out_width = nullptr, int* out_height = nullptr)
{
    StampedChannelReader reader;
    reader.IsWriterAlive(); // opens the file
    StampedChannelReader::Frame frame;
    if (!reader.BeginRead(frame))
        return std::string();
    std::string rows;
    for (int y = 0; y < frame.height; ++y)
        rows.append(reinterpret_cast<const char*>(frame.pixels) +
                        size_t(y) * size_t(frame.rowBytes),
                    size_t(frame.width) * 4);
    if (out_width)
        *out_width = frame.width;
    if (out_height)
        *out_height = frame.height;
    return reader.EndRead() ? rows : std::string();
}

// Whether a classic 640 x 480 frame is a 1280 x 720 picture halved between black bars: 60 rows
// above and below, each pixel between within in_tolerance of the mean of its four.
bool IsBarredHalfOf(const std::string& classic, const std::string& hd, int in_tolerance)
{
    if (classic.size() != kSharedCameraFrameSizeBytes || hd.size() != size_t(1280 * 720 * 4))
        return false;
    const auto at = [](const std::string& frame, int width, int x, int y, int byte) {
        return int(UInt8(frame[(size_t(y) * size_t(width) + size_t(x)) * 4 + size_t(byte)]));
    };
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            for (int byte = 0; byte < 4; ++byte) {
                const int ours = at(classic, 640, x, y, byte);
                if (y < 60 || y >= 420) {
                    if (ours != (byte == 0 ? 0xFF : 0))
                        return false;
                    continue;
                }
                const int hy = (y - 60) * 2;
                const int mean =
                    (at(hd, 1280, 2 * x, hy, byte) + at(hd, 1280, 2 * x + 1, hy, byte) +
                     at(hd, 1280, 2 * x, hy + 1, byte) + at(hd, 1280, 2 * x + 1, hy + 1, byte) +
                     2) /
                    4;
                if (std::abs(ours - mean) > in_tolerance)
                    return false;
            }
    return true;
}

// Each eye alone, then both, at each size: the stereo broadcast is ffmpeg's anaglyph of the two
// eyes the application itself broadcast, the test pattern standing still so all three runs see
// one scene. At 1280 x 720 this build's readers get it from the stamped channel, and old readers
// of the classic file the same picture halved between bars.
TEST_F(AppProcessTest, TheStereoBroadcastIsFfmpegsAnaglyphOfTheTwoEyesAtEachSize)
{
    if (!p3dtest::HaveFfmpeg(P3D_FFMPEG))
        GTEST_SKIP() << "no ffmpeg";
    for (const std::string size : {"640x480", "1280x720"}) {
        const bool hd = size == "1280x720";
        p3dtest::TempDir dir;
        for (const char* monitor : {"left", "right", "stereo"}) {
            p3dtest::RemoveChannel(p3dtest::ChannelPath());
            std::vector<std::string> env = Headless();
            env.push_back("PARALLAX3D_TEST_CAMERAS=still");
            Child app({APP_PATH, "--broadcast", "--monitor", monitor, "--size", size,
                       "--quit-after", "2"},
                      env);
            ASSERT_EQ(app.wait(30000), 0) << app.err();
            int width = 0, height = 0;
            const std::string frame = StampedFrame(&width, &height);
            ASSERT_EQ(std::to_string(width) + "x" + std::to_string(height), size) << monitor;
            if (hd)
                EXPECT_TRUE(IsBarredHalfOf(ChannelFrame(), frame, 1)) << monitor;
            else
                EXPECT_TRUE(ChannelFrame() == frame) << monitor;
            p3dtest::WriteFile(dir.file(std::string(monitor) + ".argb"), frame);
        }
        std::vector<std::string> args = {P3D_FFMPEG, "-nostdin", "-v", "error", "-y"};
        for (const char* eye : {"left.argb", "right.argb"})
            args.insert(args.end(),
                        {"-f", "rawvideo", "-pix_fmt", "argb", "-s", size, "-i", dir.file(eye)});
        args.insert(args.end(), {"-filter_complex", "[0][1]hstack,stereo3d=sbsl:arcd", "-f",
                                 "rawvideo", "-pix_fmt", "argb", dir.file("ffmpeg.argb")});
        Child ffmpeg(args);
        ASSERT_EQ(ffmpeg.wait(60000), 0) << ffmpeg.err();
        const std::string theirs = p3dtest::ReadFile(dir.file("ffmpeg.argb"));
        const std::string ours = p3dtest::ReadFile(dir.file("stereo.argb"));
        ASSERT_EQ(theirs.size(), ours.size()) << size;
        EXPECT_FALSE(ours == p3dtest::ReadFile(dir.file("left.argb"))) << "two eyes, not one";
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            if (i % 4 != 0)
                worst = std::max(worst, std::abs(int(UInt8(ours[i])) - int(UInt8(theirs[i]))));
        EXPECT_LE(worst, 2) << size;
    }
}

// Whether a classic frame has the black bars of a 16:9 picture above and below.
bool IsBarred(const UInt8* pixels)
{
    for (size_t row : {0, 59, 420, 479})
        if (memcmp(pixels + row * 640 * 4, "\xff\0\0\0", 4) != 0)
            return false;
    return true;
}

// Live at 1280 x 720: the virtual camera writes I420 frames of that size, new ones at the
// broadcast's rate, while an old reader of the classic file sees 640 x 480 frames with bars at
// the same time.
TEST_F(AppProcessTest, AtHDTheVirtualCameraAndAnOldReaderBothGetLiveFrames)
{
    Child app(
        {APP_PATH, "--test-cameras", "--broadcast", "--size", "1280x720", "--quit-after", "8"},
        Headless());
    StampedChannelReader stamped;
    for (int i = 0; i < 300 && !stamped.IsWriterAlive(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(stamped.IsWriterAlive()) << app.err();
    p3dtest::TempDir dir;
    const std::string fifo = dir.file("vcam.i420");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Child vcam({VCAM_PATH, "--output", fifo, "--format", "i420", "--size", "1280x720"});
    constexpr size_t kI420Bytes = 1280 * 720 * 3 / 2;
    std::set<uint64_t> written;
    size_t frames = 0;
    std::thread reader([&] {
        FILE* in = fopen(fifo.c_str(), "rb");
        if (!in)
            return;
        std::vector<UInt8> frame(kI420Bytes);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (std::chrono::steady_clock::now() < end &&
               fread(frame.data(), 1, frame.size(), in) == frame.size()) {
            ++frames;
            written.insert(Hash(frame.data(), frame.size()));
        }
        fclose(in); // the camera's next write fails, and it ends
    });
    p3dtest::ComponentExports exports;
    ASSERT_TRUE(exports.loaded());
    bool barred = true;
    const int classic = DistinctFrames(exports, IsBarred, &barred);
    reader.join();
    kill(vcam.pid(), SIGTERM);
    vcam.wait(20000);
    EXPECT_GE(int(written.size()), kMinimumHDFrames) << frames << " written; " << vcam.err();
    EXPECT_GE(classic, kMinimumHDFrames);
    EXPECT_TRUE(barred);
    printf("distinct frames in 4 s: %zu of %zu written by the virtual camera at 1280 x 720, %d in "
           "the classic file\n",
           written.size(), frames, classic);
    kill(app.pid(), SIGTERM);
    EXPECT_EQ(app.wait(20000), 0) << app.err();
}

// A window manager's minimise unmaps the window, and Qt paints no unmapped window: the broadcast
// must not depend on painting. Another X client unmaps it here, as a window manager would.
TEST_F(AppProcessTest, TheBroadcastGoesOnWhileTheWindowIsUnmapped)
{
    if (access("/usr/bin/Xvfb", X_OK) != 0 || access("/usr/bin/xdotool", X_OK) != 0)
        GTEST_SKIP() << "needs Xvfb and xdotool";
    Child xvfb(
        {"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
    const std::string number = xvfb.readLine(20000);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = "DISPLAY=:" + number;
    Child app({APP_PATH, "--test-cameras", "--broadcast", "--quit-after", "20"},
              {display, "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"});
    const auto xdotool = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/xdotool");
        Child client(args, {display});
        const int status = client.wait(20000);
        return std::pair{status, client.out()};
    };
    const auto [found, windows] =
        xdotool({"search", "--sync", "--onlyvisible", "--name", "^Parallax3D$"});
    ASSERT_EQ(found, 0) << app.err();
    p3dtest::ComponentExports exports;
    ASSERT_TRUE(exports.loaded());
    // Shown, the window is painted through a software X server as well, on the same thread.
    const int mapped = DistinctFrames(exports);
    EXPECT_GE(mapped, kMinimumFrames / 2) << "mapped";

    std::vector<std::string> unmap = {"windowunmap", "--sync"};
    std::istringstream ids(windows);
    for (std::string id; ids >> id;)
        unmap.push_back(id);
    ASSERT_EQ(xdotool(unmap).first, 0);
    ASSERT_NE(xdotool({"search", "--onlyvisible", "--name", "^Parallax3D$"}).first, 0)
        << "the window is still shown";
    const int unmapped = DistinctFrames(exports);
    EXPECT_GE(unmapped, kMinimumFrames) << "unmapped";
    printf("distinct frames in 4 s: %d mapped, %d unmapped\n", mapped, unmapped);
    EXPECT_TRUE(app.running()) << app.err();
}

// The test pattern's right eye captured 10 ms late: the figures for scripts say so, and say how
// long a frame takes from capture to the broadcast.
TEST_F(AppProcessTest, TheStatsFileShowsTheSkewBetweenTheEyesAndTheDelayToBroadcast)
{
    p3dtest::TempDir dir;
    const std::string stats = dir.file("stats.json");
    Child app({APP_PATH, "--test-cameras", "--test-skew", "10", "--broadcast", "--stats", stats,
               "--quit-after", "4"},
              Headless());
    ASSERT_EQ(app.wait(30000), 0) << app.err();
    const std::string json = p3dtest::ReadFile(stats);
    EXPECT_NEAR(StatsFigure(json, "skewMs"), 10.0, 2.0) << json;
    for (const char* eye : {"leftFps", "rightFps"})
        EXPECT_GT(StatsFigure(json, eye), 0.0) << json; // sanitized builds tick slowly
    const double median = StatsFigure(json, "delayMedianMs");
    EXPECT_GT(median, 0.0) << json;
    EXPECT_GE(StatsFigure(json, "delay99Ms"), median) << json;
    EXPECT_NE(app.err().find("\nparallax3d: left "), std::string::npos) << app.err();
}

// One launch on a machine without cameras stores no camera for either eye, so the next launch,
// with cameras, has both eyes live and keeps them.
TEST_F(AppProcessTest, ALaunchWithoutCamerasLeavesTheNextOneBothEyes)
{
    glob_t nodes{};
    const bool cameras = glob("/dev/video*", 0, nullptr, &nodes) == 0;
    globfree(&nodes);
    if (cameras)
        GTEST_SKIP() << "this machine has video devices";
    const std::string folder = std::string(getenv("XDG_CONFIG_HOME")) + "/Parallax3D";
    p3dtest::RemoveTree(folder);
    std::vector<std::string> env = Headless();
    env.push_back("PARALLAX3D_TEST_CAMERAS=");
    Child bare({APP_PATH, "--quit-after", "1"}, env);
    ASSERT_EQ(bare.wait(30000), 0) << bare.err();
    EXPECT_EQ(p3dtest::ReadFile(folder + "/Parallax3D.conf").find("EyeCamera"), std::string::npos);

    Child live({APP_PATH, "--test-cameras", "--quit-after", "2"}, env);
    ASSERT_EQ(live.wait(30000), 0) << live.err();
    const std::string stored = p3dtest::ReadFile(folder + "/Parallax3D.conf");
    EXPECT_NE(stored.find("leftEyeCamera=Parallax3D Test Pattern: Left Eye\n"), std::string::npos)
        << stored;
    EXPECT_NE(stored.find("rightEyeCamera=Parallax3D Test Pattern: Right Eye\n"), std::string::npos)
        << stored;
}

// A signal to end closes the window as a click would, within 2 s.
TEST_F(AppProcessTest, TerminationSignalsCloseTheWindowThroughItsNormalClose)
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        p3dtest::TempDir home; // its own settings (Parallax3D/) and components (parallax3d/)
        std::vector<std::string> env = Headless();
        env.insert(env.end(), {"XDG_CONFIG_HOME=" + home.path(), "XDG_DATA_HOME=" + home.path()});
        Child app({APP_PATH, "--test-cameras", "--broadcast", "--left-camera",
                   "Parallax3D Test Pattern: Left Eye", "--right-camera",
                   "Parallax3D Test Pattern: Right Eye"},
                  env);
        const std::string link = home.file("parallax3d/Components/Parallax3D_XXX.component");
        for (int i = 0; i < 3000 && app.running() && !p3dtest::PathExists(link); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(p3dtest::PathExists(link)) << app.err();

        ASSERT_EQ(kill(app.pid(), signal), 0);
        EXPECT_EQ(app.wait(2000), 0) << app.err();
        EXPECT_FALSE(p3dtest::PathExists(link));
        const std::string settings = p3dtest::ReadFile(home.file("Parallax3D/Parallax3D.conf"));
        for (const char* line :
             {"\n_rebroadcastButton=1\n", "\nleftEyeCamera=Parallax3D Test Pattern: Left Eye\n",
              "\nrightEyeCamera=Parallax3D Test Pattern: Right Eye\n"})
            EXPECT_NE(settings.find(line), std::string::npos) << line << settings;
    }
}

// Both eyes recorded from the command line, side by side: at its close after --quit-after, and
// cut short by SIGTERM, the file plays to its end with nothing said on ffprobe's error output.
TEST_F(AppProcessTest, RecordsBothEyesSideBySideUntilItsCloseOrATerminationSignal)
{
    if (p3dtest::FindProgram("ffprobe").empty())
        GTEST_SKIP() << "ffprobe is needed to read the recording";
    for (const char* name : {"eyes.mkv", "eyes.mp4"}) {
        SCOPED_TRACE(name);
        p3dtest::TempDir home;
        std::vector<std::string> env = Headless();
        env.insert(env.end(), {"XDG_CONFIG_HOME=" + home.path(), "XDG_DATA_HOME=" + home.path()});
        const bool signalled = std::string(name) == "eyes.mp4";
        const std::string file = home.file(name);
        Child app(
            {APP_PATH, "--test-cameras", "--record", file, "--quit-after", signalled ? "60" : "6"},
            env);
        if (signalled) {
            std::this_thread::sleep_for(std::chrono::seconds(4));
            ASSERT_EQ(kill(app.pid(), SIGTERM), 0);
        }
        ASSERT_EQ(app.wait(30000), 0) << app.err();
        const std::string report = p3dtest::Probe(file);
        EXPECT_EQ(p3dtest::Count(report, "[STREAM]"), 1) << report;
        EXPECT_EQ(p3dtest::Count(report, "codec_name=h264"), 1) << report;
        EXPECT_EQ(p3dtest::Count(report, "\nwidth=1280\n"), 1) << report;
        EXPECT_EQ(p3dtest::Count(report, "\nheight=480\n"), 1) << report;
        EXPECT_EQ(p3dtest::Count(report, "type=side by side"), 1) << report;
        EXPECT_EQ(p3dtest::Count(report, "inverted=1"), 0) << report; // the left eye first
        const double seconds = p3dtest::FormatNumber(report, "duration");
#ifndef P3D_SANITIZED
        // The cameras' 30 frames a second, each kept once, from the start to the end.
        EXPECT_NE(report.find("\nr_frame_rate=30/1\n"), std::string::npos) << report;
        if (!signalled) {
            EXPECT_NEAR(seconds, 6.0, 0.5) << report;
        }
#endif
        EXPECT_GT(seconds, 1.0) << report;
    }
}

// With still cameras every tick shows the same eyes, which the broadcast shows too: the frame
// recorded a couple of seconds in is the picture the monitor showed, in each layout.
TEST_F(AppProcessTest, EachLayoutRecordsWhatTheMonitorOrTheEyesShowed)
{
    if (p3dtest::FindProgram("ffprobe").empty() || p3dtest::FindProgram("ffmpeg").empty())
        GTEST_SKIP() << "ffmpeg and ffprobe are needed to read the recordings";
#ifdef P3D_SANITIZED
    constexpr int kFrame = 3; // instrumented ticks are slow
#else
    constexpr int kFrame = 60;
#endif
    p3dtest::TempDir home;
    struct Run
    {
        const char* monitor;
        const char* layout;
        const char* file;
    };
    std::map<std::string, std::string> shown; // the broadcast's frame of each monitor type
    for (const Run& run :
         {Run{"left", "side-by-side", "eyes.mkv"}, Run{"right", "two-streams", "two.mkv"},
          Run{"stereo", "monitor", "monitor.mp4"}}) {
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
        std::vector<std::string> env = Headless();
        env.insert(env.end(), {"XDG_CONFIG_HOME=" + home.path(), "XDG_DATA_HOME=" + home.path(),
                               "PARALLAX3D_TEST_CAMERAS=still"});
        Child app({APP_PATH, "--broadcast", "--monitor", run.monitor, "--record",
                   home.file(run.file), "--record-layout", run.layout, "--quit-after", "3"},
                  env);
        ASSERT_EQ(app.wait(30000), 0) << app.err();
        shown[run.monitor] = StampedFrame();
    }
    const std::string left = shown["left"], right = shown["right"];
    ASSERT_EQ(left.size(), size_t(640 * 480 * 4));
    const std::string scratch = home.file("frame.argb");
    const auto frame = [&](const char* file, int stream) {
        return p3dtest::DecodedFrame(home.file(file), stream, kFrame, scratch);
    };
    EXPECT_GE(p3dtest::Psnr(frame("eyes.mkv", 0), p3dtest::SideBySide(left, right, 640)), 35.0);
    EXPECT_GE(p3dtest::Psnr(frame("two.mkv", 0), left), 35.0);
    EXPECT_GE(p3dtest::Psnr(frame("two.mkv", 1), right), 35.0);
    EXPECT_GE(p3dtest::Psnr(frame("monitor.mp4", 0), shown["stereo"]), 35.0);
    EXPECT_LT(p3dtest::Psnr(shown["stereo"], left), 35.0) << "the anaglyph, not one eye";

    const std::string streams = p3dtest::Probe(home.file("two.mkv"));
    EXPECT_EQ(p3dtest::Count(streams, "\nwidth=640\nheight=480\n"), 2) << streams;
    for (const char* eye : {"TAG:title=left", "TAG:title=right"})
        EXPECT_EQ(p3dtest::Count(streams, eye), 1) << streams;
    const std::string monitor = p3dtest::Probe(home.file("monitor.mp4"));
    EXPECT_EQ(p3dtest::Count(monitor, "side by side"), 0) << "a monitor picture is not a pair";
}

// A stream from the command line reaches its SRT server.
TEST_F(AppProcessTest, AStreamReachesItsServer)
{
    if (p3dtest::FindProgram("ffprobe").empty() || p3dtest::FindProgram("ffmpeg").empty())
        GTEST_SKIP() << "ffmpeg and ffprobe are needed to read the stream";
    p3dtest::TempDir home;
    std::vector<std::string> env = Headless();
    env.insert(env.end(), {"XDG_CONFIG_HOME=" + home.path(), "XDG_DATA_HOME=" + home.path()});
    const std::string url = p3dtest::SrtUrl();
    const std::string received = home.file("received.ts");
    auto listener = p3dtest::SrtListener(url, received); // the stream waits until it listens
    Child streaming({APP_PATH, "--test-cameras", "--stream", url, "--quit-after", "5"}, env);
    EXPECT_EQ(streaming.wait(60000), 0) << streaming.err();
    EXPECT_EQ(listener->wait(20000), 0) << listener->err();
    const std::string report = p3dtest::Probe(received);
    EXPECT_EQ(p3dtest::Count(report, "codec_name=h264"), 1) << report;
    const size_t frames = report.find("nb_read_frames=");
    ASSERT_NE(frames, std::string::npos) << report;
    EXPECT_GE(atoi(report.c_str() + frames + 15), std::min(kMinimumFrames, 90)) << report;
}

// The status and the words a user sees, from command lines that end at once or soon.
TEST_F(AppProcessTest, CommandLinesSayWhatHappenedAndEndWithTheirStatus)
{
    p3dtest::TempDir home;
    std::vector<std::string> env = Headless();
    env.insert(env.end(),
               {"XDG_CONFIG_HOME=" + home.path(), "XDG_RUNTIME_DIR=", "PARALLAX3D_TEST_CAMERAS="});
    p3dtest::ExpectAnswers(
        APP_PATH,
        {
            {{"--version"}, 0, "parallax3d " PARALLAX3D_VERSION},
            {{"--help"}, 0, "Usage: parallax3d [options]"},
            {{"--monitor=3d"},
             2,
             "--monitor takes left, stereo, swapped, right or depth, not \"3d\""},
            {{"--frobnicate"}, 2, "unknown option --frobnicate"},
            {{"--test-cameras", "--left-camera", "Nope"},
             2,
             "no camera named \"Nope\"; the cameras are: \"Parallax3D Test Pattern: Left Eye\", "
             "\"Parallax3D Test Pattern: Right Eye\""},
            {{"--snapshot", "/nonexistent/x.png"},
             1,
             "cannot save /nonexistent/x.png: No such file or directory"},
            {{"--test-skew", "10ms"},
             2,
             "--test-skew takes whole milliseconds from 0 to 1000, not \"10ms\""},
            {{"--size", "1000x1000"}, 2, "--size takes 640x480 or 1280x720, not \"1000x1000\""},
            {{"--size", "0x0"}, 2, "--size takes 640x480 or 1280x720, not \"0x0\""},
            {{"--stats", "/nonexistent/s.json"},
             1,
             "cannot save /nonexistent/s.json: No such file or directory"},
        },
        env);

    // A run without cameras: the hint for people comes first, a snapshot with no picture fails
    // last, and Qt's notes to developers stay out.
    glob_t nodes{};
    const bool machineCameras = glob("/dev/video*", 0, nullptr, &nodes) == 0;
    globfree(&nodes);
    Child run({APP_PATH, "--left-camera", "No Camera", "--right-camera", "No Camera",
               "--quit-after", "1", "--snapshot", home.file("x.png")},
              env);
    EXPECT_EQ(run.wait(30000), 1) << run.err();
    const std::string& err = run.err();
    if (!machineCameras) {
        EXPECT_EQ(err.substr(0, err.find('\n')),
                  "parallax3d: no camera found: plug a webcam in (check with \"parallax3d-cameras "
                  "list\") or start with --test-cameras");
    }
    EXPECT_NE(err.find("\nparallax3d: cannot save " + home.file("x.png") +
                       ": no monitor picture was drawn\n"),
              std::string::npos)
        << err;
    for (const char* note : {"propagateSizeHints", "XDG_RUNTIME_DIR"})
        EXPECT_EQ(err.find(note), std::string::npos) << err;
}

} // namespace
