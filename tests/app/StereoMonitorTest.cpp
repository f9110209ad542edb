// The stereo monitor without a window: the test scene's two eyes in, the monitor picture out.
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

#include "CGColorSpace.h"
#include "CGDataProvider.h"
#include "StereoMonitor.h"
#include "TestPatternScene.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// One eye of the scene's first frame, A,R,G,B, as an image sharing its pixels.
struct SceneEye
{
    explicit SceneEye(TestPatternScene::Eye eye) : argb(size_t(kWidth) * kHeight * 4)
    {
        TestPatternScene scene;
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        EXPECT_TRUE(scene.Render(0, eye, kWidth, kHeight, rgb.data(), size_t(kWidth) * 3));
        for (size_t i = 0, o = 0; i < rgb.size(); i += 3, o += 4) {
            argb[o] = 0xFF;
            std::copy_n(&rgb[i], 3, &argb[o + 1]);
        }
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, argb.data(), argb.size(), nullptr);
        image = CFPtr<CGImage>::Adopt(CGImageCreate(
            kWidth, kHeight, 8, 32, size_t(kWidth) * 4, space, kCGImageAlphaPremultipliedFirst,
            provider, nullptr, false, kCGRenderingIntentDefault));
        CGDataProviderRelease(provider);
        CGColorSpaceRelease(space);
    }
    std::vector<uint8_t> argb;
    CFPtr<CGImage> image;
};

// The mean x of the pixels of that colour in row y between x0 and x1 of the picture.
double CentreOf(const StereoMonitor& monitor, const uint8_t rgb[3], int y, int x0, int x1)
{
    double sum = 0;
    int count = 0;
    for (int x = x0; x < x1; ++x) {
        const uint8_t* p = monitor.pixels() + (size_t(y) * monitor.width() + size_t(x)) * 4;
        if (std::abs(p[1] - rgb[0]) + std::abs(p[2] - rgb[1]) + std::abs(p[3] - rgb[2]) < 24) {
            sum += x - x0;
            ++count;
        }
    }
    return count ? sum / count : -1;
}

// Side by side shows where each eye sees the nearest object. Near objects sit further right in
// the eye shown on the left: a left-right mirror of both eyes alone would turn that round (near
// becomes far), so the mirror exchanges the eyes too; the swapped type still reverses it.
TEST(StereoMonitorTest, AMirrorAcrossKeepsNearObjectsNear)
{
    const SceneEye left(TestPatternScene::kLeftEye), right(TestPatternScene::kRightEye);
    const TestPatternScene::Object& pillar = TestPatternScene::Find("pillar");
    const TestPatternScene::Box box =
        TestPatternScene::Place(pillar, 0, TestPatternScene::kLeftEye, kWidth, kHeight);
    StereoEncodingList encodings("/nonexistent");
    StereoMonitor monitor;
    monitor.setEncoding(encodings.find("sbs2l"));
    monitor.setEyeFrames(left.image.get(), right.image.get());
    const struct
    {
        bool mirror;
        int type;
        bool nearOnTheRight; // in the eye shown on the left
    } cases[] = {
        {false, StereoMonitor::kMonitorImageType_Stereo, true},
        {true, StereoMonitor::kMonitorImageType_Stereo, true},
        {false, StereoMonitor::kMonitorImageType_StereoSwapped, false},
        {true, StereoMonitor::kMonitorImageType_StereoSwapped, false},
    };
    for (const auto& c : cases) {
        monitor.chain().setMirror(c.mirror, false);
        monitor.setMonitorImageType(c.type);
        monitor.render();
        ASSERT_NE(monitor.pixels(), nullptr);
        const int y = box.y + box.height / 2;
        const double shownLeft = CentreOf(monitor, pillar.rgb, y, 0, kWidth / 2);
        const double shownRight = CentreOf(monitor, pillar.rgb, y, kWidth / 2, kWidth);
        ASSERT_GE(shownLeft, 0);
        ASSERT_GE(shownRight, 0);
        // 16 pixels of parallax, halved by the squeeze.
        EXPECT_NEAR(std::abs(shownLeft - shownRight), 8, 1.5);
        EXPECT_EQ(shownLeft > shownRight, c.nearOnTheRight)
            << "mirror " << c.mirror << ", type " << c.type;
    }
}

// The convergence shift moves the eyes apart on top of their offsets, half each (the odd pixel to
// the right eye): the pillar's parallax on the monitor grows by the shift.
TEST(StereoMonitorTest, TheConvergenceShiftMovesEachEyeHalfOfIt)
{
    const SceneEye left(TestPatternScene::kLeftEye), right(TestPatternScene::kRightEye);
    const TestPatternScene::Object& pillar = TestPatternScene::Find("pillar");
    const TestPatternScene::Box box =
        TestPatternScene::Place(pillar, 0, TestPatternScene::kLeftEye, kWidth, kHeight);
    const int y = box.y + box.height / 2;
    StereoMonitor monitor;
    monitor.setEyeFrames(left.image.get(), right.image.get());
    monitor.setEyeOffset(StereoMonitor::kRightEye, {2, 0});
    const auto centre = [&](int type) {
        monitor.setMonitorImageType(type);
        monitor.render();
        return CentreOf(monitor, pillar.rgb, y, 0, kWidth);
    };
    const double leftAt = centre(StereoMonitor::kMonitorImageType_LeftEye),
                 rightAt = centre(StereoMonitor::kMonitorImageType_RightEye);
    const struct
    {
        int shift, leftMoves, rightMoves;
    } cases[] = {{7, -3, 4}, {-6, 3, -3}, {1000, -64, 64}};
    for (const auto& c : cases) {
        monitor.setConvergenceShift(c.shift);
        EXPECT_NEAR(centre(StereoMonitor::kMonitorImageType_LeftEye) - leftAt, c.leftMoves, 0.01)
            << c.shift;
        EXPECT_NEAR(centre(StereoMonitor::kMonitorImageType_RightEye) - rightAt, c.rightMoves, 0.01)
            << c.shift;
    }
}

} // namespace
