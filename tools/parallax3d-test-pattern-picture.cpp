// parallax3d-test-pattern-picture: one frame of the test-pattern camera's two eyes, combined by
// the stereo mux's own kernel, as a PNG; the README's picture.
//   parallax3d-test-pattern-picture ANAGLYPH.png [LEFT.png RIGHT.png]
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ARGBPicture.h"
#include "StereoMuxKernel.h"
#include "TestPatternScene.h"
#include "shared_camera_buffer.h"

const char* g_CoreMachDebug_LogPrefix = "parallax3d-test-pattern-picture";
static char sLogFileName[] = "parallax3d-test-pattern-picture.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

constexpr int kWidth = kSharedCameraFrameWidth;
constexpr int kHeight = kSharedCameraFrameHeight;
constexpr uint64_t kFrame = 30; // the ball clear of the tower and the pillar in both eyes

bool WritePNG(const std::string& in_path, const std::vector<uint8_t>& in_argb)
{
    return WriteARGBPicture(in_path, in_argb.data(), kWidth, kHeight, size_t(kWidth) * 4);
}

std::vector<uint8_t> Eye(TestPatternScene& io_scene, TestPatternScene::Eye in_eye)
{
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    io_scene.Render(kFrame, in_eye, kWidth, kHeight, rgb.data(), size_t(kWidth) * 3);
    std::vector<uint8_t> argb(size_t(kWidth) * kHeight * 4);
    for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
        argb[i * 4] = 255;
        for (size_t c = 0; c < 3; ++c)
            argb[i * 4 + 1 + c] = rgb[i * 3 + c];
    }
    return argb;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        fprintf(stderr,
                "usage: parallax3d-test-pattern-picture ANAGLYPH.png [LEFT.png RIGHT.png]\n");
        return 2;
    }
    const std::unique_ptr<CoreImage::ColorMatrixKernel> kernel = CompileStereoMuxKernel();
    if (!kernel) {
        fprintf(stderr, "the stereo kernel did not compile\n");
        return 1;
    }
    TestPatternScene scene;
    const std::vector<uint8_t> left = Eye(scene, TestPatternScene::kLeftEye);
    const std::vector<uint8_t> right = Eye(scene, TestPatternScene::kRightEye);
    std::vector<uint8_t> anaglyph(left.size());
    const CoreImage::PixelExtent extent = {0, 0, kWidth, kHeight};
    const size_t rowBytes = size_t(kWidth) * 4;
    // The mux's first eye is the right one.
    if (!kernel->apply({right.data(), rowBytes, extent}, {left.data(), rowBytes, extent}, 0.0f,
                       {anaglyph.data(), rowBytes, extent})) {
        fprintf(stderr, "the stereo kernel did not apply\n");
        return 1;
    }
    bool ok = WritePNG(argv[1], anaglyph);
    if (argc == 4)
        ok = WritePNG(argv[2], left) && WritePNG(argv[3], right) && ok;
    if (!ok) {
        perror("writing the pictures");
        return 1;
    }
    return 0;
}
