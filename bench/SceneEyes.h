// The test scene's two eyes at frame 0, 640 x 480 opaque A,R,G,B, through a rig's faults
// ("" is the ideal rig), for the benchmarks that match or align them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArgbView.h"
#include "TestPatternRig.h"
#include "TestPatternScene.h"

namespace bench {

struct SceneEyes
{
    static constexpr int kWidth = 640, kHeight = 480;

    explicit SceneEyes(const std::string& rigText = "")
    {
        TestPatternScene scene;
        TestPatternRig rig;
        std::string reason;
        TestPatternRig::Parse(rigText, rig, reason);
        scene.SetRig(rig);
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int eye = 0; eye < 2; ++eye) {
            scene.Render(0, TestPatternScene::Eye(eye), kWidth, kHeight, rgb.data(),
                         size_t(kWidth) * 3);
            argb[eye].resize(size_t(kWidth) * kHeight * 4);
            for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
                argb[eye][i * 4] = 255;
                for (size_t c = 0; c < 3; ++c)
                    argb[eye][i * 4 + 1 + c] = rgb[i * 3 + c];
            }
        }
    }
    ArgbView eye(int eye) const { return {argb[eye].data(), size_t(kWidth) * 4, kWidth, kHeight}; }

    std::vector<uint8_t> argb[2];
};

} // namespace bench
