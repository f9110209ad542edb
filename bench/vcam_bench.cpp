// The virtual camera's per-frame work at 640 x 480: one digitizer frame through the component's
// device (get, convert, release) against a broadcast frame in a private channel; at 1280 x 720 one
// frame of the stamped channel (held, converted to I420, let go); the conversion of
// a broadcast frame (A, R, G, B bytes) into YUYV and into R, G, B, A, and at 1280 x 720 into
// I420, beside libyuv's own conversions of the same frame already in the byte order libyuv takes
// (B, G, R, A), which need no reordering; and at 1280 x 720 one stamped frame into a PipeWire
// camera's buffer as I420, with a PipeWire, WirePlumber and GStreamer reader of its own.
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <libyuv.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "FrameConverter.h"
#include "PipeWireOutput.h"
#include "StampedChannelReader.h"
#include "StampedChannelWriter.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr size_t kRowBytes = size_t(kWidth) * 4;

constexpr int kHDWidth = 1280, kHDHeight = 720;

// A broadcast-like frame: opaque, gradients with some texture.
std::vector<uint8_t> BroadcastFrame(int width = kWidth, int height = kHeight)
{
    const size_t rowBytes = size_t(width) * 4;
    std::vector<uint8_t> frame(rowBytes * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &frame[size_t(y) * rowBytes + size_t(x) * 4];
            p[0] = 255;
            p[1] = uint8_t(x * 255 / width);
            p[2] = uint8_t(y * 255 / height + ((x / 8 + y / 8) % 2) * 24);
            p[3] = uint8_t(((x * y) >> 7) & 0xff);
        }
    return frame;
}

// The same pixels as B, G, R, A bytes, libyuv's "ARGB".
std::vector<uint8_t> LibyuvOrderFrame(int width = kWidth, int height = kHeight)
{
    std::vector<uint8_t> frame = BroadcastFrame(width, height);
    for (size_t i = 0; i < frame.size(); i += 4) {
        std::swap(frame[i], frame[i + 3]);
        std::swap(frame[i + 1], frame[i + 2]);
    }
    return frame;
}

void Convert(benchmark::State& state, OutputFormat format, int width = kWidth, int height = kHeight)
{
    const std::vector<uint8_t> frame = BroadcastFrame(width, height);
    FrameConverter converter(format, width, height);
    if (!converter.IsValid())
        return state.SkipWithError("no converter for the frame size");
    std::vector<uint8_t> out(converter.OutputBytes());
    for (auto _ : state) {
        converter.Convert(frame.data(), size_t(width) * 4, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

void BM_VCamConvertYUYV640x480(benchmark::State& state)
{
    Convert(state, OutputFormat::kYUYV);
}

void BM_VCamConvertRGBA640x480(benchmark::State& state)
{
    Convert(state, OutputFormat::kRGBA);
}

void BM_LibyuvARGBToYUY2_640x480(benchmark::State& state)
{
    const std::vector<uint8_t> frame = LibyuvOrderFrame();
    std::vector<uint8_t> out(size_t(kWidth) * kHeight * 2);
    for (auto _ : state) {
        libyuv::ARGBToYUY2(frame.data(), int(kRowBytes), out.data(), kWidth * 2, kWidth, kHeight);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// libyuv's nearest to our reordering: its "ARGB" to "RGBA", one byte shuffle per pixel too.
void BM_LibyuvARGBToRGBA640x480(benchmark::State& state)
{
    const std::vector<uint8_t> frame = LibyuvOrderFrame();
    std::vector<uint8_t> out(frame.size());
    for (auto _ : state) {
        libyuv::ARGBToRGBA(frame.data(), int(kRowBytes), out.data(), int(kRowBytes), kWidth,
                           kHeight);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

void BM_VCamConvertI420_1280x720(benchmark::State& state)
{
    Convert(state, OutputFormat::kI420, kHDWidth, kHDHeight);
}

void BM_LibyuvARGBToI420_1280x720(benchmark::State& state)
{
    const std::vector<uint8_t> frame = LibyuvOrderFrame(kHDWidth, kHDHeight);
    const int half = kHDWidth / 2;
    std::vector<uint8_t> out(size_t(kHDWidth) * kHDHeight * 3 / 2);
    uint8_t* const u = out.data() + size_t(kHDWidth) * kHDHeight;
    uint8_t* const v = u + size_t(half) * (kHDHeight / 2);
    for (auto _ : state) {
        libyuv::ARGBToI420(frame.data(), kHDWidth * 4, out.data(), kHDWidth, u, half, v, half,
                           kHDWidth, kHDHeight);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// A stamped channel of the benchmark's own at 1280 x 720, the broadcast-like frame in both
// buffers.
class BenchStampedChannel
{
public:
    BenchStampedChannel() : mPath("/tmp/p3d-bench-stamped-" + std::to_string(getpid()) + ".tmp")
    {
        if (!mWriter.Open(mPath, kHDWidth, kHDHeight))
            return;
        mWriter.SetConnectionsAllowed(true);
        const std::vector<uint8_t> picture = BroadcastFrame(kHDWidth, kHDHeight);
        for (int n = 0; n < 2; ++n)
            memcpy(mWriter.Buffer(n), picture.data(), picture.size());
        mReader = std::make_unique<StampedChannelReader>(mPath);
    }
    ~BenchStampedChannel()
    {
        mWriter.Close();
        unlink(mPath.c_str());
    }

    // Why it cannot be read, or nullptr.
    const char* Error() const
    {
        return mReader == nullptr          ? "no stamped channel"
               : !mReader->IsWriterAlive() ? "the writer is not seen"
                                           : nullptr;
    }
    // Untimed: after in_idle, the next frame published; then it is held for reading. False, with
    // the benchmark skipped, when it cannot be.
    bool PublishAndHold(benchmark::State& state, StampedChannelReader::Frame& out_frame,
                        std::chrono::milliseconds in_idle = {})
    {
        state.PauseTiming();
        std::this_thread::sleep_for(in_idle);
        mWriter.BeginFrame();
        mWriter.EndFrame({});
        state.ResumeTiming();
        if (mReader->BeginRead(out_frame))
            return true;
        state.SkipWithError("no frame to read");
        return false;
    }
    StampedChannelReader& Reader() { return *mReader; }

private:
    std::string mPath;
    StampedChannelWriter mWriter;
    std::unique_ptr<StampedChannelReader> mReader;
};

// A stamped frame as parallax3d-vcam takes it at 1280 x 720: held under its read lock,
// converted to I420 straight from the shared memory, let go. Publishing the next one is not
// timed.
void BM_VCamStampedFrameI420_1280x720(benchmark::State& state)
{
    BenchStampedChannel channel;
    if (const char* error = channel.Error())
        return state.SkipWithError(error);
    FrameConverter converter(OutputFormat::kI420, kHDWidth, kHDHeight);
    std::vector<uint8_t> out(converter.OutputBytes());
    for (auto _ : state) {
        StampedChannelReader::Frame frame;
        if (!channel.PublishAndHold(state, frame))
            break;
        converter.Convert(frame.pixels, size_t(frame.rowBytes), out.data());
        channel.Reader().EndRead();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// A PipeWire and WirePlumber in a runtime folder of their own, and a GStreamer reader of the
// camera: one process group, ended together.
class PrivatePipeWire
{
public:
    PrivatePipeWire()
    {
        char runtime[] = "/tmp/p3d-bench-pipewire-XXXXXX";
        if (mkdtemp(runtime) == nullptr)
            return;
        mRuntime = runtime;
        if (const char* old = getenv("XDG_RUNTIME_DIR"))
            mOldRuntime = old;
        setenv("XDG_RUNTIME_DIR", runtime, 1);
        mGroup =
            Spawn("exec dbus-run-session -- sh -c 'pipewire & wireplumber & exec sleep 100000'");
        for (int i = 0; i < 200 && mGroup > 0 && !mReady; ++i) {
            mReady = access((mRuntime + "/pipewire-0").c_str(), F_OK) == 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~PrivatePipeWire()
    {
        if (mGroup > 0) {
            kill(-mGroup, SIGTERM);
            while (waitpid(-mGroup, nullptr, 0) > 0) {
            }
        }
        if (!mRuntime.empty())
            std::system(("rm -rf '" + mRuntime + "'").c_str());
        if (mOldRuntime.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", mOldRuntime.c_str(), 1);
    }

    bool Ready() const { return mReady; }
    void StartReader(const std::string& in_caps)
    {
        Spawn("exec gst-launch-1.0 -q pipewiresrc target-object=Parallax3D ! " + in_caps +
              " ! fakesink");
    }

private:
    pid_t Spawn(const std::string& in_command)
    {
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, mGroup > 0 ? mGroup : 0);
        const char* argv[] = {"/bin/sh", "-c", in_command.c_str(), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv),
                        environ) != 0)
            pid = -1;
        posix_spawnattr_destroy(&attributes);
        return pid;
    }

    std::string mRuntime;
    std::string mOldRuntime;
    pid_t mGroup = -1;
    bool mReady = false;
};

// The camera with a reader asking for I420 at 1280 x 720; made once for all repetitions, so that
// each runs the same number of frames.
struct PipeWireCamera
{
    PrivatePipeWire pipewire;
    PipeWireOutput output;
    const char* error = nullptr;

    PipeWireCamera()
    {
        if (!pipewire.Ready()) {
            error = "no PipeWire of its own (pipewire, wireplumber, dbus-run-session and "
                    "gst-launch-1.0 are needed)";
            return;
        }
        OutputSettings settings;
        settings.width = kHDWidth;
        settings.height = kHDHeight;
        settings.format = OutputFormat::kARGB;
        std::string why, notice;
        if (!output.Open(settings, why, notice)) {
            error = "PipeWire refused the camera";
            return;
        }
        pipewire.StartReader("video/x-raw,format=I420,width=1280,height=720");
        const std::vector<uint8_t> frame = BroadcastFrame(kHDWidth, kHDHeight);
        for (int i = 0; i < 1000 && !output.IsStreaming(); ++i) {
            output.Write(frame.data(), frame.size(), why);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!output.IsStreaming())
            error = "the GStreamer reader did not stream";
    }
};

// Between frames the PipeWire reader is given time to hand its buffer back. An idle core
// converts its next frame some times slower than one kept busy, so the peer idles as long.
constexpr auto kIdle = std::chrono::milliseconds(4);

// One stamped frame as parallax3d-vcam --pipewire takes it at 1280 x 720: converted under the
// read lock straight from the channel into the reader's shared buffer as I420, and queued.
void BM_PipeWireFrameI420_1280x720(benchmark::State& state)
{
    static PipeWireCamera camera;
    if (camera.error != nullptr)
        return state.SkipWithError(camera.error);
    BenchStampedChannel channel;
    if (const char* error = channel.Error())
        return state.SkipWithError(error);
    StampedChannelReader& reader = channel.Reader();
    const std::function<bool()> whole = [&reader] { return reader.IsHeldWhole(); };
    std::string error;
    for (auto _ : state) {
        // The camera wakes as soon as a frame is published.
        StampedChannelReader::Frame frame;
        if (!channel.PublishAndHold(state, frame, kIdle))
            break;
        camera.output.WritePixels(frame.pixels, size_t(frame.rowBytes), whole, error);
        reader.EndRead();
    }
}

// libyuv's ARGBToI420 of the same stamped frame after the same idle time (its byte order is
// not the channel's, which changes nothing of the work).
void BM_LibyuvARGBToI420AfterIdle_1280x720(benchmark::State& state)
{
    BenchStampedChannel channel;
    if (const char* error = channel.Error())
        return state.SkipWithError(error);
    const int half = kHDWidth / 2;
    std::vector<uint8_t> out(size_t(kHDWidth) * kHDHeight * 3 / 2);
    uint8_t* const u = out.data() + size_t(kHDWidth) * kHDHeight;
    uint8_t* const v = u + size_t(half) * (kHDHeight / 2);
    for (auto _ : state) {
        StampedChannelReader::Frame frame;
        if (!channel.PublishAndHold(state, frame, kIdle))
            break;
        libyuv::ARGBToI420(frame.pixels, frame.rowBytes, out.data(), kHDWidth, u, half, v, half,
                           kHDWidth, kHDHeight);
        channel.Reader().EndRead();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_VCamStampedFrameI420_1280x720)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PipeWireFrameI420_1280x720)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibyuvARGBToI420AfterIdle_1280x720)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VCamConvertI420_1280x720)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibyuvARGBToI420_1280x720)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VCamConvertYUYV640x480)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibyuvARGBToYUY2_640x480)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VCamConvertRGBA640x480)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibyuvARGBToRGBA640x480)->Unit(benchmark::kMillisecond);

// One digitizer frame as parallax3d-vcam takes it: the device hands out the current frame
// under its lock, it is converted to YUYV, and released.
void BM_VCamDigitizerFrame640x480(benchmark::State& state)
{
    if (!p3dtest::InPrivateChannelNamespace())
        return state.SkipWithError(p3dtest::PrivateChannelNamespaceError().c_str());
    static p3dtest::ComponentExports exports;
    if (!exports.loaded() || exports.Device == nullptr)
        return state.SkipWithError("the component did not load");
    const SharedCamDeviceDispatch& device = *exports.Device;

    const std::vector<uint8_t> frame = BroadcastFrame();
    SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
    if (!exports.GetWriteableFrameBuffer(0, &record) ||
        !exports.LockFrameBuffer(record.frameBufferPtr))
        return state.SkipWithError("no channel to publish into");
    memcpy(record.frameBufferPtr, frame.data(), frame.size());
    exports.UnLockFrameBuffer(record.frameBufferPtr);
    exports.SetCurrentReadBuffer(record.frameBufferPtr);

    SharedCamDeviceRef instance = device.Construct();
    device.Connect(instance);
    FrameConverter converter(OutputFormat::kYUYV, kWidth, kHeight);
    std::vector<uint8_t> out(converter.OutputBytes());
    for (auto _ : state) {
        UInt8 done = 0;
        UInt8* buffer = nullptr;
        long size = 0;
        if (device.GetFrame(instance, &done, &buffer, &size) != 0) {
            state.SkipWithError("the device handed out no frame");
            break;
        }
        converter.Convert(buffer, kRowBytes, out.data());
        device.ReleaseCompressBuffer(instance, buffer);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    device.Disconnect(instance);
    device.Destroy(instance);
}
BENCHMARK(BM_VCamDigitizerFrame640x480)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
