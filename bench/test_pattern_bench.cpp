// One 640 x 480 frame of both test-pattern eyes as R,G,B: the ideal rig, a faulty one (each eye
// warped through its lens) and the chessboard held up in front, alone and together.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <vector>

#include "TestPatternChessboard.h"
#include "TestPatternScene.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

void RenderBothEyes(benchmark::State& state, const TestPatternRig& rig, bool chessboard)
{
    TestPatternScene scene;
    scene.SetRig(rig);
    scene.SetChessboard(chessboard);
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    // A pose held still, as the board spends most of its time.
    const uint64_t frame = TestPatternChessboard::StillFrame(2);
    for (TestPatternScene::Eye eye : {TestPatternScene::kLeftEye, TestPatternScene::kRightEye})
        scene.Render(frame, eye, kWidth, kHeight, rgb.data(), size_t(kWidth) * 3); // the maps
    for (auto _ : state)
        for (TestPatternScene::Eye eye : {TestPatternScene::kLeftEye, TestPatternScene::kRightEye})
            benchmark::DoNotOptimize(
                scene.Render(frame, eye, kWidth, kHeight, rgb.data(), size_t(kWidth) * 3));
}

const TestPatternRig kFaulty{6, 1.5, 3, -0.1};

void BM_TestPatternIdealRig(benchmark::State& state)
{
    RenderBothEyes(state, {}, false);
}
void BM_TestPatternFaultyRig(benchmark::State& state)
{
    RenderBothEyes(state, kFaulty, false);
}
void BM_TestPatternChessboard(benchmark::State& state)
{
    RenderBothEyes(state, {}, true);
}
void BM_TestPatternFaultyRigWithChessboard(benchmark::State& state)
{
    RenderBothEyes(state, kFaulty, true);
}

} // namespace

BENCHMARK(BM_TestPatternIdealRig)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestPatternFaultyRig)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestPatternChessboard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestPatternFaultyRigWithChessboard)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
