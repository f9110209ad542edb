// A guided calibration: both eyes' frames come in from the main loop, a worker thread finds the
// board in them, takes the views the picker chooses and, once it has enough, calibrates the rig.
// The main loop never waits for it: a pair is copied only when the worker is free, and the
// window reads what it made through Snapshot.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ArgbView.h"
#include "CalibrationSnapshot.h"
#include "StereoCalibration.h"

class ChessboardFinder;
class StereoCalibrator;
class StereoRectifier;

class CalibrationSession
{
public:
    static constexpr int kDefaultTarget = 15;

    explicit CalibrationSession(const StereoBoard& board = {}, int target = kDefaultTarget);
    // Waits for the worker, which finishes the step it is on (a calibration included).
    ~CalibrationSession();
    CalibrationSession(const CalibrationSession&) = delete;
    CalibrationSession& operator=(const CalibrationSession&) = delete;

    // Both eyes' frames of this tick, seen at time_s, from one thread. Copied when the worker is
    // free and views are wanted; false when the pair was passed over (busy, done, or the eyes
    // not two pictures of one size). Never waits.
    bool Feed(const ArgbView& left, const ArgbView& right, double time_s);

    // The state now; out's memory is reused.
    void Snapshot(CalibrationSnapshot& out) const;

    // Try Again: the views and the result dropped, looking for views from the start.
    void Restart();

    // Once calibrated: an eye's frame (0 left, 1 right) rectified with the result into dst,
    // A,R,G,B of the same size; false before that, or when the size differs.
    bool RectifyPreview(int eye, const ArgbView& src, uint8_t* dst, size_t dstRowBytes) const;

private:
    void Run();
    // One pair: the board looked for, the picker asked, a view perhaps taken.
    CalibrationViewPicker::Verdict Look(int width, int height, double time_s);
    void Calibrate(uint64_t generation);

    const StereoBoard mBoard;
    const int mTarget;

    // The worker's own.
    std::unique_ptr<ChessboardFinder> mFinders[2];
    std::unique_ptr<CalibrationViewPicker> mPicker;
    std::unique_ptr<StereoCalibrator> mCalibrator;
    std::vector<float> mCorners[2];
    std::string mReason;
    // Made ready before mState says done, and touched by the worker again only after it has said
    // otherwise: read under the lock while it says done.
    std::unique_ptr<StereoRectifier> mRectifier;

    // The pair handed over: written by Feed while mPairWaiting is false, read by the worker while
    // it is true.
    std::vector<uint8_t> mPair[2];
    int mPairWidth = 0, mPairHeight = 0;
    double mPairTime = 0.0;

    mutable std::mutex mMutex; // guards what follows
    std::condition_variable mWake;
    bool mPairWaiting = false;
    bool mStop = false;
    uint64_t mGeneration = 0; // counts Restarts: a worker's step of an older one is dropped
    bool mRestart = false;
    CalibrationSnapshot mState;

    std::thread mWorker; // last: started when all else is ready
};
