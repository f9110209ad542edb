#include "VCamOptions.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "shared_camera_buffer.h"

namespace {

bool ParseFrameCount(const std::string& in_text, long long* out_count)
{
    if (in_text.empty() || in_text[0] < '0' || in_text[0] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long count = strtoll(in_text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || count < 1)
        return false;
    *out_count = count;
    return true;
}

} // namespace

bool ParseVCamOptions(int argc, const char* const* argv, VCamOptions& out_options,
                      std::string& out_error)
{
    out_options = VCamOptions();
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            out_options.help = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name != "--device" && name != "--output" && name != "--format" && name != "--frames" &&
            name != "--name-suffix") {
            out_error = name.rfind("-", 0) == 0 ? "unknown option " + name
                                                : "unexpected argument \"" + name + "\"";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                out_error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--device") {
            if (value.empty()) {
                out_error = "--device needs a device node such as /dev/video10";
                return false;
            }
            out_options.device = value;
        } else if (name == "--output") {
            if (value.empty()) {
                out_error = "--output needs a path, or - for standard output";
                return false;
            }
            out_options.output = value;
        } else if (name == "--format") {
            if (!ParseOutputFormat(value, &out_options.format)) {
                out_error = "unknown format \"" + value + "\"; use yuyv, argb or rgba";
                return false;
            }
        } else if (name == "--frames") {
            if (!ParseFrameCount(value, &out_options.frames)) {
                out_error = "--frames needs a whole number of at least 1, not \"" + value + "\"";
                return false;
            }
        } else {
            out_options.nameSuffix = value;
            out_options.hasNameSuffix = true;
        }
    }
    if (!out_options.device.empty() && !out_options.output.empty()) {
        out_error = "give either --device or --output, not both";
        return false;
    }
    return true;
}

std::string VCamUsage()
{
    const std::string width = std::to_string(kSharedCameraFrameWidth);
    const std::string height = std::to_string(kSharedCameraFrameHeight);
    const std::string size = width + " x " + height, videoSize = width + "x" + height;
    return R"(Usage: parallax3d-vcam [--device NODE | --output PATH] [options]

Shows the stereo image that Parallax3D broadcasts as a camera, so that browsers,
video-call programs and anything else that reads a camera can use it.

Where the frames go:
  --device NODE       a V4L2 video output device, such as /dev/video10 made by
                      v4l2loopback; frames are )" +
           size + R"( at 30 frames a second
  --output PATH       raw frames, one after the other, into a file or a pipe;
                      - is standard output
  Without either, the first /dev/video* (in version order) that offers video
  output is used.

Options:
  --format FORMAT     yuyv (the default: what every camera program reads),
                      argb (the broadcast bytes as they are: A, R, G, B) or
                      rgba (R, G, B, A)
  --frames N          stop after N frames
  --name-suffix TEXT  added to the device name "Parallax3D" (cut to fit 71 bytes)
  -h, --help          this text

While nothing is broadcast it goes on writing: the last frame it delivered, or,
before the first one, a "no broadcast" picture. SIGINT and SIGTERM end it
cleanly with exit status 0. Failures are told on standard error, exit status 1;
a bad command line gives exit status 2.

Making the camera (once per boot, as root):
  modprobe v4l2loopback video_nr=10 card_label="Parallax3D" exclusive_caps=1
exclusive_caps=1 makes browsers and video-call programs list the camera; they
see it while parallax3d-vcam writes to it. Then:
  parallax3d-vcam --device /dev/video10
To watch the frames without a loopback device:
  parallax3d-vcam --output - | ffplay -f rawvideo -pixel_format yuyv422 \
      -video_size )" +
           videoSize + R"( -framerate 30 -
)";
}
