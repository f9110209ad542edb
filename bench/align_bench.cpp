// The click's fit: features found and matched in both 640 x 480 eyes of the test scene through
// the faulty rig, and the rows fitted; then the maps of the alignment the worker prepares.
#include <benchmark/benchmark.h>
#include <string>
#include <vector>

#include "EyeAligner.h"
#include "StereoRectifier.h"
#include "TestPatternScene.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

struct RigEyes
{
    std::vector<uint8_t> argb[2];
    RigEyes()
    {
        TestPatternScene scene;
        TestPatternRig rig;
        std::string reason;
        TestPatternRig::Parse("vertical=6,roll=1.5,focal=3", rig, reason);
        scene.SetRig(rig);
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int eye = 0; eye < 2; ++eye) {
            scene.Render(0, TestPatternScene::Eye(eye), kWidth, kHeight, rgb.data(), kWidth * 3);
            argb[eye].resize(size_t(kWidth) * kHeight * 4);
            for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
                argb[eye][i * 4] = 255;
                for (size_t c = 0; c < 3; ++c)
                    argb[eye][i * 4 + 1 + c] = rgb[i * 3 + c];
            }
        }
    }
    ArgbView eye(int eye) const { return {argb[eye].data(), kWidth * 4, kWidth, kHeight}; }
};

void BM_AlignFit640x480(benchmark::State& state)
{
    const RigEyes eyes;
    EyeAligner aligner;
    EyeAlignmentFit fit;
    std::string reason;
    for (auto _ : state)
        if (!aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, nullptr, fit, reason))
            return state.SkipWithError(reason.c_str());
    state.counters["inliers"] = fit.inliers;
}
BENCHMARK(BM_AlignFit640x480)->Unit(benchmark::kMillisecond);

// One step of Keep Eyes Aligned: the maps of an alignment, made on the worker.
void BM_AlignStepMaps640x480(benchmark::State& state)
{
    const RigEyes eyes;
    EyeAligner aligner;
    EyeAlignmentFit fit;
    std::string reason;
    if (!aligner.Fit(eyes.eye(0), eyes.eye(1), nullptr, nullptr, fit, reason))
        return state.SkipWithError(reason.c_str());
    const StereoCalibration calibration = fit.alignment.ToCalibration();
    StereoRectifier rectifier;
    for (auto _ : state)
        if (!rectifier.Prepare(calibration, kWidth, kHeight, reason))
            return state.SkipWithError(reason.c_str());
}
BENCHMARK(BM_AlignStepMaps640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
