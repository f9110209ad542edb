#include "StereoRectifier.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <system_error>
#include <thread>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "Processor/InstructionSet.h"

namespace {

// Larger frames are refused rather than given maps of gigabytes.
constexpr int kLargestSide = 8192;
// An area both eyes share that needs more than this zoom to fill the frame is not a rig's.
constexpr double kLargestZoom = 4.0;
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

// Where one rectified pixel comes from: the top-left of the four camera pixels around it, and
// how far it lies toward the right and the lower ones, in 32nds.
struct Tap
{
    uint16_t x, y;
    uint8_t fx, fy;
};

// OpenCV's fixed-point maps (whole pixels, and 32nds as y * 32 + x) as taps; false when one
// reaches outside the frame. A tap on the last column or row takes its pixel as the right or
// lower neighbour (at 32 32nds), so that every tap reads two whole pixels on two whole rows.
bool MakeTaps(const cv::Mat& map1, const cv::Mat& map2, int width, int height,
              std::vector<Tap>& out)
{
    out.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const cv::Vec2s whole = map1.at<cv::Vec2s>(y, x);
            int sx = whole[0], sy = whole[1];
            int fx = map2.at<uint16_t>(y, x) & 31, fy = map2.at<uint16_t>(y, x) >> 5;
            if (sx < 0 || sy < 0 || sx >= width || sy >= height || (sx == width - 1 && fx != 0) ||
                (sy == height - 1 && fy != 0))
                return false;
            if (sx == width - 1) {
                sx -= 1;
                fx = 32;
            }
            if (sy == height - 1) {
                sy -= 1;
                fy = 32;
            }
            out[size_t(y) * size_t(width) + size_t(x)] = {uint16_t(sx), uint16_t(sy), uint8_t(fx),
                                                          uint8_t(fy)};
        }
    return true;
}

// The pass is ours rather than cv::remap, which allocates scratch and wakes its thread pool on
// every call. Each rectified pixel is its four neighbours weighted (32 - fx)(32 - fy),
// fx (32 - fy), (32 - fx) fy and fx fy, rounded from 1024ths, as OpenCV's fixed-point remap.
void RemapRowScalar(const uint8_t* src, size_t srcRowBytes, const Tap* taps, int width,
                    uint8_t* dst)
{
    for (int x = 0; x < width; ++x) {
        const Tap& tap = taps[x];
        const uint8_t* p = src + size_t(tap.y) * srcRowBytes + size_t(tap.x) * 4;
        const int fx = tap.fx, fy = tap.fy;
        for (int c = 0; c < 4; ++c) {
            const int top = p[c] * (32 - fx) + p[4 + c] * fx;
            const int bottom = p[srcRowBytes + c] * (32 - fx) + p[srcRowBytes + 4 + c] * fx;
            dst[x * 4 + c] = uint8_t((top * (32 - fy) + bottom * fy + 512) >> 10);
        }
    }
}

#if defined(__SSE2__)
void RemapRowSSE2(const uint8_t* src, size_t srcRowBytes, const Tap* taps, int width, uint8_t* dst)
{
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(512);
    // Two neighbours' bytes, channel by channel, as 16-bit pairs for one multiply-add.
    const auto pairs = [zero](const uint8_t* p) {
        const __m128i both = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm_unpacklo_epi8(_mm_unpacklo_epi8(both, _mm_srli_si128(both, 4)), zero);
    };
    for (int x = 0; x < width; ++x) {
        const Tap& tap = taps[x];
        const uint8_t* p = src + size_t(tap.y) * srcRowBytes + size_t(tap.x) * 4;
        const int fx = tap.fx, fy = tap.fy;
        const __m128i top = _mm_set1_epi32((32 - fx) * (32 - fy) | fx * (32 - fy) << 16);
        const __m128i bottom = _mm_set1_epi32((32 - fx) * fy | fx * fy << 16);
        __m128i sum = _mm_add_epi32(_mm_madd_epi16(pairs(p), top),
                                    _mm_madd_epi16(pairs(p + srcRowBytes), bottom));
        sum = _mm_srli_epi32(_mm_add_epi32(sum, half), 10);
        sum = _mm_packus_epi16(_mm_packs_epi32(sum, sum), zero);
        const int pixel = _mm_cvtsi128_si32(sum);
        memcpy(dst + x * 4, &pixel, 4);
    }
}

// Both rows of a pixel's neighbours in one register, weighted across by byte multiply-adds,
// then down: half the instructions of the pairs above. SSSE3's, which every AVX2 processor has.
__attribute__((target("avx2"))) void RemapRowAVX2(const uint8_t* src, size_t srcRowBytes,
                                                  const Tap* taps, int width, uint8_t* dst)
{
    // p00 p01 p10 p11 as channel pairs across: (p00, p01) for each channel, then row 1's.
    const __m128i across = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    // The top and bottom sums of each channel side by side, for the multiply-add down.
    const __m128i down = _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m128i half = _mm_set1_epi32(512);
    for (int x = 0; x < width; ++x) {
        const Tap& tap = taps[x];
        const uint8_t* p = src + size_t(tap.y) * srcRowBytes + size_t(tap.x) * 4;
        const __m128i rows =
            _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + srcRowBytes)));
        const __m128i wx = _mm_set1_epi16(short(32 + tap.fx * 255)); // 32 - fx, fx
        const __m128i wy = _mm_set1_epi32(32 + tap.fy * 65535);      // 32 - fy, fy
        const __m128i sums =
            _mm_shuffle_epi8(_mm_maddubs_epi16(_mm_shuffle_epi8(rows, across), wx), down);
        __m128i sum = _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(sums, wy), half), 10);
        sum = _mm_packus_epi16(_mm_packs_epi32(sum, sum), sum);
        const int pixel = _mm_cvtsi128_si32(sum);
        memcpy(dst + x * 4, &pixel, 4);
    }
}
#endif

// Whether two frames of that height, rows of rowBytes each at their strides, share memory.
bool Overlap(const uint8_t* a, size_t aRowBytes, const uint8_t* b, size_t bRowBytes, int height,
             size_t rowBytes)
{
    const uint8_t* aEnd = a + aRowBytes * size_t(height - 1) + rowBytes;
    const uint8_t* bEnd = b + bRowBytes * size_t(height - 1) + rowBytes;
    return std::less<const uint8_t*>()(a, bEnd) && std::less<const uint8_t*>()(b, aEnd);
}

using RemapRow = void (*)(const uint8_t*, size_t, const Tap*, int, uint8_t*);

RemapRow ChosenRemapRow()
{
#if defined(__SSE2__)
    if (Processor::Chosen() >= Processor::InstructionSet::kAVX2)
        return RemapRowAVX2;
    if (Processor::Chosen() >= Processor::InstructionSet::kSSE2)
        return RemapRowSSE2;
#endif
    return RemapRowScalar;
}

} // namespace

struct StereoRectifier::Maps
{
    // Per eye: the lens, its rectifying rotation, the cropped projection (3x3), and the taps.
    cv::Mat M[2], D[2], R[2], P[2];
    std::vector<Tap> taps[2];
};

// The rectifier's second thread. Both eyes' rows go in bands to whichever of it and the caller
// is free, so a core busy with other work costs a band's wait, not an eye's; nothing is
// allocated once it runs.
class StereoRectifier::Worker
{
public:
    struct Job
    {
        ArgbView src[2];
        uint8_t* dst[2];
        size_t dstRowBytes;
    };

    explicit Worker(const StereoRectifier& owner) : mOwner(owner)
    {
        mThread = std::thread(&Worker::Loop, this);
    }
    ~Worker()
    {
        {
            std::lock_guard lock(mMutex);
            mStop = true;
        }
        mWake.notify_one();
        mThread.join();
    }

    // Returns with every band done.
    void Run(const Job& job)
    {
        {
            std::lock_guard lock(mMutex);
            mJob = job;
            mNext.store(0, std::memory_order_relaxed);
            mState = State::kPending;
        }
        mWake.notify_one();
        TakeBands();
        std::unique_lock lock(mMutex);
        // Not woken yet: the caller took every band, and the thread finds nothing to do.
        if (mState == State::kPending)
            mState = State::kIdle;
        mDone.wait(lock, [this] { return mState == State::kIdle; });
    }

private:
    enum class State { kIdle, kPending, kRunning };
    static constexpr int kBandRows = 16;

    void TakeBands()
    {
        const int height = mOwner.mHeight, bands = (height + kBandRows - 1) / kBandRows;
        for (int band; (band = mNext.fetch_add(1, std::memory_order_relaxed)) < 2 * bands;) {
            const int eye = band / bands, top = band % bands * kBandRows;
            mOwner.Pass(eye, mJob.src[eye], mJob.dst[eye], mJob.dstRowBytes, top,
                        std::min(top + kBandRows, height));
        }
    }
    void Loop()
    {
        std::unique_lock lock(mMutex);
        for (;;) {
            mWake.wait(lock, [this] { return mState == State::kPending || mStop; });
            if (mStop)
                return;
            mState = State::kRunning;
            lock.unlock();
            TakeBands();
            lock.lock();
            mState = State::kIdle;
            mDone.notify_one();
        }
    }

    const StereoRectifier& mOwner;
    std::mutex mMutex;
    std::condition_variable mWake, mDone;
    Job mJob = {};
    std::atomic<int> mNext = 0;
    State mState = State::kIdle;
    bool mStop = false;
    std::thread mThread;
};

StereoRectifier::StereoRectifier() = default;
StereoRectifier::~StereoRectifier() = default;

bool StereoRectifier::Prepare(const StereoCalibration& calibration, int width, int height,
                              std::string& out_reason)
{
    mMaps.reset();
    if (width < 2 || height < 2 || width > kLargestSide || height > kLargestSide) {
        out_reason = "no frame of " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (calibration.image_width <= 0 || calibration.image_height <= 0) {
        out_reason = "the calibration has no frame size";
        return false;
    }
    if (!calibration.fitsFrame(width, height, out_reason))
        return false;
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
            cv::Mat mapX, mapY, map1, map2;
            cv::initUndistortRectifyMap(maps->M[eye], maps->D[eye], maps->R[eye], maps->P[eye],
                                        cv::Size(width, height), CV_32FC1, mapX, mapY);
            cv::convertMaps(mapX, mapY, map1, map2, CV_16SC2);
            // A lens whose border folds over itself escapes the rectangle: refused, not shown
            // with a wedge.
            if (!MakeTaps(map1, map2, width, height, maps->taps[eye])) {
                out_reason = "the calibration's rectified frame leaves the camera's";
                return false;
            }
        }
    } catch (const cv::Exception& e) {
        out_reason = "the calibration makes no maps: " + e.err;
        return false;
    }
    mFocalLength = maps->P[0].at<double>(0, 0);
    mMaps = std::move(maps);
    mWidth = width;
    mHeight = height;
    return true;
}

bool StereoRectifier::Accepts(int eye, const ArgbView& src, const uint8_t* dst,
                              size_t dstRowBytes) const
{
    const size_t rowBytes = size_t(mWidth) * 4;
    if (!mMaps || (eye != 0 && eye != 1) || src.pixels == nullptr || src.width != mWidth ||
        src.height != mHeight || src.rowBytes < rowBytes || dst == nullptr ||
        dstRowBytes < rowBytes)
        return false;
    // Each output pixel reads around its source: the two may not share memory.
    return !Overlap(src.pixels, src.rowBytes, dst, dstRowBytes, mHeight, rowBytes);
}

void StereoRectifier::Pass(int eye, const ArgbView& src, uint8_t* dst, size_t dstRowBytes, int top,
                           int bottom) const
{
    static const RemapRow remapRow = ChosenRemapRow();
    const Tap* taps = mMaps->taps[eye].data();
    for (int y = top; y < bottom; ++y)
        remapRow(src.pixels, src.rowBytes, taps + size_t(y) * size_t(mWidth), mWidth,
                 dst + size_t(y) * dstRowBytes);
}

bool StereoRectifier::Rectify(int eye, const ArgbView& src, uint8_t* dst, size_t dstRowBytes) const
{
    if (!Accepts(eye, src, dst, dstRowBytes))
        return false;
    Pass(eye, src, dst, dstRowBytes, 0, mHeight);
    return true;
}

bool StereoRectifier::RectifyBoth(const ArgbView& left, uint8_t* leftDst, const ArgbView& right,
                                  uint8_t* rightDst, size_t dstRowBytes)
{
    if (!Accepts(0, left, leftDst, dstRowBytes) || !Accepts(1, right, rightDst, dstRowBytes))
        return false;
    // The eyes are done at once: neither may write where the other reads or writes.
    const size_t rowBytes = size_t(mWidth) * 4;
    if (Overlap(leftDst, dstRowBytes, rightDst, dstRowBytes, mHeight, rowBytes) ||
        Overlap(left.pixels, left.rowBytes, rightDst, dstRowBytes, mHeight, rowBytes) ||
        Overlap(right.pixels, right.rowBytes, leftDst, dstRowBytes, mHeight, rowBytes))
        return false;
    if (!mWorker && !mOneThread) {
        mOneThread = std::thread::hardware_concurrency() <= 1;
        try {
            if (!mOneThread)
                mWorker = std::make_unique<Worker>(*this);
        } catch (const std::system_error&) {
            mOneThread = true; // no thread to be had: both on the caller from now on
        }
    }
    if (!mWorker) {
        Pass(0, left, leftDst, dstRowBytes, 0, mHeight);
        Pass(1, right, rightDst, dstRowBytes, 0, mHeight);
        return true;
    }
    mWorker->Run({{left, right}, {leftDst, rightDst}, dstRowBytes});
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

bool StereoRectifier::Usable(const StereoCalibration& calibration, int width, int height,
                             std::string& out_reason)
{
    StereoRectifier probe;
    return probe.Prepare(calibration, width, height, out_reason);
}
