// One f0r_update of the camera input plug-in with a live 640 x 480 broadcast frame, as ffmpeg
// calls it, beside the least any plug-in must do: libyuv reordering the same frame's bytes into
// the host's R, G, B, A.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <libyuv.h>
#include <string>
#include <vector>

#include "ChannelFrames.h"
#include "ChannelNamespace.h"

namespace {

using UpdateProc = void (*)(void*, double, const uint32_t*, uint32_t*);

// A broadcast in a private /tmp, and a components folder of our own that holds the component.
bool PrepareChannel(benchmark::State& state)
{
    if (!p3dtest::InPrivateChannelNamespace()) {
        state.SkipWithError(p3dtest::PrivateChannelNamespaceError().c_str());
        return false;
    }
    static bool prepared = [] {
        char root[] = "/tmp/p3d-bench-XXXXXX";
        if (!mkdtemp(root))
            return false;
        const std::string data = std::string(root) + "/data";
        const std::string component = P3D_COMPONENT_PATH;
        const std::string command = "mkdir -p '" + data + "/parallax3d/Components' && ln -s '" +
                                    component.substr(0, component.rfind('/')) + "' '" + data +
                                    "/parallax3d/Components/'";
        if (system(command.c_str()) != 0)
            return false;
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        static p3dtest::ComponentExports writer;
        return writer.loaded() && p3dtest::PublishFrame(writer, 1);
    }();
    if (!prepared)
        state.SkipWithError("no broadcast");
    return prepared;
}

void BM_Frei0rUpdateLive640x480(benchmark::State& state)
{
    if (!PrepareChannel(state))
        return;
    void* plugIn = dlopen(P3D_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!plugIn)
        return state.SkipWithError(dlerror());
    auto init = reinterpret_cast<int (*)()>(dlsym(plugIn, "f0r_init"));
    auto construct =
        reinterpret_cast<void* (*)(unsigned, unsigned)>(dlsym(plugIn, "f0r_construct"));
    auto destruct = reinterpret_cast<void (*)(void*)>(dlsym(plugIn, "f0r_destruct"));
    auto update = reinterpret_cast<UpdateProc>(dlsym(plugIn, "f0r_update"));
    init();
    void* instance = construct(640, 480);
    std::vector<uint32_t> frame(640 * 480);
    double time = 0;
    update(instance, time, nullptr, frame.data()); // loads the component
    UInt32 number = 0;
    if (!p3dtest::FrameNumber(frame.data(), &number) && frame[0] == 0xFF000000u)
        state.SkipWithError("the plug-in shows no broadcast");
    for (auto _ : state) {
        update(instance, time += 1.0 / 30, nullptr, frame.data());
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    destruct(instance);
}
BENCHMARK(BM_Frei0rUpdateLive640x480)->Unit(benchmark::kMillisecond);

void BM_LibyuvShuffleToRGBA640x480(benchmark::State& state)
{
    std::vector<UInt8> source(kSharedCameraFrameSizeBytes);
    p3dtest::FillFrame(source.data(), 1);
    std::vector<UInt8> frame(source.size());
    static const uint8_t kToRGBA[16] = {1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8, 13, 14, 15, 12};
    for (auto _ : state) {
        libyuv::ARGBShuffle(source.data(), 2560, frame.data(), 2560, kToRGBA, 640, 480);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LibyuvShuffleToRGBA640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
