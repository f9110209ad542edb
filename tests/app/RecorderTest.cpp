#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <sys/mount.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "AllocationCounter.h"
#include "ChannelNamespace.h"
#include "MediaProbe.h"
#include "RecordDestination.h"
#include "Recorder.h"
#include "TestSupport.h"

namespace {

constexpr uint64_t kFrameNs = 1000000000ull / 30;
constexpr uint64_t kStartNs = 5000000000ull; // capture times do not start at zero

// An eye's picture of frame n: a gradient that moves 8 px a frame (so a frame off by one differs
// plainly), its colours by eye.
std::vector<uint8_t> EyePicture(int width, int height, int n, int eye)
{
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 4];
            const int phase = (x + 8 * n) % 256;
            p[0] = 255;
            p[1] = uint8_t(eye ? 255 - phase : phase);
            p[2] = uint8_t((y * 255) / height);
            p[3] = uint8_t(eye ? 64 : 192);
        }
    return pixels;
}

ArgbView View(const std::vector<uint8_t>& pixels, int width, int height)
{
    return {pixels.data(), size_t(width) * 4, width, height};
}

// Until frame n (counted from 0) finds room in the queue.
void WaitForRoom(const Recorder& recorder, int n)
{
    while (recorder.Recording() &&
           recorder.Figures().framesWritten + Recorder::kQueueFrames <= uint64_t(n))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Pushes frame n of both eyes, or of the monitor picture (the left eye's), once the queue has
// room, so no frame is dropped.
void PushFrame(Recorder& recorder, const RecordSettings& settings, int n, uint64_t captureNs)
{
    WaitForRoom(recorder, n);
    const auto left = EyePicture(settings.width, settings.height, n, 0);
    const auto right = EyePicture(settings.width, settings.height, n, 1);
    const ArgbView l = View(left, settings.width, settings.height);
    const ArgbView r = View(right, settings.width, settings.height);
    if (settings.layout == RecordLayout::Monitor)
        EXPECT_TRUE(recorder.Push(l, captureNs));
    else
        EXPECT_TRUE(recorder.Push(l, r, captureNs));
}

bool Record(const std::string& path, const RecordSettings& settings, int frames)
{
    Recorder recorder;
    std::string message;
    if (!recorder.Start(path, settings, message)) {
        ADD_FAILURE() << message;
        return false;
    }
    for (int n = 0; n < frames; ++n)
        PushFrame(recorder, settings, n, kStartNs + uint64_t(n) * kFrameNs);
    const bool stopped = recorder.Stop(message);
    EXPECT_TRUE(stopped) << message;
    EXPECT_EQ(recorder.Figures().framesWritten, uint64_t(frames));
    return stopped;
}

class RecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (p3dtest::FindProgram("ffprobe").empty() || p3dtest::FindProgram("ffmpeg").empty())
            GTEST_SKIP() << "ffmpeg and ffprobe are needed to read the files";
    }
    p3dtest::TempDir mDir;
};

TEST(RecordDestination, ContainerFromExtensionOrScheme)
{
    const struct
    {
        std::string text;
        RecordLayout layout;
        const char* format; // null: refused
        const char* messagePart;
    } cases[] = {
        {"out.mkv", RecordLayout::SideBySide, "matroska", ""},
        {"OUT.MP4", RecordLayout::Monitor, "mp4", ""},
        {"in.folder/out", RecordLayout::SideBySide, "matroska", ""},
        {"eyes.mkv", RecordLayout::TwoStreams, "matroska", ""},
        {"srt://127.0.0.1:9000", RecordLayout::SideBySide, "mpegts", ""},
        {"rtmp://host/live/key", RecordLayout::Monitor, "flv", ""},
        {"out.avi", RecordLayout::SideBySide, nullptr, ".avi"},
        {"http://host/out.mkv", RecordLayout::SideBySide, nullptr, "http://"},
        {"eyes.mp4", RecordLayout::TwoStreams, nullptr, "Matroska"},
        {"srt://host:9000", RecordLayout::TwoStreams, nullptr, "Matroska"},
        {"srt://srv:9000?streamid=publish:live%2Fcam&latency=200000&pbkeylen=16",
         RecordLayout::SideBySide, "mpegts", ""},
        {"srt://srv", RecordLayout::SideBySide, nullptr, "srt://host:port"},
        {"srt://srv:9000/live", RecordLayout::SideBySide, nullptr, "no path"},
        {"srt://srv:9000?mode=listener", RecordLayout::SideBySide, nullptr, "\"mode=listener\""},
        {"srt://srv:9000?pbkeylen=20", RecordLayout::SideBySide, nullptr, "16, 24 or 32"},
        {"srt://srv:9000?streamid=" + std::string(1100, 'a'), RecordLayout::SideBySide, nullptr,
         "too long"}, // not cut short unsaid
        {"", RecordLayout::SideBySide, nullptr, "No file"},
    };
    for (const auto& c : cases) {
        RecordDestination destination;
        std::string message;
        const bool taken = ParseRecordDestination(c.text, c.layout, destination, message);
        EXPECT_EQ(taken, c.format != nullptr) << c.text;
        if (c.format) {
            EXPECT_STREQ(destination.format, c.format) << c.text;
            EXPECT_EQ(destination.isStream, c.text.find("://") != std::string::npos) << c.text;
        } else {
            EXPECT_NE(message.find(c.messagePart), std::string::npos) << c.text << ": " << message;
        }
    }
}

TEST_F(RecorderTest, FilesHoldTheLayoutPlayersRead)
{
    const struct
    {
        const char* file;
        RecordLayout layout;
        RecordCodec codec;
        const char* codecName;
        int streams;
        int width; // of each stream
        bool sideBySide;
    } cases[] = {
        {"sbs.mkv", RecordLayout::SideBySide, RecordCodec::H264, "h264", 1, 640, true},
        {"sbs.mp4", RecordLayout::SideBySide, RecordCodec::H264, "h264", 1, 640, true},
        {"eyes.mkv", RecordLayout::TwoStreams, RecordCodec::H264, "h264", 2, 320, false},
        {"monitor.mp4", RecordLayout::Monitor, RecordCodec::H264, "h264", 1, 320, false},
        {"mpeg4.mkv", RecordLayout::SideBySide, RecordCodec::Mpeg4, "mpeg4", 1, 640, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const RecordSettings settings = {c.layout, c.codec, 320, 240, 30, 0};
        const std::string path = mDir.file(c.file);
        ASSERT_TRUE(Record(path, settings, 15));
        const std::string report = p3dtest::Probe(path);
        EXPECT_EQ(p3dtest::Count(report, "[STREAM]"), c.streams) << report;
        EXPECT_EQ(p3dtest::Count(report, "codec_name=" + std::string(c.codecName)), c.streams)
            << report;
        EXPECT_EQ(p3dtest::Count(report, "\nwidth=" + std::to_string(c.width)), c.streams)
            << report;
        EXPECT_EQ(p3dtest::Count(report, "\nheight=240"), c.streams) << report;
        EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=15"), c.streams) << report;
        EXPECT_EQ(p3dtest::Count(report, "type=side by side"), c.sideBySide ? 1 : 0) << report;
        EXPECT_EQ(p3dtest::Count(report, "inverted=1"), 0) << report; // left eye first
        EXPECT_EQ(p3dtest::Count(report, "TAG:title=left") +
                      p3dtest::Count(report, "TAG:title=right"),
                  c.streams == 2 ? 2 : 0)
            << report;
    }
}

TEST_F(RecorderTest, MissedTicksAreGapsInTime)
{
    const RecordSettings settings = {RecordLayout::SideBySide, RecordCodec::H264, 160, 120, 30, 0};
    const std::string path = mDir.file("gap.mkv");
    Recorder recorder;
    std::string message;
    ASSERT_TRUE(recorder.Start(path, settings, message)) << message;
    // 1 s of frames, 1 s missed, 1 s more: 60 frames over 3 s.
    for (int n = 0; n < 60; ++n)
        PushFrame(recorder, settings, n, kStartNs + uint64_t(n < 30 ? n : n + 30) * kFrameNs);
    ASSERT_TRUE(recorder.Stop(message)) << message;
    EXPECT_NEAR(recorder.Figures().seconds, 3.0, 1e-6);
    const std::string report = p3dtest::Probe(path);
    EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=60"), 1) << report;
    EXPECT_NEAR(p3dtest::FormatNumber(report, "duration"), 3.0, 0.05) << report;
}

// A recording stopped before its first frame leaves no file; the next one starts from an empty
// file.
TEST_F(RecorderTest, ARecorderRecordsAgain)
{
    const RecordSettings settings = {RecordLayout::Monitor, RecordCodec::H264, 160, 120, 30, 0};
    Recorder recorder;
    std::string message;
    for (const int frames : {0, 10}) {
        const std::string file = mDir.file(std::to_string(frames) + ".mkv");
        ASSERT_TRUE(recorder.Start(file, settings, message)) << message;
        for (int n = 0; n < frames; ++n)
            PushFrame(recorder, settings, n, kStartNs * 3 + uint64_t(n) * kFrameNs);
        ASSERT_TRUE(recorder.Stop(message)) << message;
        const RecordFigures figures = recorder.Figures();
        EXPECT_EQ(figures.framesWritten, uint64_t(frames));
        if (frames == 0) {
            EXPECT_FALSE(p3dtest::PathExists(file));
            continue;
        }
        const std::string report = p3dtest::Probe(file);
        EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=10"), 1) << report;
        EXPECT_EQ(p3dtest::FormatNumber(report, "size"), double(figures.bytes)) << report;
        EXPECT_NEAR(p3dtest::FormatNumber(report, "duration"), 10.0 / 30, 0.01) << report;
    }
}

TEST_F(RecorderTest, FrameDecodesToTheEyesPushed)
{
    constexpr int kWidth = 320, kHeight = 240, kFrame = 20;
    const RecordSettings settings = {
        RecordLayout::SideBySide, RecordCodec::H264, kWidth, kHeight, 30, 0};
    const std::string path = mDir.file("psnr.mkv");
    ASSERT_TRUE(Record(path, settings, 30));
    const auto eye = [&](int n) {
        const auto pixels = EyePicture(kWidth, kHeight, kFrame, n);
        return std::string(pixels.begin(), pixels.end());
    };
    EXPECT_GE(p3dtest::Psnr(p3dtest::DecodedFrame(path, 0, kFrame, mDir.file("frame.argb")),
                            p3dtest::SideBySide(eye(0), eye(1), kWidth)),
              35.0);
}

// Taken or dropped, a frame costs the tick a copy at most: no allocation, on either thread.
TEST_F(RecorderTest, FramesFindingTheQueueFullAreDroppedAndCounted)
{
    const RecordSettings settings = {RecordLayout::Monitor, RecordCodec::H264, 320, 240, 30, 0};
    const std::string path = mDir.file("drops.mkv");
    Recorder recorder;
    std::string message;
    ASSERT_TRUE(recorder.Start(path, settings, message)) << message;
    const auto picture = EyePicture(settings.width, settings.height, 0, 0);
    uint64_t refused = 0;
    const long allocations = p3dtest::AllocationCount();
    for (int n = 0; n < 100; ++n)
        refused += !recorder.Push(View(picture, 320, 240), kStartNs + uint64_t(n) * kFrameNs);
    EXPECT_EQ(p3dtest::AllocationCount(), allocations);
    // A picture of another size ends the file where it is.
    EXPECT_FALSE(recorder.Push(View(picture, 160, 240), kStartNs + 100 * kFrameNs));
    EXPECT_FALSE(recorder.Stop(message));
    EXPECT_EQ(message,
              "The picture's size changed from 320 x 240 to 160 x 240: the recording stopped");
    const RecordFigures figures = recorder.Figures();
    EXPECT_EQ(figures.framesDropped, refused);
    EXPECT_EQ(figures.framesWritten + figures.framesDropped, 100u);
    const std::string report = p3dtest::Probe(path);
    EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=" + std::to_string(figures.framesWritten)), 1)
        << report;
    EXPECT_EQ(p3dtest::Count(report, "\nsize=" + std::to_string(figures.bytes) + "\n"), 1)
        << report;
}

TEST_F(RecorderTest, BadDestinationsStartNothing)
{
    const struct
    {
        std::string destination;
        const char* messagePart;
    } cases[] = {
        {mDir.file("no/such/folder/out.mkv"), "No such file"},
        {"/proc/out.mkv", "Cannot write /proc/out.mkv"},
        {mDir.file("out.avi"), ".avi"},
        {"udp://127.0.0.1:9000", "udp://"},
    };
    const RecordSettings settings = {RecordLayout::SideBySide, RecordCodec::H264, 160, 120, 30, 0};
    for (const auto& c : cases) {
        Recorder recorder;
        std::string message;
        EXPECT_FALSE(recorder.Start(c.destination, settings, message)) << c.destination;
        EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
        EXPECT_FALSE(recorder.Recording());
        EXPECT_FALSE(p3dtest::PathExists(c.destination)) << c.destination;
    }
}

// A full disk: a small file system of this test's own, in its private mount namespace.
TEST_F(RecorderTest, FullDiskStopsWithAPlayableFile)
{
    if (!p3dtest::InPrivateChannelNamespace())
        GTEST_SKIP() << "no private mount namespace: " << p3dtest::PrivateChannelNamespaceError();
    const std::string disk = mDir.file("disk");
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=12m"), 0) << strerror(errno);
    const RecordSettings settings = {RecordLayout::SideBySide, RecordCodec::H264, 320, 240, 30, 0};
    const std::string path = disk + "/full.mkv";
    Recorder recorder;
    std::string message;
    ASSERT_TRUE(recorder.Start(path, settings, message)) << message;
    // Noise does not compress: the disk fills within a few hundred frames.
    std::vector<uint8_t> noise[2];
    uint32_t seed = 1;
    for (auto& eye : noise) {
        eye.resize(size_t(settings.width) * settings.height * 4);
        for (uint8_t& byte : eye)
            byte = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    }
    int n = 0;
    for (; n < 3000 && recorder.Recording(); ++n) {
        WaitForRoom(recorder, n);
        // The eyes swap each frame: nothing to predict from the last.
        recorder.Push(View(noise[n % 2], 320, 240), View(noise[(n + 1) % 2], 320, 240),
                      kStartNs + uint64_t(n) * kFrameNs);
    }
    EXPECT_FALSE(recorder.Recording()) << "the disk never filled";
    EXPECT_NE(recorder.Message().find("disk is full"), std::string::npos) << recorder.Message();
    recorder.Stop(message);
    const uint64_t written = recorder.Figures().framesWritten;
    EXPECT_GT(written, 0u);
    const std::string report = p3dtest::Probe(path);
    EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=" + std::to_string(written)), 1) << report;
    umount(disk.c_str());
}

// Streams once the listener, just started, listens: the recorder connects on its own thread.
bool StartStream(Recorder& recorder, const std::string& url, const RecordSettings& settings)
{
    std::string message;
    EXPECT_TRUE(recorder.Start(url, settings, message)) << message;
    for (int wait = 0; wait < 100 && recorder.Recording() && recorder.Connecting(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(recorder.Connecting()) << "never connected";
    return recorder.Recording() && !recorder.Connecting();
}

// No server there: the stream starts all the same, keeps trying, and stops when told.
TEST_F(RecorderTest, AStreamWaitsForItsServer)
{
    const RecordSettings settings = {RecordLayout::SideBySide, RecordCodec::H264, 160, 120, 30, 0};
    for (const std::string& url : {p3dtest::SrtUrl(), std::string("rtmp://127.0.0.1:1/live/x")}) {
        Recorder recorder;
        std::string message;
        ASSERT_TRUE(recorder.Start(url, settings, message)) << message;
        std::this_thread::sleep_for(std::chrono::milliseconds(600)); // a few tries
        EXPECT_TRUE(recorder.Recording() && recorder.Connecting()) << url;
        EXPECT_TRUE(recorder.Stop(message)) << message;
        EXPECT_FALSE(recorder.Recording());
    }
}

TEST_F(RecorderTest, StreamsToAnSrtListener)
{
    const std::string url = p3dtest::SrtUrl();
    const std::string received = mDir.file("received.ts");
    auto listener = p3dtest::SrtListener(url, received);
    const RecordSettings settings = {RecordLayout::SideBySide, RecordCodec::H264, 320, 240, 30, 0};
    Recorder recorder;
    ASSERT_TRUE(StartStream(recorder, url, settings));
    std::string message;
    // At the camera's pace (SRT's live mode drops what comes much faster than it plays), with
    // a pause of the cameras in the middle that is no server gone, and a full queue's worth at
    // once as the stop finds it.
    for (int n = 0; n < 90; ++n) {
        PushFrame(recorder, settings, n, kStartNs + uint64_t(n) * kFrameNs);
        if (n < 90 - int(Recorder::kQueueFrames))
            std::this_thread::sleep_for(std::chrono::milliseconds(n == 45 ? 2500 : 33));
    }
    EXPECT_TRUE(recorder.Stop(message)) << message;
    EXPECT_EQ(recorder.Figures().framesDropped, 0u);
    EXPECT_GT(recorder.Figures().bytes, 0u) << "what was sent is still counted once closed";
    EXPECT_EQ(listener->wait(20000), 0) << listener->err();
    const std::string report = p3dtest::Probe(received);
    EXPECT_EQ(p3dtest::Count(report, "nb_read_frames=90"), 1) << report;
    EXPECT_EQ(p3dtest::Count(report, "\nwidth=640"), 1) << report;
}

// The server killed and started again: the stream is back within 5 s.
TEST_F(RecorderTest, StreamComesBackWhenTheServerDoes)
{
    using Clock = std::chrono::steady_clock;
    const std::string url = p3dtest::SrtUrl();
    auto listener = p3dtest::SrtListener(url, mDir.file("first.ts"));
    const RecordSettings settings = {RecordLayout::SideBySide, RecordCodec::H264, 160, 120, 30, 0};
    Recorder recorder;
    ASSERT_TRUE(StartStream(recorder, url, settings));
    // Frames at the camera's pace; the server goes away after 30 and comes back.
    const std::string again = mDir.file("again.ts");
    Clock::time_point restarted;
    std::optional<Clock::duration> away; // from the restart to the stream's return
    uint64_t writtenBack = 0, lastSent = 0;
    for (int n = 0; n < 900 && recorder.Figures().framesWritten < writtenBack + 30; ++n) {
        if (n == 30) {
            kill(listener->pid(), SIGKILL);
            listener->wait(10000);
            listener = p3dtest::SrtListener(url, again);
            restarted = Clock::now();
        }
        if (n > 30 && !away && !recorder.Connecting() && recorder.Figures().framesDropped > 0) {
            away = Clock::now() - restarted;
            writtenBack = recorder.Figures().framesWritten;
        }
        if (!away)
            writtenBack = recorder.Figures().framesWritten;
        const uint64_t sent = recorder.Figures().bytes;
        ASSERT_GE(sent, lastSent) << "the count goes on across connections";
        lastSent = sent;
        const auto left = EyePicture(settings.width, settings.height, n, 0);
        recorder.Push(View(left, 160, 120), View(left, 160, 120),
                      kStartNs + uint64_t(n) * kFrameNs);
        std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
    ASSERT_TRUE(away) << "the stream never came back";
    EXPECT_LE(*away, std::chrono::seconds(5));
    EXPECT_TRUE(recorder.Recording());
    std::string message;
    EXPECT_TRUE(recorder.Stop(message)) << message;
    EXPECT_EQ(listener->wait(20000), 0) << listener->err();
    const std::string report = p3dtest::Probe(again);
    EXPECT_EQ(p3dtest::Count(report, "\nwidth=320"), 1) << report;
}

} // namespace
