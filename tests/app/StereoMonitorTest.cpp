// The stereo monitor without a window: the test scene's two eyes in, the monitor picture out.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "CGColorSpace.h"
#include "CGDataProvider.h"
#include "SceneDisparity.h"
#include "StereoMonitor.h"
#include "TestPatternScene.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// One eye of the scene's first frame, A,R,G,B, as an image sharing its pixels; or a grey one.
struct SceneEye
{
    explicit SceneEye(TestPatternScene::Eye eye, bool grey = false)
        : argb(size_t(kWidth) * kHeight * 4, 128)
    {
        TestPatternScene scene;
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        EXPECT_TRUE(scene.Render(0, eye, kWidth, kHeight, rgb.data(), size_t(kWidth) * 3));
        for (size_t i = 0, o = 0; i < rgb.size() && !grey; i += 3, o += 4) {
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
        SCOPED_TRACE(c.shift);
        monitor.setConvergenceShift(c.shift);
        EXPECT_NEAR(centre(StereoMonitor::kMonitorImageType_LeftEye) - leftAt, c.leftMoves, 0.01);
        EXPECT_NEAR(centre(StereoMonitor::kMonitorImageType_RightEye) - rightAt, c.rightMoves,
                    0.01);
    }
}

// Feeds the eyes tick after tick until the worker has a map newer than serial; null without a
// worker.
std::shared_ptr<const DepthSnapshot> MapAfter(StereoMonitor& monitor, const SceneEye& left,
                                              const SceneEye& right, uint64_t serial = 0)
{
    if (!monitor.depthWorker())
        return nullptr;
    const auto feed = [&] { monitor.setEyeFrames(left.image.get(), right.image.get()); };
    return p3dtest::MapAfter(*monitor.depthWorker(), feed, serial);
}

// Opaque black: nothing known.
bool Black(const uint8_t* argb)
{
    return memcmp(argb, "\xFF\0\0\0", 4) == 0;
}

// The hue in degrees, 0 to 360 (red), as turbo runs from far (blue, 240) to near (red, 0).
double Hue(const uint8_t* argb)
{
    const double r = argb[1], g = argb[2], b = argb[3], hi = std::max({r, g, b});
    const double range = hi - std::min({r, g, b}) + 1e-9;
    const double h = hi == r   ? (g - b) / range
                     : hi == g ? 2 + (b - r) / range
                               : 4 + (r - g) / range;
    return h < 0 ? h * 60 + 360 : h * 60;
}

TEST(StereoMonitorTest, DepthShowsTheNewestMapColoured)
{
    const SceneEye left(TestPatternScene::kLeftEye), right(TestPatternScene::kRightEye);
    StereoMonitor monitor;
    monitor.setEyeFrames(left.image.get(), right.image.get());
    EXPECT_EQ(monitor.depthWorker(), nullptr);
    monitor.setMonitorImageType(StereoMonitor::kMonitorImageType_Depth);
    ASSERT_NE(monitor.depthWorker(), nullptr);

    // Nothing fed yet: black of the eyes' size.
    monitor.render();
    ASSERT_NE(monitor.pixels(), nullptr);
    ASSERT_EQ(monitor.width() * monitor.height(), size_t(kWidth) * kHeight);
    for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i)
        ASSERT_TRUE(Black(monitor.pixels() + i * 4)) << i;

    ASSERT_NE(MapAfter(monitor, left, right), nullptr);
    monitor.render();
    // Every map of this pair is the same: whichever is newest now is the one shown.
    const std::shared_ptr<const DepthSnapshot> map = monitor.depthWorker()->Latest();
    ASSERT_EQ(monitor.width(), size_t(map->width));
    ASSERT_EQ(memcmp(monitor.pixels(), map->picture.data(), map->picture.size()), 0);
    const auto at = [&](int x, int y) { return monitor.pixels() + (size_t(y) * kWidth + x) * 4; };
    const TestPatternScene::Box pillar = TestPatternScene::Place(
        TestPatternScene::Find("pillar"), 0, TestPatternScene::kLeftEye, kWidth, kHeight);
    const double near = Hue(at(pillar.x + pillar.width / 2, pillar.y + pillar.height / 2));
    const double wall = Hue(at(320, 20));
    EXPECT_LT(near, wall - 40);
    const auto unknown = std::find(map->disparity.begin(), map->disparity.end(), -1.0f);
    ASSERT_NE(unknown, map->disparity.end());
    EXPECT_TRUE(Black(monitor.pixels() + (unknown - map->disparity.begin()) * 4));
}

// Comfort needs the map under any type; without it and Depth the worker is fed nothing.
TEST(StereoMonitorTest, DepthAnalysisFeedsTheWorkerUnderAnyType)
{
    const SceneEye left(TestPatternScene::kLeftEye), right(TestPatternScene::kRightEye);
    StereoMonitor monitor;
    monitor.setDepthAnalysis(true);
    ASSERT_NE(MapAfter(monitor, left, right), nullptr);
    monitor.setDepthAnalysis(false);
    const uint64_t serial = monitor.depthWorker()->Latest()->serial;
    // Fed, these ticks would make several maps; the pair the worker may hold makes one.
    for (int i = 0; i < 300; ++i) {
        monitor.setEyeFrames(left.image.get(), right.image.get());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LE(monitor.depthWorker()->Latest()->serial, serial + 1);
}

// A picture handed out keeps its map while held, though newer maps of other eyes come.
TEST(StereoMonitorTest, AHeldDepthPictureKeepsItsMap)
{
    const SceneEye left(TestPatternScene::kLeftEye), right(TestPatternScene::kRightEye),
        grey(TestPatternScene::kLeftEye, true);
    StereoMonitor monitor;
    monitor.setMonitorImageType(StereoMonitor::kMonitorImageType_Depth);
    ASSERT_NE(MapAfter(monitor, left, right), nullptr);
    const CFPtr<CIImage> held = monitor.liveMonitorImage();
    monitor.renderMonitorImage(held);
    ASSERT_NE(monitor.pixels(), nullptr);
    const std::vector<uint8_t> before(monitor.pixels(), monitor.pixels() + kWidth * kHeight * 4);
    uint64_t newest = monitor.depthWorker()->Latest()->serial;
    // Grey eyes: all unknown, black. Each map is shown a tick, as the document does, more than
    // the worker's pool holds.
    for (int i = 0; i < 6; ++i) {
        const std::shared_ptr<const DepthSnapshot> next = MapAfter(monitor, grey, grey, newest);
        ASSERT_NE(next, nullptr);
        newest = next->serial;
        monitor.render();
    }
    monitor.renderMonitorImage(held);
    ASSERT_NE(monitor.pixels(), nullptr);
    EXPECT_EQ(memcmp(monitor.pixels(), before.data(), before.size()), 0);
}

} // namespace
