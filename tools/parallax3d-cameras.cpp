// parallax3d-cameras: what the capture layer sees, for users chasing a camera problem.
//   parallax3d-cameras list
//   parallax3d-cameras grab --camera NAME --frames N --out DIR
//   parallax3d-cameras calibrate [--board COLSxROWS] [--square MM] --output FILE LEFT RIGHT ...
//   parallax3d-cameras depth [--max-disparity N] [--calibration FILE.yml] LEFT RIGHT OUT
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <limits>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ARGBPicture.h"
#include "CoreCommandLine.h"
#include "CoreMachDebugLog.h"
#include "DisparityMatcher.h"
#include "QCamOutputBase.h"
#include "QCameraGrabCGContext.h"
#include "ScopedTestPatternCamera.h"
#include "StereoCalibrator.h"
#include "StereoRectifier.h"
#include "V4L2CameraList.h"
#include "V4L2System.h"
#include "V4L2VideoDevice.h"
#include "shared_camera_buffer.h"

const char* g_CoreMachDebug_LogPrefix = "parallax3d-cameras";
static char sLogFileName[] = "parallax3d-cameras.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;

namespace {

const char kProgram[] = "parallax3d-cameras";

const char kUsage[] =
    "Usage: parallax3d-cameras list\n"
    "       parallax3d-cameras grab --camera NAME --frames N --out DIR [--size WxH]\n"
    "       parallax3d-cameras calibrate [--board COLSxROWS] [--square MM]\n"
    "                          --output FILE LEFT_1 RIGHT_1 LEFT_2 RIGHT_2 ...\n"
    "       parallax3d-cameras depth [--max-disparity N] [--calibration FILE.yml]\n"
    "                          LEFT RIGHT OUT\n"
    "\n"
    "Shows the cameras as Parallax3D sees them, for chasing a camera problem.\n"
    "\n"
    "Commands:\n"
    "  list                prints every camera by the name the menus show, with its\n"
    "                      device, its input, and the formats and sizes it offers\n"
    "  grab                opens a camera at the broadcast's size, as the application\n"
    "                      does, and writes the first frames it delivers as\n"
    "                      DIR/frame-0001.png, ...\n"
    "  calibrate           calibrates a stereo rig from pictures of a chessboard, each\n"
    "                      pair a left and a right image taken at once, 6 pairs or more;\n"
    "                      prints whether each pair is used and the calibration's errors\n"
    "  depth               the disparity of a pair of images, rectified already or by the\n"
    "                      calibration given, at their full size in pixels: OUT.pfm\n"
    "                      (float PFM, infinity where unknown) and OUT.png (16-bit,\n"
    "                      disparity x 256, 0 where unknown); prints the share of pixels\n"
    "                      with a disparity and the time taken\n"
    "\n"
    "Options:\n"
    "  -c, --camera NAME   the camera to grab: its name as list prints it, or the name\n"
    "                      of its input when no other camera has an input of that name\n"
    "  -n, --frames N      how many frames to grab, 1 or more\n"
    "  -o, --out DIR       the folder the frames go to; made when it does not exist\n"
    "  --size WxH          the frame size to grab at, 640x480 (default) or 1280x720,\n"
    "                      as the application's --size\n"
    "  --board COLSxROWS   the chessboard's inner corners across and down (9x6)\n"
    "  --square MM         the side of the chessboard's squares in millimetres (25)\n"
    "  --output FILE       the calibration file to write (OpenCV YAML)\n"
    "  --max-disparity N   the largest disparity looked for, a multiple of 16 (64)\n"
    "  --calibration FILE  the rig's calibration (OpenCV YAML) to rectify the pair with\n"
    "  -h, --help          this text\n"
    "  --version           the version\n"
    "\n"
    "Set PARALLAX3D_TEST_CAMERAS=1 to add the built-in test-pattern camera.\n"
    "Exit status: 0 on success, 1 on a failure, 2 for a bad command line.\n";

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

// The video nodes this user may not open: cameras the list cannot show.
std::string DeniedNodes()
{
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    std::string denied;
    for (const std::string& node : nodes) {
        V4L2VideoDevice device(node);
        const int err = device.Open();
        if (err == -EACCES || err == -EPERM)
            denied += (denied.empty() ? "" : ", ") + node;
    }
    return denied;
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
    // The first line stays "no cameras" for scripts; what to do about it follows.
    if (count == 0)
        printf("no cameras\n");
    const std::string denied = DeniedNodes();
    if (!denied.empty())
        printf("No permission to open %s; %s\n", denied.c_str(), kV4L2VideoGroupHint);
    else if (count == 0)
        printf("Plug a webcam in (lsusb lists what the system sees), or set "
               "PARALLAX3D_TEST_CAMERAS=1 for the built-in test-pattern camera.\n");
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

int Grab(const std::string& in_name, int frameCount, const std::string& folder,
         const QCamOutputFormat& in_size)
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
    const Rect frame = {0, 0, in_size.height, in_size.width};
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
    printf("%d frame%s written to %s\n", written, written == 1 ? "" : "s", folder.c_str());
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

// A board's inner corners, COLSxROWS, each 2 to 100.
bool ParseBoard(const char* in_text, StereoBoard& out_board)
{
    int columns = 0, rows = 0, length = 0;
    if (sscanf(in_text, "%3dx%3d%n", &columns, &rows, &length) != 2 || in_text[length] != '\0' ||
        columns < 2 || rows < 2 || columns > 100 || rows > 100)
        return false;
    out_board.columns = columns;
    out_board.rows = rows;
    return true;
}

// Millimetres, above 0 and at most a metre.
bool ParseSquare(const char* in_text, double& out_mm)
{
    char* end = nullptr;
    errno = 0;
    const double value = strtod(in_text, &end);
    if (errno != 0 || end == in_text || *end != '\0' || !(value > 0.0 && value <= 1000.0))
        return false;
    out_mm = value;
    return true;
}

int Calibrate(const StereoBoard& board, const std::string& output,
              const std::vector<std::string>& images)
{
    StereoCalibrator calibrator(board);
    for (size_t i = 0; i + 1 < images.size(); i += 2) {
        std::string reason;
        const bool used = calibrator.AddPairFiles(images[i], images[i + 1], reason);
        printf("pair %zu (%s, %s): %s%s\n", i / 2 + 1, images[i].c_str(), images[i + 1].c_str(),
               used ? "used" : "not used, ", reason.c_str());
    }
    StereoCalibration calibration;
    StereoCalibrationReport report;
    std::string reason;
    if (!calibrator.Calibrate(calibration, report, reason) || !calibration.Save(output, reason)) {
        fprintf(stderr, "parallax3d-cameras: %s\n", reason.c_str());
        return 1;
    }
    printf("%d of %d pairs used, RMS reprojection error %.3f px, vertical error after "
           "rectification %.3f px, baseline %.1f mm\n",
           report.pairsUsed, report.pairsGiven, report.rms, report.verticalError,
           report.baselineMm);
    printf("calibration written to %s\n", output.c_str());
    return 0;
}

// A picture file as A,R,G,B; empty when it cannot be read.
cv::Mat ReadArgb(const std::string& path)
{
    cv::Mat argb;
    // Asked first, as OpenCV logs a file it cannot open.
    if (access(path.c_str(), R_OK) != 0)
        return argb;
    const cv::Mat bgr = cv::imread(path, cv::IMREAD_COLOR);
    if (bgr.empty())
        return argb;
    argb.create(bgr.size(), CV_8UC4);
    argb.setTo(cv::Scalar::all(255));
    const int fromTo[] = {2, 1, 1, 2, 0, 3};
    cv::mixChannels(&bgr, 1, &argb, 1, fromTo, 3);
    return argb;
}

ArgbView View(const cv::Mat& argb)
{
    return {argb.data, argb.step, argb.cols, argb.rows};
}

// Middlebury's float PFM: one channel, little-endian (scale -1), rows bottom to top.
bool WritePfm(const std::string& path, const std::vector<float>& map, int width, int height)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fprintf(file, "Pf\n%d %d\n-1.0\n", width, height) > 0;
    std::vector<float> row(static_cast<size_t>(width));
    for (int y = height - 1; ok && y >= 0; --y) {
        const float* in = map.data() + size_t(y) * width;
        for (int x = 0; x < width; ++x)
            row[x] = in[x] < 0.0f ? std::numeric_limits<float>::infinity() : in[x];
        ok = fwrite(row.data(), sizeof(float), row.size(), file) == row.size();
    }
    return fclose(file) == 0 && ok;
}

// 16-bit grey of disparity x 256, 0 where unknown.
bool WritePng16(const std::string& path, const std::vector<float>& map, int width, int height)
{
    cv::Mat grey(height, width, CV_16UC1);
    for (int y = 0; y < height; ++y) {
        const float* in = map.data() + size_t(y) * width;
        uint16_t* out = grey.ptr<uint16_t>(y);
        for (int x = 0; x < width; ++x)
            out[x] = in[x] < 0.0f ? 0 : uint16_t(std::min(65535.0f, std::round(in[x] * 256.0f)));
    }
    return cv::imwrite(path, grey);
}

int Depth(int maxDisparity, const std::string& calibrationPath, const std::string& leftPath,
          const std::string& rightPath, const std::string& out)
{
    cv::Mat eyes[2] = {ReadArgb(leftPath), ReadArgb(rightPath)};
    for (int i = 0; i < 2; ++i)
        if (eyes[i].empty())
            return CoreCommandLine::UsageError(
                kProgram, "cannot read " + (i ? rightPath : leftPath) + " as an image");
    if (eyes[0].size() != eyes[1].size())
        return CoreCommandLine::UsageError(
            kProgram, "images of two sizes: " + std::to_string(eyes[0].cols) + "x" +
                          std::to_string(eyes[0].rows) + " and " + std::to_string(eyes[1].cols) +
                          "x" + std::to_string(eyes[1].rows));
    const int width = eyes[0].cols, height = eyes[0].rows;
    const auto start = std::chrono::steady_clock::now();
    std::string reason;
    if (!calibrationPath.empty()) {
        StereoCalibration calibration;
        StereoRectifier rectifier;
        if (!StereoCalibration::Load(calibrationPath, calibration, reason) ||
            !rectifier.Prepare(calibration, width, height, reason))
            return CoreCommandLine::UsageError(kProgram, reason);
        for (int i = 0; i < 2; ++i) {
            cv::Mat rectified(eyes[i].size(), CV_8UC4);
            if (!rectifier.Rectify(i, View(eyes[i]), rectified.data, rectified.step)) {
                fprintf(stderr, "parallax3d-cameras: cannot rectify %s\n",
                        (i ? rightPath : leftPath).c_str());
                return 1;
            }
            eyes[i] = rectified;
        }
    }
    DisparityMatcher matcher;
    std::vector<float> map;
    if (!matcher.Match(View(eyes[0]), View(eyes[1]), maxDisparity, 1.0, map, reason))
        return CoreCommandLine::UsageError(kProgram, reason);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WritePfm(out + ".pfm", map, width, height) ||
        !WritePng16(out + ".png", map, width, height)) {
        fprintf(stderr, "parallax3d-cameras: cannot write %s.pfm or %s.png\n", out.c_str(),
                out.c_str());
        return 1;
    }
    const auto known = std::count_if(map.begin(), map.end(), [](float d) { return d >= 0.0f; });
    printf("%.1f %% of the pixels have a disparity, %.0f ms\n", 100.0 * double(known) / map.size(),
           seconds * 1000.0);
    printf("disparity written to %s.pfm and %s.png\n", out.c_str(), out.c_str());
    return 0;
}

enum : int { kVersion = 256, kBoard, kSquare, kOutput, kMaxDisparity, kCalibration, kSize };

const option kOptions[] = {
    {"camera", required_argument, nullptr, 'c'},
    {"frames", required_argument, nullptr, 'n'},
    {"out", required_argument, nullptr, 'o'},
    {"size", required_argument, nullptr, kSize},
    {"board", required_argument, nullptr, kBoard},
    {"square", required_argument, nullptr, kSquare},
    {"output", required_argument, nullptr, kOutput},
    {"max-disparity", required_argument, nullptr, kMaxDisparity},
    {"calibration", required_argument, nullptr, kCalibration},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

} // namespace

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    const ScopedTestPatternCamera testPattern;

    std::string camera, folder, output, calibration;
    // The last given of each command's options, for another command that was given one.
    const char* grabOption = nullptr;
    const char* calibrateOption = nullptr;
    const char* depthOption = nullptr;
    StereoBoard board;
    int frames = 0, maxDisparity = 64;
    QCamOutputFormat size = QCamOutputBase::sCameraFormat;
    bool help = false, version = false;
    opterr = 0;
    for (int option; (option = getopt_long(argc, argv, ":c:n:o:h", kOptions, nullptr)) != -1;) {
        switch (option) {
        case 'c':
            camera = optarg;
            grabOption = "--camera";
            break;
        case 'n':
            if (!ParseCount(optarg, frames))
                return CoreCommandLine::UsageError(kProgram,
                                                   "--frames takes a count of 1 or more, not \"" +
                                                       std::string(optarg) + "\"");
            grabOption = "--frames";
            break;
        case 'o':
            folder = optarg;
            grabOption = "--out";
            break;
        case kSize:
            if (!QCamOutputBase::FormatNamed(optarg, size))
                return CoreCommandLine::UsageError(kProgram, "--size takes " +
                                                                 QCamOutputBase::OfferedNames() +
                                                                 ", not \"" + optarg + "\"");
            grabOption = "--size";
            break;
        case kBoard:
            if (!ParseBoard(optarg, board))
                return CoreCommandLine::UsageError(
                    kProgram, "--board takes inner corners as COLSxROWS, each 2 to 100, not \"" +
                                  std::string(optarg) + "\"");
            calibrateOption = "--board";
            break;
        case kSquare:
            if (!ParseSquare(optarg, board.squareMm))
                return CoreCommandLine::UsageError(
                    kProgram, "--square takes millimetres above 0 and up to 1000, not \"" +
                                  std::string(optarg) + "\"");
            calibrateOption = "--square";
            break;
        case kOutput:
            output = optarg;
            calibrateOption = "--output";
            break;
        case kMaxDisparity:
            if (!ParseCount(optarg, maxDisparity) || maxDisparity % 16 != 0)
                return CoreCommandLine::UsageError(
                    kProgram, "--max-disparity takes a positive multiple of 16, not \"" +
                                  std::string(optarg) + "\"");
            depthOption = "--max-disparity";
            break;
        case kCalibration:
            calibration = optarg;
            depthOption = "--calibration";
            break;
        case 'h':
            help = true;
            break;
        case kVersion:
            version = true;
            break;
        default:
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
    if (optind == argc)
        return CoreCommandLine::UsageError(kProgram,
                                           "no command given: list, grab, calibrate or depth");
    const std::string command = argv[optind];
    if (command != "list" && command != "grab" && command != "calibrate" && command != "depth")
        return CoreCommandLine::UsageError(
            kProgram, "unknown command \"" + command +
                          "\"; the commands are list, grab, calibrate and depth");
    const std::pair<const char*, const char*> owners[] = {
        {"grab", grabOption}, {"calibrate", calibrateOption}, {"depth", depthOption}};
    for (const auto& [owner, option] : owners)
        if (option != nullptr && command != owner)
            return CoreCommandLine::UsageError(kProgram, std::string(option) + " is for " + owner +
                                                             ", not " + command);
    if (command == "depth") {
        if (argc - optind != 4)
            return CoreCommandLine::UsageError(kProgram, "depth takes LEFT RIGHT OUT");
        return Depth(maxDisparity, calibration, argv[optind + 1], argv[optind + 2],
                     argv[optind + 3]);
    }
    if (command == "calibrate") {
        const std::vector<std::string> images(argv + optind + 1, argv + argc);
        if (output.empty())
            return CoreCommandLine::UsageError(kProgram, "calibrate needs --output FILE");
        if (images.empty() || images.size() % 2 != 0)
            return CoreCommandLine::UsageError(kProgram,
                                               "calibrate takes images in pairs, LEFT RIGHT ...; " +
                                                   std::to_string(images.size()) + " given");
        return Calibrate(board, output, images);
    }
    if (optind + 1 < argc)
        return CoreCommandLine::UsageError(kProgram, "unexpected argument \"" +
                                                         std::string(argv[optind + 1]) + "\"");
    if (command == "list")
        return List();
    if (camera.empty())
        return CoreCommandLine::UsageError(kProgram, "grab needs --camera NAME");
    if (frames == 0)
        return CoreCommandLine::UsageError(kProgram, "grab needs --frames N");
    if (folder.empty())
        return CoreCommandLine::UsageError(kProgram, "grab needs --out DIR");
    return Grab(camera, frames, folder, size);
}
