// Both eyes of the test scene's first frame through a rig ("" the ideal one), with no board in
// view, as A,R,G,B frames.
#pragma once

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ArgbView.h"
#include "TestPatternScene.h"

namespace p3dtest {

class RigEyes
{
public:
    static constexpr int kWidth = 640, kHeight = 480;

    explicit RigEyes(const std::string& rig = "")
    {
        TestPatternRig parsed;
        std::string reason;
        EXPECT_TRUE(TestPatternRig::Parse(rig, parsed, reason)) << reason;
        mScene.SetRig(parsed);
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int eye = 0; eye < 2; ++eye) {
            mScene.Render(0, TestPatternScene::Eye(eye), kWidth, kHeight, rgb.data(), kWidth * 3);
            mArgb[eye].resize(size_t(kWidth) * kHeight * 4);
            for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
                mArgb[eye][i * 4] = 255;
                std::copy_n(&rgb[i * 3], 3, &mArgb[eye][i * 4 + 1]);
            }
        }
    }
    // Both eyes one flat grey.
    void Flat(uint8_t grey)
    {
        for (std::vector<uint8_t>& eye : mArgb)
            eye.assign(eye.size(), grey);
    }
    // 0 left, 1 right.
    ArgbView eye(int eye) const { return {mArgb[eye].data(), kWidth * 4, kWidth, kHeight}; }
    uint8_t* pixels(int eye) { return mArgb[eye].data(); }
    const TestPatternScene& scene() const { return mScene; }

private:
    TestPatternScene mScene;
    std::vector<uint8_t> mArgb[2];
};

} // namespace p3dtest
