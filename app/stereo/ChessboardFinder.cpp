#include "ChessboardFinder.h"

#include <algorithm>
#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

struct ChessboardFinder::Pictures
{
    cv::Mat grey, half;
    std::vector<cv::Point2f> corners;
};

ChessboardFinder::ChessboardFinder(const StereoBoard& board)
    : mBoard(board), mPictures(std::make_unique<Pictures>())
{
}

ChessboardFinder::~ChessboardFinder() = default;

bool ChessboardFinder::SetFrame(const ArgbView& frame)
{
    mWidth = mHeight = 0;
    if (frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0 ||
        frame.rowBytes < size_t(frame.width) * 4)
        return false;
    try {
        const cv::Mat argb(frame.height, frame.width, CV_8UC4, const_cast<uint8_t*>(frame.pixels),
                           frame.rowBytes);
        // Made again only when the size changes.
        mPictures->grey.create(frame.height, frame.width, CV_8U);
        cv::transform(argb, mPictures->grey, cv::Matx14f(0.0f, 0.299f, 0.587f, 0.114f));
    } catch (const std::exception&) { // OpenCV's errors, or memory: this runs on a worker thread
        return false;
    }
    mWidth = frame.width;
    mHeight = frame.height;
    return true;
}

bool ChessboardFinder::SetGrey(const uint8_t* grey, size_t rowBytes, int width, int height)
{
    mWidth = mHeight = 0;
    if (grey == nullptr || width <= 0 || height <= 0 || rowBytes < size_t(width))
        return false;
    try {
        cv::Mat(height, width, CV_8U, const_cast<uint8_t*>(grey), rowBytes).copyTo(mPictures->grey);
    } catch (const std::exception&) {
        return false;
    }
    mWidth = width;
    mHeight = height;
    return true;
}

bool ChessboardFinder::Find(bool live, std::vector<float>& out_corners)
{
    out_corners.clear();
    if (mWidth == 0)
        return false;
    try {
        return FindCorners(live, out_corners);
    } catch (const std::exception&) {
        out_corners.clear();
        return false;
    }
}

bool ChessboardFinder::FindCorners(bool live, std::vector<float>& out_corners)
{
    const cv::Size pattern(mBoard.columns, mBoard.rows);
    std::vector<cv::Point2f>& corners = mPictures->corners;
    const cv::Mat& grey = mPictures->grey;
    constexpr int kThorough = cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE;
    if (live) {
        // Quick at half the size, and sure enough: the corners are refined at full size below.
        // The fast check is left out: at half size it turns away most boards of small squares.
        cv::resize(grey, mPictures->half, cv::Size(mWidth / 2, mHeight / 2), 0, 0, cv::INTER_AREA);
        if (!cv::findChessboardCorners(mPictures->half, pattern, corners, kThorough))
            return false;
        // Half-size pixel centres back to full size.
        for (cv::Point2f& corner : corners)
            corner = corner * 2.0f + cv::Point2f(0.5f, 0.5f);
    } else if (!cv::findChessboardCorners(grey, pattern, corners, kThorough)) {
        return false;
    }
    // The search window stays inside one square, however small the board is in the picture.
    float spacing = INFINITY;
    for (size_t i = 1; i < corners.size(); ++i)
        if (i % size_t(pattern.width) != 0)
            spacing = std::min(spacing, float(cv::norm(corners[i] - corners[i - 1])));
    const int window = std::clamp(int(spacing * 0.4f), 2, 11);
    cv::cornerSubPix(grey, corners, cv::Size(window, window), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 30, 0.01));
    for (const cv::Point2f& corner : corners) {
        out_corners.push_back(corner.x);
        out_corners.push_back(corner.y);
    }
    return true;
}
