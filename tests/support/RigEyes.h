// Both eyes of the test scene through a faulty rig, with no board in view, as A,R,G,B frames.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ArgbView.h"
#include "StereoRectifier.h"
#include "TestPatternScene.h"

namespace p3dtest {

class RigEyes
{
public:
    static constexpr int kWidth = 640, kHeight = 480;

    // False for a rig that does not parse.
    bool SetRig(const std::string& text)
    {
        TestPatternRig rig;
        std::string reason;
        if (!TestPatternRig::Parse(text, rig, reason))
            return false;
        mScene.SetRig(rig);
        return true;
    }
    // Frame n of both eyes.
    void Render(uint64_t frame)
    {
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int eye = 0; eye < 2; ++eye) {
            mScene.Render(frame, TestPatternScene::Eye(eye), kWidth, kHeight, rgb.data(),
                          kWidth * 3);
            mArgb[eye].resize(size_t(kWidth) * kHeight * 4);
            for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
                mArgb[eye][i * 4] = 255;
                for (int c = 0; c < 3; ++c)
                    mArgb[eye][i * 4 + 1 + size_t(c)] = rgb[i * 3 + size_t(c)];
            }
        }
    }
    // Both eyes one flat grey.
    void Flat(uint8_t grey)
    {
        for (std::vector<uint8_t>& eye : mArgb)
            eye.assign(size_t(kWidth) * kHeight * 4, grey);
    }
    // The scene's known points through the rectifier of that calibration: rows apart, sorted;
    // none when a point is lost.
    static std::vector<double> RowsApart(const StereoCalibration& calibration,
                                         const TestPatternScene& scene)
    {
        StereoRectifier rectifier;
        std::string reason;
        EXPECT_TRUE(rectifier.Prepare(calibration, kWidth, kHeight, reason)) << reason;
        std::vector<double> apart;
        for (const TestPatternPoint& point : TestPatternScene::KnownPoints()) {
            double x[2], y[2];
            for (int eye = 0; eye < 2; ++eye)
                if (!scene.Project(TestPatternScene::Eye(eye), point, kWidth, kHeight, x[eye],
                                   y[eye]) ||
                    !rectifier.RectifyPoint(eye, x[eye], y[eye], x[eye], y[eye]))
                    return {};
            apart.push_back(std::abs(y[0] - y[1]));
        }
        std::sort(apart.begin(), apart.end());
        return apart;
    }

    // Rows within a pixel at the median, two at most.
    static void ExpectAligned(const StereoCalibration& calibration, const TestPatternScene& scene)
    {
        const std::vector<double> apart = RowsApart(calibration, scene);
        ASSERT_FALSE(apart.empty());
        EXPECT_LE(apart[apart.size() / 2], 1.0);
        EXPECT_LE(apart.back(), 2.0);
    }
    ArgbView eye(int eye) const { return {mArgb[eye].data(), kWidth * 4, kWidth, kHeight}; }
    const TestPatternScene& scene() const { return mScene; }

private:
    TestPatternScene mScene;
    std::vector<uint8_t> mArgb[2];
};

} // namespace p3dtest
