#include "VCamOptions.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>
#include <string>
#include <utility>

#include "CoreCommandLine.h"
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

// "640x480" or "1280x720" and nothing else: the sizes a broadcast has.
bool ParseFrameSize(const std::string& in_text, int* out_width, int* out_height)
{
    int width = 0, height = 0;
    for (const auto& size : {std::pair{640, 480}, std::pair{1280, 720}})
        if (in_text == std::to_string(size.first) + "x" + std::to_string(size.second))
            width = size.first, height = size.second;
    if (width == 0)
        return false;
    *out_width = width;
    *out_height = height;
    return true;
}

enum : int {
    kDevice = 256,
    kOutput,
    kPipeWire,
    kFormat,
    kFrames,
    kNameSuffix,
    kVersion,
    kSize,
    kStats
};

const option kOptions[] = {{"device", required_argument, nullptr, kDevice},
                           {"output", required_argument, nullptr, kOutput},
                           {"pipewire", no_argument, nullptr, kPipeWire},
                           {"format", required_argument, nullptr, kFormat},
                           {"frames", required_argument, nullptr, kFrames},
                           {"name-suffix", required_argument, nullptr, kNameSuffix},
                           {"size", required_argument, nullptr, kSize},
                           {"stats", required_argument, nullptr, kStats},
                           {"help", no_argument, nullptr, 'h'},
                           {"version", no_argument, nullptr, kVersion},
                           {nullptr, 0, nullptr, 0}};

// One option's value into the options; false with the reason when it cannot be used.
bool TakeOption(int in_option, const std::string& in_value, VCamOptions& io_options,
                std::string& out_error)
{
    switch (in_option) {
    case kDevice:
        io_options.device = in_value;
        if (in_value.empty())
            out_error = "--device needs a device node such as /dev/video10";
        break;
    case kOutput:
        io_options.output = in_value;
        if (in_value.empty())
            out_error = "--output needs a path, or - for standard output";
        break;
    case kPipeWire:
        io_options.pipewire = true;
        break;
    case kFormat:
        if (!ParseOutputFormat(in_value, &io_options.format))
            out_error = "unknown format \"" + in_value + "\"; use yuyv, i420, argb or rgba";
        break;
    case kFrames:
        if (!ParseFrameCount(in_value, &io_options.frames))
            out_error = "--frames needs a whole number of at least 1, not \"" + in_value + "\"";
        break;
    case kSize:
        if (!ParseFrameSize(in_value, &io_options.width, &io_options.height))
            out_error = "--size needs 640x480 or 1280x720, not \"" + in_value + "\"";
        break;
    case kStats:
        io_options.statsPath = in_value;
        if (in_value.empty())
            out_error = "--stats needs a file path";
        break;
    case kNameSuffix:
        io_options.nameSuffix = in_value;
        io_options.hasNameSuffix = true;
        break;
    case 'h':
        io_options.help = true;
        break;
    case kVersion:
        io_options.version = true;
        break;
    }
    return out_error.empty();
}

} // namespace

bool ParseVCamOptions(int argc, const char* const* argv, VCamOptions& out_options,
                      std::string& out_error)
{
    out_options = VCamOptions();
    out_error.clear();
    // '+' stops at the first word that is no option rather than moving it, so argv is only read.
    char* const* args = const_cast<char* const*>(argv);
    optind = 0;
    opterr = 0;
    for (int option; (option = getopt_long(argc, args, "+:h", kOptions, nullptr)) != -1;) {
        if (option == '?' || option == ':') {
            out_error = CoreCommandLine::GetoptError(option, argc, args);
            return false;
        }
        if (!TakeOption(option, optarg != nullptr ? optarg : "", out_options, out_error))
            return false;
    }
    if (optind < argc) {
        out_error = "unexpected argument \"" + std::string(argv[optind]) + "\"";
        return false;
    }
    if (!out_options.device.empty() && !out_options.output.empty()) {
        out_error = "give either --device or --output, not both";
        return false;
    }
    if (out_options.pipewire && !out_options.output.empty()) {
        out_error = "--pipewire goes alone or with --device, not with --output";
        return false;
    }
    return true;
}

std::string VCamUsage()
{
    const std::string width = std::to_string(kSharedCameraFrameWidth);
    const std::string height = std::to_string(kSharedCameraFrameHeight);
    const std::string size = width + " x " + height, videoSize = width + "x" + height;
    return R"(Usage: parallax3d-vcam [--pipewire] [--device NODE | --output PATH] [options]

Shows the stereo image that Parallax3D broadcasts as a camera, so that browsers,
video-call programs and anything else that reads a camera can use it.

Where the frames go:
  --device NODE       a V4L2 video output device, such as /dev/video10 made by
                      v4l2loopback; frames are )" +
           size + R"( or 1280 x 720 (--size), at 30
                      frames a second
  --output PATH       raw frames, one after the other, into a file or a pipe;
                      - is standard output
  --pipewire          a PipeWire camera "Parallax3D" that camera programs and
                      the camera portal list, without any kernel module; it
                      offers YUY2, I420 and BGRx at the broadcast's size (and
                      640 x 480 beside 1280 x 720), and the program picks.
                      With --device, both from one process; without PipeWire
                      the device alone goes on
  Without any of these, the first /dev/video* (in version order) that offers
  video output is used.

Options:
  --format FORMAT     yuyv (the default: what every camera program reads),
                      i420 (planar 4:2:0, for programs that want it; a
                      quarter smaller than yuyv), argb (the broadcast bytes
                      as they are: A, R, G, B) or rgba (R, G, B, A)
  --size WxH          640x480 or 1280x720; by default the size Parallax3D
                      broadcasts when this starts, else 640x480. A broadcast
                      of the other size is scaled to fit, with black bars
  --stats FILE        every second and at the end, figures as JSON, the file
                      replaced whole: frames written, and the age of the new
                      frames when written (from their capture, in ms)
  --frames N          stop after N frames
  --name-suffix TEXT  added to the device name "Parallax3D" (cut to fit 71 bytes)
  -h, --help          this text
  --version           the version

While nothing is broadcast it goes on writing: the last frame it delivered, or,
before the first one, a "no broadcast" picture. SIGINT and SIGTERM end it
cleanly with exit status 0. Failures are told on standard error, exit status 1;
a bad command line gives exit status 2.

Making the camera (once per boot):
  sudo modprobe v4l2loopback video_nr=10 card_label="Parallax3D" exclusive_caps=1
exclusive_caps=1 makes browsers and video-call programs list the camera; they
see it while parallax3d-vcam writes to it. Then:
  parallax3d-vcam --device /dev/video10
Without permission to open it, join the video group and log in again:
  sudo usermod -aG video $USER

The frames come through the Parallax3D_XXX component, which Parallax3D links
into ~/.local/share/parallax3d/Components while it broadcasts: switch on
"Broadcast as a camera" in Parallax3D, or start parallax3d broadcasting (see
parallax3d --help). Installed, the package links it for every user.

To watch the frames without a loopback device:
  parallax3d-vcam --output - | ffplay -f rawvideo -pixel_format yuyv422 \
      -video_size )" +
           videoSize + R"( -framerate 30 -
)";
}
