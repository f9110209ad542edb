// Rectified eyes of a rig with known faults (the right camera 6 px lower, rolled 1.5°, its focal
// length 3 % longer, both lenses with k1 = -0.1): corresponding points on one row where the
// pixels show them, no border inside the frame, and what makes no picture refused.
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

// Where a point of the scene (millimetres, the left camera's frame) lands in an eye's picture,
// scaled from the calibration's size: pinhole and radial distortion, as the rig's lenses.
std::array<double, 2> Project(const StereoCalibration& rig, int eye, const double X[3], double sx,
                              double sy)
{
    double P[3] = {X[0], X[1], X[2]};
    for (int i = 0; eye == 1 && i < 3; ++i)
        P[i] = rig.R[i * 3] * X[0] + rig.R[i * 3 + 1] * X[1] + rig.R[i * 3 + 2] * X[2] + rig.T[i];
    const std::array<double, 9>& M = eye == 0 ? rig.M1 : rig.M2;
    const double x = P[0] / P[2], y = P[1] / P[2];
    const double radial = 1 + (eye == 0 ? rig.D1 : rig.D2)[0] * (x * x + y * y);
    return {(M[0] * x * radial + M[2]) * sx, (M[4] * y * radial + M[5]) * sy};
}

// Opaque A,R,G,B of one grey.
std::vector<uint8_t> Frame(int width, int height, uint8_t grey)
{
    std::vector<uint8_t> argb(size_t(width) * size_t(height) * 4, grey);
    for (size_t i = 0; i < argb.size(); i += 4)
        argb[i] = 255;
    return argb;
}

// Soft white dots on grey, one per point, their centres where the points are; and back, the
// brightness-weighted centre of the dot near a point.
void DrawDot(std::vector<uint8_t>& argb, int width, const std::array<double, 2>& at)
{
    for (int y = int(at[1]) - 5; y <= int(at[1]) + 6; ++y)
        for (int x = int(at[0]) - 5; x <= int(at[0]) + 6; ++x) {
            const double d2 = (x - at[0]) * (x - at[0]) + (y - at[1]) * (y - at[1]);
            const auto value = uint8_t(std::lround(100 + 155 * std::exp(-d2 / 4.5)));
            std::fill_n(&argb[(size_t(y) * size_t(width) + size_t(x)) * 4 + 1], 3, value);
        }
}
std::array<double, 2> Centre(const std::vector<uint8_t>& argb, int width,
                             const std::array<double, 2>& near)
{
    double sum = 0, sx = 0, sy = 0;
    for (int y = int(near[1]) - 7; y <= int(near[1]) + 8; ++y)
        for (int x = int(near[0]) - 7; x <= int(near[0]) + 8; ++x) {
            const double w = argb[(size_t(y) * size_t(width) + size_t(x)) * 4 + 2] - 100.0;
            sum += w;
            sx += w * x;
            sy += w * y;
        }
    return {sx / sum, sy / sum};
}

// At the calibration's own size and scaled to others of its shape. The dots are on grey: a
// border's black anywhere in the frame shows.
TEST(StereoRectifierTest, CorrespondingPointsMeetOnOneRowAndNoBorderShows)
{
    const StereoCalibration rig = Rig();
    for (const auto& [width, height] : {std::pair{640, 480}, {320, 240}, {960, 720}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        StereoRectifier rectifier;
        std::string reason;
        ASSERT_TRUE(rectifier.Prepare(rig, width, height, reason)) << reason;
        std::vector<uint8_t> camera[2] = {Frame(width, height, 100), Frame(width, height, 100)};
        std::vector<std::array<double, 2>> rectified[2];
        // Points at two distances, far enough apart that their dots stay apart.
        for (const auto& [z, offset] : {std::pair{700.0, 0.0}, {2500.0, 0.07}})
            for (double y = -0.25; y <= 0.26; y += 0.125)
                for (double x = -0.3; x <= 0.31; x += 0.15) {
                    const double X[3] = {(x + offset) * z, (y + offset) * z, z};
                    std::array<double, 2> at[2], to[2];
                    bool inside = true;
                    for (int eye = 0; eye < 2; ++eye) {
                        at[eye] = Project(rig, eye, X, double(width) / 640, double(height) / 480);
                        ASSERT_TRUE(rectifier.RectifyPoint(eye, at[eye][0], at[eye][1], to[eye][0],
                                                           to[eye][1]));
                        inside = inside && std::min(to[eye][0], to[eye][1]) > 10 &&
                                 to[eye][0] < width - 10 && to[eye][1] < height - 10;
                    }
                    EXPECT_NEAR(to[0][1], to[1][1], 0.01);
                    for (int eye = 0; inside && eye < 2; ++eye) {
                        DrawDot(camera[eye], width, at[eye]);
                        rectified[eye].push_back(to[eye]);
                    }
                }
        ASSERT_GE(rectified[0].size(), 40u);
        for (int eye = 0; eye < 2; ++eye) {
            std::vector<uint8_t> out(camera[eye].size());
            ASSERT_TRUE(rectifier.Rectify(eye,
                                          {camera[eye].data(), size_t(width) * 4, width, height},
                                          out.data(), size_t(width) * 4));
            for (const std::array<double, 2>& to : rectified[eye]) {
                const std::array<double, 2> centre = Centre(out, width, to);
                EXPECT_NEAR(centre[0], to[0], 0.2) << "eye " << eye << " at " << to[0];
                EXPECT_NEAR(centre[1], to[1], 0.2) << "eye " << eye << " at " << to[0];
            }
            EXPECT_EQ(*std::min_element(out.begin(), out.end()), 100) << "eye " << eye;
        }
    }
}

TEST(StereoRectifierTest, RefusesWhatMakesNoPictureAndLeavesTheDestinationAlone)
{
    const StereoCalibration rig = Rig();
    // The frame's width, the calibration's, and the right eye's rectified picture moved across.
    const struct
    {
        int width, calibrationWidth;
        double moved;
        std::string reason;
    } cases[] = {
        {1, 640, 0, "no frame of 1x480"},
        {640, 0, 0, "the calibration has no frame size"},
        {1280, 640, 0,
         "it was made on pictures of 640 x 480 (4:3), the cameras now give 1280 x 480 (8:3)"},
        {640, 640, 5000, "the eyes have nothing in common once rectified"},
        {640, 640, 600, "the eyes share less than a quarter of the frame once rectified"},
    };
    std::vector<uint8_t> camera = Frame(640, 480, 100), out = Frame(640, 480, 7);
    const std::vector<uint8_t> untouched = out;
    const ArgbView view{camera.data(), 640 * 4, 640, 480};
    for (const auto& c : cases) {
        StereoRectifier rectifier;
        std::string reason;
        ASSERT_TRUE(rectifier.Prepare(rig, 640, 480, reason)) << reason;
        StereoCalibration spoilt = rig;
        spoilt.image_width = c.calibrationWidth;
        spoilt.P2[2] += c.moved;
        EXPECT_FALSE(rectifier.Prepare(spoilt, c.width, 480, reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_FALSE(rectifier.IsReady()) << "the last maps dropped";
        EXPECT_FALSE(rectifier.Rectify(0, view, out.data(), 640 * 4));
    }
    // Ready, but not for a frame of another size, an eye it does not know, a short row, or a
    // destination in the frame's own memory.
    StereoRectifier rectifier;
    std::string reason;
    ASSERT_TRUE(rectifier.Prepare(rig, 640, 480, reason)) << reason;
    EXPECT_FALSE(rectifier.Rectify(0, {camera.data(), 640 * 4, 320, 240}, out.data(), 640 * 4));
    EXPECT_FALSE(rectifier.Rectify(2, view, out.data(), 640 * 4));
    EXPECT_FALSE(rectifier.Rectify(1, view, out.data(), 639 * 4));
    EXPECT_FALSE(rectifier.Rectify(1, view, camera.data() + 640 * 4 * 10, 640 * 4));
    EXPECT_TRUE(out == untouched);
    EXPECT_TRUE(camera == Frame(640, 480, 100));
}

// Shared with the rectifier's thread: each eye's picture as one Rectify makes it, frame
// after frame, and neither written when one eye would be refused.
TEST(StereoRectifierTest, BothEyesAtOnceAsOneByOne)
{
    const StereoCalibration rig = Rig();
    StereoRectifier rectifier;
    std::string reason;
    ASSERT_TRUE(rectifier.Prepare(rig, 640, 480, reason)) << reason;
    std::vector<uint8_t> camera[2] = {Frame(640, 480, 0), Frame(640, 480, 0)};
    for (int eye = 0; eye < 2; ++eye)
        for (size_t i = 0; i < camera[eye].size(); ++i)
            camera[eye][i] = uint8_t(i * (eye ? 7 : 13) / 5);
    const ArgbView views[2] = {{camera[0].data(), 640 * 4, 640, 480},
                               {camera[1].data(), 640 * 4, 640, 480}};
    std::vector<uint8_t> alone[2] = {Frame(640, 480, 7), Frame(640, 480, 7)};
    for (int eye = 0; eye < 2; ++eye)
        ASSERT_TRUE(rectifier.Rectify(eye, views[eye], alone[eye].data(), 640 * 4));
    for (int frame = 0; frame < 3; ++frame) {
        std::vector<uint8_t> both[2] = {Frame(640, 480, 7), Frame(640, 480, 7)};
        ASSERT_TRUE(
            rectifier.RectifyBoth(views[0], both[0].data(), views[1], both[1].data(), 640 * 4));
        EXPECT_TRUE(both[0] == alone[0]) << "frame " << frame;
        EXPECT_TRUE(both[1] == alone[1]) << "frame " << frame;
    }
    // An eye of another size, both into one picture, or one eye written over the other's frame.
    std::vector<uint8_t> out[2] = {Frame(640, 480, 7), Frame(640, 480, 7)};
    const ArgbView small{camera[1].data(), 640 * 4, 320, 240};
    EXPECT_FALSE(rectifier.RectifyBoth(views[0], out[0].data(), small, out[1].data(), 640 * 4));
    EXPECT_FALSE(rectifier.RectifyBoth(views[0], out[0].data(), views[1], out[0].data(), 640 * 4));
    EXPECT_FALSE(
        rectifier.RectifyBoth(views[0], out[0].data(), views[1], camera[0].data(), 640 * 4));
    EXPECT_TRUE(out[0] == Frame(640, 480, 7) && out[1] == Frame(640, 480, 7));
}

} // namespace
