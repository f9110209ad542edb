// parallax3d-vcam --pipewire as a desktop sees it: a PipeWire and WirePlumber of the test's own
// (own runtime folder, own session bus), a broadcast in the stamped channel, GStreamer reading
// the camera through pipewiresrc and pw-dump showing the node.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ChannelReset.h"
#include "PipeWireSession.h"
#include "StampedChannelWriter.h"
#include "TestSupport.h"

using p3dtest::Bars;
using p3dtest::Child;
using p3dtest::FindProgram;
using p3dtest::PipeWireSession;

namespace {

const int kTimeoutMs = 30000;
const int kFrames = 30;

off_t FileSize(const std::string& in_path)
{
    struct stat info;
    return stat(in_path.c_str(), &info) == 0 ? info.st_size : -1;
}

// The bars of a 1280 x 720 broadcast fitted into 640 x 480: black above and below.
std::string FittedBars()
{
    std::string frame = Bars(640, 480);
    std::fill(frame.begin(), frame.begin() + 640 * 60 * 4, '\0');
    std::fill(frame.end() - 640 * 60 * 4, frame.end(), '\0');
    return frame;
}

// Within the YUV conversions' rounding: limited range rounds by 2 or so, and GStreamer
// interpolates chroma across the bars' edges.
void ExpectFramesClose(const std::string& in_rgb, const std::string& in_argb, int in_frames)
{
    const size_t pixels = in_argb.size() / 4;
    ASSERT_EQ(in_rgb.size(), size_t(in_frames) * pixels * 3) << "whole frames";
    for (int frame = 0; frame < in_frames; ++frame) {
        size_t far = 0;
        long sum = 0;
        for (size_t i = 0; i < pixels; ++i)
            for (size_t ch = 0; ch < 3; ++ch) {
                const int d = std::abs(int(UInt8(in_rgb[(size_t(frame) * pixels + i) * 3 + ch])) -
                                       int(UInt8(in_argb[i * 4 + 1 + ch])));
                sum += d;
                far += d > 8;
            }
        ASSERT_LE(double(sum) / double(pixels * 3), 3.0) << "frame " << frame;
        ASSERT_LT(far, pixels * 3 * 3 / 100) << "frame " << frame;
    }
}

class VCamPipeWireTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!p3dtest::InPrivateChannelNamespace())
            GTEST_SKIP() << p3dtest::PrivateChannelNamespaceError();
        const std::string missing = PipeWireSession::MissingPiece();
        if (!missing.empty())
            GTEST_SKIP() << missing;
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
        ASSERT_FALSE(p3dtest::LinkUserComponent().empty());
        session = std::make_unique<PipeWireSession>(dir.file("runtime"));
        std::string why;
        ASSERT_TRUE(session->Start(why)) << why;
    }

    // The broadcast: one frame of bars at that size, the writer staying alive.
    void Broadcast(int in_width, int in_height)
    {
        ASSERT_TRUE(writer.Open(StampedChannelFile::DefaultPath(), in_width, in_height));
        writer.SetConnectionsAllowed(true);
        const int n = writer.BeginFrame();
        ASSERT_GE(n, 0);
        const std::string bars = Bars(in_width, in_height);
        memcpy(writer.Buffer(n), bars.data(), bars.size());
        ASSERT_TRUE(writer.EndFrame({}));
    }

    std::unique_ptr<Child> StartCamera()
    {
        auto camera = std::make_unique<Child>(std::vector<std::string>{VCAM_PATH, "--pipewire"},
                                              session->Env());
        for (int i = 0; i < 200 && !session->HasNode(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(camera->running()) << camera->err();
        return camera;
    }

    std::vector<std::string> Consumer(const std::string& in_format, int in_width, int in_height,
                                      const std::string& in_file, int in_frames = kFrames)
    {
        std::vector<std::string> args = {FindProgram("gst-launch-1.0"), "-q", "pipewiresrc",
                                         "target-object=Parallax3D"};
        if (in_frames > 0)
            args.push_back("num-buffers=" + std::to_string(in_frames));
        // The camera's YUV is BT.601 limited range, at both sizes; GStreamer would take 1280 x
        // 720 as BT.709 unless told.
        const std::string colorimetry = in_format == "BGRx" ? "" : ",colorimetry=bt601";
        const std::string caps = "video/x-raw,format=" + in_format + colorimetry +
                                 ",width=" + std::to_string(in_width) +
                                 ",height=" + std::to_string(in_height);
        args.insert(args.end(), {"!", caps, "!", "videoconvert", "!", "video/x-raw,format=RGB", "!",
                                 "filesink", "location=" + in_file});
        return args;
    }

    // kFrames frames read through GStreamer as R, G, B.
    std::string Receive(const std::string& in_format, int in_width, int in_height)
    {
        const std::string file = dir.file("frames.rgb");
        Child consumer(Consumer(in_format, in_width, in_height, file), session->Env());
        EXPECT_EQ(consumer.wait(kTimeoutMs), 0) << consumer.err();
        return p3dtest::ReadFile(file);
    }

    p3dtest::TempDir dir;
    std::unique_ptr<PipeWireSession> session;
    StampedChannelWriter writer;
};

} // namespace

TEST_F(VCamPipeWireTest, PwDumpShowsTheNodeAndGStreamerReceivesEachFormatAndSize)
{
    for (const auto& [width, height] : {std::pair{640, 480}, std::pair{1280, 720}}) {
        Broadcast(width, height);
        std::unique_ptr<Child> camera = StartCamera();
        if (width == 1280) {
            const std::string dump = session->Dump();
            for (const char* words :
                 {"\"node.name\":\"Parallax3D\"", "\"node.description\":\"Parallax3D\"",
                  "\"media.class\":\"Video/Source\"", "\"media.role\":\"Camera\"",
                  // One fixed offer per format and size, as browsers take no other.
                  "\"format\":\"YUY2\",\"size\":{\"width\":1280,\"height\":720}",
                  "\"format\":\"BGRx\",\"size\":{\"width\":640,\"height\":480}",
                  "\"framerate\":{\"num\":30,\"denom\":1}"})
                EXPECT_NE(dump.find(words), std::string::npos) << words;
        }
        // A 1280 x 720 broadcast is offered at 640 x 480 too, fitted between bars.
        std::vector<std::tuple<int, int, std::string>> sizes = {
            {width, height, Bars(width, height)}};
        if (width == 1280)
            sizes.emplace_back(640, 480, FittedBars());
        for (const auto& [w, h, expected] : sizes)
            for (const char* format : {"YUY2", "I420", "BGRx"}) {
                SCOPED_TRACE(std::string(format) + " " + std::to_string(w) + "x" +
                             std::to_string(h) + " of " + std::to_string(width));
                ExpectFramesClose(Receive(format, w, h), expected, kFrames);
            }
        kill(camera->pid(), SIGTERM);
        EXPECT_EQ(camera->wait(kTimeoutMs), 0) << camera->err();
        for (int i = 0; i < 200 && session->HasNode(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        writer.Close();
        p3dtest::RemoveChannel(p3dtest::ChannelPath());
    }
}

TEST_F(VCamPipeWireTest, ThePictureBeforeTheBroadcastAndItsLastFrameAfterIt)
{
    Child picture({VCAM_PATH, "--output", "-", "--format", "argb", "--frames", "1"});
    ASSERT_EQ(picture.wait(kTimeoutMs), 0) << picture.err();
    std::unique_ptr<Child> camera = StartCamera();
    {
        SCOPED_TRACE("before the broadcast");
        ExpectFramesClose(Receive("BGRx", 640, 480), picture.out(), kFrames);
    }
    Broadcast(640, 480);
    // A reader looks for a writer started anew four times a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    {
        SCOPED_TRACE("broadcasting");
        ExpectFramesClose(Receive("BGRx", 640, 480), Bars(640, 480), kFrames);
    }
    writer.Close(); // the application closes
    SCOPED_TRACE("after the broadcast");
    ExpectFramesClose(Receive("BGRx", 640, 480), Bars(640, 480), kFrames);
}

TEST_F(VCamPipeWireTest, ComesBackWhenPipeWireRestartsAndOutlivesAKilledConsumer)
{
    Broadcast(640, 480);
    std::unique_ptr<Child> camera = StartCamera();
    session->Stop();
    std::string why;
    ASSERT_TRUE(session->Start(why)) << why;
    const auto restarted = std::chrono::steady_clock::now();
    bool back = false;
    for (int i = 0; i < 200 && !(back = session->HasNode()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(back) << camera->err();
    printf("node back %lld ms after PipeWire started again\n",
           (long long)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - restarted)
               .count());
    ExpectFramesClose(Receive("YUY2", 640, 480), Bars(640, 480), kFrames);

    // One consumer killed while another streams: the other gets every frame it asked for. Both
    // take one format: the node has one, which the first to link chooses.
    const std::string kept = dir.file("kept.rgb"), killed = dir.file("killed.rgb");
    Child steady(Consumer("YUY2", 640, 480, kept, 3 * kFrames), session->Env());
    Child victim(Consumer("YUY2", 640, 480, killed, 0), session->Env());
    for (int i = 0; i < 500 && FileSize(killed) <= 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(victim.pid(), SIGKILL);
    victim.wait(kTimeoutMs);
    ASSERT_EQ(steady.wait(kTimeoutMs), 0) << steady.err();
    ExpectFramesClose(p3dtest::ReadFile(kept), Bars(640, 480), 3 * kFrames);
    EXPECT_TRUE(camera->running()) << camera->err();
}

TEST_F(VCamPipeWireTest, WithoutPipeWireItSaysSoInOneLine)
{
    session->Stop();
    Child camera({VCAM_PATH, "--pipewire"}, session->Env());
    EXPECT_EQ(camera.wait(kTimeoutMs), 1);
    EXPECT_EQ(camera.err(), "parallax3d-vcam: no PipeWire answers, so there is no PipeWire "
                            "camera; is the user's PipeWire running?\n");
}

namespace {

// A consumer of the camera in this process, as a video-call program is one: BGRx at 640 x 480,
// whose bytes are the broadcast's own, so each frame's number, written into its first pixel,
// comes back whole, with the moment it came.
class NumberedFrameConsumer
{
public:
    struct Receipt
    {
        uint32_t number;
        uint64_t ns;
    };

    NumberedFrameConsumer()
    {
        pw_init(nullptr, nullptr);
        mLoop = pw_thread_loop_new("numbered-consumer", nullptr);
        pw_properties* properties = pw_properties_new(
            PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
            "Camera", PW_KEY_TARGET_OBJECT, "Parallax3D", nullptr);
        mStream = pw_stream_new_simple(pw_thread_loop_get_loop(mLoop), "numbered-consumer",
                                       properties, &kEvents, this);
        uint8_t memory[512];
        spa_pod_builder builder;
        spa_pod_builder_init(&builder, memory, sizeof(memory));
        spa_video_info_raw info = {};
        info.format = SPA_VIDEO_FORMAT_BGRx;
        info.size.width = 640;
        info.size.height = 480;
        info.framerate.num = 30;
        info.framerate.denom = 1;
        const spa_pod* params[] = {
            spa_format_video_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
        pw_stream_connect(mStream, PW_DIRECTION_INPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                          params, 1);
        pw_thread_loop_start(mLoop);
        mReceipts.reserve(100000);
    }
    ~NumberedFrameConsumer()
    {
        pw_thread_loop_stop(mLoop);
        pw_stream_destroy(mStream);
        pw_thread_loop_destroy(mLoop);
        pw_deinit();
    }

    std::vector<Receipt> Receipts()
    {
        pw_thread_loop_lock(mLoop);
        std::vector<Receipt> receipts = mReceipts;
        pw_thread_loop_unlock(mLoop);
        return receipts;
    }

private:
    static void Process(void* io_self)
    {
        auto* self = static_cast<NumberedFrameConsumer*>(io_self);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->mStream);
        if (buffer == nullptr)
            return;
        const uint64_t now = StampedChannelNowNs();
        const spa_data& data = buffer->buffer->datas[0];
        if (data.data != nullptr && data.chunk->size >= 4 && self->mReceipts.size() < 100000) {
            const auto* pixel = static_cast<const uint8_t*>(data.data) + data.chunk->offset;
            self->mReceipts.push_back(
                {uint32_t(pixel[2]) << 16 | uint32_t(pixel[1]) << 8 | pixel[0], now});
        }
        pw_stream_queue_buffer(self->mStream, buffer);
    }
    static constexpr pw_stream_events kEvents = [] {
        pw_stream_events events = {};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.process = Process;
        return events;
    }();

    pw_thread_loop* mLoop = nullptr;
    pw_stream* mStream = nullptr;
    std::vector<Receipt> mReceipts; // guarded by the loop's lock
};

} // namespace

// The delay from a frame's publication in the channel to its receipt by a consumer of the
// camera: frames numbered in their first pixel are published 30 a second, and the consumer
// notes when each number first comes.
TEST_F(VCamPipeWireTest, ConsumersReceiveNewFramesSoonAfterTheirPublication)
{
    ASSERT_TRUE(writer.Open(StampedChannelFile::DefaultPath(), 640, 480));
    writer.SetConnectionsAllowed(true);
    std::unique_ptr<Child> camera = StartCamera();
    p3dtest::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.file("runtime").c_str());
    NumberedFrameConsumer consumer;

    std::vector<uint64_t> published;
    const int frames = p3dtest::DelayTestSeconds() * 30;
    published.reserve(size_t(frames));
    std::vector<uint32_t> picture(640 * 480);
    auto next = std::chrono::steady_clock::now();
    for (uint32_t number = 0; number < uint32_t(frames); ++number) {
        const int n = writer.BeginFrame();
        ASSERT_GE(n, 0);
        // A, R, G, B bytes: the number in R, G and B.
        const uint32_t bytes =
            0xFF | (number >> 16 & 0xFF) << 8 | (number >> 8 & 0xFF) << 16 | (number & 0xFF) << 24;
        std::fill(picture.begin(), picture.end(), bytes);
        memcpy(writer.Buffer(n), picture.data(), picture.size() * 4);
        const uint64_t now = StampedChannelNowNs();
        ASSERT_TRUE(writer.EndFrame({now, now}));
        published.push_back(now);
        next += std::chrono::microseconds(33333);
        std::this_thread::sleep_until(next);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::vector<double> delaysMs;
    std::vector<bool> seen(published.size());
    for (const NumberedFrameConsumer::Receipt& receipt : consumer.Receipts())
        if (receipt.number < published.size() && !seen[receipt.number]) {
            seen[receipt.number] = true;
            delaysMs.push_back(double(receipt.ns - published[receipt.number]) / 1e6);
        }
    // The first frames go while the camera and the consumer find each other.
    ASSERT_GE(delaysMs.size(), published.size() * 3 / 4) << camera->err();
    std::sort(delaysMs.begin(), delaysMs.end());
    const double median = delaysMs[delaysMs.size() / 2];
    const double p99 = delaysMs[std::min(delaysMs.size() - 1, delaysMs.size() * 99 / 100)];
    printf("publish to consumer over %d s: %zu of %zu frames, median %.2f ms, p99 %.2f ms, "
           "max %.2f ms\n",
           p3dtest::DelayTestSeconds(), delaysMs.size(), published.size(), median, p99,
           delaysMs.back());
    EXPECT_LE(p99, 40.0);
}
