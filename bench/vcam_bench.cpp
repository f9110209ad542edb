// The virtual camera's per-frame work at 640 x 480: one digitizer frame through the component's
// device (get, convert, release) against a broadcast frame in a private channel; at 1280 x 720 one
// frame of the stamped channel (held, converted to I420, let go); the conversion of
// a broadcast frame (A, R, G, B bytes) into YUYV and into R, G, B, A, and at 1280 x 720 into
// I420, beside libyuv's own conversions of the same frame already in the byte order libyuv takes
// (B, G, R, A), which need no reordering.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <libyuv.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "FrameConverter.h"
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

// A stamped frame as parallax3d-vcam takes it at 1280 x 720: held under its read lock,
// converted to I420 straight from the shared memory, let go. Publishing the next one is not
// timed.
void BM_VCamStampedFrameI420_1280x720(benchmark::State& state)
{
    const std::string path = "/tmp/p3d-bench-stamped-" + std::to_string(getpid()) + ".tmp";
    StampedChannelWriter writer;
    if (!writer.Open(path, kHDWidth, kHDHeight))
        return state.SkipWithError("no stamped channel");
    writer.SetConnectionsAllowed(true);
    const std::vector<uint8_t> picture = BroadcastFrame(kHDWidth, kHDHeight);
    for (int n = 0; n < 2; ++n)
        memcpy(writer.Buffer(n), picture.data(), picture.size());
    StampedChannelReader reader(path);
    FrameConverter converter(OutputFormat::kI420, kHDWidth, kHDHeight);
    std::vector<uint8_t> out(converter.OutputBytes());
    if (!reader.IsWriterAlive())
        state.SkipWithError("the writer is not seen");
    for (auto _ : state) {
        state.PauseTiming();
        writer.BeginFrame();
        writer.EndFrame({});
        state.ResumeTiming();
        StampedChannelReader::Frame frame;
        if (!reader.BeginRead(frame)) {
            state.SkipWithError("no frame to read");
            break;
        }
        converter.Convert(frame.pixels, size_t(frame.rowBytes), out.data());
        reader.EndRead();
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    writer.Close();
    unlink(path.c_str());
}

} // namespace

BENCHMARK(BM_VCamStampedFrameI420_1280x720)->Unit(benchmark::kMillisecond);
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
