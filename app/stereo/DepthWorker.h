// The live depth map: the main loop feeds the rectified eyes, a worker thread maps the latest
// pair it was given (DepthMapper) and publishes each finished map as a shared snapshot. The main
// loop never waits for it: a pair is copied only when the worker is free.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ArgbView.h"
#include "DepthMapper.h"
#include "DepthSnapshot.h"

class DepthWorker
{
public:
    // The largest disparity is DepthMapper::DefaultMaxDisparity of the pair's width.
    DepthWorker(); // the thread starts at the first Feed, and is joined here:
    ~DepthWorker();
    DepthWorker(const DepthWorker&) = delete;
    DepthWorker& operator=(const DepthWorker&) = delete;

    // Takes a copy of the rectified pair when the worker is free; false (nothing done) when busy
    // or the pair is unusable (no pixels, two sizes, beyond 8192 on a side). A pair too small to
    // match gives an all-unknown map. Never blocks on the matching; from one thread.
    bool Feed(const ArgbView& left, const ArgbView& right);
    // A calibrated pair's focal length (pixels, at the fed size) and baseline (mm) for the
    // legend's millimetres; 0 and 0: the legend shows pixels only.
    void SetMetric(double focalPx, double baselineMm);
    // The newest finished map, or null before the first. Shared, never written again while held.
    std::shared_ptr<const DepthSnapshot> Latest() const;
    // Finished maps a second over the last two seconds.
    double MapsPerSecond() const;

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    // A snapshot of the pool nobody else holds, or a new one.
    std::shared_ptr<DepthSnapshot> FreeSnapshot();

    // The worker's own.
    DepthMapper mMapper;
    std::vector<std::shared_ptr<DepthSnapshot>> mPool;
    std::string mReason; // the matcher's refusal, kept for its memory

    // The pair handed over: written by Feed while mPairWaiting is false, read by the worker while
    // it is true.
    std::vector<uint8_t> mPair[2];
    int mPairWidth = 0, mPairHeight = 0;

    mutable std::mutex mMutex; // guards what follows
    std::condition_variable mWake;
    bool mPairWaiting = false;
    bool mStop = false;
    double mFocalPx = 0, mBaselineMm = 0;
    uint64_t mSerial = 0;
    std::shared_ptr<const DepthSnapshot> mLatest;
    std::array<Clock::time_point, 128> mFinished{}; // a ring of the maps' finishing times
    size_t mFinishedCount = 0;

    std::thread mWorker; // started by the first Feed
};
