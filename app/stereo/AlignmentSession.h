// The eyes aligned on a worker thread: the main loop feeds both eyes' frames each tick and never
// waits. A fit asked for (the menu's click) is applied whole; while keeping the eyes aligned, the
// fit is checked again every few seconds and the alignment in use moves toward it in steps too
// small to see. Each step's rectifier is prepared here and taken by the tick.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ArgbView.h"
#include "EyeAligner.h"

class StereoRectifier;

class AlignmentSession
{
public:
    static constexpr double kRecheckSeconds = 3.0;
    // The most a step moves a row at the frame's border, in pixels: one per tick.
    static constexpr double kStepPx = 0.25;
    // A fit this near the alignment in use is not worth moving for.
    static constexpr double kDriftPx = 0.5;

    // What the tick takes from the worker.
    struct Step
    {
        std::unique_ptr<StereoRectifier> rectifier; // ready at the fed frames' size
        StereoCalibration calibration;              // the one the rectifier was made of
        EyeAlignment alignment;                     // in use once taken
        bool last = false;                          // reached what the fit asked for
        EyeAlignmentFit fit;                        // the fit it moves toward
    };
    enum class News { kNone, kRefused, kStep };

    AlignmentSession();
    // Waits for the worker, which finishes the fit or the maps it is on.
    ~AlignmentSession();
    AlignmentSession(const AlignmentSession&) = delete;
    AlignmentSession& operator=(const AlignmentSession&) = delete;

    // The pair's calibration (null: none) and the alignment in use (null: none); a step or a
    // fit under the ones before is dropped.
    void SetState(const StereoCalibration* calibration, const EyeAlignment* applied);
    // The next pair fed is fitted, and the result applied whole.
    void RequestFit();
    // While on, the alignment in use (none: nothing to keep) is checked every kRecheckSeconds.
    void SetKeeping(bool on);
    bool keeping() const;

    // Both eyes' frames of this tick, as the cameras give them, seen at time_s. Copied only when
    // the worker is free and wants a pair; false otherwise. Never waits.
    bool Feed(const ArgbView& left, const ArgbView& right, double time_s);
    // A refusal of the fit asked for, or a step to use now; the step's alignment is in use from
    // here on.
    News Take(Step& out_step, std::string& out_reason);

private:
    void Run();
    // The pair waiting, fitted; under the lock on entry and return.
    void FitPair(std::unique_lock<std::mutex>& lock);
    // The next step toward the target, prepared; under the lock on entry and return.
    void PrepareStep(std::unique_lock<std::mutex>& lock);

    // The worker's own.
    EyeAligner mAligner;

    // The pair handed over: written by Feed while mPairWaiting is false, read by the worker
    // while it is true.
    std::vector<uint8_t> mPair[2];
    int mPairWidth = 0, mPairHeight = 0;
    double mPairTime = 0.0;
    bool mPairAsked = false; // the pair is the one a fit was asked for

    mutable std::mutex mMutex; // guards what follows
    std::condition_variable mWake;
    bool mPairWaiting = false;
    bool mStop = false;
    uint64_t mGeneration = 0; // counts SetState: work under an older state is dropped
    std::optional<StereoCalibration> mCalibration;
    EyeAlignment mApplied; // identity at size 0 while none
    bool mFitRequested = false;
    bool mKeeping = false;
    double mLastCheck = -1e9;
    std::optional<EyeAlignment> mTarget;
    EyeAlignmentFit mTargetFit;
    bool mJump = false; // the target is applied whole (a click), not stepped to
    bool mStepWaiting = false;
    Step mStep;
    std::string mRefusal;
    bool mRefused = false;

    std::thread mWorker; // last: started when all else is ready
};
