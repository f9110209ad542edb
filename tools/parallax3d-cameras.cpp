// parallax3d-cameras: what the capture layer sees, for users chasing a camera problem.
//   parallax3d-cameras list
//   parallax3d-cameras grab --camera INPUT-NAME --frames N --out DIR
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "CoreMachDebugLog.h"
#include "QCameraGrabCGContext.h"
#include "ScopedTestPatternCamera.h"
#include "V4L2Device.h"
#include "V4L2System.h"

const char* g_CoreMachDebug_LogPrefix = "parallax3d-cameras";
static char sLogFileName[] = "parallax3d-cameras.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

const char kUsage[] =
    "usage: parallax3d-cameras list\n"
    "       parallax3d-cameras grab --camera INPUT-NAME --frames N --out DIR\n"
    "\n"
    "list   prints every camera: its device, its inputs, and the formats and sizes it offers.\n"
    "grab   opens the camera whose input is INPUT-NAME at 640 x 480, as the application does,\n"
    "       and writes the first N frames it delivers as DIR/frame-0001.png, ...\n"
    "Set PARALLAX3D_TEST_CAMERAS=1 to add the built-in test-pattern camera.\n";

std::string FourCC(uint32_t fourcc)
{
    std::string text;
    for (int shift = 0; shift < 32; shift += 8)
        text += char((fourcc >> shift) & 0xFF);
    return text;
}

int List()
{
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    int cameras = 0;
    for (const std::string& node : nodes) {
        int fd = -1;
        if (V4L2::Open(node.c_str(), &fd) != 0)
            continue;
        v4l2_capability cap = {};
        if (V4L2::QueryCapability(fd, cap) != 0 || !V4L2::IsVideoCapture(cap)) {
            V4L2::Close(fd);
            continue;
        }
        printf("%s  %s\n", node.c_str(), V4L2::FieldText(cap.card, sizeof(cap.card)).c_str());
        v4l2_input input = {};
        for (uint32_t i = 0; V4L2::EnumInput(fd, i, input) == 0 && i < 256; ++i) {
            printf("    input %u: %s\n", i,
                   V4L2::FieldText(input.name, sizeof(input.name)).c_str());
            ++cameras;
        }
        uint32_t fourcc = 0;
        for (uint32_t f = 0; V4L2::EnumFormat(fd, f, &fourcc) == 0 && f < 64; ++f) {
            std::string sizes;
            v4l2_frmsizeenum size = {};
            for (uint32_t s = 0; V4L2::EnumFrameSize(fd, fourcc, s, size) == 0 && s < 64; ++s) {
                if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE)
                    sizes += " " + std::to_string(size.discrete.width) + "x" +
                             std::to_string(size.discrete.height);
                else
                    sizes += " " + std::to_string(size.stepwise.min_width) + "x" +
                             std::to_string(size.stepwise.min_height) + "-" +
                             std::to_string(size.stepwise.max_width) + "x" +
                             std::to_string(size.stepwise.max_height);
            }
            printf("    format %s:%s\n", FourCC(fourcc).c_str(), sizes.c_str());
        }
        V4L2::Close(fd);
    }
    if (cameras == 0)
        printf("no cameras\n");
    return 0;
}

// The bitmap's A,R,G,B premultiplied pixels as an 8-bit RGBA PNG.
bool WritePNG(const std::string& path, const CoreGraphics::BitmapContext& bitmap)
{
    FILE* file = fopen(path.c_str(), "wbe");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const size_t width = bitmap.mImageWidth, height = bitmap.mImageHeight;
    std::vector<png_byte> row(width * 4);
    bool ok = png && info && setjmp(png_jmpbuf(png)) == 0;
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                     PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (size_t y = 0; y < height; ++y) {
            const UInt8* from = bitmap.mImageDataBytes + y * bitmap.mImageRowBytes;
            for (size_t x = 0; x < width; ++x) {
                const UInt8 a = from[x * 4];
                for (int c = 0; c < 3; ++c)
                    row[x * 4 + size_t(c)] =
                        a ? png_byte(std::min(255, (from[x * 4 + 1 + size_t(c)] * 255 + a / 2) / a))
                          : 0;
                row[x * 4 + 3] = a;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0 && ok;
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

int Grab(const std::string& cameraName, int frameCount, const std::string& folder)
{
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "parallax3d-cameras: cannot make %s: %s\n", folder.c_str(),
                strerror(errno));
        return 1;
    }
    CountingGrabber grabber;
    const Rect frame = {0, 0, 480, 640};
    if (grabber.OpenInitialize(frame, k32ARGBPixelFormat, nullptr) != 0) {
        fprintf(stderr, "parallax3d-cameras: no camera could be opened\n");
        return 1;
    }
    QSGDeviceList::InputIterator camera;
    if (!grabber.GetCameraWithDeviceInputName(camera, cameraName.c_str())) {
        fprintf(stderr, "parallax3d-cameras: no camera has an input named \"%s\" (see list)\n",
                cameraName.c_str());
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
            if (!WritePNG(folder + name, grabber.mCamContext)) {
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

} // namespace

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    const ScopedTestPatternCamera testPattern;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list" && argc == 2)
        return List();
    if (command == "grab") {
        std::string camera, folder;
        int frames = 0;
        for (int i = 2; i + 1 < argc; i += 2) {
            const std::string option = argv[i];
            if (option == "--camera")
                camera = argv[i + 1];
            else if (option == "--frames")
                frames = atoi(argv[i + 1]);
            else if (option == "--out")
                folder = argv[i + 1];
        }
        if (!camera.empty() && frames > 0 && !folder.empty() && argc % 2 == 0)
            return Grab(camera, frames, folder);
    }
    fputs(kUsage, command == "--help" || command == "-h" ? stdout : stderr);
    return command == "--help" || command == "-h" ? 0 : 2;
}
