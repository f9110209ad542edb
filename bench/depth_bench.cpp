// The depth map of the test scene's 640 x 480 eyes as the depth worker makes it (matched at half
// size, brought back to full size, counted and coloured), beside OpenCV's StereoSGBM called
// directly on the same pair at half size with the same settings.
#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "DepthMapper.h"
#include "SceneEyes.h"

namespace {

constexpr int kWidth = bench::SceneEyes::kWidth, kHeight = bench::SceneEyes::kHeight;

void BM_DepthMap640x480(benchmark::State& state)
{
    const bench::SceneEyes eyes;
    const ArgbView left = eyes.eye(0), right = eyes.eye(1);
    DepthMapper mapper;
    DepthSnapshot map;
    std::string reason;
    for (auto _ : state) {
        if (!mapper.Map(left, right, 0, 0, map, reason))
            return state.SkipWithError(reason.c_str());
        benchmark::DoNotOptimize(map.picture.data());
    }
}
BENCHMARK(BM_DepthMap640x480)->Unit(benchmark::kMillisecond);

// The matcher's settings at half size: 64 px of range at 640 wide is 32, block 5, its P1, and
// its P2 halved with the scale.
void BM_OpenCVSGBMHalf640x480(benchmark::State& state)
{
    bench::SceneEyes scene;
    cv::Mat eyes[2], small[2], disparity;
    for (int eye = 0; eye < 2; ++eye) {
        const cv::Mat picture(kHeight, kWidth, CV_8UC4, scene.argb[eye].data());
        eyes[eye].create(kHeight, kWidth, CV_8UC3);
        const int fromTo[] = {1, 0, 2, 1, 3, 2};
        cv::mixChannels(&picture, 1, &eyes[eye], 1, fromTo, 3);
    }
    constexpr int kBlock = 5;
    const cv::Ptr<cv::StereoSGBM> sgbm =
        cv::StereoSGBM::create(0, 32, kBlock, 8 * 3 * kBlock * kBlock, 16 * 3 * kBlock * kBlock, 1,
                               0, 10, 100, 2, cv::StereoSGBM::MODE_SGBM_3WAY);
    for (auto _ : state) {
        for (int eye = 0; eye < 2; ++eye)
            cv::resize(eyes[eye], small[eye], cv::Size(kWidth / 2, kHeight / 2), 0, 0,
                       cv::INTER_AREA);
        sgbm->compute(small[0], small[1], disparity);
        benchmark::DoNotOptimize(disparity.data);
    }
}
BENCHMARK(BM_OpenCVSGBMHalf640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
