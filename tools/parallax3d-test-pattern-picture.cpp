// parallax3d-test-pattern-picture: one frame of the test-pattern camera's two eyes, combined by
// the stereo mux's own kernel, as a PNG; the README's picture. With a faulty rig and the
// chessboard, pairs to calibrate from.
//   parallax3d-test-pattern-picture [--rig FAULTS] [--chessboard] [--frame N] ANAGLYPH.png
//                                   [LEFT.png RIGHT.png]
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <memory>
#include <string>
#include <vector>

#include "ARGBPicture.h"
#include "CoreCommandLine.h"
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
constexpr uint64_t kLastFrame = 1000000000;

const char kProgram[] = "parallax3d-test-pattern-picture";

const char kUsage[] =
    "Usage: parallax3d-test-pattern-picture [OPTIONS] ANAGLYPH.png [LEFT.png RIGHT.png]\n"
    "\n"
    "Writes one frame of the built-in test-pattern camera as PNG pictures: its two\n"
    "eyes combined by the stereo mux's own kernel and, when asked, each eye alone.\n"
    "\n"
    "Options:\n"
    "  --rig FAULTS   a rig with faults, e.g. vertical=6,roll=1.5,focal=3,k1=-0.1: the\n"
    "                 right eye lower by PX and rolled by DEG, its focal length PERCENT\n"
    "                 longer, both lenses with radial distortion K\n"
    "  --chessboard   a hand holds up a 9x6 chessboard of 25 mm squares\n"
    "  --frame N      the frame, 30 a second (default 30); the chessboard holds its\n"
    "                 n-th pose still around frame 42n + 15\n"
    "  -h, --help     this text\n"
    "  --version      the version\n";

enum : int { kVersion = 256, kRig, kChessboard, kFrameOption };

const option kOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"rig", required_argument, nullptr, kRig},
    {"chessboard", no_argument, nullptr, kChessboard},
    {"frame", required_argument, nullptr, kFrameOption},
    {nullptr, 0, nullptr, 0},
};

// False, with the reason told, when the picture could not be written.
bool WritePNG(const std::string& in_path, const std::vector<uint8_t>& in_argb)
{
    errno = 0;
    if (WriteARGBPicture(in_path, in_argb.data(), kWidth, kHeight, size_t(kWidth) * 4))
        return true;
    fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, in_path.c_str(),
            errno != 0 ? strerror(errno) : "the PNG encoder failed");
    return false;
}

std::vector<uint8_t> Eye(TestPatternScene& io_scene, uint64_t in_frame,
                         TestPatternScene::Eye in_eye)
{
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    io_scene.Render(in_frame, in_eye, kWidth, kHeight, rgb.data(), size_t(kWidth) * 3);
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
    bool help = false, version = false;
    TestPatternScene scene;
    uint64_t frame = kFrame;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, ":h", kOptions, nullptr)) != -1;) {
        if (option == 'h') {
            help = true;
        } else if (option == kVersion) {
            version = true;
        } else if (option == kRig) {
            TestPatternRig rig;
            std::string reason;
            if (!TestPatternRig::Parse(optarg, rig, reason))
                return CoreCommandLine::UsageError(kProgram, "--rig: " + reason);
            scene.SetRig(rig);
        } else if (option == kChessboard) {
            scene.SetChessboard(true);
        } else if (option == kFrameOption) {
            char* end = nullptr;
            errno = 0;
            const unsigned long long value = strtoull(optarg, &end, 10);
            if (*optarg < '0' || *optarg > '9' || *end != '\0' || errno != 0 || value > kLastFrame)
                return CoreCommandLine::UsageError(
                    kProgram, "--frame takes a frame number from 0 to " +
                                  std::to_string(kLastFrame) + ", not \"" + optarg + "\"");
            frame = value;
        } else {
            return CoreCommandLine::UsageError(kProgram,
                                               CoreCommandLine::GetoptError(option, argc, argv));
        }
    }
    if (help) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (version)
        return CoreCommandLine::PrintVersion(kProgram);
    const int paths = argc - optind;
    if (paths != 1 && paths != 3)
        return CoreCommandLine::UsageError(
            kProgram, "give one picture, or three: ANAGLYPH.png [LEFT.png RIGHT.png], not " +
                          std::to_string(paths));
    for (int i = optind; i < argc; ++i)
        if (strcmp(argv[i], "-") == 0)
            return CoreCommandLine::UsageError(kProgram,
                                               "pictures go to files, not to standard output (-)");
    const std::unique_ptr<CoreImage::ColorMatrixKernel> kernel = CompileStereoMuxKernel();
    if (!kernel) {
        fprintf(stderr, "%s: the stereo kernel did not compile\n", kProgram);
        return 1;
    }
    const std::vector<uint8_t> left = Eye(scene, frame, TestPatternScene::kLeftEye);
    const std::vector<uint8_t> right = Eye(scene, frame, TestPatternScene::kRightEye);
    std::vector<uint8_t> anaglyph(left.size());
    const CoreImage::PixelExtent extent = {0, 0, kWidth, kHeight};
    const size_t rowBytes = size_t(kWidth) * 4;
    // The mux's first eye is the right one.
    if (!kernel->apply({right.data(), rowBytes, extent}, {left.data(), rowBytes, extent}, 0.0f,
                       {anaglyph.data(), rowBytes, extent})) {
        fprintf(stderr, "%s: the stereo kernel did not apply\n", kProgram);
        return 1;
    }
    bool ok = WritePNG(argv[optind], anaglyph);
    if (paths == 3)
        ok = WritePNG(argv[optind + 1], left) && WritePNG(argv[optind + 2], right) && ok;
    return ok ? 0 : 1;
}
