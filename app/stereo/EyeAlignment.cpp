#include "EyeAlignment.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>

namespace {

cv::Matx33d Mat(const std::array<double, 9>& values)
{
    return cv::Matx33d(values.data());
}

std::array<double, 9> Values(const cv::Matx33d& m)
{
    std::array<double, 9> out;
    const cv::Matx33d normal = m * (1.0 / m(2, 2));
    std::copy(normal.val, normal.val + 9, out.begin());
    return out;
}

// A pinhole of the frame: focal length its width, centred. Any would do, as R = K⁻¹ H K is taken
// back through the same K; this one keeps R near a rotation.
cv::Matx33d Camera(int width, int height)
{
    return cv::Matx33d(width, 0, (width - 1) / 2.0, 0, width, (height - 1) / 2.0, 0, 0, 1);
}

cv::Matx33d Scale(double sx, double sy)
{
    return cv::Matx33d(sx, 0, 0, 0, sy, 0, 0, 0, 1);
}

double RowOf(const cv::Matx33d& h, double x, double y)
{
    const cv::Vec3d p = h * cv::Vec3d(x, y, 1);
    return p[1] / p[2];
}

} // namespace

EyeAlignment EyeAlignment::Identity(int width, int height)
{
    EyeAlignment identity;
    identity.width = width;
    identity.height = height;
    return identity;
}

EyeAlignment EyeAlignment::scaled(int toWidth, int toHeight) const
{
    if (toWidth <= 0 || toHeight <= 0 || width <= 0 || height <= 0)
        return *this;
    const cv::Matx33d s = Scale(double(toWidth) / width, double(toHeight) / height);
    EyeAlignment result = *this;
    for (int eye = 0; eye < 2; ++eye)
        result.H[eye] = Values(s * Mat(H[eye]) * s.inv());
    result.width = toWidth;
    result.height = toHeight;
    return result;
}

StereoCalibration EyeAlignment::ToCalibration() const
{
    StereoCalibration calibration;
    calibration.image_width = width;
    calibration.image_height = height;
    const cv::Matx33d k = Camera(width, height);
    std::copy(k.val, k.val + 9, calibration.M1.begin());
    calibration.M2 = calibration.M1;
    calibration.D1.assign(5, 0.0);
    calibration.D2.assign(5, 0.0);
    calibration.R = kIdentity;
    std::array<double, 9>* rotations[2] = {&calibration.R1, &calibration.R2};
    std::array<double, 12>* projections[2] = {&calibration.P1, &calibration.P2};
    for (int eye = 0; eye < 2; ++eye) {
        const cv::Matx33d r = k.inv() * Mat(H[eye]) * k;
        std::copy(r.val, r.val + 9, rotations[eye]->begin());
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                (*projections[eye])[size_t(row * 4 + column)] = k(row, column);
    }
    // Pixels to rays, the depth row zero: no baseline, so no distance.
    calibration.Q = {1, 0, 0, -k(0, 2), 0, 1, 0, -k(1, 2), 0, 0, 0, k(0, 0), 0, 0, 0, 0};
    return calibration;
}

bool EyeAlignment::FromCalibration(const StereoCalibration& calibration, EyeAlignment& out,
                                   std::string& out_reason)
{
    const auto zero = [](double value) { return value == 0.0; };
    if (calibration.image_width <= 0 || calibration.image_height <= 0 ||
        !std::all_of(calibration.D1.begin(), calibration.D1.end(), zero) ||
        !std::all_of(calibration.D2.begin(), calibration.D2.end(), zero) ||
        !std::all_of(calibration.T.begin(), calibration.T.end(), zero) ||
        calibration.M1 != calibration.M2) {
        out_reason = "not an eye alignment: it has a lens or a baseline";
        return false;
    }
    const cv::Matx33d k = Mat(calibration.M1);
    if (std::abs(cv::determinant(k)) < 1e-9) {
        out_reason = "not an eye alignment: its camera matrix is singular";
        return false;
    }
    EyeAlignment alignment;
    alignment.width = calibration.image_width;
    alignment.height = calibration.image_height;
    const std::array<double, 9>* rotations[2] = {&calibration.R1, &calibration.R2};
    for (int eye = 0; eye < 2; ++eye) {
        const cv::Matx33d h = k * Mat(*rotations[eye]) * k.inv();
        if (std::abs(h(2, 2)) < 1e-9) {
            out_reason = "not an eye alignment: an eye's homography is degenerate";
            return false;
        }
        alignment.H[eye] = Values(h);
    }
    out = alignment;
    return true;
}

StereoCalibration EyeAlignment::ComposedWith(const StereoCalibration* calibration) const
{
    if (!calibration)
        return ToCalibration();
    StereoCalibration composed = *calibration;
    const EyeAlignment at = scaled(calibration->image_width, calibration->image_height);
    std::array<double, 9>* rotations[2] = {&composed.R1, &composed.R2};
    const std::array<double, 12>* projections[2] = {&calibration->P1, &calibration->P2};
    for (int eye = 0; eye < 2; ++eye) {
        const std::array<double, 12>& p = *projections[eye];
        const cv::Matx33d k(p[0], p[1], p[2], p[4], p[5], p[6], p[8], p[9], p[10]);
        const cv::Matx33d r = k.inv() * Mat(at.H[eye]) * k * Mat(*rotations[eye]);
        std::copy(r.val, r.val + 9, rotations[eye]->begin());
    }
    return composed;
}

double EyeAlignment::VerticalChange(const EyeAlignment& other) const
{
    const EyeAlignment there = other.scaled(width, height);
    const double right = width - 1, bottom = height - 1;
    const double border[8][2] = {
        {0, 0},          {right / 2, 0},      {right, 0},  {right, bottom / 2},
        {right, bottom}, {right / 2, bottom}, {0, bottom}, {0, bottom / 2}};
    double most = 0;
    for (int eye = 0; eye < 2; ++eye)
        for (const auto& point : border)
            most = std::max(most, std::abs(RowOf(Mat(H[eye]), point[0], point[1]) -
                                           RowOf(Mat(there.H[eye]), point[0], point[1])));
    return most;
}

EyeAlignment EyeAlignment::StepToward(const EyeAlignment& target, double maxPx) const
{
    const EyeAlignment to = target.scaled(width, height);
    const double change = VerticalChange(to);
    if (change <= maxPx || !(maxPx > 0))
        return change <= maxPx ? to : *this;
    // The homographies are blended; a row moves nearly in proportion, and what overshoots is
    // cut back.
    for (double t = maxPx / change; t > 1e-6; t *= 0.9) {
        EyeAlignment step = *this;
        for (int eye = 0; eye < 2; ++eye)
            step.H[eye] = Values(Mat(H[eye]) * (1 - t) + Mat(to.H[eye]) * t);
        if (VerticalChange(step) <= maxPx)
            return step;
    }
    return *this;
}
