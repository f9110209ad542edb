#include "EyeAligner.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>

namespace {

constexpr int kFeatures = 1500;
// Matches whose second best is not this much further are ambiguous (repeated texture).
constexpr float kRatio = 0.8f;
constexpr int kIterations = 500;
constexpr double kInlierPx = 1.0;
// A rig's eyes differ by a few percent and degrees; more is a mismatch, not a rig.
constexpr double kLargestScaleChange = 0.25, kLargestRollDeg = 20.0;

// Smaller pictures hold too few features to fit anything.
bool LargeEnough(const ArgbView& view)
{
    return IsPicture(view) && view.width >= 32 && view.height >= 32;
}

void Grey(const ArgbView& view, cv::Mat& out)
{
    out.create(view.height, view.width, CV_8U);
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* p = view.pixels + view.rowBytes * size_t(y);
        uint8_t* q = out.ptr<uint8_t>(y);
        for (int x = 0; x < view.width; ++x, p += 4)
            q[x] = uint8_t((p[1] * 77 + p[2] * 150 + p[3] * 29) >> 8);
    }
}

// y_L = a x_R + b y_R + c through the given matches, least squares; false when they do not fix it.
bool Solve(const std::vector<cv::Point2d> (&points)[2], const std::vector<int>& use, cv::Vec3d& out)
{
    cv::Matx33d normal = cv::Matx33d::zeros();
    cv::Vec3d rhs(0, 0, 0);
    for (const int i : use) {
        const cv::Vec3d row(points[1][size_t(i)].x, points[1][size_t(i)].y, 1);
        normal += row * row.t();
        rhs += row * points[0][size_t(i)].y;
    }
    return cv::solve(normal, rhs, out, cv::DECOMP_CHOLESKY) && cv::checkRange(out);
}

void Inliers(const std::vector<cv::Point2d> (&points)[2], const cv::Vec3d& model,
             std::vector<int>& out)
{
    out.clear();
    for (size_t i = 0; i < points[0].size(); ++i)
        if (std::abs(model[0] * points[1][i].x + model[1] * points[1][i].y + model[2] -
                     points[0][i].y) <= kInlierPx)
            out.push_back(int(i));
}

double Spread(const std::vector<cv::Point2d>& points, const std::vector<int>& use, bool across)
{
    double sum = 0, squares = 0;
    for (const int i : use) {
        const double v = across ? points[size_t(i)].x : points[size_t(i)].y;
        sum += v;
        squares += v * v;
    }
    const double mean = sum / double(use.size());
    return std::sqrt(std::max(0.0, squares / double(use.size()) - mean * mean));
}

// Median and largest of |row apart| under an alignment.
void Errors(const std::vector<cv::Point2d> (&points)[2], const std::vector<int>& use,
            const EyeAlignment& alignment, std::vector<double>& scratch, double& out_median,
            double& out_max)
{
    scratch.clear();
    for (const int i : use) {
        double y[2];
        for (int eye = 0; eye < 2; ++eye) {
            const cv::Matx33d h(alignment.H[eye].data());
            const cv::Vec3d p =
                h * cv::Vec3d(points[eye][size_t(i)].x, points[eye][size_t(i)].y, 1);
            y[eye] = p[1] / p[2];
        }
        scratch.push_back(std::abs(y[0] - y[1]));
    }
    std::sort(scratch.begin(), scratch.end());
    out_median = scratch.empty() ? 0.0 : scratch[scratch.size() / 2];
    out_max = scratch.empty() ? 0.0 : scratch.back();
}

// The right eye's similarity, its roll kept whole, the scale and the offset shared with the left.
EyeAlignment Split(const cv::Vec3d& model, int width, int height)
{
    const double a = model[0], b = model[1], c = model[2];
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    const cv::Matx33d similarity(b, -a, cx - b * cx + a * cy, a, b, c, 0, 0, 1);
    const double scale = std::sqrt(a * a + b * b);
    const double g = 1.0 / std::sqrt(scale);
    const double offset = c - cy + a * cx + b * cy; // where the centre's row goes
    const cv::Matx33d left(g, 0, cx * (1 - g), 0, g, cy * (1 - g) - g * offset / 2, 0, 0, 1);
    const cv::Matx33d right = left * similarity;
    EyeAlignment alignment = EyeAlignment::Identity(width, height);
    std::copy(left.val, left.val + 9, alignment.H[0].begin()); // affine: H[8] is 1 already
    std::copy(right.val, right.val + 9, alignment.H[1].begin());
    return alignment;
}

} // namespace

struct EyeAligner::Buffers
{
    cv::Ptr<cv::ORB> orb =
        cv::ORB::create(kFeatures, 1.2f, 8, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31, 12);
    cv::Mat grey[2], descriptors[2];
    std::vector<cv::KeyPoint> keypoints[2];
    cv::BFMatcher matcher{cv::NORM_HAMMING};
    std::vector<std::vector<cv::DMatch>> forward, backward;
    std::vector<cv::Point2d> points[2];
    std::vector<int> sample, inliers, best;
    std::vector<double> errors;
};

EyeAligner::EyeAligner() : mBuffers(std::make_unique<Buffers>()) {}
EyeAligner::~EyeAligner() = default;

bool EyeAligner::Fit(const ArgbView& left, const ArgbView& right,
                     const StereoCalibration* calibration, const EyeAlignment* applied,
                     EyeAlignmentFit& out, std::string& out_reason)
{
    if (!LargeEnough(left) || !LargeEnough(right) || left.width != right.width ||
        left.height != right.height) {
        out_reason = "the eyes are not two pictures of one size";
        return false;
    }
    const int width = left.width, height = left.height;
    Buffers& b = *mBuffers;
    EyeAlignmentFit fit;
    try {
        for (int eye = 0; eye < 2; ++eye) {
            Grey(eye == 0 ? left : right, b.grey[eye]);
            b.orb->detectAndCompute(b.grey[eye], cv::noArray(), b.keypoints[eye],
                                    b.descriptors[eye]);
            fit.features[eye] = int(b.keypoints[eye].size());
        }
        if (std::min(fit.features[0], fit.features[1]) < kMinimumInliers) {
            out_reason = kNotEnoughDetail;
            return false;
        }
        // Left to right with the ratio test, kept only where right to left agrees.
        // knnMatch appends to what the vectors hold.
        b.forward.clear();
        b.backward.clear();
        b.matcher.knnMatch(b.descriptors[0], b.descriptors[1], b.forward, 2);
        b.matcher.knnMatch(b.descriptors[1], b.descriptors[0], b.backward, 1);
        for (std::vector<cv::Point2d>& p : b.points)
            p.clear();
        for (const std::vector<cv::DMatch>& pair : b.forward) {
            if (pair.size() < 2 || pair[0].distance >= kRatio * pair[1].distance)
                continue;
            const std::vector<cv::DMatch>& back = b.backward[size_t(pair[0].trainIdx)];
            if (back.empty() || back[0].trainIdx != pair[0].queryIdx)
                continue;
            b.points[0].push_back(b.keypoints[0][size_t(pair[0].queryIdx)].pt);
            b.points[1].push_back(b.keypoints[1][size_t(pair[0].trainIdx)].pt);
        }
        fit.matches = int(b.points[0].size());
        if (fit.matches < kMinimumInliers) {
            out_reason = kNotEnoughDetail;
            return false;
        }
        // Through the pair's calibration: the rows are fitted where it puts them, uncropped.
        if (calibration) {
            const StereoCalibration rig = calibration->scaled(width, height);
            const std::array<double, 9>* lenses[2] = {&rig.M1, &rig.M2};
            const std::vector<double>* distortions[2] = {&rig.D1, &rig.D2};
            const std::array<double, 9>* rotations[2] = {&rig.R1, &rig.R2};
            const std::array<double, 12>* projections[2] = {&rig.P1, &rig.P2};
            for (int eye = 0; eye < 2; ++eye) {
                const std::array<double, 12>& p = *projections[eye];
                const cv::Matx33d k(p[0], p[1], p[2], p[4], p[5], p[6], p[8], p[9], p[10]);
                cv::undistortPoints(b.points[eye], b.points[eye], cv::Matx33d(lenses[eye]->data()),
                                    *distortions[eye], cv::Matx33d(rotations[eye]->data()), k);
            }
        }
    } catch (const cv::Exception& e) {
        out_reason = "the features cannot be matched: " + e.err;
        return false;
    }

    // RANSAC over triples, on a fixed seed: the same pair gives the same fit.
    cv::RNG rng(0x5eed);
    cv::Vec3d model, best;
    b.best.clear();
    for (int i = 0; i < kIterations; ++i) {
        b.sample.assign({rng.uniform(0, fit.matches), rng.uniform(0, fit.matches),
                         rng.uniform(0, fit.matches)});
        if (!Solve(b.points, b.sample, model))
            continue;
        Inliers(b.points, model, b.inliers);
        if (b.inliers.size() > b.best.size()) {
            b.best.swap(b.inliers);
            best = model;
        }
    }
    // Refined on all that agree, twice: the set grows as the model settles.
    for (int round = 0; round < 2 && b.best.size() >= size_t(kMinimumInliers); ++round) {
        if (!Solve(b.points, b.best, model))
            break;
        best = model;
        Inliers(b.points, best, b.best);
    }
    fit.inliers = int(b.best.size());
    // Inliers in a band, or a handful, fix neither roll nor scale.
    if (fit.inliers < kMinimumInliers || Spread(b.points[1], b.best, true) < width * 0.05 ||
        Spread(b.points[1], b.best, false) < height * 0.05) {
        out_reason = kNotEnoughDetail;
        return false;
    }
    fit.scale = std::hypot(best[0], best[1]);
    fit.rollDeg = std::atan2(best[0], best[1]) * 180.0 / M_PI;
    fit.verticalPx =
        best[2] - (height - 1) / 2.0 + best[0] * (width - 1) / 2.0 + best[1] * (height - 1) / 2.0;
    if (std::abs(fit.scale - 1.0) > kLargestScaleChange ||
        std::abs(fit.rollDeg) > kLargestRollDeg) {
        out_reason = "the eyes do not see the same scene";
        return false;
    }
    fit.alignment = Split(best, width, height);
    Errors(b.points, b.best, fit.alignment, b.errors, fit.medianErrorPx, fit.maxErrorPx);
    if (applied)
        Errors(b.points, b.best, applied->scaled(width, height), b.errors, fit.appliedMedianErrorPx,
               fit.appliedMaxErrorPx);
    out = fit;
    return true;
}
