// Both eyes of the test scene through a faulty rig, with no board in view, as A,R,G,B frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArgbView.h"
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
    ArgbView eye(int eye) const { return {mArgb[eye].data(), kWidth * 4, kWidth, kHeight}; }
    const TestPatternScene& scene() const { return mScene; }

private:
    TestPatternScene mScene;
    std::vector<uint8_t> mArgb[2];
};

} // namespace p3dtest
