// The depth worker on the test scene, whose every depth is known, and on pairs it cannot match.
#include <gtest/gtest.h>
#include <numeric>
#include <turbojpeg.h>

#include "RigEyes.h"
#include "SceneDisparity.h"

namespace {

using p3dtest::MapAfter;
using p3dtest::RigEyes;

// Both eyes through the test camera's JPEG (4:2:2, quality 85) and back.
void ThroughJpeg(RigEyes& eyes)
{
    tjhandle compressor = tjInitCompress(), decompressor = tjInitDecompress();
    for (int eye = 0; eye < 2; ++eye) {
        unsigned char* bytes = nullptr;
        unsigned long size = 0;
        if (tjCompress2(compressor, eyes.pixels(eye), RigEyes::kWidth, 0, RigEyes::kHeight,
                        TJPF_ARGB, &bytes, &size, TJSAMP_422, 85, 0) != 0 ||
            tjDecompress2(decompressor, bytes, size, eyes.pixels(eye), RigEyes::kWidth, 0,
                          RigEyes::kHeight, TJPF_ARGB, 0) != 0)
            ADD_FAILURE() << tjGetErrorStr();
        tjFree(bytes);
    }
    tjDestroy(compressor);
    tjDestroy(decompressor);
}

// Matched at half size, ideal or through a camera's compression (where plain faces once took a
// neighbour's disparity).
TEST(DepthWorkerTest, FindsEachObjectsParallax)
{
    const RigEyes ideal;
    for (const bool jpeg : {false, true}) {
        SCOPED_TRACE(jpeg ? "through JPEG" : "ideal");
        RigEyes eyes;
        if (jpeg)
            ThroughJpeg(eyes);
        DepthWorker worker;
        const auto map = MapAfter(worker, [&] { worker.Feed(eyes.eye(0), eyes.eye(1)); });
        ASSERT_NE(map, nullptr);
        ASSERT_EQ(map->disparity.size(), 640u * 480);
        for (const p3dtest::SceneShare& s :
             p3dtest::SceneShares(map->disparity.data(), ideal.eye(0)))
            EXPECT_GE(s.share, 0.9) << s.name;

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
    const RigEyes eyes;
    DepthWorker worker;
    const auto feed = [&] { worker.Feed(eyes.eye(0), eyes.eye(1)); };
    const auto plain = MapAfter(worker, feed);
    ASSERT_NE(plain, nullptr);
    worker.SetMetric(500, 60);
    // The map after the one that may have begun before.
    const auto metric = MapAfter(worker, feed, plain->serial + 1);
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
    const ArgbView flat{grey.data(), 2560, 640, 480}, narrow{noise.data(), 120, 30, 200};
    const struct
    {
        const char* name;
        ArgbView left, right;
        bool fed;
    } cases[] = {
        {"empty", {}, {}, false},
        {"rows too short", {grey.data(), 100, 640, 480}, {grey.data(), 100, 640, 480}, false},
        {"two sizes", flat, {grey.data(), 1280, 320, 240}, false},
        {"beyond 8192", {grey.data(), 4, 1, 9000}, {grey.data(), 4, 1, 9000}, false},
        {"one colour", flat, flat, true},
        {"1 x 1", {noise.data(), 4, 1, 1}, {noise.data() + 4, 4, 1, 1}, true},
        {"tiny", {noise.data(), 64, 16, 12}, {noise.data() + 4, 64, 16, 12}, true},
        {"narrower than the range", narrow, narrow, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DepthWorker worker;
        if (!c.fed) {
            EXPECT_FALSE(worker.Feed(c.left, c.right));
            EXPECT_EQ(worker.Latest(), nullptr);
            continue;
        }
        const auto map = MapAfter(worker, [&] { worker.Feed(c.left, c.right); });
        ASSERT_NE(map, nullptr);
        EXPECT_EQ(map->width, c.left.width);
        EXPECT_EQ(map->height, c.left.height);
        EXPECT_EQ(map->histogram.known, 0u);
        EXPECT_EQ(map->histogram.unknown, uint64_t(c.left.width) * c.left.height);
        EXPECT_TRUE(std::all_of(map->disparity.begin(), map->disparity.end(),
                                [](float d) { return d == DisparityMatcher::kUnknown; }));
    }
}

} // namespace
