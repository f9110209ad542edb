// The comfort check on histograms of the test scene's true disparity: the scene as drawn, or with
// its nearest object moved nearer or to an edge, seen through eye offsets and convergence shifts.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ComfortCheck.h"
#include "TestPatternScene.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kMaxDisparity = 64;

// The histogram of the left eye's true disparity of the scene at 640 x 480: the floor from the
// horizon (row 330) down, as the scene draws it, depth 225 / (y - 292.5) metres; the objects far
// to near in front of it, the ball where it is at frame 0, the pillar replaced by pillar if given.
DepthHistogram SceneHistogram(const TestPatternScene::Object* pillar = nullptr)
{
    std::vector<float> map(size_t(kWidth) * kHeight, 0.0f);
    for (int y = 330; y < kHeight; ++y)
        std::fill_n(
            map.begin() + y * kWidth, kWidth,
            float(TestPatternScene::ParallaxPixels(225.0 / (y + 0.5 - 292.5), kWidth, kHeight)));
    for (TestPatternScene::Object object : TestPatternScene::Objects()) {
        if (pillar && std::string(object.name) == "pillar")
            object = *pillar;
        const auto box =
            TestPatternScene::Place(object, 0, TestPatternScene::kLeftEye, kWidth, kHeight);
        const float d = float(TestPatternScene::ParallaxPixels(object.depth, kWidth, kHeight));
        for (int y = std::max(box.y, 0); y < std::min(box.y + box.height, kHeight); ++y)
            for (int x = std::max(box.x, 0); x < std::min(box.x + box.width, kWidth); ++x) {
                const double u = (x + 0.5 - box.x) / box.width - 0.5,
                             v = (y + 0.5 - box.y) / box.height - 0.5;
                if (object.shape == TestPatternScene::Shape::kBox || u * u + v * v <= 0.25)
                    map[size_t(y) * kWidth + size_t(x)] = d;
            }
    }
    DepthHistogram h;
    h.maxDisparity = kMaxDisparity;
    h.known = map.size();
    for (auto* bins : {&h.all, &h.leftEdge, &h.rightEdge})
        bins->assign(size_t(kMaxDisparity * DepthHistogram::kBinsPerPixel), 0);
    for (size_t p = 0; p < map.size(); ++p) {
        const size_t bin = size_t(map[p] * DepthHistogram::kBinsPerPixel);
        const int x = int(p % kWidth);
        ++h.all[bin];
        h.leftEdge[bin] += x < DepthHistogram::kEdgeBand;
        h.rightEdge[bin] += x >= kWidth - DepthHistogram::kEdgeBand;
    }
    return h;
}

// The pillar, the nearest object (16 px), moved to depth and layout column x.
TestPatternScene::Object Pillar(double depth, int x)
{
    TestPatternScene::Object pillar = TestPatternScene::Find("pillar");
    pillar.depth = depth;
    pillar.x = x;
    return pillar;
}

TEST(ComfortCheck, ReadsTheScenesParallaxAsTheMonitorShowsIt)
{
    const TestPatternScene::Object nearer = Pillar(0.9, 430); // 23 px: beyond 3 % of 640
    const TestPatternScene::Object atLeft = Pillar(1.2, 0), atRight = Pillar(1.2, kWidth - 56);
    const struct
    {
        const char* what;
        const TestPatternScene::Object* pillar;
        int leftX, rightX, shift;
        double budget, nearest, farthest;
        bool exceeded, left, right;
        const char* warning; // part of it; empty: none
    } cases[] = {
        // The floor comes out of the screen at both sides: cut by both edges.
        {"as drawn", nullptr, 0, 0, 0, 3, -16, 0, false, true, true, "violation at both edges"},
        {"converged on the pillar", nullptr, 0, 0, 16, 3, 0, 16, false, false, false, ""},
        {"offsets and shift add up", nullptr, -2, 3, 11, 3, 0, 16, false, false, false, ""},
        // The pillar in front but away from the edges; the floor's nearest rows too few.
        {"pillar just in front", nullptr, 0, 0, 14, 3, -2, 14, false, false, false, ""},
        {"pillar at the left edge", &atLeft, 0, 0, 14, 3, -2, 14, false, true, false,
         "violation at the left edge"},
        {"pillar at the right edge", &atRight, 0, 0, 14, 3, -2, 14, false, false, true,
         "violation at the right edge"},
        {"pillar nearer", &nearer, 0, 0, 23, 3, 0, 23, true, false, false,
         "Too much depth for comfort"},
        {"pillar nearer, at the screen", &nearer, 0, 0, 0, 3, -23, 0, true, true, true,
         "Too much depth; window violation at both edges"},
        {"pillar nearer, larger budget", &nearer, 0, 0, 23, 4, 0, 23, false, false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ComfortCheck check;
        const ComfortCheck::Reading& r =
            check.Check(SceneHistogram(c.pillar), {c.leftX, c.rightX, c.shift, kWidth, c.budget});
        ASSERT_TRUE(r.measured);
        EXPECT_NEAR(r.nearParallax, c.nearest, 1.0);
        EXPECT_NEAR(r.farParallax, c.farthest, 1.0);
        EXPECT_NEAR(r.convergenceTarget, c.shift - c.nearest, 1.0);
        EXPECT_DOUBLE_EQ(r.budgetPixels, kWidth * c.budget / 100);
        EXPECT_EQ(r.exceeded, c.exceeded);
        EXPECT_EQ(r.leftEdgeViolation, c.left);
        EXPECT_EQ(r.rightEdgeViolation, c.right);
        EXPECT_NE(r.status.find("budget"), std::string::npos) << r.status;
        EXPECT_TRUE(*c.warning ? r.warning.find(c.warning) != std::string::npos : r.warning.empty())
            << r.warning;
    }
}

// Nothing measured, nothing said: no map, or too little of it known to stand for the picture.
TEST(ComfortCheck, TooLittleKnownSaysNothing)
{
    DepthHistogram none;
    DepthHistogram sparse = SceneHistogram();
    sparse.unknown = sparse.known * 20;
    DepthHistogram inconsistent;
    inconsistent.known = 100; // bins missing
    for (const DepthHistogram& histogram : {none, sparse, inconsistent}) {
        ComfortCheck check;
        const ComfortCheck::Reading& r = check.Check(histogram, {0, 0, 0, kWidth, 3});
        EXPECT_FALSE(r.measured);
        EXPECT_FALSE(r.exceeded || r.windowViolation());
        EXPECT_EQ(r.warning, "");
        EXPECT_NE(r.status, "");
    }
}

} // namespace
