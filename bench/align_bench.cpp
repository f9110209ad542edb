// The click's fit: features found and matched in both 640 x 480 eyes of the test scene through
// the faulty rig, and the rows fitted; then the maps of the alignment the worker prepares.
#include <benchmark/benchmark.h>
#include <string>
#include <vector>

#include "EyeAligner.h"
#include "SceneEyes.h"
#include "StereoRectifier.h"

namespace {

constexpr int kWidth = bench::SceneEyes::kWidth, kHeight = bench::SceneEyes::kHeight;

void BM_AlignFit640x480(benchmark::State& state)
{
    const bench::SceneEyes eyes("vertical=6,roll=1.5,focal=3");
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
    const bench::SceneEyes eyes("vertical=6,roll=1.5,focal=3");
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
