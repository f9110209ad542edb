#include "DisparityMatcher.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// The matching window spans about nine pixels of the input (9 at full scale, 5 at half): small
// enough for detail, large enough that a plain face under a camera's compression noise (the
// test scene's sun at full size) does not match anywhere.
int BlockSize(double scale)
{
    return std::max(3, static_cast<int>(std::lround(9 * scale))) | 1;
}
constexpr int kUniqueness = 10;
constexpr int kSpeckleWindow = 100;
constexpr int kSpeckleRange = 2;
// StereoSGBM's fixed point.
constexpr float kFixedPoint = 16.0f;

// Every disparity fits a picture of one colour equally, and the matcher picks one anyway.
bool OneColour(const cv::Mat& eye)
{
    const uint8_t* first = eye.ptr<uint8_t>(0);
    for (int y = 0; y < eye.rows; ++y) {
        const uint8_t* row = eye.ptr<uint8_t>(y);
        for (int i = 0; i < eye.cols * 3; ++i)
            if (row[i] != first[i % 3])
                return false;
    }
    return true;
}

} // namespace

struct DisparityMatcher::Buffers
{
    cv::Ptr<cv::StereoSGBM> sgbm;
    int maxDisparity = 0, block = 0, p2 = 0;
    cv::Mat reduced[2], padded[2], disparity;
    cv::Mat eye[2];           // each eye's part of padded
    std::vector<int> columns; // the reduced map's column of each input column
};

DisparityMatcher::DisparityMatcher() : mBuffers(std::make_unique<Buffers>()) {}

DisparityMatcher::~DisparityMatcher() = default;

bool DisparityMatcher::Match(const ArgbView& left, const ArgbView& right, int maxDisparity,
                             double scale, std::vector<float>& out_map, std::string& out_reason)
{
    if (!left.pixels || !right.pixels || left.width <= 0 || left.height <= 0) {
        out_reason = "the pictures are empty";
        return false;
    }
    if (left.width != right.width || left.height != right.height) {
        out_reason = "the pictures differ in size";
        return false;
    }
    if (!(scale > 0.0 && scale <= 1.0)) {
        out_reason = "the scale is outside (0, 1]";
        return false;
    }
    if (maxDisparity <= 0 || maxDisparity % 16 != 0) {
        out_reason = "the largest disparity is not a positive multiple of 16";
        return false;
    }
    const int width = std::max(1, static_cast<int>(std::lround(left.width * scale)));
    const int height = std::max(1, static_cast<int>(std::lround(left.height * scale)));
    const int block = BlockSize(scale);
    if (width < block || height < block) {
        out_reason = "the pictures are smaller than the matching window";
        return false;
    }
    // The matcher works in steps of 16 at its own scale; round up so the range asked is covered.
    const double range = std::ceil(maxDisparity * scale / 16.0) * 16.0;
    if (maxDisparity >= left.width || range >= width) {
        out_reason = "the largest disparity is as wide as the picture or wider";
        return false;
    }
    const int scaledRange = static_cast<int>(range);

    // A jump between depths costs P2 wherever it falls. Reduced, a plain face spans fewer pixels
    // to pay it back, and under a camera's compression noise it took a neighbour's disparity
    // (the test scene's crate at half size lost one pixel in seven): the penalty shrinks with
    // the scale.
    // The usual smoothness weights for three channels, from the block size.
    const int p1 = 8 * 3 * block * block;
    const int p2 = std::max(2 * p1, static_cast<int>(std::lround(32 * 3 * block * block * scale)));
    Buffers& b = *mBuffers;
    if (!b.sgbm || b.maxDisparity != scaledRange || b.block != block || b.p2 != p2) {
        b.sgbm =
            cv::StereoSGBM::create(0, scaledRange, block, p1, p2, 1, 0, kUniqueness, kSpeckleWindow,
                                   kSpeckleRange, cv::StereoSGBM::MODE_SGBM_3WAY);
        b.maxDisparity = scaledRange;
        b.block = block;
        b.p2 = p2;
    }
    const ArgbView* views[2] = {&left, &right};
    for (int i = 0; i < 2; ++i) {
        const cv::Mat argb(views[i]->height, views[i]->width, CV_8UC4,
                           const_cast<uint8_t*>(views[i]->pixels), views[i]->rowBytes);
        // Reduced first, so that the channels are picked out of fewer pixels.
        cv::Mat source = argb;
        if (width != left.width || height != left.height) {
            cv::resize(argb, b.reduced[i], cv::Size(width, height), 0, 0, cv::INTER_AREA);
            source = b.reduced[i];
        }
        // A,R,G,B to three channels, right of the padding; the order of colours does not
        // matter to the cost.
        b.padded[i].create(height, width + scaledRange, CV_8UC3);
        b.eye[i] = b.padded[i](cv::Rect(scaledRange, 0, width, height));
        const int fromTo[] = {1, 0, 2, 1, 3, 2};
        cv::mixChannels(&source, 1, &b.eye[i], 1, fromTo, 3);
        // The matcher leaves the first maxDisparity columns unknown, and a plain surface there
        // gets no match from its left either: the edge pixels repeated give it room.
        for (int y = 0; y < height; ++y) {
            uint8_t* row = b.padded[i].ptr<uint8_t>(y);
            for (int x = 0; x < scaledRange; ++x)
                memcpy(row + x * 3, row + scaledRange * 3, 3);
        }
    }
    out_map.resize(static_cast<size_t>(left.width) * left.height);
    if (OneColour(b.eye[0]) || OneColour(b.eye[1])) {
        std::fill(out_map.begin(), out_map.end(), kUnknown);
        return true;
    }
    b.sgbm->compute(b.padded[0], b.padded[1], b.disparity);

    // Back to the input's size and pixels: nearest neighbour, so unknown never blends with known.
    const float toInput = static_cast<float>(left.width) / static_cast<float>(width) / kFixedPoint;
    const int minValue = b.sgbm->getMinDisparity() * 16;
    b.columns.resize(static_cast<size_t>(left.width));
    for (int x = 0; x < left.width; ++x)
        b.columns[static_cast<size_t>(x)] = std::min(width - 1, x * width / left.width);
    for (int y = 0; y < left.height; ++y) {
        const int sy = std::min(height - 1, y * height / left.height);
        float* out = out_map.data() + static_cast<size_t>(y) * left.width;
        if (y > 0 && sy == std::min(height - 1, (y - 1) * height / left.height)) {
            std::copy_n(out - left.width, left.width, out);
            continue;
        }
        const int16_t* row = b.disparity.ptr<int16_t>(sy) + scaledRange;
        for (int x = 0; x < left.width; ++x) {
            const int16_t d = row[b.columns[static_cast<size_t>(x)]];
            out[x] = d < minValue ? kUnknown : d * toInput;
        }
    }
    return true;
}
