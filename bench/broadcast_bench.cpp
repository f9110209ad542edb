// One frame of the broadcast's drawing path (lock, render the stereo mux of two 640 x 480 eyes
// into the channel buffer, unlock, publish) beside the same render into private memory.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "BenchEyes.h"
#include "CIContext.h"
#include "CIORBStereoMuxFilter.h"
#include "CamBroadcastWriter.h"
#include "ChannelNamespace.h"

namespace {

using bench::kEyeHeight;
using bench::SeededEye;
constexpr size_t kWidth = bench::kEyeWidth, kHeight = kEyeHeight, kRowBytes = bench::kEyeRowBytes;

// The stereo picture of two fixed eyes, built anew per frame as the stereo view builds it.
class StereoRecipe
{
public:
    StereoRecipe() : mRight(SeededEye(1)), mLeft(SeededEye(2))
    {
        import_CIORBStereoMuxFilter(true);
        mMux = CIFilter::filterWithName(kCIORBStereoMuxFilter_FilterName);
        mMux->setDefaults();
    }
    CFPtr<CIImage> image()
    {
        CFPtr<CIImage> r = CIImage::imageWithARGBMemory(mRight.data(), kRowBytes, kWidth, kHeight);
        CFPtr<CIImage> l = CIImage::imageWithARGBMemory(mLeft.data(), kRowBytes, kWidth, kHeight);
        mMux->setValue(r.get(), kCIInputImageKey);
        mMux->setValue(l.get(), kCIORBStereoMuxFilter_inputLeftImage);
        return mMux->outputImage();
    }

private:
    std::vector<UInt8> mRight, mLeft;
    CFPtr<CIFilter> mMux;
};

void BM_BroadcastDrawFrame640x480(benchmark::State& state)
{
    if (!p3dtest::InPrivateChannelNamespace())
        return state.SkipWithError(p3dtest::PrivateChannelNamespaceError().c_str());
    // The component is linked into a components folder of the run's own, not the user's.
    char home[] = "/tmp/parallax3d-bench.XXXXXX";
    if (!mkdtemp(home))
        return state.SkipWithError("no temporary folder");
    setenv("XDG_DATA_HOME", home, 1);
    StereoRecipe recipe;
    CamBroadcastWriter writer;
    writer.startBroadcasting(true, true);
    writer.createContexts(0);
    writer.createContexts(1);
    if (!writer.currentCIContext())
        state.SkipWithError("no channel contexts");
    for (auto _ : state) {
        CFPtr<CIImage> stereo = recipe.image();
        if (CIContext* context = writer.beginSwitchContexts())
            context->drawImage(stereo.get(), CGPointMake(0, 0), stereo->extent());
        writer.endSwitchContexts();
        benchmark::ClobberMemory();
    }
    writer.destroyContexts();
    writer.stopBroadcasting();
    [[maybe_unused]] const int removed = system((std::string("rm -rf '") + home + "'").c_str());
}
BENCHMARK(BM_BroadcastDrawFrame640x480)->Unit(benchmark::kMicrosecond);

void BM_StereoRecipeToPrivateMemory640x480(benchmark::State& state)
{
    StereoRecipe recipe;
    std::vector<UInt8> out(kRowBytes * kHeight);
    CFPtr<CIContext> context =
        CIContext::contextWithARGBMemory(out.data(), kRowBytes, kWidth, kHeight);
    for (auto _ : state) {
        CFPtr<CIImage> stereo = recipe.image();
        context->drawImage(stereo.get(), CGPointMake(0, 0), stereo->extent());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StereoRecipeToPrivateMemory640x480)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
