// parallax3d-cameras: what the capture layer sees, for users chasing a camera problem.
//   parallax3d-cameras list
//   parallax3d-cameras grab --camera NAME --frames N --out DIR
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ARGBPicture.h"
#include "CoreMachDebugLog.h"
#include "QCameraGrabCGContext.h"
#include "ScopedTestPatternCamera.h"
#include "V4L2CameraList.h"
#include "V4L2VideoDevice.h"
#include "shared_camera_buffer.h"

const char* g_CoreMachDebug_LogPrefix = "parallax3d-cameras";
static char sLogFileName[] = "parallax3d-cameras.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

const char kUsage[] =
    "usage: parallax3d-cameras list\n"
    "       parallax3d-cameras grab --camera NAME --frames N --out DIR\n"
    "\n"
    "list   prints every camera by the name the menus show, with its device, its input, and\n"
    "       the formats and sizes it offers.\n"
    "grab   opens the camera NAME (or the camera of the only input of that name) at the\n"
    "       broadcast's size, as the application does, and writes the first N frames it delivers "
    "as\n"
    "       DIR/frame-0001.png, ...\n"
    "Set PARALLAX3D_TEST_CAMERAS=1 to add the built-in test-pattern camera.\n";

std::string FourCC(uint32_t fourcc)
{
    std::string text;
    for (int shift = 0; shift < 32; shift += 8)
        text += char((fourcc >> shift) & 0xFF);
    return text;
}

std::string SizeText(const v4l2_frmsizeenum& size)
{
    if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE)
        return std::to_string(size.discrete.width) + "x" + std::to_string(size.discrete.height);
    return std::to_string(size.stepwise.min_width) + "x" +
           std::to_string(size.stepwise.min_height) + "-" +
           std::to_string(size.stepwise.max_width) + "x" + std::to_string(size.stepwise.max_height);
}

int List()
{
    const V4L2CameraList cameras = V4L2CameraList::Enumerate();
    size_t count = 0;
    for (const V4L2CameraDevice& entry : cameras.Devices()) {
        printf("%s  %s\n", entry.node.c_str(), entry.name.c_str());
        for (const V4L2Camera& camera : entry.cameras)
            printf("    camera \"%s\"  (input %u: %s)\n", camera.name.c_str(), camera.input,
                   camera.inputName.c_str());
        count += entry.cameras.size();
        V4L2VideoDevice device(entry.node);
        if (device.Open() != 0)
            continue;
        for (uint32_t fourcc : device.Formats()) {
            std::string sizes;
            for (const v4l2_frmsizeenum& size : device.FrameSizes(fourcc))
                sizes += " " + SizeText(size);
            printf("    format %s:%s\n", FourCC(fourcc).c_str(), sizes.c_str());
        }
    }
    if (count == 0)
        printf("no cameras\n");
    return 0;
}

// The camera a user means: its name as listed, or the name of its input when only one input
// has it. Empty, with the reason, when there is none or several.
std::string CameraNamed(const std::string& in_name, std::string& out_error)
{
    const V4L2CameraList cameras = V4L2CameraList::Enumerate();
    if (cameras.FindCamera(in_name).second != nullptr)
        return in_name;
    std::vector<std::string> matches;
    for (const V4L2CameraDevice& device : cameras.Devices())
        for (const V4L2Camera& camera : device.cameras)
            if (camera.inputName == in_name)
                matches.push_back(camera.name);
    if (matches.size() == 1)
        return matches.front();
    if (matches.empty()) {
        out_error = "no camera is named \"" + in_name + "\" (see list)";
    } else {
        out_error = "several cameras have an input named \"" + in_name + "\"; name one of";
        for (const std::string& match : matches)
            out_error += " \"" + match + "\"";
    }
    return std::string();
}

class CountingGrabber : public QCameraGrabCGContext
{
public:
    OSErr DefaultDataProc(char* data, long size) const override
    {
        const OSErr err = QCameraGrabCGContext::DefaultDataProc(data, size);
        if (err == 0)
            ++frames;
        return err;
    }
    mutable int frames = 0;
};

int Grab(const std::string& in_name, int frameCount, const std::string& folder)
{
    std::string error;
    const std::string cameraName = CameraNamed(in_name, error);
    if (cameraName.empty()) {
        fprintf(stderr, "parallax3d-cameras: %s\n", error.c_str());
        return 1;
    }
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "parallax3d-cameras: cannot make %s: %s\n", folder.c_str(),
                strerror(errno));
        return 1;
    }
    CountingGrabber grabber;
    const Rect frame = {0, 0, kSharedCameraFrameHeight, kSharedCameraFrameWidth};
    if (grabber.OpenInitialize(frame, k32ARGBPixelFormat, nullptr) != 0) {
        fprintf(stderr, "parallax3d-cameras: no camera could be opened\n");
        return 1;
    }
    QSGDeviceList::InputIterator camera;
    if (!grabber.GetCameraWithDeviceInputName(camera, cameraName.c_str())) {
        fprintf(stderr, "parallax3d-cameras: \"%s\" went away (see list)\n", cameraName.c_str());
        return 1;
    }
    if (!grabber.IsThisTheCurrentCamera(camera) && grabber.SwitchToCamera(camera) != 0) {
        fprintf(stderr, "parallax3d-cameras: \"%s\" did not open\n", cameraName.c_str());
        return 1;
    }
    if (grabber.StartRecord() != 0) {
        fprintf(stderr, "parallax3d-cameras: \"%s\" did not start\n", cameraName.c_str());
        return 1;
    }
    int written = 0;
    // Polls without blocking, as the application's timer does; gives up after ten seconds
    // without a frame.
    for (int idle = 0; written < frameCount && idle < 2000; ++idle) {
        const int before = grabber.frames;
        if (grabber.Idle() != 0)
            break;
        if (grabber.frames != before) {
            char name[32];
            snprintf(name, sizeof(name), "/frame-%04d.png", ++written);
            const CoreGraphics::BitmapContext& bitmap = grabber.mCamContext;
            if (!WriteARGBPicture(folder + name, bitmap.mImageDataBytes, bitmap.mImageWidth,
                                  bitmap.mImageHeight, bitmap.mImageRowBytes)) {
                fprintf(stderr, "parallax3d-cameras: cannot write %s%s\n", folder.c_str(), name);
                return 1;
            }
            idle = 0;
        }
        usleep(5000);
    }
    grabber.StopRecord();
    printf("%d frames written to %s\n", written, folder.c_str());
    return written == frameCount ? 0 : 1;
}

// A count given on the command line: all digits, at least 1.
bool ParseCount(const char* in_text, int& out_count)
{
    char* end = nullptr;
    errno = 0;
    const long value = strtol(in_text, &end, 10);
    if (errno != 0 || end == in_text || *end != '\0' || value < 1 || value > 100000)
        return false;
    out_count = int(value);
    return true;
}

int Usage(bool in_asked)
{
    fputs(kUsage, in_asked ? stdout : stderr);
    return in_asked ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    const ScopedTestPatternCamera testPattern;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h")
        return Usage(true);
    if (command == "list" && argc == 2)
        return List();
    if (command != "grab")
        return Usage(false);

    static const option kOptions[] = {{"camera", required_argument, nullptr, 'c'},
                                      {"frames", required_argument, nullptr, 'n'},
                                      {"out", required_argument, nullptr, 'o'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    std::string camera, folder;
    int frames = 0;
    optind = 2;
    for (int option; (option = getopt_long(argc, argv, "c:n:o:h", kOptions, nullptr)) != -1;) {
        switch (option) {
        case 'c':
            camera = optarg;
            break;
        case 'n':
            if (!ParseCount(optarg, frames)) {
                fprintf(stderr,
                        "parallax3d-cameras: --frames takes a count of 1 or more, not "
                        "\"%s\"\n",
                        optarg);
                return 2;
            }
            break;
        case 'o':
            folder = optarg;
            break;
        case 'h':
            return Usage(true);
        default:
            return Usage(false);
        }
    }
    if (optind != argc || camera.empty() || frames == 0 || folder.empty())
        return Usage(false);
    return Grab(camera, frames, folder);
}
