// The depth worker on the test scene, whose every depth is known, and on pairs it cannot match.
#include <chrono>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>

#include "DepthWorker.h"
#include "SceneDisparity.h"

namespace {

// Feeds the pair until a map newer than serial is out; null when none comes within a minute.
std::shared_ptr<const DepthSnapshot> MapAfter(DepthWorker& worker, const ArgbView& left,
                                              const ArgbView& right, uint64_t serial = 0)
{
    for (int i = 0; i < 60000; ++i) {
        worker.Feed(left, right);
        std::shared_ptr<const DepthSnapshot> latest = worker.Latest();
        if (latest && latest->serial > serial)
            return latest;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return nullptr;
}

// Matched at half size, ideal or through a camera's compression (where plain faces once took a
// neighbour's disparity).
TEST(DepthWorkerTest, FindsEachObjectsParallax)
{
    const p3dtest::SceneEyes ideal;
    for (const bool jpeg : {false, true}) {
        const p3dtest::SceneEyes eyes(jpeg);
        DepthWorker worker;
        EXPECT_EQ(worker.Latest(), nullptr);
        const auto map = MapAfter(worker, eyes.eye(0), eyes.eye(1));
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map->serial, 1u);
        ASSERT_EQ(map->disparity.size(), 640u * 480);
        ASSERT_EQ(map->picture.size(), 640u * 480 * 4);
        for (const p3dtest::SceneShare& s :
             p3dtest::SceneShares(map->disparity.data(), ideal.eye(0)))
            EXPECT_GE(s.share, 0.9) << s.name << (jpeg ? " through JPEG" : "");

        // Every pixel counted once; the pillar's 16 px; the right edge band (16 columns at 640
        // wide) sees the wall above the floor.
        const DepthHistogram& h = map->histogram;
        ASSERT_EQ(h.all.size(), size_t(64 * DepthHistogram::kBinsPerPixel));
        EXPECT_EQ(h.known + h.unknown, 640u * 480);
        EXPECT_EQ(std::accumulate(h.all.begin(), h.all.end(), uint64_t(0)), h.known);
        const size_t pillar = 16 * DepthHistogram::kBinsPerPixel;
        EXPECT_GT(std::accumulate(&h.all[pillar - 2], &h.all[pillar + 2], 0u), 5000u);
        EXPECT_GT(h.rightEdge[0], 16u * 200);
        EXPECT_LE(std::accumulate(h.leftEdge.begin(), h.leftEdge.end(), 0u), 16u * 480);
        EXPECT_GT(worker.MapsPerSecond(), 0);
    }
}

// Distances join the legend only when the rig's size is known; the map itself is the same.
TEST(DepthWorkerTest, TheLegendShowsMillimetresWithAMetric)
{
    const p3dtest::SceneEyes eyes;
    DepthWorker worker;
    const auto plain = MapAfter(worker, eyes.eye(0), eyes.eye(1));
    ASSERT_NE(plain, nullptr);
    worker.SetMetric(500, 60);
    // The map after the one that may have begun before.
    const auto metric = MapAfter(worker, eyes.eye(0), eyes.eye(1), plain->serial + 1);
    ASSERT_NE(metric, nullptr);
    EXPECT_EQ(metric->disparity, plain->disparity);
    const size_t strip = size_t(640) * 4 * 440;
    EXPECT_TRUE(std::equal(plain->picture.begin(), plain->picture.begin() + strip,
                           metric->picture.begin()));
    EXPECT_NE(plain->picture, metric->picture);
}

// Pairs without anything to match: refused, or mapped as all unknown; never a crash.
TEST(DepthWorkerTest, BadPairsAreRefusedOrAllUnknown)
{
    const std::vector<uint8_t> grey(size_t(640) * 480 * 4, 128);
    std::vector<uint8_t> noise(grey.size());
    uint32_t state = 1;
    for (uint8_t& b : noise)
        b = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    const struct
    {
        const char* name;
        ArgbView left, right;
        bool fed;
    } cases[] = {
        {"empty", {}, {}, false},
        {"rows too short", {grey.data(), 100, 640, 480}, {grey.data(), 100, 640, 480}, false},
        {"two sizes", {grey.data(), 2560, 640, 480}, {grey.data(), 1280, 320, 240}, false},
        {"beyond 8192", {grey.data(), 4, 1, 9000}, {grey.data(), 4, 1, 9000}, false},
        {"one colour", {grey.data(), 2560, 640, 480}, {grey.data(), 2560, 640, 480}, true},
        {"1 x 1", {noise.data(), 4, 1, 1}, {noise.data() + 4, 4, 1, 1}, true},
        {"tiny", {noise.data(), 64, 16, 12}, {noise.data() + 4, 64, 16, 12}, true},
        {"narrower than the range",
         {noise.data(), 120, 30, 200},
         {noise.data(), 120, 30, 200},
         true},
    };
    for (const auto& c : cases) {
        DepthWorker worker;
        if (!c.fed) {
            EXPECT_FALSE(worker.Feed(c.left, c.right)) << c.name;
            EXPECT_EQ(worker.Latest(), nullptr) << c.name;
            continue;
        }
        const auto map = MapAfter(worker, c.left, c.right);
        ASSERT_NE(map, nullptr) << c.name;
        EXPECT_EQ(map->width, c.left.width) << c.name;
        EXPECT_EQ(map->height, c.left.height) << c.name;
        EXPECT_EQ(map->histogram.known, 0u) << c.name;
        EXPECT_EQ(map->histogram.unknown, uint64_t(c.left.width) * c.left.height) << c.name;
        EXPECT_TRUE(std::all_of(map->disparity.begin(), map->disparity.end(), [](float d) {
            return d == DisparityMatcher::kUnknown;
        })) << c.name;
    }
}

} // namespace
