#include "RigPictures.h"

#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace p3dtest {

namespace {

constexpr double kSquareMm = 25.0;
constexpr double kTexelsPerMm = 2.0;
constexpr double kPi = 3.14159265358979323846;

// The board printed on white paper with a square's margin: 10 x 7 squares, its first inner
// corner at the origin of board millimetres.
cv::Mat BoardTexture()
{
    const int squarePx = int(kSquareMm * kTexelsPerMm);
    cv::Mat texture(squarePx * 9, squarePx * 12, CV_8U, cv::Scalar(255));
    for (int row = 0; row < 7; ++row)
        for (int column = 0; column < 10; ++column)
            if ((row + column) % 2 == 0)
                texture(cv::Rect((column + 1) * squarePx, (row + 1) * squarePx, squarePx, squarePx))
                    .setTo(0);
    return texture;
}

struct Eye
{
    cv::Matx33d K;
    cv::Matx<double, 1, 5> D;
    cv::Matx33d R; // from the left camera's frame
    cv::Vec3d T;
};

// Each pixel's ray as normalized undistorted coordinates; the same for every pose.
cv::Mat Rays(const Eye& eye)
{
    std::vector<cv::Point2f> pixels;
    for (int y = 0; y < RigPictures::kHeight; ++y)
        for (int x = 0; x < RigPictures::kWidth; ++x)
            pixels.emplace_back(float(x), float(y));
    cv::Mat rays;
    cv::undistortPoints(pixels, rays, eye.K, eye.D, cv::noArray(), cv::noArray(),
                        cv::TermCriteria(cv::TermCriteria::COUNT, 20, 0));
    return rays.reshape(2, RigPictures::kHeight);
}

// The picture of the board at pose (board to left camera) through eye.
cv::Mat Picture(const cv::Mat& texture, const cv::Mat& rays, const Eye& eye,
                const cv::Matx33d& boardR, const cv::Vec3d& boardT)
{
    const cv::Matx33d R = eye.R * boardR;
    const cv::Vec3d T = eye.R * boardT + eye.T;
    // Board millimetres to normalized coordinates, then back: the ray meets the board there.
    const cv::Matx33d H(R(0, 0), R(0, 1), T[0], R(1, 0), R(1, 1), T[1], R(2, 0), R(2, 1), T[2]);
    const double origin = 2.0 * kSquareMm * kTexelsPerMm;
    const cv::Matx33d toTexture(kTexelsPerMm, 0, origin, 0, kTexelsPerMm, origin, 0, 0, 1);
    cv::Mat map;
    cv::perspectiveTransform(rays, map, cv::Mat(toTexture * H.inv()));
    cv::Mat picture;
    cv::remap(texture, picture, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
              cv::Scalar(150));
    return picture;
}

cv::Matx33d Rotation(double xDegrees, double yDegrees, double zDegrees)
{
    cv::Matx33d R;
    cv::Rodrigues(cv::Vec3d(xDegrees, yDegrees, zDegrees) * (kPi / 180.0), R);
    return R;
}

// Calls out with each picture in turn: left, right, left, ...
template <typename Out> void Render(int count, Out out)
{
    const double f = 600.0;
    const cv::Matx<double, 1, 5> distortion(-0.1, 0, 0, 0, 0);
    const Eye left{cv::Matx33d(f, 0, 320, 0, f, 240, 0, 0, 1), distortion, cv::Matx33d::eye(),
                   cv::Vec3d(0, 0, 0)};
    const Eye right{cv::Matx33d(f * 1.03, 0, 322, 0, f * 1.03, 246, 0, 0, 1), distortion,
                    Rotation(0, 0, 1.5), cv::Vec3d(-RigPictures::kBaselineMm, 0, 0)};
    const cv::Mat texture = BoardTexture();
    const cv::Mat leftRays = Rays(left), rightRays = Rays(right);
    for (int i = 0; i < count; ++i) {
        // Tilts, turns and distances that differ view to view; the board's centre near the
        // middle of both pictures.
        const double a = 2.0 * kPi * i / count;
        const cv::Matx33d boardR =
            Rotation(25.0 * std::sin(a), 25.0 * std::cos(1.3 * a), 10.0 * std::sin(2.0 * a));
        const double distance = 520.0 + 80.0 * std::cos(a);
        const cv::Vec3d centre(100.0 + 30.0 * std::sin(a), 62.5 + 20.0 * std::cos(a), 0.0);
        const cv::Vec3d boardT = cv::Vec3d(30.0, 0.0, distance) - boardR * centre;
        out(i, "left", Picture(texture, leftRays, left, boardR, boardT));
        out(i, "right", Picture(texture, rightRays, right, boardR, boardT));
    }
}

} // namespace

std::vector<std::string> RigPictures::Write(const std::string& folder, int count)
{
    std::vector<std::string> paths;
    Render(count, [&](int i, const char* name, const cv::Mat& picture) {
        paths.push_back(folder + "/" + name + "-" + std::to_string(i + 1) + ".png");
        cv::imwrite(paths.back(), picture);
    });
    return paths;
}

std::vector<std::vector<uint8_t>> RigPictures::Grey(int count)
{
    std::vector<std::vector<uint8_t>> pictures;
    Render(count, [&](int, const char*, const cv::Mat& picture) {
        pictures.emplace_back(picture.datastart, picture.dataend);
    });
    return pictures;
}

} // namespace p3dtest
