#include "TestPatternChessboard.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "TestPatternScene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
using Matrix = std::array<double, 9>;

// Board millimetres: the first inner corner at the origin, x along a row, y down the columns.
constexpr double kMarginMm = 20.0;
constexpr double kLeftMm = -TestPatternChessboard::kSquareMm - kMarginMm;
constexpr double kTopMm = -TestPatternChessboard::kSquareMm - kMarginMm;
constexpr double kRightMm =
    TestPatternChessboard::kColumns * TestPatternChessboard::kSquareMm + kMarginMm;
constexpr double kBottomMm =
    TestPatternChessboard::kRows * TestPatternChessboard::kSquareMm + kMarginMm;
constexpr double kCentreX = (TestPatternChessboard::kColumns - 1) * 12.5;
constexpr double kCentreY = (TestPatternChessboard::kRows - 1) * 12.5;
// The hand holds the bottom edge from behind, its thumb on the white margin in front; the arm
// runs down out of the picture.
constexpr double kThumbX = kCentreX - 30.0, kThumbY = kBottomMm - 9.0;
constexpr double kThumbRadiusX = 22.0, kThumbRadiusY = 7.0;
constexpr double kPalmLeft = kCentreX - 55.0, kPalmRight = kCentreX + 40.0;
constexpr double kPalmBottom = kBottomMm + 85.0;
constexpr double kArmLeft = kCentreX - 45.0, kArmRight = kCentreX + 35.0;
constexpr double kArmBottom = kBottomMm + 700.0;
// Pixels at least this far inside both eyes at the layout size, for the rig's faults.
constexpr double kInsidePx = 32.0;
constexpr int kSamples = 4; // per side of a pixel across an edge

enum Region : uint8_t { kNothing, kSleeve, kSkin, kWhite, kBlack };
constexpr uint8_t kColours[][3] = {
    {0, 0, 0}, {55, 70, 100}, {222, 170, 140}, {236, 236, 232}, {22, 22, 26}};

// Squares have their own region numbers above kBlack, so that a pixel whose corners lie in one
// square is known to lie wholly in it.
uint8_t RegionAt(double in_x, double in_y)
{
    const double tx = (in_x - kThumbX) / kThumbRadiusX, ty = (in_y - kThumbY) / kThumbRadiusY;
    if (tx * tx + ty * ty <= 1.0)
        return kSkin;
    if (in_x >= kLeftMm && in_x < kRightMm && in_y >= kTopMm && in_y < kBottomMm) {
        // Positive before truncation, so truncation floors.
        constexpr double kPerSquare = 1.0 / TestPatternChessboard::kSquareMm;
        const int column = int(in_x * kPerSquare + 2.0) - 1;
        const int row = int(in_y * kPerSquare + 2.0) - 1;
        if (column < 0 || column > TestPatternChessboard::kColumns || row < 0 ||
            row > TestPatternChessboard::kRows)
            return kWhite;
        return uint8_t(kBlack + 1 + row * (TestPatternChessboard::kColumns + 1) + column);
    }
    if (in_y >= kBottomMm && in_y < kPalmBottom && in_x >= kPalmLeft && in_x < kPalmRight)
        return kSkin;
    if (in_y >= kPalmBottom && in_y < kArmBottom && in_x >= kArmLeft && in_x < kArmRight)
        return kSleeve;
    return kNothing;
}

const uint8_t* Colour(uint8_t in_region)
{
    if (in_region <= kBlack)
        return kColours[in_region];
    const int square = in_region - kBlack - 1;
    const int row = square / (TestPatternChessboard::kColumns + 1);
    const int column = square % (TestPatternChessboard::kColumns + 1);
    return kColours[(row + column) % 2 == 0 ? kBlack : kWhite];
}

uint64_t Mix64(uint64_t in_value)
{
    uint64_t z = in_value + 0x9e3779b97f4a7c15u;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// A fraction in [0, 1) of the pose's own, for each of its parameters.
double Fraction(uint64_t in_pose, uint64_t in_which)
{
    return double(Mix64(in_pose * 8 + in_which) >> 11) / double(uint64_t(1) << 53);
}

// Low-discrepancy, so that few poses already go about the whole picture.
double Halton(uint64_t in_index, uint64_t in_base)
{
    double result = 0, part = 1;
    for (; in_index > 0; in_index /= in_base) {
        part /= double(in_base);
        result += part * double(in_index % in_base);
    }
    return result;
}

struct Pose
{
    double across, down; // where the centre is, per millimetre away
    double distanceMm;
    double pitchDeg, yawDeg, rollDeg;
};

struct Placement
{
    Matrix rotation; // board to left eye
    double t[3];     // millimetres: where the board's origin is
};

Matrix Multiply(const Matrix& a, const Matrix& b)
{
    Matrix m{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                m[size_t(i * 3 + j)] += a[size_t(i * 3 + k)] * b[size_t(k * 3 + j)];
    return m;
}

Placement Place(const Pose& in_pose)
{
    const double p = in_pose.pitchDeg * kPi / 180, y = in_pose.yawDeg * kPi / 180,
                 r = in_pose.rollDeg * kPi / 180;
    const Matrix pitch = {1, 0, 0, 0, std::cos(p), -std::sin(p), 0, std::sin(p), std::cos(p)};
    const Matrix yaw = {std::cos(y), 0, std::sin(y), 0, 1, 0, -std::sin(y), 0, std::cos(y)};
    const Matrix roll = {std::cos(r), -std::sin(r), 0, std::sin(r), std::cos(r), 0, 0, 0, 1};
    Placement placement;
    placement.rotation = Multiply(Multiply(roll, yaw), pitch);
    const Matrix& R = placement.rotation;
    // The board's centre, seen from the middle between the eyes.
    const double centre[3] = {TestPatternScene::kBaselineMm / 2 +
                                  in_pose.across * in_pose.distanceMm,
                              in_pose.down * in_pose.distanceMm, in_pose.distanceMm};
    for (int i = 0; i < 3; ++i)
        placement.t[i] = centre[i] - R[size_t(i * 3)] * kCentreX - R[size_t(i * 3 + 1)] * kCentreY;
    return placement;
}

TestPatternPoint OnBoard(const Placement& in_placement, double in_x, double in_y)
{
    const Matrix& R = in_placement.rotation;
    const auto axis = [&](int i) {
        return (R[size_t(i * 3)] * in_x + R[size_t(i * 3 + 1)] * in_y + in_placement.t[i]) / 1000.0;
    };
    return {axis(0), axis(1), axis(2)};
}

// Whether the board's card lies wholly inside both ideal eyes at the layout size.
bool Inside(const Placement& in_placement)
{
    const TestPatternOptics optics(TestPatternRig(), TestPatternScene::kLayoutWidth,
                                   TestPatternScene::kLayoutHeight);
    for (const double x : {kLeftMm, kRightMm})
        for (const double y : {kTopMm, kBottomMm})
            for (int eye : {0, 1}) {
                double px = 0, py = 0;
                if (!optics.Project(eye, OnBoard(in_placement, x, y), px, py) || px < kInsidePx ||
                    py < kInsidePx || px > TestPatternScene::kLayoutWidth - kInsidePx ||
                    py > TestPatternScene::kLayoutHeight - kInsidePx)
                    return false;
            }
    return true;
}

Pose ChosenPose(uint64_t in_pose)
{
    Pose pose;
    pose.across = 0.45 * (2.0 * Halton(in_pose + 1, 2) - 1.0);
    pose.down = 0.4 * (2.0 * Halton(in_pose + 1, 3) - 1.0);
    pose.distanceMm = 450.0 + 450.0 * Fraction(in_pose, 0);
    // Tilted up to 28 degrees, about any axis across the board.
    const double tilt = 28.0 * std::sqrt(Fraction(in_pose, 1));
    const double towards = 2.0 * kPi * Fraction(in_pose, 2);
    pose.pitchDeg = tilt * std::cos(towards);
    pose.yawDeg = tilt * std::sin(towards);
    pose.rollDeg = 30.0 * Fraction(in_pose, 3) - 15.0;
    return pose;
}

// The pose with its centre pulled towards the middle, then further away, until the board fits.
Pose Fitted(uint64_t in_pose)
{
    Pose pose = ChosenPose(in_pose);
    for (int tries = 0; tries < 200 && !Inside(Place(pose)); ++tries) {
        if (std::hypot(pose.across, pose.down) > 0.01) {
            pose.across *= 0.85;
            pose.down *= 0.85;
        } else {
            pose.across = pose.down = 0.0;
            pose.distanceMm *= 1.05;
        }
    }
    return pose;
}

Placement PlacementAt(uint64_t in_frame)
{
    const uint64_t period = TestPatternChessboard::kHoldFrames + TestPatternChessboard::kMoveFrames;
    const uint64_t index = in_frame / period, into = in_frame % period;
    const Pose from = Fitted(index);
    if (into < TestPatternChessboard::kHoldFrames)
        return Place(from);
    // Eased in and out from one pose to the next.
    const Pose to = Fitted(index + 1);
    double t = double(into - TestPatternChessboard::kHoldFrames + 1) /
               double(TestPatternChessboard::kMoveFrames + 1);
    t = t * t * (3.0 - 2.0 * t);
    const auto mix = [t](double a, double b) { return a + (b - a) * t; };
    return Place({mix(from.across, to.across), mix(from.down, to.down),
                  mix(from.distanceMm, to.distanceMm), mix(from.pitchDeg, to.pitchDeg),
                  mix(from.yawDeg, to.yawDeg), mix(from.rollDeg, to.rollDeg)});
}

// The columns that the quadrilateral (in_x, in_y) covers between rows in_top and in_bottom join
// io_from..io_to.
void Join(const double (&in_x)[4], const double (&in_y)[4], double in_top, double in_bottom,
          double& io_from, double& io_to)
{
    for (int i = 0; i < 4; ++i) {
        const double x0 = in_x[i], y0 = in_y[i], x1 = in_x[(i + 1) % 4], y1 = in_y[(i + 1) % 4];
        double t0 = 0, t1 = 1;
        if (y0 == y1) {
            if (y0 < in_top || y0 > in_bottom)
                continue;
        } else {
            const double a = (in_top - y0) / (y1 - y0), b = (in_bottom - y0) / (y1 - y0);
            t0 = std::max(t0, std::min(a, b));
            t1 = std::min(t1, std::max(a, b));
            if (t0 > t1)
                continue;
        }
        for (const double t : {t0, t1}) {
            io_from = std::min(io_from, x0 + (x1 - x0) * t);
            io_to = std::max(io_to, x0 + (x1 - x0) * t);
        }
    }
}

} // namespace

uint64_t TestPatternChessboard::StillFrame(uint64_t in_pose)
{
    return in_pose * (kHoldFrames + kMoveFrames) + kHoldFrames / 2;
}

TestPatternPoint TestPatternChessboard::Corner(uint64_t in_frame, int in_column, int in_row)
{
    return OnBoard(PlacementAt(in_frame), in_column * kSquareMm, in_row * kSquareMm);
}

void TestPatternChessboard::Draw(uint64_t in_frame, int in_eye, const TestPatternOptics& in_optics,
                                 int in_width, int in_height, uint8_t* io_rgb, size_t in_rowBytes)
{
    const Placement placement = PlacementAt(in_frame);
    const Matrix& R = placement.rotation;
    // Board millimetres to the ideal eye's pixels: K [r1 r2 t], then inverted.
    const double f = in_optics.focal(), cx = in_optics.centreX(in_eye), cy = in_optics.centreY();
    const double tx = placement.t[0] - (in_eye == 1 ? TestPatternScene::kBaselineMm : 0.0);
    const Matrix h = {f * R[0] + cx * R[6],
                      f * R[1] + cx * R[7],
                      f * tx + cx * placement.t[2],
                      f * R[3] + cy * R[6],
                      f * R[4] + cy * R[7],
                      f * placement.t[1] + cy * placement.t[2],
                      R[6],
                      R[7],
                      placement.t[2]};
    const double det = h[0] * (h[4] * h[8] - h[5] * h[7]) - h[1] * (h[3] * h[8] - h[5] * h[6]) +
                       h[2] * (h[3] * h[7] - h[4] * h[6]);
    if (!(std::abs(det) > 0))
        return;
    const Matrix inverse = {(h[4] * h[8] - h[5] * h[7]) / det, (h[2] * h[7] - h[1] * h[8]) / det,
                            (h[1] * h[5] - h[2] * h[4]) / det, (h[5] * h[6] - h[3] * h[8]) / det,
                            (h[0] * h[8] - h[2] * h[6]) / det, (h[2] * h[3] - h[0] * h[5]) / det,
                            (h[3] * h[7] - h[4] * h[6]) / det, (h[1] * h[6] - h[0] * h[7]) / det,
                            (h[0] * h[4] - h[1] * h[3]) / det};
    // w is 1 / depth: a ray that meets the plane behind the eye sees nothing of it.
    const auto region = [&](double in_x, double in_y) {
        const double w = inverse[6] * in_x + inverse[7] * in_y + inverse[8];
        if (!(w > 0))
            return uint8_t(kNothing);
        const double depth = 1.0 / w;
        return RegionAt((inverse[0] * in_x + inverse[1] * in_y + inverse[2]) * depth,
                        (inverse[3] * in_x + inverse[4] * in_y + inverse[5]) * depth);
    };
    // Only the columns where card or hand may be: the two quadrilaterals' spans, row by row.
    const double outlines[2][4][2] = {
        {{kLeftMm, kTopMm}, {kRightMm, kTopMm}, {kRightMm, kBottomMm}, {kLeftMm, kBottomMm}},
        {{kPalmLeft, kBottomMm},
         {kPalmRight, kBottomMm},
         {kPalmRight, kArmBottom},
         {kPalmLeft, kArmBottom}}};
    double cornersX[2][4], cornersY[2][4];
    bool everywhere = false;
    for (int q = 0; q < 2; ++q)
        for (int i = 0; i < 4; ++i) {
            const double u = outlines[q][i][0], v = outlines[q][i][1];
            const double w = h[6] * u + h[7] * v + h[8];
            everywhere = everywhere || !(w > 0);
            cornersX[q][i] = (h[0] * u + h[1] * v + h[2]) / w;
            cornersY[q][i] = (h[3] * u + h[4] * v + h[5]) / w;
        }
    // The pixels of row y that card or hand may cover; none when first > last.
    const auto span = [&](int y, int& first, int& last) {
        double from = everywhere ? 0 : INFINITY, to = everywhere ? in_width : -INFINITY;
        for (int q = 0; q < 2 && !everywhere; ++q)
            Join(cornersX[q], cornersY[q], y - 0.5, y + 0.5, from, to);
        if (!(from <= to)) {
            first = in_width;
            last = -1;
            return;
        }
        // Clamped first: a corner near the eye's plane lies far beyond any int.
        from = std::clamp(from, -2.0, in_width + 2.0);
        to = std::clamp(to, -2.0, in_width + 2.0);
        first = std::max(0, int(std::floor(from)) - 1);
        last = std::min(in_width - 1, int(std::ceil(to)) + 1);
    };
    // Regions at the pixels' corners, the row above and the row below; a row's lower corners
    // are the next row's upper ones, worked out for both rows' spans.
    mRegions.resize(size_t(in_width + 1) * 2);
    uint8_t* above = mRegions.data();
    uint8_t* below = above + in_width + 1;
    int first = 0, last = -1, nextFirst = 0, nextLast = -1, aboveFirst = 0, aboveLast = -1;
    span(0, nextFirst, nextLast);
    for (int y = 0; y < in_height; ++y) {
        first = nextFirst;
        last = nextLast;
        if (y + 1 < in_height)
            span(y + 1, nextFirst, nextLast);
        if (first > last) {
            aboveFirst = in_width + 1;
            aboveLast = -1;
            continue;
        }
        if (aboveFirst > first || aboveLast < last + 1)
            for (int x = first; x <= last + 1; ++x)
                above[x] = region(x - 0.5, y - 0.5);
        aboveFirst = std::min(first, nextFirst);
        aboveLast = std::max(last, nextLast) + 1;
        for (int x = aboveFirst; x <= aboveLast; ++x)
            below[x] = region(x - 0.5, y + 0.5);
        uint8_t* row = io_rgb + size_t(y) * in_rowBytes;
        for (int x = first; x <= last; ++x) {
            const uint8_t corner = above[x];
            uint8_t* pixel = row + size_t(x) * 3;
            if (corner == above[x + 1] && corner == below[x] && corner == below[x + 1]) {
                if (corner != kNothing)
                    std::copy(Colour(corner), Colour(corner) + 3, pixel);
                continue;
            }
            int sum[3] = {};
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const uint8_t at =
                        region(x - 0.5 + (sx + 0.5) / kSamples, y - 0.5 + (sy + 0.5) / kSamples);
                    const uint8_t* colour = at == kNothing ? pixel : Colour(at);
                    for (int c = 0; c < 3; ++c)
                        sum[c] += colour[c];
                }
            for (int c = 0; c < 3; ++c)
                pixel[c] = uint8_t((sum[c] + kSamples * kSamples / 2) / (kSamples * kSamples));
        }
        std::swap(above, below);
    }
}
