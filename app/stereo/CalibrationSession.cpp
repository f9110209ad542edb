#include "CalibrationSession.h"

#include "ChessboardFinder.h"
#include "StereoCalibrator.h"
#include "StereoRectifier.h"

namespace {

ArgbView View(const std::vector<uint8_t>& pixels, int width, int height)
{
    return {pixels.data(), size_t(width) * 4, width, height};
}

} // namespace

CalibrationSession::CalibrationSession(const StereoBoard& board, int target)
    : mBoard(board),
      mTarget(target < StereoCalibrator::kMinimumPairs ? StereoCalibrator::kMinimumPairs : target),
      mFinders{std::make_unique<ChessboardFinder>(board),
               std::make_unique<ChessboardFinder>(board)},
      mPicker(std::make_unique<CalibrationViewPicker>(board.columns, board.rows)),
      mCalibrator(std::make_unique<StereoCalibrator>(board)),
      mRectifier(std::make_unique<StereoRectifier>())
{
    mState.target = mTarget;
    mWorker = std::thread(&CalibrationSession::Run, this);
}

CalibrationSession::~CalibrationSession()
{
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWake.notify_one();
    mWorker.join();
}

bool CalibrationSession::Feed(const ArgbView& left, const ArgbView& right, double time_s)
{
    if (!IsPicture(left) || !IsPicture(right) || left.width != right.width ||
        left.height != right.height)
        return false;
    {
        std::unique_lock lock(mMutex, std::try_to_lock);
        if (!lock.owns_lock() || mPairWaiting ||
            mState.phase != CalibrationSnapshot::Phase::kCollecting)
            return false;
    }
    // The worker reads the pair only once told it waits: the copy is ours until then.
    CopyPacked(left, mPair[0]);
    CopyPacked(right, mPair[1]);
    mPairWidth = left.width;
    mPairHeight = left.height;
    mPairTime = time_s;
    {
        std::lock_guard lock(mMutex);
        mPairWaiting = true;
    }
    mWake.notify_one();
    return true;
}

void CalibrationSession::Snapshot(CalibrationSnapshot& out) const
{
    std::lock_guard lock(mMutex);
    out.phase = mState.phase;
    out.verdict = mState.verdict;
    out.viewsTaken = mState.viewsTaken;
    out.target = mState.target;
    out.width = mState.width;
    out.height = mState.height;
    for (int eye = 0; eye < 2; ++eye)
        out.corners[eye].assign(mState.corners[eye].begin(), mState.corners[eye].end());
    out.outlines.assign(mState.outlines.begin(), mState.outlines.end());
    out.calibration = mState.calibration;
    out.report = mState.report;
    out.reason = mState.reason;
}

void CalibrationSession::Restart()
{
    std::lock_guard lock(mMutex);
    ++mGeneration;
    mRestart = true;
    mState = CalibrationSnapshot();
    mState.target = mTarget;
}

bool CalibrationSession::RectifyPreview(int eye, const ArgbView& src, uint8_t* dst,
                                        size_t dstRowBytes) const
{
    std::lock_guard lock(mMutex);
    return mState.phase == CalibrationSnapshot::Phase::kDone &&
           mRectifier->Rectify(eye, src, dst, dstRowBytes);
}

void CalibrationSession::Run()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return mStop || mPairWaiting; });
        if (mStop)
            return;
        const uint64_t generation = mGeneration;
        if (mRestart) {
            mRestart = false;
            mPicker->Clear();
            mCalibrator = std::make_unique<StereoCalibrator>(mBoard);
        }
        lock.unlock();
        const CalibrationViewPicker::Verdict verdict = Look(mPairWidth, mPairHeight, mPairTime);
        const bool enough = mPicker->viewsTaken() >= size_t(mTarget);
        lock.lock();
        if (generation == mGeneration) {
            mState.verdict = verdict;
            mState.width = mPairWidth;
            mState.height = mPairHeight;
            for (int eye = 0; eye < 2; ++eye)
                mState.corners[eye].assign(mCorners[eye].begin(), mCorners[eye].end());
            if (mState.viewsTaken != int(mPicker->viewsTaken())) {
                mState.viewsTaken = int(mPicker->viewsTaken());
                mState.outlines = mPicker->outlines();
            }
            if (enough) {
                mState.phase = CalibrationSnapshot::Phase::kCalibrating;
                lock.unlock();
                Calibrate(generation);
                lock.lock();
            }
        }
        mPairWaiting = false;
    }
}

CalibrationViewPicker::Verdict CalibrationSession::Look(int width, int height, double time_s)
{
    const ArgbView left = View(mPair[0], width, height), right = View(mPair[1], width, height);
    for (int eye = 0; eye < 2; ++eye)
        if (!mFinders[eye]->SetFrame(eye == 0 ? left : right))
            mCorners[eye].clear();
        else
            mFinders[eye]->Find(true, mCorners[eye]);
    const CalibrationViewPicker::Verdict verdict =
        mPicker->Judge(mCorners[0], mCorners[1], width, height, time_s);
    if (verdict != CalibrationViewPicker::Verdict::kTake)
        return verdict;
    // The calibrator looks again, thoroughly: a view it cannot use is not counted.
    if (!mCalibrator->AddPair(left, right, mReason))
        return CalibrationViewPicker::Verdict::kHolding;
    mPicker->Take(mCorners[0]);
    return verdict;
}

void CalibrationSession::Calibrate(uint64_t generation)
{
    StereoCalibration calibration;
    StereoCalibrationReport report;
    std::string reason;
    const bool calibrated =
        mCalibrator->Calibrate(calibration, report, reason) &&
        mRectifier->Prepare(calibration, calibration.image_width, calibration.image_height, reason);
    std::lock_guard lock(mMutex);
    if (generation != mGeneration)
        return;
    mState.phase =
        calibrated ? CalibrationSnapshot::Phase::kDone : CalibrationSnapshot::Phase::kFailed;
    if (calibrated) {
        mState.calibration = calibration;
        mState.report = report;
    } else {
        mState.reason = reason;
    }
}
