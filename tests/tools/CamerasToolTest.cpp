// parallax3d-cameras as a user runs it, against the built-in test-pattern camera.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <glob.h>
#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/persistence.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "CommandLineAnswers.h"
#include "MacTypes.h"
#include "Processor/InstructionSet.h"
#include "RigEyes.h"
#include "SceneDisparity.h"
#include "StereoCalibration.h"
#include "TestPatternChessboard.h"
#include "TestPatternScene.h"
#include "TestSupport.h"

using p3dtest::Child;

namespace {

const int kTimeoutMs = 30000;
const std::vector<std::string> kTestCameras = {"PARALLAX3D_TEST_CAMERAS=1"};

// Pairs of the test pattern's eyes through a rig with known faults, the chessboard held still in
// a new pose in each: folder/left-N.png and folder/right-N.png, their paths left, right, ...
std::vector<std::string> FaultyRigPairs(const p3dtest::TempDir& in_dir, int in_count)
{
    std::vector<std::string> paths;
    for (int pose = 0; pose < in_count; ++pose) {
        const std::string n = std::to_string(pose + 1);
        paths.push_back(in_dir.file("left-" + n + ".png"));
        paths.push_back(in_dir.file("right-" + n + ".png"));
        Child picture({PICTURE_TOOL_PATH, "--rig", "vertical=6,roll=1.5,focal=3,k1=-0.1",
                       "--chessboard", "--frame",
                       std::to_string(TestPatternChessboard::StillFrame(uint64_t(pose))),
                       in_dir.file("anaglyph.png"), paths[paths.size() - 2], paths.back()});
        EXPECT_EQ(picture.wait(kTimeoutMs), 0) << picture.err();
    }
    return paths;
}

// The mean vertical distance of the board's corners in the pairs, rectified by the calibration
// file as OpenCV reads it; NAN when a board is not found.
double RectifiedVerticalError(const std::string& in_file, const std::vector<std::string>& in_pairs)
{
    cv::FileStorage file(in_file, cv::FileStorage::READ);
    if (!file.isOpened())
        return NAN;
    std::vector<cv::Point2f> eyes[2];
    for (size_t i = 0; i < in_pairs.size(); ++i) {
        const cv::Mat grey = cv::imread(in_pairs[i], cv::IMREAD_GRAYSCALE);
        std::vector<cv::Point2f> corners;
        if (!cv::findChessboardCorners(grey, cv::Size(9, 6), corners,
                                       cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE))
            return NAN;
        cv::cornerSubPix(
            grey, corners, cv::Size(5, 5), cv::Size(-1, -1),
            cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 30, 0.01));
        std::vector<cv::Point2f> rectified;
        const std::string eye = i % 2 == 0 ? "1" : "2";
        cv::undistortPoints(corners, rectified, file["M" + eye].mat(), file["D" + eye].mat(),
                            file["R" + eye].mat(), file["P" + eye].mat());
        eyes[i % 2].insert(eyes[i % 2].end(), rectified.begin(), rectified.end());
    }
    double sum = 0;
    for (size_t i = 0; i < eyes[0].size(); ++i)
        sum += std::abs(eyes[0][i].y - eyes[1][i].y);
    return sum / double(eyes[0].size());
}

UInt32 BigEndian(const std::string& bytes, size_t offset)
{
    UInt32 value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | UInt8(bytes[offset + i]);
    return value;
}

TEST(CamerasTool, ListsTheTestPatternCameraWithItsInputsAndFormats)
{
    Child list({CAMERAS_TOOL_PATH, "list"}, kTestCameras);
    ASSERT_EQ(list.wait(kTimeoutMs), 0) << list.err();
    const std::string& out = list.out();
    EXPECT_NE(out.find("/dev/parallax3d-test-pattern  Parallax3D Test Pattern\n"),
              std::string::npos)
        << out;
    // By the names the menus show.
    EXPECT_NE(out.find("camera \"Parallax3D Test Pattern: Left Eye\"  (input 0: Left Eye)"),
              std::string::npos);
    EXPECT_NE(out.find("camera \"Parallax3D Test Pattern: Right Eye\"  (input 1: Right Eye)"),
              std::string::npos);
    EXPECT_NE(out.find("format MJPG: 640x480"), std::string::npos);
    EXPECT_NE(out.find("format YUYV:"), std::string::npos);
}

TEST(CamerasTool, GrabsFramesOfTheFrameBufferAsPNGFiles)
{
    p3dtest::TempDir dir;
    // By the camera's name, or by its input's own name where no other input has it; at the
    // classic size or the one asked for.
    const struct
    {
        const char* camera;
        std::vector<std::string> size;
        uint32_t width, height;
    } cases[] = {
        {"Parallax3D Test Pattern: Right Eye", {}, 640, 480},
        {"Left Eye", {"--size", "1280x720"}, 1280, 720},
    };
    for (const auto& c : cases) {
        const std::string out = dir.file(c.camera);
        std::vector<std::string> args = {CAMERAS_TOOL_PATH, "grab", "--camera", c.camera,
                                         "--frames",        "2",    "--out",    out};
        args.insert(args.end(), c.size.begin(), c.size.end());
        Child grab(args, kTestCameras);
        ASSERT_EQ(grab.wait(kTimeoutMs), 0) << grab.err();
        EXPECT_EQ(grab.err().find("VERIFY"), std::string::npos) << grab.err();
        for (const char* name : {"/frame-0001.png", "/frame-0002.png"}) {
            const std::string png = p3dtest::ReadFile(out + name);
            ASSERT_GT(png.size(), 33u) << name;
            EXPECT_EQ(png.substr(1, 3), "PNG");
            EXPECT_EQ(BigEndian(png, 16), c.width); // the grabber's frame buffer
            EXPECT_EQ(BigEndian(png, 20), c.height);
        }
    }
}

TEST(CamerasTool, AnswersEachCommandLineInOneManner)
{
    p3dtest::TempDir dir;
    std::vector<p3dtest::CommandLineAnswer> answers = {
        {{"--help"}, 0, "Usage: parallax3d-cameras list", "-c, --camera NAME"},
        {{"--version"}, 0, "parallax3d-cameras " PARALLAX3D_VERSION},
        {{}, 2, "no command given: list, grab, calibrate or depth"},
        {{"lsit"}, 2, "unknown command \"lsit\"; the commands are list, grab, calibrate and depth"},
        {{"--nope"}, 2, "unknown option --nope"},
        {{"list", "extra"}, 2, "unexpected argument \"extra\""},
        {{"list", "-c", "Left Eye"}, 2, "--camera is for grab, not list"},
        {{"grab"}, 2, "grab needs --camera NAME"},
        {{"grab", "--size", "1000x1000"}, 2, "--size takes 640x480 or 1280x720, not \"1000x1000\""},
        {{"list", "--size", "1280x720"}, 2, "--size is for grab, not list"},
        {{"grab", "--board", "9x6"}, 2, "--board is for calibrate, not grab"},
        {{"calibrate", "--output", "c.yml", "-n", "1", "l", "r"},
         2,
         "--frames is for grab, not calibrate"},
        {{"calibrate", "l", "r"}, 2, "calibrate needs --output FILE"},
        {{"calibrate", "--output", "c.yml", "l", "r", "l"},
         2,
         "calibrate takes images in pairs, LEFT RIGHT ...; 3 given"},
        {{"grab", "-c", "Left Eye", "-o", dir.path()}, 2, "grab needs --frames N"},
        {{"grab", "-c", "Left Eye", "-n", "1"}, 2, "grab needs --out DIR"},
        {{"grab", "--camera", "Nope", "--frames", "1", "--out", dir.file("x")},
         1,
         "no camera is named \"Nope\" (see list)"},
        {{"grab", "-c", "Left Eye", "-n", "1", "-o", dir.file("one")},
         0,
         "1 frame written to " + dir.file("one")},
    };
    for (const char* count : {"0", "2x", "-1", ""})
        answers.push_back(
            {{"grab", "-c", "Left Eye", "--frames", count, "--out", dir.file("y")},
             2,
             "--frames takes a count of 1 or more, not \"" + std::string(count) + "\""});
    for (const char* board : {"9", "1x6", "9x101", "9x6x", "ax6"})
        answers.push_back({{"calibrate", "--board", board, "--output", "c.yml", "l", "r"},
                           2,
                           "--board takes inner corners as COLSxROWS, each 2 to 100, not \"" +
                               std::string(board) + "\""});
    for (const char* square : {"0", "-5", "nan", "25mm"})
        answers.push_back({{"calibrate", "--square", square, "--output", "c.yml", "l", "r"},
                           2,
                           "--square takes millimetres above 0 and up to 1000, not \"" +
                               std::string(square) + "\""});
    p3dtest::ExpectAnswers(CAMERAS_TOOL_PATH, answers, kTestCameras);
}

TEST(CamerasTool, CalibratesARigWithKnownFaultsToItsTruth)
{
    p3dtest::TempDir dir;
    std::vector<std::string> args = {CAMERAS_TOOL_PATH, "calibrate", "--output",
                                     dir.file("rig.yml")};
    const std::vector<std::string> pairs = FaultyRigPairs(dir, 12);
    args.insert(args.end(), pairs.begin(), pairs.end());
    Child calibrate(args);
    ASSERT_EQ(calibrate.wait(kTimeoutMs * 4), 0) << calibrate.err() << calibrate.out();
    const std::string& out = calibrate.out();
    EXPECT_NE(out.find("pair 12 (" + dir.file("left-12.png") + ", " + dir.file("right-12.png") +
                       "): used\n"),
              std::string::npos)
        << out;
    const size_t summary = out.find("12 of 12 pairs used");
    ASSERT_NE(summary, std::string::npos) << out;
    double rms = NAN, vertical = NAN, baseline = NAN;
    ASSERT_EQ(sscanf(out.c_str() + summary,
                     "12 of 12 pairs used, RMS reprojection error %lf px, vertical error after "
                     "rectification %lf px, baseline %lf mm",
                     &rms, &vertical, &baseline),
              3)
        << out;
    EXPECT_LE(rms, 0.3);
    EXPECT_LE(vertical, 0.2);
    EXPECT_NEAR(baseline, TestPatternScene::kBaselineMm, 0.02 * TestPatternScene::kBaselineMm);

    StereoCalibration calibration;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(dir.file("rig.yml"), calibration, reason)) << reason;
    EXPECT_NEAR(calibration.rms, rms, 0.0005);
    EXPECT_NEAR(std::hypot(calibration.T[0], calibration.T[1], calibration.T[2]), baseline, 0.05);
    // Corners found again, refined a little differently.
    EXPECT_NEAR(RectifiedVerticalError(dir.file("rig.yml"), pairs), vertical, 0.01);
}

TEST(CamerasTool, CalibrateSaysWhatIsWrongWithThePicturesAndWritesNothing)
{
    p3dtest::TempDir dir;
    const std::vector<std::string> pairs = FaultyRigPairs(dir, 6);
    cv::Mat small;
    cv::resize(cv::imread(pairs[1]), small, cv::Size(320, 240));
    cv::imwrite(dir.file("small.png"), small);
    p3dtest::WriteFile(dir.file("text.png"), "not a picture");
    const std::string output = dir.file("rig.yml");
    auto withPair = [&](const std::string& left, const std::string& right) {
        std::vector<std::string> args = pairs;
        args[2] = left;
        args[3] = right;
        return args;
    };
    const struct
    {
        std::vector<std::string> options, images;
        std::string error;
    } cases[] = {
        {{}, {pairs.begin(), pairs.begin() + 6}, "3 of 3 pairs usable; calibration needs 6"},
        {{"--board", "7x5"}, pairs, "0 of 6 pairs usable; calibration needs 6"},
        {{}, withPair(pairs[0], dir.file("small.png")), "images of two sizes: 640x480 and 320x240"},
        {{},
         withPair(dir.file("text.png"), pairs[3]),
         "cannot read " + dir.file("text.png") + " as an image"},
        {{},
         withPair(dir.file("absent.png"), pairs[3]),
         "cannot read " + dir.file("absent.png") + " as an image"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {CAMERAS_TOOL_PATH, "calibrate", "--output", output};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), c.images.begin(), c.images.end());
        Child calibrate(args);
        EXPECT_EQ(calibrate.wait(kTimeoutMs), 1) << c.error;
        EXPECT_EQ(calibrate.err(), "parallax3d-cameras: " + c.error + "\n");
        EXPECT_FALSE(p3dtest::PathExists(output)) << c.error;
    }
}

// The ideal rig's eyes of frame 0: every object's parallax is known. The PFM as Middlebury's
// readers take it (rows bottom to top, little-endian floats), the PNG the same times 256.
TEST(CamerasTool, DepthFindsEachObjectsParallax)
{
    // Each eye's first frame grabbed from the test camera, through its JPEG, as a user would.
    p3dtest::TempDir dir;
    for (const char* eye : {"Left", "Right"}) {
        Child grab({CAMERAS_TOOL_PATH, "grab", "--camera",
                    std::string("Parallax3D Test Pattern: ") + eye + " Eye", "--frames", "1",
                    "--out", dir.file(eye)},
                   kTestCameras);
        ASSERT_EQ(grab.wait(kTimeoutMs), 0) << grab.err();
    }
    const std::string left = dir.file("Left/frame-0001.png"),
                      right = dir.file("Right/frame-0001.png");
    Child depth({CAMERAS_TOOL_PATH, "depth", left, right, dir.file("out")});
    ASSERT_EQ(depth.wait(kTimeoutMs), 0) << depth.err();
    EXPECT_NE(depth.out().find("% of the pixels have a disparity"), std::string::npos);

    const std::string pfm = p3dtest::ReadFile(dir.file("out.pfm")), header = "Pf\n640 480\n-1.0\n";
    ASSERT_EQ(pfm.size(), header.size() + 640 * 480 * 4);
    ASSERT_EQ(pfm.compare(0, header.size(), header), 0) << pfm.substr(0, header.size());
    cv::Mat map(480, 640, CV_32F);
    for (int y = 0; y < 480; ++y)
        memcpy(map.ptr<float>(479 - y), &pfm[header.size() + size_t(y) * 640 * 4], 640 * 4);
    const cv::Mat png = cv::imread(dir.file("out.png"), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(png.type(), CV_16UC1);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const float d = map.at<float>(y, x);
            const uint16_t p = png.at<uint16_t>(y, x);
            ASSERT_TRUE(std::isfinite(d) ? std::fabs(p - d * 256) <= 0.5f : p == 0)
                << x << "," << y;
        }
    for (const p3dtest::SceneShare& s :
         p3dtest::SceneShares(map.ptr<float>(), p3dtest::RigEyes().eye(0), true))
        EXPECT_GE(s.share, 0.9) << s.name << " " << s.truth << " px";
}

TEST(CamerasTool, DepthRefusesWhatItCannotMatch)
{
    p3dtest::TempDir dir;
    const std::string left = dir.file("left.png"), right = dir.file("right.png"),
                      small = dir.file("small.png"), tiny = dir.file("tiny.png"),
                      dot = dir.file("dot.png"), text = dir.file("text.png"), out = dir.file("out"),
                      absent = dir.file("absent.png"), yml = dir.file("absent.yml");
    Child picture({PICTURE_TOOL_PATH, dir.file("anaglyph.png"), left, right});
    ASSERT_EQ(picture.wait(kTimeoutMs), 0) << picture.err();
    cv::imwrite(small, cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(90)));
    cv::imwrite(tiny, cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(128)));
    cv::imwrite(dot, cv::Mat(1, 1, CV_8UC3, cv::Scalar(10, 200, 30)));
    p3dtest::WriteFile(text, "not a picture");
    const std::string tooSmall = "the pictures are smaller than the matching window",
                      tooWide = "the largest disparity is as wide as the picture or wider";
    std::vector<p3dtest::CommandLineAnswer> answers = {
        {{"depth", left, right}, 2, "depth takes LEFT RIGHT OUT"},
        {{"grab", "--max-disparity", "16"}, 2, "--max-disparity is for depth, not grab"},
        {{"depth", left, small, out}, 2, "images of two sizes: 640x480 and 320x240"},
        {{"depth", text, right, out}, 2, "cannot read " + text + " as an image"},
        {{"depth", left, absent, out}, 2, "cannot read " + absent + " as an image"},
        {{"depth", tiny, tiny, out}, 2, tooSmall},
        {{"depth", dot, dot, out}, 2, tooSmall},
        {{"depth", "--max-disparity", "640", left, right, out}, 2, tooWide},
        {{"depth", "--max-disparity", "99984", left, right, out}, 2, tooWide},
        {{"depth", "--calibration", yml, left, right, out}, 2, "cannot read " + yml},
    };
    for (const char* n : {"0", "24", "-16", "x", "99999999999999999999"})
        answers.push_back(
            {{"depth", "--max-disparity", n, left, right, out},
             2,
             "--max-disparity takes a positive multiple of 16, not \"" + std::string(n) + "\""});
    p3dtest::ExpectAnswers(CAMERAS_TOOL_PATH, answers, kTestCameras);
    EXPECT_FALSE(p3dtest::PathExists(out + ".pfm"));

    // A picture of one colour matches anywhere: nothing is known, and nothing is made up.
    cv::imwrite(dir.file("grey.png"), cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(128)));
    Child grey({CAMERAS_TOOL_PATH, "depth", dir.file("grey.png"), dir.file("grey.png"), out});
    ASSERT_EQ(grey.wait(kTimeoutMs), 0) << grey.err();
    EXPECT_EQ(grey.out().rfind("0.0 % of the pixels have a disparity", 0), 0u) << grey.out();
    const cv::Mat png = cv::imread(out + ".png", cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(cv::countNonZero(png), 0);
}

// PARALLAX3D_CPU holds the kernels' instruction set lower; a word the program does not know, or
// a set this processor lacks, is told in one line and the best set runs.
TEST(CamerasTool, VersionTellsTheInstructionSetTheKernelsRun)
{
    using Processor::InstructionSet;
    std::string best = "scalar";
    for (InstructionSet set :
         {InstructionSet::kSSE2, InstructionSet::kAVX2, InstructionSet::kAVX512})
        best = Processor::Runs(set) ? Processor::Name(set) : best;
    const bool avx512 = Processor::Runs(InstructionSet::kAVX512);
    const std::array<std::string, 3> table[] = {
        // PARALLAX3D_CPU, the set that runs, the warning
        {"", best, ""},
        {"scalar", "scalar", ""},
        {"bogus", best,
         "PARALLAX3D_CPU=bogus: not one of avx512, avx2, sse2, scalar; using " + best + "\n"},
        {"avx512", avx512 ? "avx512" : best,
         avx512 ? "" : "PARALLAX3D_CPU=avx512: this processor cannot run it; using " + best + "\n"},
    };
    for (const auto& [word, runs, warning] : table) {
        Child child({CAMERAS_TOOL_PATH, "--version"}, {"PARALLAX3D_CPU=" + word});
        ASSERT_EQ(child.wait(kTimeoutMs), 0) << word;
        EXPECT_EQ(child.out(), "parallax3d-cameras " PARALLAX3D_VERSION "\ncpu: " + runs + "\n")
            << word;
        EXPECT_EQ(child.err(), warning) << word;
    }
}

// Only where the machine has no video nodes of its own.
TEST(CamerasTool, WithoutCamerasSaysWhatToDo)
{
    glob_t nodes = {};
    const bool any = glob("/dev/video*", 0, nullptr, &nodes) == 0;
    globfree(&nodes);
    if (any)
        GTEST_SKIP() << "this machine has video nodes";
    p3dtest::ExpectAnswers(CAMERAS_TOOL_PATH,
                           {{{"list"}, 0, "no cameras", "PARALLAX3D_TEST_CAMERAS=1"}});
}

} // namespace
