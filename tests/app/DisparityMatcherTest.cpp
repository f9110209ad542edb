// The matcher on the test scene, whose every depth is known.
#include <gtest/gtest.h>

#include "DisparityMatcher.h"
#include "SceneDisparity.h"

namespace {

// The live monitor matches at half size, the files tool at full size: both find every object.
TEST(DisparityMatcherTest, FindsEachObjectsParallaxAtFullAndHalfScale)
{
    const p3dtest::SceneEyes eyes;
    DisparityMatcher matcher;
    for (const double scale : {1.0, 0.5}) {
        std::vector<float> map;
        std::string reason;
        ASSERT_TRUE(matcher.Match(eyes.eye(0), eyes.eye(1), 64, scale, map, reason)) << reason;
        for (const p3dtest::SceneShare& s : p3dtest::SceneShares(map.data(), eyes.eye(0))) {
            printf("scale %.1f %-7s %2.0f px: %.1f %% of %d\n", scale, s.name.c_str(), s.truth,
                   100 * s.share, s.pixels);
            EXPECT_GE(s.share, 0.9) << s.name << " at scale " << scale;
        }
    }
}

} // namespace
