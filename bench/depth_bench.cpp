// The depth map of the test scene's 640 x 480 eyes as the depth worker makes it (matched at half
// size, brought back to full size, counted and coloured), beside OpenCV's StereoSGBM called
// directly on the same pair at half size with the same settings.
#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "DepthMapper.h"
#include "TestPatternScene.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// Frame 0 of one eye (0 left, 1 right) as opaque A,R,G,B.
std::vector<uint8_t> SceneEye(int eye)
{
    TestPatternScene scene;
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3), argb(size_t(kWidth) * kHeight * 4);
    scene.Render(0, TestPatternScene::Eye(eye), kWidth, kHeight, rgb.data(), size_t(kWidth) * 3);
    for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
        argb[i * 4] = 255;
        for (size_t c = 0; c < 3; ++c)
            argb[i * 4 + 1 + c] = rgb[i * 3 + c];
    }
    return argb;
}

void BM_DepthMap640x480(benchmark::State& state)
{
    const std::vector<uint8_t> eyes[2] = {SceneEye(0), SceneEye(1)};
    const ArgbView left{eyes[0].data(), size_t(kWidth) * 4, kWidth, kHeight},
        right{eyes[1].data(), size_t(kWidth) * 4, kWidth, kHeight};
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
    cv::Mat eyes[2], small[2], disparity;
    for (int eye = 0; eye < 2; ++eye) {
        std::vector<uint8_t> argb = SceneEye(eye);
        const cv::Mat picture(kHeight, kWidth, CV_8UC4, argb.data());
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
