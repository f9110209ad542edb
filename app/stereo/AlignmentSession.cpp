#include "AlignmentSession.h"

#include "StereoRectifier.h"

AlignmentSession::AlignmentSession()
{
    mWorker = std::thread(&AlignmentSession::Run, this);
}

AlignmentSession::~AlignmentSession()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWake.notify_one();
    mWorker.join();
}

void AlignmentSession::SetState(const StereoCalibration* calibration, const EyeAlignment* applied)
{
    Step dropped;
    {
        std::lock_guard lock(mMutex);
        ++mGeneration;
        mCalibration = calibration ? std::optional(*calibration) : std::nullopt;
        mApplied = applied ? *applied : EyeAlignment();
        mTarget.reset();
        mStepWaiting = false;
        dropped = std::move(mStep); // its maps freed outside the lock
    }
    mWake.notify_one();
}

void AlignmentSession::RequestFit()
{
    std::lock_guard lock(mMutex);
    mFitRequested = true;
}

void AlignmentSession::SetKeeping(bool on)
{
    std::lock_guard lock(mMutex);
    mKeeping = on;
    mLastCheck = -1e9; // switched on: checked at once
}

bool AlignmentSession::keeping() const
{
    std::lock_guard lock(mMutex);
    return mKeeping;
}

bool AlignmentSession::Feed(const ArgbView& left, const ArgbView& right, double time_s)
{
    if (!IsPicture(left) || !IsPicture(right) || left.width != right.width ||
        left.height != right.height)
        return false;
    {
        std::unique_lock lock(mMutex, std::try_to_lock);
        if (!lock.owns_lock() || mPairWaiting)
            return false;
        // Keeping looks after an alignment in use; it does not make one unasked.
        const bool recheck =
            mKeeping && mApplied.width > 0 && !mTarget && time_s - mLastCheck >= kRecheckSeconds;
        if (!mFitRequested && !recheck)
            return false;
    }
    // The worker reads the pair only once told it waits: the copy is ours until then.
    CopyPacked(left, mPair[0]);
    CopyPacked(right, mPair[1]);
    {
        std::lock_guard lock(mMutex);
        mPairWidth = left.width;
        mPairHeight = left.height;
        mPairTime = time_s;
        mPairAsked = mFitRequested;
        mFitRequested = false;
        mPairWaiting = true;
    }
    mWake.notify_one();
    return true;
}

AlignmentSession::News AlignmentSession::Take(Step& out_step, std::string& out_reason)
{
    {
        std::lock_guard lock(mMutex);
        if (mRefused) {
            mRefused = false;
            out_reason = mRefusal;
            return News::kRefused;
        }
        if (!mStepWaiting)
            return News::kNone;
        out_step = std::move(mStep);
        mApplied = out_step.alignment;
        mStepWaiting = false;
    }
    mWake.notify_one();
    return News::kStep;
}

void AlignmentSession::Run()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return mStop || mPairWaiting || (mTarget && !mStepWaiting); });
        if (mStop)
            return;
        if (mPairWaiting)
            FitPair(lock);
        else
            PrepareStep(lock);
    }
}

void AlignmentSession::FitPair(std::unique_lock<std::mutex>& lock)
{
    const uint64_t generation = mGeneration;
    const int width = mPairWidth, height = mPairHeight;
    const bool asked = mPairAsked;
    const std::optional<StereoCalibration> calibration = mCalibration;
    const EyeAlignment applied =
        mApplied.width > 0 ? mApplied.scaled(width, height) : EyeAlignment::Identity(width, height);
    lock.unlock();
    const size_t rowBytes = size_t(width) * 4;
    EyeAlignmentFit fit;
    std::string reason;
    const bool fitted = mAligner.Fit({mPair[0].data(), rowBytes, width, height},
                                     {mPair[1].data(), rowBytes, width, height},
                                     calibration ? &*calibration : nullptr, &applied, fit, reason);
    lock.lock();
    mPairWaiting = false;
    mLastCheck = mPairTime;
    if (generation != mGeneration) {
        mFitRequested = mFitRequested || asked; // asked again of the next pair
        return;
    }
    if (asked && !fitted) {
        mRefusal = reason;
        mRefused = true;
        return;
    }
    // A check while keeping: a fit that fails, or that the alignment in use meets, changes nothing.
    if (!fitted || (!asked && applied.VerticalChange(fit.alignment) <= kDriftPx))
        return;
    mTarget = fit.alignment;
    mTargetFit = fit;
    mJump = asked;
}

void AlignmentSession::PrepareStep(std::unique_lock<std::mutex>& lock)
{
    const uint64_t generation = mGeneration;
    const int width = mPairWidth, height = mPairHeight;
    const EyeAlignment target = *mTarget;
    const EyeAlignment from =
        mApplied.width > 0 ? mApplied.scaled(width, height) : EyeAlignment::Identity(width, height);
    const bool jump = mJump;
    const std::optional<StereoCalibration> calibration = mCalibration;
    lock.unlock();
    Step step;
    step.alignment = jump ? target : from.StepToward(target, kStepPx);
    step.last = step.alignment == target;
    step.calibration = step.alignment.ComposedWith(calibration ? &*calibration : nullptr);
    step.rectifier = std::make_unique<StereoRectifier>();
    std::string reason;
    const bool moved = jump || !(step.alignment == from);
    const bool prepared = moved && step.rectifier->Prepare(step.calibration, width, height, reason);
    lock.lock();
    if (generation != mGeneration)
        return;
    if (!prepared) {
        if (jump) {
            mRefusal = reason;
            mRefused = true;
        }
        mTarget.reset();
        return;
    }
    step.fit = mTargetFit;
    if (step.last)
        mTarget.reset();
    mStep = std::move(step);
    mStepWaiting = true;
}
