// Both 640 x 480 eyes rectified through StereoRectifier on the caller and its own thread, beside
// OpenCV's remap (on its thread pool) of the same two frames with the same maps called directly.
#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "BenchEyes.h"
#include "StereoRectifier.h"

namespace {

// The faulty rig the calibration tests use, calibrated perfectly, and the rectifier made of it.
bool Rig(StereoCalibration& out_rig, StereoRectifier& out_rectifier, std::string& out_reason)
{
    return StereoCalibration::Load(RIG_CALIBRATION, out_rig, out_reason) &&
           out_rectifier.Prepare(out_rig, bench::kEyeWidth, bench::kEyeHeight, out_reason);
}

struct Eyes
{
    std::vector<uint8_t> in[2] = {bench::SeededEye(1), bench::SeededEye(2)};
    std::vector<uint8_t> out[2] = {std::vector<uint8_t>(in[0].size()),
                                   std::vector<uint8_t>(in[1].size())};
};

void BM_Rectify640x480(benchmark::State& state)
{
    StereoCalibration rig;
    StereoRectifier rectifier;
    std::string reason;
    if (!Rig(rig, rectifier, reason))
        return state.SkipWithError(reason.c_str());
    Eyes eyes;
    const ArgbView left{eyes.in[0].data(), bench::kEyeRowBytes, bench::kEyeWidth,
                        bench::kEyeHeight},
        right{eyes.in[1].data(), bench::kEyeRowBytes, bench::kEyeWidth, bench::kEyeHeight};
    for (auto _ : state) {
        if (!rectifier.RectifyBoth(left, eyes.out[0].data(), right, eyes.out[1].data(),
                                   bench::kEyeRowBytes))
            return state.SkipWithError("not rectified");
        benchmark::DoNotOptimize(eyes.out[0].data());
        benchmark::DoNotOptimize(eyes.out[1].data());
    }
}
BENCHMARK(BM_Rectify640x480)->Unit(benchmark::kMillisecond);

// The rectifier's maps made again here: its cropped projections are the calibration's with one
// zoom and shift, read back from where two pixels land.
void BM_OpenCVRemap640x480(benchmark::State& state)
{
    StereoCalibration rig;
    StereoRectifier rectifier;
    std::string reason;
    if (!Rig(rig, rectifier, reason))
        return state.SkipWithError(reason.c_str());
    const cv::Size size(bench::kEyeWidth, bench::kEyeHeight);
    cv::Mat map1[2], map2[2];
    for (int eye = 0; eye < 2; ++eye) {
        const cv::Mat M(3, 3, CV_64F, (eye == 0 ? rig.M1 : rig.M2).data());
        const cv::Mat D(1, 5, CV_64F, (eye == 0 ? rig.D1 : rig.D2).data());
        const cv::Mat R(3, 3, CV_64F, (eye == 0 ? rig.R1 : rig.R2).data());
        const cv::Mat P = cv::Mat(3, 4, CV_64F, (eye == 0 ? rig.P1 : rig.P2).data()).colRange(0, 3);
        const std::vector<cv::Point2d> pixels = {{100, 100}, {500, 400}};
        std::vector<cv::Point2d> uncropped;
        cv::undistortPoints(pixels, uncropped, M, D, R, P,
                            cv::TermCriteria(cv::TermCriteria::COUNT, 100, 0));
        double cropped[2][2];
        for (int i = 0; i < 2; ++i)
            rectifier.RectifyPoint(eye, pixels[size_t(i)].x, pixels[size_t(i)].y, cropped[i][0],
                                   cropped[i][1]);
        const double zoom = (cropped[1][0] - cropped[0][0]) / (uncropped[1].x - uncropped[0].x);
        const cv::Matx33d crop(zoom, 0, cropped[0][0] - zoom * uncropped[0].x, 0, zoom,
                               cropped[0][1] - zoom * uncropped[0].y, 0, 0, 1);
        // Made as the rectifier makes them: in floats, then fixed point.
        cv::Mat mapX, mapY;
        cv::initUndistortRectifyMap(M, D, R, cv::Mat(crop) * P, size, CV_32FC1, mapX, mapY);
        cv::convertMaps(mapX, mapY, map1[eye], map2[eye], CV_16SC2);
    }
    Eyes eyes;
    std::vector<uint8_t> ours(eyes.in[0].size());
    for (int eye = 0; eye < 2; ++eye) {
        const ArgbView view{eyes.in[eye].data(), bench::kEyeRowBytes, bench::kEyeWidth,
                            bench::kEyeHeight};
        rectifier.Rectify(eye, view, ours.data(), bench::kEyeRowBytes);
        cv::Mat theirs(size, CV_8UC4, eyes.out[eye].data());
        cv::remap(cv::Mat(size, CV_8UC4, eyes.in[eye].data()), theirs, map1[eye], map2[eye],
                  cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255, 0, 0, 0));
        if (cv::norm(cv::Mat(size, CV_8UC4, ours.data()), theirs, cv::NORM_INF) != 0)
            return state.SkipWithError("not the rectifier's maps");
    }
    for (auto _ : state)
        for (int eye = 0; eye < 2; ++eye) {
            const cv::Mat in(size, CV_8UC4, eyes.in[eye].data());
            cv::Mat out(size, CV_8UC4, eyes.out[eye].data());
            cv::remap(in, out, map1[eye], map2[eye], cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                      cv::Scalar(255, 0, 0, 0));
            benchmark::DoNotOptimize(eyes.out[eye].data());
        }
}
BENCHMARK(BM_OpenCVRemap640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
