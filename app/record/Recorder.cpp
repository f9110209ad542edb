#include "Recorder.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <unistd.h>

#include "CoreMachDebugLog.h"
#include "RecordDestination.h"

namespace {

bool SameSize(const ArgbView& in_view, int in_width, int in_height)
{
    return in_view.width == in_width && in_view.height == in_height;
}

void CopyRows(const ArgbView& in_from, uint8_t* out_to, size_t in_toRowBytes)
{
    const size_t rowBytes = size_t(in_from.width) * 4;
    for (int y = 0; y < in_from.height; ++y)
        memcpy(out_to + in_toRowBytes * size_t(y), in_from.pixels + in_from.rowBytes * size_t(y),
               rowBytes);
}

} // namespace

Recorder::~Recorder()
{
    std::string ignored;
    Stop(ignored);
}

bool Recorder::Start(const std::string& in_destination, const RecordSettings& in_settings,
                     std::string& out_message)
{
    if (mRecording) {
        out_message = "Already recording";
        return false;
    }
    if (mThread.joinable()) // ended by itself
        mThread.join();
    if (!ParseRecordDestination(in_destination, in_settings.layout, mDestination, out_message))
        return false;
    if (in_settings.width <= 0 || in_settings.height <= 0 || in_settings.width > 8192 ||
        in_settings.height > 8192) {
        out_message = "Nothing to record: no picture size";
        return false;
    }
    mSettings = in_settings;
    mPictureWidth =
        in_settings.layout == RecordLayout::Monitor ? in_settings.width : 2 * in_settings.width;
    if (!mDestination.isStream && !mWriter.Open(mDestination, in_settings, out_message)) {
        std::string ignored;
        mWriter.Close(ignored);
        return false;
    }
    for (Slot& slot : mSlots)
        slot.pixels.resize(size_t(mPictureWidth) * 4 * size_t(in_settings.height));
    mFirst = mQueued = 0;
    mStopping = false;
    mStopRequested = false;
    mConnecting = mDestination.isStream;
    mEndReason.clear();
    mMessage.clear();
    mClosedOk = true;
    mWritten = mDropped = 0;
    mSeconds = 0;
    mEarlierBytes = 0;
    mBytes = mWriter.Bytes();
    mRecording = true;
    mThread = std::thread(&Recorder::Run, this);
    return true;
}

Recorder::Slot* Recorder::FreeSlot()
{
    if (!mRecording)
        return nullptr;
    std::lock_guard lock(mMutex);
    if (mQueued == kQueueFrames) {
        ++mDropped;
        return nullptr;
    }
    // Only this thread adds, so the slot stays free while it is filled outside the lock.
    return &mSlots[(mFirst + mQueued) % kQueueFrames];
}

void Recorder::Queue()
{
    {
        std::lock_guard lock(mMutex);
        ++mQueued;
    }
    mWake.notify_one();
}

bool Recorder::SizeChanged(const ArgbView& in_picture)
{
    if (SameSize(in_picture, mSettings.width, mSettings.height))
        return false;
    // A file holds one size: it ends here, playable, rather than dropping every frame from now on.
    std::lock_guard lock(mMutex);
    if (!mStopping) {
        mEndReason = "The picture's size changed from " + std::to_string(mSettings.width) + " x " +
                     std::to_string(mSettings.height) + " to " + std::to_string(in_picture.width) +
                     " x " + std::to_string(in_picture.height) + ": the recording stopped";
        mStopping = true;
        mWake.notify_one();
    }
    return true;
}

bool Recorder::Push(const ArgbView& in_picture, uint64_t in_captureNs)
{
    if (mSettings.layout != RecordLayout::Monitor || !mRecording || !IsPicture(in_picture) ||
        SizeChanged(in_picture))
        return false;
    Slot* slot = FreeSlot();
    if (!slot)
        return false;
    CopyRows(in_picture, slot->pixels.data(), size_t(mPictureWidth) * 4);
    slot->captureNs = in_captureNs;
    Queue();
    return true;
}

bool Recorder::Push(const ArgbView& in_left, const ArgbView& in_right, uint64_t in_captureNs)
{
    if (mSettings.layout == RecordLayout::Monitor || !mRecording || !IsPicture(in_left) ||
        !IsPicture(in_right) || SizeChanged(in_left) || SizeChanged(in_right))
        return false;
    Slot* slot = FreeSlot();
    if (!slot)
        return false;
    const size_t rowBytes = size_t(mPictureWidth) * 4;
    CopyRows(in_left, slot->pixels.data(), rowBytes);
    CopyRows(in_right, slot->pixels.data() + size_t(mSettings.width) * 4, rowBytes);
    slot->captureNs = in_captureNs;
    Queue();
    return true;
}

void Recorder::Run()
{
    if (mDestination.isStream && !Connect(false))
        return Finish("");
    for (;;) {
        std::unique_lock lock(mMutex);
        mWake.wait(lock, [this] { return mQueued > 0 || mStopping; });
        if (mQueued == 0)
            break;
        const Slot& slot = mSlots[mFirst];
        lock.unlock();

        std::string message;
        const ArgbView picture = {slot.pixels.data(), size_t(mPictureWidth) * 4, mPictureWidth,
                                  mSettings.height};
        if (!mWriter.Write(picture, slot.captureNs, message)) {
            if (!mDestination.isStream)
                return Finish(message);
            if (!Connect(true))
                break;
            continue; // the queue was emptied
        }
        ++mWritten;
        mSeconds = mWriter.Seconds();
        mBytes = mEarlierBytes + mWriter.Bytes();
        if (mWriter.NearlyFull())
            return Finish("The disk is full: the recording stopped");

        lock.lock();
        mFirst = (mFirst + 1) % kQueueFrames;
        --mQueued;
    }
    std::string reason;
    {
        std::lock_guard lock(mMutex);
        reason = mEndReason;
    }
    Finish(reason);
}

bool Recorder::Connect(bool in_again)
{
    constexpr std::chrono::milliseconds kFirstWait{250}, kLongestWait{2000};
    mConnecting = true;
    std::string message;
    if (in_again) {
        mEarlierBytes += mWriter.Bytes();
        mWriter.Close(message);
    }
    for (auto wait = in_again ? kFirstWait : std::chrono::milliseconds(0);;
         wait = std::clamp(2 * wait, kFirstWait, kLongestWait)) {
        {
            std::unique_lock lock(mMutex);
            mDropped += mQueued;
            mFirst = (mFirst + mQueued) % kQueueFrames;
            mQueued = 0;
            if (mWake.wait_for(lock, wait, [this] { return mStopping; }))
                break;
        }
        if (mWriter.Open(mDestination, mSettings, message, &mStopRequested)) {
            mConnecting = false;
            return true;
        }
        mWriter.Close(message);
    }
    mConnecting = false;
    return false;
}

void Recorder::Finish(const std::string& in_reason)
{
    {
        // The reason is there by the time Recording() says false.
        std::lock_guard lock(mMutex);
        mMessage = in_reason;
        mClosedOk = in_reason.empty();
    }
    mRecording = false;
    std::string closing;
    const uint64_t sent = mWriter.Bytes();
    const bool closed = mWriter.Close(closing);
    // A file's size is known once closed; a stream's count ends with its connection.
    mBytes = mEarlierBytes + (mDestination.isStream ? sent : mWriter.Bytes());
    // A file without a frame holds nothing to play, and FFmpeg's Matroska writer leaves one that
    // players refuse: it goes.
    if (mWritten == 0 && !mDestination.isStream &&
        VERIFY(unlink(mDestination.location.c_str()) == 0))
        mBytes = 0;
    std::lock_guard lock(mMutex);
    if (!closed && mClosedOk) {
        mMessage = closing;
        mClosedOk = false;
    }
}

bool Recorder::Stop(std::string& out_message)
{
    if (!mThread.joinable())
        return true;
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    mStopRequested = true;
    mWake.notify_one();
    mThread.join();
    std::lock_guard lock(mMutex);
    out_message = mMessage;
    return mClosedOk;
}

RecordFigures Recorder::Figures() const
{
    return {mWritten, mDropped, mSeconds, mBytes};
}

std::string Recorder::Message() const
{
    std::lock_guard lock(mMutex);
    return mMessage;
}
