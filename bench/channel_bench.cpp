// One frame through the channel, as the application publishes it and as a reader copies it
// out, beside a bare memcpy of the same frame between the same kind of buffers.
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"

namespace {

using p3dtest::ComponentExports;

// The component, loaded once in a private /tmp and /dev/shm so no real broadcast is touched.
ComponentExports* Exports(benchmark::State& state)
{
    if (!p3dtest::InPrivateChannelNamespace()) {
        state.SkipWithError(p3dtest::PrivateChannelNamespaceError().c_str());
        return nullptr;
    }
    static ComponentExports exports;
    if (!exports.loaded())
        state.SkipWithError("the component did not load");
    return exports.loaded() ? &exports : nullptr;
}

std::vector<UInt8> SourceFrame()
{
    std::vector<UInt8> frame(kSharedCameraFrameSizeBytes);
    p3dtest::FillFrame(frame.data(), 1);
    return frame;
}

// Lock, copy the frame in, unlock, publish; alternating buffers as the writer does.
void BM_ChannelPublishFrame(benchmark::State& state)
{
    ComponentExports* exports = Exports(state);
    if (!exports)
        return;
    const std::vector<UInt8> source = SourceFrame();
    void* buffers[2];
    for (int n = 0; n < 2; ++n) {
        SHARED_CAMERA_BUFFER record = ComponentExports::Record();
        if (!exports->GetWriteableFrameBuffer(n, &record))
            return state.SkipWithError("no write buffer");
        buffers[n] = record.frameBufferPtr;
    }
    unsigned n = 0;
    for (auto _ : state) {
        void* buffer = buffers[++n % 2];
        exports->LockFrameBuffer(buffer);
        memcpy(buffer, source.data(), source.size());
        exports->UnLockFrameBuffer(buffer);
        exports->SetCurrentReadBuffer(buffer);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}
BENCHMARK(BM_ChannelPublishFrame)->Unit(benchmark::kMicrosecond);

// Describe the current frame, lock, copy it out, unlock.
void BM_ChannelReadFrame(benchmark::State& state)
{
    ComponentExports* exports = Exports(state);
    if (!exports || !p3dtest::PublishFrame(*exports, 1))
        return state.SkipWithError("nothing published");
    std::vector<UInt8> copy(kSharedCameraFrameSizeBytes);
    for (auto _ : state) {
        SHARED_CAMERA_BUFFER record = ComponentExports::Record();
        exports->GetCurrentReadBuffer(&record);
        exports->LockFrameBuffer(record.frameBufferPtr);
        memcpy(copy.data(), record.frameBufferPtr, copy.size());
        exports->UnLockFrameBuffer(record.frameBufferPtr);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(copy.size()));
}
BENCHMARK(BM_ChannelReadFrame)->Unit(benchmark::kMicrosecond);

// The peer of the publish: the same copy into two alternating frame buffers.
void BM_MemcpyFrameInto(benchmark::State& state)
{
    const std::vector<UInt8> source = SourceFrame();
    std::vector<UInt8> buffers[2] = {std::vector<UInt8>(source.size()),
                                     std::vector<UInt8>(source.size())};
    unsigned n = 0;
    for (auto _ : state) {
        memcpy(buffers[++n % 2].data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}
BENCHMARK(BM_MemcpyFrameInto)->Unit(benchmark::kMicrosecond);

// The peer of the read: the same copy out of one frame buffer.
void BM_MemcpyFrameOut(benchmark::State& state)
{
    const std::vector<UInt8> source = SourceFrame();
    std::vector<UInt8> copy(source.size());
    for (auto _ : state) {
        memcpy(copy.data(), source.data(), source.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(copy.size()));
}
BENCHMARK(BM_MemcpyFrameOut)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
