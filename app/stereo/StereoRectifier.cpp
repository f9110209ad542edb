#include "StereoRectifier.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Larger frames are refused rather than given maps of gigabytes.
constexpr int kLargestSide = 8192;
// An area both eyes share that needs more than this zoom to fill the frame is not a rig's.
constexpr double kLargestZoom = 4.0;
// A map may reach this far past the frame's outer pixel centres: the fixed-point maps round it
// onto them (1/32 of a pixel), so no border colour bleeds in.
constexpr double kEdgeSlack = 0.01;
// undistortPoints' default five steps miss a strong lens's corners by a pixel or more.
const cv::TermCriteria kExact(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-10);

template <size_t N> cv::Mat Matrix(const std::array<double, N>& values, int rows, int columns)
{
    return cv::Mat(rows, columns, CV_64F, const_cast<double*>(values.data())).clone();
}

// The frame's border, every pixel centre round it once, as CV_64FC2.
cv::Mat Border(int width, int height)
{
    std::vector<cv::Point2d> points;
    for (int x = 0; x < width; ++x) {
        points.emplace_back(x, 0);
        points.emplace_back(x, height - 1);
    }
    for (int y = 1; y + 1 < height; ++y) {
        points.emplace_back(0, y);
        points.emplace_back(width - 1, y);
    }
    return cv::Mat(points, true);
}

} // namespace

struct StereoRectifier::Maps
{
    // Per eye: the lens, its rectifying rotation, the cropped projection (3x3), and the remap
    // tables in fixed point.
    cv::Mat M[2], D[2], R[2], P[2];
    cv::Mat map1[2], map2[2];
};

StereoRectifier::StereoRectifier() = default;
StereoRectifier::~StereoRectifier() = default;

bool StereoRectifier::Prepare(const StereoCalibration& calibration, int width, int height,
                              std::string& out_reason)
{
    mMaps.reset();
    if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) {
        out_reason = "no frame of " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (calibration.image_width <= 0 || calibration.image_height <= 0) {
        out_reason = "the calibration has no frame size";
        return false;
    }
    const StereoCalibration rig = calibration.scaled(width, height);
    auto maps = std::make_unique<Maps>();
    try {
        const std::array<double, 9>* lenses[2] = {&rig.M1, &rig.M2};
        const std::vector<double>* distortions[2] = {&rig.D1, &rig.D2};
        const std::array<double, 9>* rotations[2] = {&rig.R1, &rig.R2};
        const std::array<double, 12>* projections[2] = {&rig.P1, &rig.P2};
        // The area of each eye's rectified frame that its camera sees, bounded by its frame's
        // border seen through the rectification; then the rectangle inside both.
        double left = -INFINITY, right = INFINITY, top = -INFINITY, bottom = INFINITY;
        const cv::Mat border = Border(width, height);
        for (int eye = 0; eye < 2; ++eye) {
            maps->M[eye] = Matrix(*lenses[eye], 3, 3);
            // No coefficients: a lens without distortion.
            if (!distortions[eye]->empty())
                maps->D[eye] = cv::Mat(*distortions[eye], true).reshape(1, 1);
            maps->R[eye] = Matrix(*rotations[eye], 3, 3);
            maps->P[eye] = Matrix(*projections[eye], 3, 4).colRange(0, 3).clone();
            cv::Mat seen;
            cv::undistortPoints(border, seen, maps->M[eye], maps->D[eye], maps->R[eye],
                                maps->P[eye], kExact);
            if (!cv::checkRange(seen)) {
                out_reason = "the calibration does not rectify its frame";
                return false;
            }
            for (int i = 0; i < border.rows; ++i) {
                const cv::Point2d from = border.at<cv::Point2d>(i), to = seen.at<cv::Point2d>(i);
                if (from.x == 0)
                    left = std::max(left, to.x);
                if (from.x == width - 1)
                    right = std::min(right, to.x);
                if (from.y == 0)
                    top = std::max(top, to.y);
                if (from.y == height - 1)
                    bottom = std::min(bottom, to.y);
            }
        }
        if (!(left < right && top < bottom)) {
            out_reason = "the eyes have nothing in common once rectified";
            return false;
        }
        // One zoom across and down, the same for both eyes, so rows stay rows and disparities
        // stay proportional; the shared area centred and filling the frame.
        const double zoom = std::max((width - 1) / (right - left), (height - 1) / (bottom - top));
        if (zoom > kLargestZoom) {
            out_reason = "the eyes share less than a quarter of the frame once rectified";
            return false;
        }
        const cv::Matx33d crop(zoom, 0, (width - 1) / 2.0 - zoom * (left + right) / 2, 0, zoom,
                               (height - 1) / 2.0 - zoom * (top + bottom) / 2, 0, 0, 1);
        for (int eye = 0; eye < 2; ++eye) {
            maps->P[eye] = cv::Mat(crop) * maps->P[eye];
            cv::Mat mapX, mapY;
            cv::initUndistortRectifyMap(maps->M[eye], maps->D[eye], maps->R[eye], maps->P[eye],
                                        cv::Size(width, height), CV_32FC1, mapX, mapY);
            // A lens whose border folds over itself escapes the rectangle: refused, not shown
            // with a wedge.
            if (!cv::checkRange(mapX, true, nullptr, -kEdgeSlack, width - 1 + kEdgeSlack) ||
                !cv::checkRange(mapY, true, nullptr, -kEdgeSlack, height - 1 + kEdgeSlack)) {
                out_reason = "the calibration's rectified frame leaves the camera's";
                return false;
            }
            cv::convertMaps(mapX, mapY, maps->map1[eye], maps->map2[eye], CV_16SC2);
        }
    } catch (const cv::Exception& e) {
        out_reason = "the calibration makes no maps: " + e.err;
        return false;
    }
    mMaps = std::move(maps);
    mWidth = width;
    mHeight = height;
    return true;
}

bool StereoRectifier::Rectify(int eye, const ArgbView& src, uint8_t* dst, size_t dstRowBytes) const
{
    const size_t rowBytes = size_t(mWidth) * 4;
    if (!mMaps || (eye != 0 && eye != 1) || src.pixels == nullptr || src.width != mWidth ||
        src.height != mHeight || src.rowBytes < rowBytes || dst == nullptr ||
        dstRowBytes < rowBytes)
        return false;
    // Each output pixel reads around its source: the two may not share memory.
    const uint8_t* srcEnd = src.pixels + src.rowBytes * size_t(mHeight - 1) + rowBytes;
    const uint8_t* dstEnd = dst + dstRowBytes * size_t(mHeight - 1) + rowBytes;
    if (std::less<const uint8_t*>()(src.pixels, dstEnd) && std::less<const uint8_t*>()(dst, srcEnd))
        return false;
    const cv::Mat in(mHeight, mWidth, CV_8UC4, const_cast<uint8_t*>(src.pixels), src.rowBytes);
    cv::Mat out(mHeight, mWidth, CV_8UC4, dst, dstRowBytes);
    try {
        // A is the first byte: the border is opaque black.
        cv::remap(in, out, mMaps->map1[eye], mMaps->map2[eye], cv::INTER_LINEAR,
                  cv::BORDER_CONSTANT, cv::Scalar(255, 0, 0, 0));
    } catch (const cv::Exception&) {
        return false;
    }
    return true;
}

bool StereoRectifier::RectifyPoint(int eye, double x, double y, double& out_x, double& out_y) const
{
    if (!mMaps || (eye != 0 && eye != 1) || !std::isfinite(x) || !std::isfinite(y))
        return false;
    try {
        cv::Vec2d from(x, y), to;
        cv::Mat toPoint(1, 1, CV_64FC2, to.val);
        cv::undistortPoints(cv::Mat(1, 1, CV_64FC2, from.val), toPoint, mMaps->M[eye],
                            mMaps->D[eye], mMaps->R[eye], mMaps->P[eye], kExact);
        if (!std::isfinite(to[0]) || !std::isfinite(to[1]))
            return false;
        out_x = to[0];
        out_y = to[1];
    } catch (const cv::Exception&) {
        return false;
    }
    return true;
}
