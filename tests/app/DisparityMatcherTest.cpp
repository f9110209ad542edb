// The matcher on the test scene, whose every depth is known.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "DisparityMatcher.h"
#include "SceneDisparity.h"

namespace {

// An eye through the test camera's JPEG (quality 85) and back, A,R,G,B.
std::vector<uint8_t> ThroughJpeg(const ArgbView& eye)
{
    const cv::Mat argb(eye.height, eye.width, CV_8UC4, const_cast<uint8_t*>(eye.pixels),
                       eye.rowBytes);
    cv::Mat bgr(argb.size(), CV_8UC3);
    const int toBgr[] = {1, 2, 2, 1, 3, 0};
    cv::mixChannels(&argb, 1, &bgr, 1, toBgr, 3);
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", bgr, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
    const cv::Mat decoded = cv::imdecode(jpeg, cv::IMREAD_COLOR);
    std::vector<uint8_t> out(size_t(eye.width) * eye.height * 4, 255);
    cv::Mat back(argb.size(), CV_8UC4, out.data());
    const int toArgb[] = {2, 1, 1, 2, 0, 3};
    cv::mixChannels(&decoded, 1, &back, 1, toArgb, 3);
    return out;
}

// The live monitor matches at half size, the files tool at full size: both find every object,
// and at half size through a camera's compression too.
TEST(DisparityMatcherTest, FindsEachObjectsParallax)
{
    const p3dtest::SceneEyes eyes;
    const std::vector<uint8_t> jpeg[2] = {ThroughJpeg(eyes.eye(0)), ThroughJpeg(eyes.eye(1))};
    const auto view = [](const std::vector<uint8_t>& argb) {
        return ArgbView{argb.data(), 640 * 4, 640, 480};
    };
    const struct
    {
        const char* pair;
        ArgbView left, right;
        double scale;
    } cases[] = {
        {"ideal", eyes.eye(0), eyes.eye(1), 1.0},
        {"ideal", eyes.eye(0), eyes.eye(1), 0.5},
        {"jpeg", view(jpeg[0]), view(jpeg[1]), 0.5},
    };
    DisparityMatcher matcher;
    for (const auto& c : cases) {
        std::vector<float> map;
        std::string reason;
        ASSERT_TRUE(matcher.Match(c.left, c.right, 64, c.scale, map, reason)) << reason;
        // Where each object is, and where the wall has detail, from the ideal eye.
        for (const p3dtest::SceneShare& s : p3dtest::SceneShares(map.data(), eyes.eye(0))) {
            printf("%s %.1f %-7s %2.0f px: %.1f %% of %d\n", c.pair, c.scale, s.name.c_str(),
                   s.truth, 100 * s.share, s.pixels);
            EXPECT_GE(s.share, 0.9) << s.name << " of the " << c.pair << " pair at " << c.scale;
        }
    }
}

} // namespace
