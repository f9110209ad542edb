#include "StereoCalibrator.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <unistd.h>

namespace {

std::string SizeText(const cv::Size& size)
{
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

cv::Mat WrapCorners(const std::vector<float>& corners)
{
    return cv::Mat(int(corners.size() / 2), 1, CV_32FC2, const_cast<float*>(corners.data()));
}

double MeanVerticalError(const std::vector<std::vector<float>>& left,
                         const std::vector<std::vector<float>>& right, const cv::Mat& M1,
                         const cv::Mat& D1, const cv::Mat& R1, const cv::Mat& P1, const cv::Mat& M2,
                         const cv::Mat& D2, const cv::Mat& R2, const cv::Mat& P2)
{
    double sum = 0.0;
    size_t count = 0;
    for (size_t view = 0; view < left.size(); ++view) {
        std::vector<cv::Point2f> l, r;
        cv::undistortPoints(WrapCorners(left[view]), l, M1, D1, R1, P1);
        cv::undistortPoints(WrapCorners(right[view]), r, M2, D2, R2, P2);
        for (size_t i = 0; i < l.size(); ++i)
            sum += std::abs(l[i].y - r[i].y);
        count += l.size();
    }
    return count == 0 ? 0.0 : sum / double(count);
}

template <size_t N> void Copy(const cv::Mat& matrix, std::array<double, N>& out)
{
    cv::Mat doubles;
    matrix.convertTo(doubles, CV_64F);
    std::copy(doubles.begin<double>(), doubles.end<double>(), out.begin());
}

std::vector<double> Row(const cv::Mat& matrix)
{
    cv::Mat doubles;
    matrix.convertTo(doubles, CV_64F);
    return std::vector<double>(doubles.begin<double>(), doubles.end<double>());
}

// The image as one grey channel; empty when it cannot be read. Asked first, as OpenCV logs a file
// it cannot open.
cv::Mat ReadGrey(const std::string& path)
{
    if (access(path.c_str(), R_OK) != 0)
        return {};
    return cv::imread(path, cv::IMREAD_GRAYSCALE);
}

} // namespace

StereoCalibrator::StereoCalibrator(const StereoBoard& board)
    : mBoard(board), mLeftFinder(board), mRightFinder(board)
{
}

bool StereoCalibrator::AddFound(std::string& out_reason)
{
    ++mPairsGiven;
    const cv::Size left(mLeftFinder.width(), mLeftFinder.height());
    const cv::Size right(mRightFinder.width(), mRightFinder.height());
    const cv::Size size = mWidth != 0 ? cv::Size(mWidth, mHeight) : left;
    const cv::Size other = left != size ? left : right;
    if (other != size) {
        out_reason = "images of two sizes: " + SizeText(size) + " and " + SizeText(other);
        if (mFault.empty())
            mFault = out_reason;
        return false;
    }
    mWidth = size.width;
    mHeight = size.height;
    Corners leftCorners, rightCorners;
    const bool leftFound = mLeftFinder.Find(false, leftCorners);
    if (!leftFound || !mRightFinder.Find(false, rightCorners)) {
        out_reason = std::string("no ") + std::to_string(mBoard.columns) + "x" +
                     std::to_string(mBoard.rows) + " board in the " +
                     (leftFound ? "right" : "left") + " image";
        return false;
    }
    // A view taken again adds nothing but weight, and views all alike let the solver invent a
    // lens.
    for (size_t used = 0; used < mLeft.size(); ++used)
        if (cv::norm(WrapCorners(mLeft[used]), WrapCorners(leftCorners), cv::NORM_INF) < 1.0) {
            out_reason = "the same view as pair " + std::to_string(mPairNumbers[used]);
            return false;
        }
    mPairNumbers.push_back(mPairsGiven);
    mLeft.push_back(std::move(leftCorners));
    mRight.push_back(std::move(rightCorners));
    return true;
}

bool StereoCalibrator::AddPair(const ArgbView& left, const ArgbView& right, std::string& out_reason)
{
    try {
        // Both are asked, so neither finder keeps a picture of an earlier pair.
        const bool leftSet = mLeftFinder.SetFrame(left);
        if (!mRightFinder.SetFrame(right) || !leftSet) {
            ++mPairsGiven;
            out_reason = "not a picture";
            return false;
        }
        return AddFound(out_reason);
    } catch (const cv::Exception& e) {
        out_reason = e.err;
        return false;
    }
}

bool StereoCalibrator::AddPairFiles(const std::string& left, const std::string& right,
                                    std::string& out_reason)
{
    try {
        const cv::Mat leftGrey = ReadGrey(left);
        const cv::Mat rightGrey = ReadGrey(right);
        if (leftGrey.empty() || rightGrey.empty()) {
            ++mPairsGiven;
            out_reason = "cannot read " + (leftGrey.empty() ? left : right) + " as an image";
            if (mFault.empty())
                mFault = out_reason;
            return false;
        }
        mLeftFinder.SetGrey(leftGrey.data, leftGrey.step, leftGrey.cols, leftGrey.rows);
        mRightFinder.SetGrey(rightGrey.data, rightGrey.step, rightGrey.cols, rightGrey.rows);
        return AddFound(out_reason);
    } catch (const cv::Exception& e) {
        out_reason = e.err;
        return false;
    }
}

bool StereoCalibrator::Calibrate(StereoCalibration& out_calibration,
                                 StereoCalibrationReport& out_report, std::string& out_reason) const
{
    if (!mFault.empty()) {
        out_reason = mFault;
        return false;
    }
    if (mLeft.size() < size_t(kMinimumPairs)) {
        out_reason = std::to_string(mLeft.size()) + " of " + std::to_string(mPairsGiven) +
                     " pairs usable; calibration needs " + std::to_string(kMinimumPairs);
        return false;
    }
    std::vector<cv::Point3f> board;
    for (int row = 0; row < mBoard.rows; ++row)
        for (int column = 0; column < mBoard.columns; ++column)
            board.emplace_back(float(column * mBoard.squareMm), float(row * mBoard.squareMm), 0.0f);
    const std::vector<std::vector<cv::Point3f>> objects(mLeft.size(), board);
    std::vector<cv::Mat> left, right;
    for (size_t i = 0; i < mLeft.size(); ++i) {
        left.push_back(WrapCorners(mLeft[i]));
        right.push_back(WrapCorners(mRight[i]));
    }
    const cv::Size size(mWidth, mHeight);
    // The third radial term only bends the picture's corners, where boards are seldom held: left
    // free, it fits the views' noise and throws the corners pixels off.
    constexpr int kLens = cv::CALIB_FIX_K3;
    try {
        cv::Mat M1, D1, M2, D2, R, T, E, F, R1, R2, P1, P2, Q;
        cv::calibrateCamera(objects, left, size, M1, D1, cv::noArray(), cv::noArray(), kLens);
        cv::calibrateCamera(objects, right, size, M2, D2, cv::noArray(), cv::noArray(), kLens);
        // Each camera's own solution is the start; the pair refines both with the baseline.
        const double rms = cv::stereoCalibrate(
            objects, left, right, M1, D1, M2, D2, size, R, T, E, F,
            cv::CALIB_USE_INTRINSIC_GUESS | kLens,
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-6));
        cv::stereoRectify(M1, D1, M2, D2, size, R, T, R1, R2, P1, P2, Q, cv::CALIB_ZERO_DISPARITY,
                          0.0, size);
        if (!std::isfinite(rms) || !cv::checkRange(P1) || !cv::checkRange(P2) ||
            !cv::checkRange(Q)) {
            out_reason = "the solver found no calibration: the views are too alike";
            return false;
        }
        StereoCalibration calibration;
        calibration.image_width = mWidth;
        calibration.image_height = mHeight;
        Copy(M1, calibration.M1);
        Copy(M2, calibration.M2);
        calibration.D1 = Row(D1);
        calibration.D2 = Row(D2);
        Copy(R, calibration.R);
        Copy(T, calibration.T);
        Copy(R1, calibration.R1);
        Copy(R2, calibration.R2);
        Copy(P1, calibration.P1);
        Copy(P2, calibration.P2);
        Copy(Q, calibration.Q);
        calibration.rms = rms;
        calibration.board = mBoard;

        out_report.pairsUsed = int(mLeft.size());
        out_report.pairsGiven = mPairsGiven;
        out_report.rms = rms;
        out_report.verticalError = MeanVerticalError(mLeft, mRight, M1, D1, R1, P1, M2, D2, R2, P2);
        out_report.baselineMm = cv::norm(T);
        out_calibration = calibration;
        return true;
    } catch (const cv::Exception& e) {
        out_reason = "the solver failed: " + e.err;
        return false;
    } catch (const std::exception& e) {
        out_reason = std::string("the solver failed: ") + e.what();
        return false;
    }
}
