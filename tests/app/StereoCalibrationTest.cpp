// The calibration file: written and read back whole, other tools' files read, damaged ones
// refused with their reason.
#include <gtest/gtest.h>
#include <string>

#include "StereoCalibration.h"
#include "TestSupport.h"

namespace {

StereoCalibration Sample()
{
    StereoCalibration calibration;
    calibration.image_width = 640;
    calibration.image_height = 480;
    calibration.M1 = {512.5, 0, 320.25, 0, 511.75, 240.5, 0, 0, 1};
    calibration.M2 = {530.0, 0, 318.0, 0, 529.0, 242.0, 0, 0, 1};
    calibration.D1 = {-0.1, 0.02, 0.001, -0.002, 0.0005};
    calibration.D2 = {-0.09, 0.01, 0, 0};
    calibration.R = {1, 0, 0.01, 0, 1, 0, -0.01, 0, 1};
    calibration.T = {-60.5, 0.25, 1.5};
    calibration.R1 = calibration.R2 = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    calibration.P1 = {500, 0, 320, 0, 0, 500, 240, 0, 0, 0, 1, 0};
    calibration.P2 = {500, 0, 322, -60.5 * 500, 0, 500, 240, 0, 0, 0, 1, 0};
    // Consistent with P1 and P2, so a point comes back from its disparity.
    calibration.Q = {1, 0, 0, -320, 0, 1, 0, -240, 0, 0, 0, 500, 0, 0, 1 / 60.5, 2 / 60.5};
    calibration.rms = 0.125;
    calibration.board = {7, 5, 30.0};
    return calibration;
}

// The sample's file as OpenCV writes it, with one key and its indented lines replaced.
std::string SampleText(const std::string& key = "", const std::string& replacement = "")
{
    p3dtest::TempDir dir;
    std::string reason;
    EXPECT_TRUE(Sample().Save(dir.file("c.yml"), reason)) << reason;
    const std::string text = p3dtest::ReadFile(dir.file("c.yml"));
    if (key.empty())
        return text;
    const size_t at = text.find("\n" + key + ":") + 1;
    size_t next = text.find('\n', at);
    while (next + 1 < text.size() && text[next + 1] == ' ')
        next = text.find('\n', next + 1);
    return text.substr(0, at) + replacement + text.substr(next);
}

TEST(StereoCalibrationTest, SavesAndLoadsEveryValue)
{
    p3dtest::TempDir dir;
    std::string reason;
    ASSERT_TRUE(Sample().Save(dir.file("c.yml"), reason)) << reason;
    EXPECT_FALSE(p3dtest::PathExists(dir.file("c.yml.partial")));
    StereoCalibration loaded;
    ASSERT_TRUE(StereoCalibration::Load(dir.file("c.yml"), loaded, reason)) << reason;
    EXPECT_EQ(loaded, Sample());

    // What would not load again is not written, and the file already there stays.
    StereoCalibration noLens = Sample();
    noLens.D2.clear();
    EXPECT_FALSE(noLens.Save(dir.file("c.yml"), reason));
    EXPECT_EQ(reason,
              "cannot write " + dir.file("c.yml") + ": D2 is not a matrix of a calibration's size");
    EXPECT_FALSE(p3dtest::PathExists(dir.file("c.yml.partial")));
    ASSERT_TRUE(StereoCalibration::Load(dir.file("c.yml"), loaded, reason)) << reason;
    EXPECT_EQ(loaded, Sample());
}

TEST(StereoCalibrationTest, LoadsAFileOfAnotherToolWithoutOurKeys)
{
    std::string text = SampleText("rms");
    text = text.substr(0, text.find("\nboard:") + 1);
    // Distortion as a column, as some tools write it.
    const size_t d1 = text.find("D1: !!opencv-matrix\n   rows: 1\n   cols: 5");
    ASSERT_NE(d1, std::string::npos) << text;
    text.replace(d1, 41, "D1: !!opencv-matrix\n   rows: 5\n   cols: 1");
    p3dtest::TempDir dir;
    p3dtest::WriteFile(dir.file("other.yml"), text);
    StereoCalibration loaded;
    std::string reason;
    ASSERT_TRUE(StereoCalibration::Load(dir.file("other.yml"), loaded, reason)) << reason;
    EXPECT_EQ(loaded.D1, Sample().D1);
    EXPECT_EQ(loaded.Q, Sample().Q);
    EXPECT_EQ(loaded.rms, 0.0);
    EXPECT_EQ(loaded.board, StereoBoard());
}

// A point of the scene lands at half the pixels in both eyes at half the size, and comes back
// from there to the same point through Q.
TEST(StereoCalibrationTest, ScaledToAnotherSizeSeesTheSceneAlike)
{
    const StereoCalibration full = Sample(), half = Sample().scaled(320, 240);
    EXPECT_EQ(half.image_width, 320);
    EXPECT_EQ(half.M2[5], 121.0);
    const std::array<double, 4> point = {150.0, -80.0, 900.0, 1.0};
    const auto project = [&](const std::array<double, 12>& P, int row) {
        double sum[3] = {};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                sum[r] += P[r * 4 + c] * point[c];
        return sum[row] / sum[2];
    };
    const auto depth = [&](const StereoCalibration& c, double scale) {
        const double x = project(c.P1, 0), y = project(c.P1, 1), d = x - project(c.P2, 0);
        const double w = c.Q[12] * x + c.Q[13] * y + c.Q[14] * d + c.Q[15];
        EXPECT_NEAR(x, project(full.P1, 0) * scale, 1e-9);
        EXPECT_NEAR(y, project(full.P1, 1) * scale, 1e-9);
        return (c.Q[8] * x + c.Q[9] * y + c.Q[10] * d + c.Q[11]) / w;
    };
    EXPECT_NEAR(depth(full, 1.0), point[2], 1e-6);
    EXPECT_NEAR(depth(half, 0.5), point[2], 1e-6);
}

TEST(StereoCalibrationTest, RefusesADamagedFileWithItsReasonAndKeepsWhatItHad)
{
    const std::string whole = SampleText();
    struct Case
    {
        std::string text;
        std::string reason;
    };
    const Case cases[] = {
        {"", "the file is empty"},
        {"%YAML:1.0\n", "not a calibration file"},
        {whole.substr(0, whole.find("data: [") + 10), "damaged"}, // ends inside a list
        {SampleText("M2", ""), "no M2"},
        {SampleText("image_width", "image_width: -4"), "image_width is not a size in pixels"},
        {SampleText("R",
                    "R: !!opencv-matrix\n   rows: 2\n   cols: 2\n   dt: d\n   data: [1, 0, 0, 1]"),
         "R is 2x2, not 3x3"},
        {SampleText("D2",
                    "D2: !!opencv-matrix\n   rows: 1\n   cols: 3\n   dt: d\n   data: [1, 0, 0]"),
         "D2 is 1x3, not a row of 4, 5, 8, 12 or 14"},
        {SampleText("T",
                    "T: !!opencv-matrix\n   rows: 3\n   cols: 1\n   dt: d\n   data: [1, .Nan, 0]"),
         "T holds a value that is not a number"},
        {SampleText("Q", "Q: 7"), "Q is not a matrix"},
        {SampleText("board", "board: {columns: 9, rows: 0, square_mm: 25}"),
         "board is not a chessboard"},
        {SampleText("rms", "rms: .nan"), "rms is not an error in pixels"},
        {SampleText("M1", "M1: !!opencv-matrix\n   rows: 300000\n   cols: 300000\n   dt: d\n"
                          "   data: [1]"),
         "M1 is not a matrix of a calibration's size"},
        // Files OpenCV's reader would never finish: a second document, and the first key
        // indented.
        {whole + "---\n- 1\n  -\n", "not a calibration file: line"},
        {"%YAML:1.0\n Y: 0\n- i\n  - j\n",
         "not a calibration file: line 2 is indented under no key"},
        {whole + std::string(2000, ' ') + "x\n", "not a calibration file: line"},
    };
    p3dtest::TempDir dir;
    for (const Case& c : cases) {
        p3dtest::WriteFile(dir.file("bad.yml"), c.text);
        StereoCalibration kept = Sample();
        std::string reason;
        EXPECT_FALSE(StereoCalibration::Load(dir.file("bad.yml"), kept, reason)) << c.reason;
        EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason) << reason;
        EXPECT_EQ(kept, Sample());
    }
    std::string reason;
    StereoCalibration kept;
    EXPECT_FALSE(StereoCalibration::Load(dir.file("absent.yml"), kept, reason));
    EXPECT_EQ(reason, "cannot read " + dir.file("absent.yml"));
}

} // namespace
