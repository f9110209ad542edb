#include "DepthWorker.h"

namespace {

// Held by the monitor, the comfort check and the one being written: a fourth spare.
constexpr size_t kPoolSize = 4;
constexpr int kLargestSide = 8192;

bool Usable(const ArgbView& view)
{
    return IsPicture(view) && view.width <= kLargestSide && view.height <= kLargestSide;
}

} // namespace

DepthWorker::DepthWorker() = default;

DepthWorker::~DepthWorker()
{
    if (!mWorker.joinable())
        return;
    {
        std::lock_guard lock(mMutex);
        mStop = true;
    }
    mWake.notify_one();
    mWorker.join();
}

bool DepthWorker::Feed(const ArgbView& left, const ArgbView& right)
{
    if (!Usable(left) || !Usable(right) || left.width != right.width || left.height != right.height)
        return false;
    if (!mWorker.joinable())
        mWorker = std::thread(&DepthWorker::Run, this);
    {
        std::unique_lock lock(mMutex, std::try_to_lock);
        if (!lock.owns_lock() || mPairWaiting)
            return false;
    }
    // The worker reads the pair only once told it waits: the copy is ours until then.
    CopyPacked(left, mPair[0]);
    CopyPacked(right, mPair[1]);
    mPairWidth = left.width;
    mPairHeight = left.height;
    {
        std::lock_guard lock(mMutex);
        mPairWaiting = true;
    }
    mWake.notify_one();
    return true;
}

void DepthWorker::SetMetric(double focalPx, double baselineMm)
{
    std::lock_guard lock(mMutex);
    const bool metric = focalPx > 0 && baselineMm > 0;
    mFocalPx = metric ? focalPx : 0;
    mBaselineMm = metric ? baselineMm : 0;
}

std::shared_ptr<const DepthSnapshot> DepthWorker::Latest() const
{
    std::lock_guard lock(mMutex);
    return mLatest;
}

double DepthWorker::MapsPerSecond() const
{
    std::lock_guard lock(mMutex);
    const Clock::time_point since = Clock::now() - std::chrono::seconds(2);
    const size_t kept = std::min(mFinishedCount, mFinished.size());
    size_t recent = 0;
    for (size_t i = 0; i < kept; ++i)
        recent += mFinished[i] > since;
    return double(recent) / 2.0;
}

std::shared_ptr<DepthSnapshot> DepthWorker::FreeSnapshot()
{
    for (std::shared_ptr<DepthSnapshot>& snapshot : mPool)
        if (snapshot.use_count() == 1) {
            // The count was read relaxed: a copy's increment reads the last holder's release,
            // so its reads of the snapshot come before our writes.
            const std::shared_ptr<DepthSnapshot> acquire = snapshot;
            return snapshot;
        }
    auto snapshot = std::make_shared<DepthSnapshot>();
    if (mPool.size() < kPoolSize)
        mPool.push_back(snapshot);
    return snapshot;
}

void DepthWorker::Run()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mWake.wait(lock, [this] { return mStop || mPairWaiting; });
        if (mStop)
            return;
        const double focalPx = mFocalPx, baselineMm = mBaselineMm;
        lock.unlock();
        std::shared_ptr<DepthSnapshot> snapshot = FreeSnapshot();
        const size_t rowBytes = size_t(mPairWidth) * 4;
        // A refused pair is shown as it is: all unknown, black.
        mMapper.Map({mPair[0].data(), rowBytes, mPairWidth, mPairHeight},
                    {mPair[1].data(), rowBytes, mPairWidth, mPairHeight}, focalPx, baselineMm,
                    *snapshot, mReason);
        lock.lock();
        snapshot->serial = ++mSerial;
        mLatest = std::move(snapshot);
        mFinished[mFinishedCount++ % mFinished.size()] = Clock::now();
        mPairWaiting = false;
    }
}
