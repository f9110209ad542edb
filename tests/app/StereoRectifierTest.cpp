// Rectified eyes of a rig with known faults (the right camera 6 px lower, rolled 1.5°, its focal
// length 3 % longer, both lenses with k1 = -0.1): corresponding points on one row where the
// pixels show them, no border colour inside the frame, and calibrations that make no picture
// refused.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "StereoRectifier.h"

namespace {

StereoCalibration Rig()
{
    StereoCalibration calibration;
    std::string reason;
    EXPECT_TRUE(StereoCalibration::Load(RIG_CALIBRATION, calibration, reason)) << reason;
    return calibration;
}

// Where a point of the scene (millimetres, the left camera's frame) lands in an eye's own
// picture at the calibration's size: pinhole and radial distortion, as the rig's lenses.
void Project(const StereoCalibration& rig, int eye, const double X[3], double& u, double& v)
{
    double P[3] = {X[0], X[1], X[2]};
    if (eye == 1)
        for (int i = 0; i < 3; ++i)
            P[i] =
                rig.R[i * 3] * X[0] + rig.R[i * 3 + 1] * X[1] + rig.R[i * 3 + 2] * X[2] + rig.T[i];
    const std::array<double, 9>& M = eye == 0 ? rig.M1 : rig.M2;
    const std::vector<double>& D = eye == 0 ? rig.D1 : rig.D2;
    const double x = P[0] / P[2], y = P[1] / P[2], r2 = x * x + y * y;
    const double radial = 1 + D[0] * r2 + D[1] * r2 * r2;
    u = M[0] * x * radial + M[2];
    v = M[4] * y * radial + M[5];
}

struct Frame
{
    Frame(int width, int height, uint8_t value = 0)
        : width(width), height(height), argb(size_t(width) * height * 4, value)
    {
    }
    ArgbView view() const { return {argb.data(), size_t(width) * 4, width, height}; }
    uint8_t* pixel(int x, int y) { return &argb[(size_t(y) * width + x) * 4]; }
    int width, height;
    std::vector<uint8_t> argb;
};

// Soft white dots on opaque black, one per point; their centres are where the points are.
void DrawDots(Frame& frame, const std::vector<std::array<double, 2>>& dots)
{
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            frame.pixel(x, y)[0] = 255;
    for (const auto& [u, v] : dots)
        for (int y = std::max(int(v) - 5, 0); y <= std::min(int(v) + 6, frame.height - 1); ++y)
            for (int x = std::max(int(u) - 5, 0); x <= std::min(int(u) + 6, frame.width - 1); ++x) {
                const double value =
                    255 * std::exp(-((x - u) * (x - u) + (y - v) * (y - v)) / (2 * 1.5 * 1.5));
                for (int c = 1; c < 4; ++c)
                    frame.pixel(x, y)[c] = uint8_t(std::lround(value));
            }
}

// The brightness-weighted centre of the dot near (u, v).
void Centroid(Frame& frame, double u, double v, double& out_x, double& out_y)
{
    double sum = 0, sx = 0, sy = 0;
    for (int y = int(v) - 7; y <= int(v) + 8; ++y)
        for (int x = int(u) - 7; x <= int(u) + 8; ++x) {
            const double w = frame.pixel(x, y)[2];
            sum += w;
            sx += w * x;
            sy += w * y;
        }
    out_x = sx / sum;
    out_y = sy / sum;
}

struct Size
{
    int width, height;
};
// The calibration's own size, and others it is scaled to (one of another shape).
const Size kSizes[] = {{640, 480}, {320, 240}, {1280, 720}};

TEST(StereoRectifierTest, CorrespondingPointsMeetOnOneRowInThePixels)
{
    const StereoCalibration rig = Rig();
    for (const Size size : kSizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        StereoRectifier rectifier;
        std::string reason;
        ASSERT_TRUE(rectifier.Prepare(rig, size.width, size.height, reason)) << reason;
        const double sx = double(size.width) / rig.image_width;
        const double sy = double(size.height) / rig.image_height;
        // Points the rig sees at two distances, far enough apart that their dots stay apart.
        std::vector<std::array<double, 2>> seen[2], rectified[2];
        for (const auto& [z, offset] : {std::pair{700.0, 0.0}, std::pair{2500.0, 0.07}})
            for (double y = -0.25; y <= 0.26; y += 0.125)
                for (double x = -0.3; x <= 0.31; x += 0.15) {
                    const double X[3] = {(x + offset) * z, (y + offset) * z, z};
                    std::array<double, 2> at[2], to[2];
                    bool inside = true;
                    for (int eye = 0; eye < 2; ++eye) {
                        Project(rig, eye, X, at[eye][0], at[eye][1]);
                        at[eye] = {at[eye][0] * sx, at[eye][1] * sy};
                        ASSERT_TRUE(rectifier.RectifyPoint(eye, at[eye][0], at[eye][1], to[eye][0],
                                                           to[eye][1]));
                        inside = inside && to[eye][0] > 10 && to[eye][0] < size.width - 10 &&
                                 to[eye][1] > 10 && to[eye][1] < size.height - 10;
                    }
                    EXPECT_NEAR(to[0][1], to[1][1], 0.01);
                    for (int eye = 0; inside && eye < 2; ++eye) {
                        seen[eye].push_back(at[eye]);
                        rectified[eye].push_back(to[eye]);
                    }
                }
        ASSERT_GE(seen[0].size(), 40u);
        std::vector<double> rows[2];
        for (int eye = 0; eye < 2; ++eye) {
            Frame camera(size.width, size.height), out(size.width, size.height);
            DrawDots(camera, seen[eye]);
            ASSERT_TRUE(rectifier.Rectify(eye, camera.view(), out.argb.data(), out.width * 4));
            for (size_t i = 0; i < rectified[eye].size(); ++i) {
                double x, y;
                Centroid(out, rectified[eye][i][0], rectified[eye][i][1], x, y);
                EXPECT_NEAR(x, rectified[eye][i][0], 0.2) << "eye " << eye << " point " << i;
                EXPECT_NEAR(y, rectified[eye][i][1], 0.2) << "eye " << eye << " point " << i;
                rows[eye].push_back(y);
            }
        }
        for (size_t i = 0; i < seen[0].size(); ++i)
            EXPECT_NEAR(rows[0][i], rows[1][i], 0.2) << "point " << i;
    }
}

TEST(StereoRectifierTest, FillsTheFrameWithTheCamerasPictureToItsBorders)
{
    const StereoCalibration rig = Rig();
    const Frame white(1280, 720, 255);
    for (const Size size : kSizes) {
        StereoRectifier rectifier;
        std::string reason;
        ASSERT_TRUE(rectifier.Prepare(rig, size.width, size.height, reason)) << reason;
        const ArgbView camera{white.argb.data(), white.argb.size() / 720, size.width, size.height};
        for (int eye = 0; eye < 2; ++eye) {
            Frame out(size.width, size.height);
            ASSERT_TRUE(rectifier.Rectify(eye, camera, out.argb.data(), out.width * 4));
            size_t dark = 0;
            for (uint8_t byte : out.argb)
                dark += byte != 255;
            EXPECT_EQ(dark, 0u) << size.width << "x" << size.height << " eye " << eye;
        }
    }
}

TEST(StereoRectifierTest, RefusesCalibrationsThatMakeNoPictureAndDropsTheLastMaps)
{
    const StereoCalibration rig = Rig();
    struct Case
    {
        void (*spoil)(StereoCalibration&);
        int width, height;
        std::string reason;
    };
    const Case cases[] = {
        {[](StereoCalibration&) {}, 0, 480, "no frame of 0x480"},
        {[](StereoCalibration& c) { c.image_width = 0; }, 640, 480,
         "the calibration has no frame size"},
        {[](StereoCalibration& c) { c.P2[2] += 5000; }, 640, 480,
         "the eyes have nothing in common once rectified"},
        {[](StereoCalibration& c) { c.P2[2] += 600; }, 640, 480,
         "the eyes share less than a quarter of the frame once rectified"},
        {[](StereoCalibration& c) {
             c.D1 = {-0.1, 0, 0};
         },
         640, 480, "the calibration makes no maps"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        StereoRectifier rectifier;
        std::string reason;
        ASSERT_TRUE(rectifier.Prepare(rig, 640, 480, reason)) << reason;
        StereoCalibration spoilt = rig;
        c.spoil(spoilt);
        EXPECT_FALSE(rectifier.Prepare(spoilt, c.width, c.height, reason));
        EXPECT_EQ(reason.substr(0, c.reason.size()), c.reason);
        EXPECT_FALSE(rectifier.IsReady());
        const Frame camera(640, 480, 100);
        Frame out(640, 480, 7);
        EXPECT_FALSE(rectifier.Rectify(0, camera.view(), out.argb.data(), 640 * 4));
        EXPECT_EQ(out.argb, Frame(640, 480, 7).argb);
    }
}

TEST(StereoRectifierTest, LeavesTheDestinationAloneWhenItCannotRectify)
{
    StereoRectifier rectifier;
    std::string reason;
    ASSERT_TRUE(rectifier.Prepare(Rig(), 640, 480, reason)) << reason;
    Frame camera(640, 480, 100), out(640, 480, 7);
    const ArgbView other{camera.argb.data(), 320 * 4, 320, 240};
    struct Case
    {
        int eye;
        ArgbView src;
        uint8_t* dst;
        size_t dstRowBytes;
    };
    for (const Case& c : {Case{2, camera.view(), out.argb.data(), 640 * 4},
                          Case{0, other, out.argb.data(), 640 * 4},
                          Case{0, camera.view(), out.argb.data(), 639 * 4},
                          Case{1, camera.view(), camera.pixel(0, 10), 640 * 4}}) {
        EXPECT_FALSE(rectifier.Rectify(c.eye, c.src, c.dst, c.dstRowBytes));
        EXPECT_EQ(out.argb, Frame(640, 480, 7).argb);
        EXPECT_EQ(camera.argb, Frame(640, 480, 100).argb);
    }
}

} // namespace
