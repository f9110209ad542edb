#include "StampedChannelReader.h"

#include <utility>

#include "StampedChannelWriter.h"
#include "shared_camera_buffer.h"

namespace {

// Without a writer, the path is looked at again only this often: readers run at frame rate.
constexpr int64_t kReopenIntervalNs = 250000000;

} // namespace

StampedChannelReader::StampedChannelReader(std::string in_path) : mPath(std::move(in_path)) {}

bool StampedChannelReader::IsWriterAlive()
{
    if (mHeld >= 0)
        return true;
    if (mFile.IsOpen() && mFile.Faulted())
        mFile.Close();
    if (!mFile.IsOpen() || !mFile.WriteLockedElsewhere(kStampedChannelWriterLockByte)) {
        // Without a writer the view is kept, its last frame still there to read, and the path
        // is looked at again only so often: a writer started anew may have made another file.
        const int64_t now = int64_t(StampedChannelNowNs());
        if (now < mNextOpenNs)
            return false;
        mNextOpenNs = now + kReopenIntervalNs;
        if (mFile.IsOpen() && !mFile.IsReplaced(mPath))
            return false;
        mFile.Close();
        if (!mFile.OpenRead(mPath) || !mFile.WriteLockedElsewhere(kStampedChannelWriterLockByte))
            return false;
    }
    return LoadShared(mFile.Header().connections, std::memory_order_acquire) !=
           kSharedMemoryConnectionsRefused;
}

bool StampedChannelReader::BroadcastSize(int& out_width, int& out_height)
{
    if (!IsWriterAlive())
        return false;
    StampedChannelHeader& header = mFile.Header();
    const int width = int(LoadShared(header.width, std::memory_order_acquire));
    const int height = int(LoadShared(header.height, std::memory_order_acquire));
    if (!IsStampedChannelFrameSize(width, height))
        return false;
    out_width = width;
    out_height = height;
    return true;
}

void StampedChannelReader::WaitForNewFrame(int64_t in_timeoutNs)
{
    if (!mFile.IsOpen() ||
        LoadShared(mFile.Header().published, std::memory_order_acquire) != mSeenPublished)
        return;
    mFile.WaitForPublication(mSeenPublished, in_timeoutNs);
}

bool StampedChannelReader::BeginRead(Frame& out_frame)
{
    return BeginRead(out_frame, mLastSequence);
}

bool StampedChannelReader::BeginReadNewest(Frame& out_frame)
{
    return BeginRead(out_frame, 0);
}

bool StampedChannelReader::BeginRead(Frame& out_frame, uint64_t in_after)
{
    if (mHeld >= 0 || !mFile.IsOpen())
        return false;
    StampedChannelHeader& header = mFile.Header();
    mSeenPublished = LoadShared(header.published, std::memory_order_acquire);
    const uint32_t current = LoadShared(header.current, std::memory_order_acquire);
    if (current >= 2 || !mFile.Lock(kStampedChannelBufferLockByte0 + current, false))
        return false;
    StampedFrameRecord& record = header.frames[current];
    const uint64_t sequence = LoadShared(record.sequence, std::memory_order_acquire);
    const int width = int(record.width), height = int(record.height),
              rowBytes = int(record.rowBytes);
    mHeld = int(current);
    mHeldSequence = sequence;
    // A frame begun and dropped stays odd; one already read is not handed on again.
    if (sequence % 2 != 0 || sequence <= in_after || !IsStampedChannelFrameSize(width, height) ||
        rowBytes != width * 4) {
        Release();
        return false;
    }
    out_frame = {mFile.Buffer(mHeld),
                 width,
                 height,
                 rowBytes,
                 sequence,
                 record.leftCaptureNs,
                 record.rightCaptureNs,
                 record.captureNs,
                 record.publishNs};
    return true;
}

bool StampedChannelReader::IsHeldWhole()
{
    if (mHeld < 0)
        return false;
    // Under the read lock no writer gets in; the sequence says so again, and a file cut short
    // has put zeros where the frame was.
    return LoadShared(mFile.Header().frames[mHeld].sequence, std::memory_order_acquire) ==
               mHeldSequence &&
           !mFile.Faulted();
}

bool StampedChannelReader::EndRead()
{
    if (mHeld < 0)
        return false;
    const bool whole = IsHeldWhole();
    Release();
    if (whole)
        mLastSequence = mHeldSequence;
    return whole;
}

void StampedChannelReader::Release()
{
    // Every look at a buffer is counted, so the writer's next write of it comes after it.
    std::atomic_ref<uint32_t>(mFile.Header().frames[mHeld].readsDone)
        .fetch_add(1, std::memory_order_release);
    mFile.Unlock(kStampedChannelBufferLockByte0 + uint32_t(mHeld));
    mHeld = -1;
}

bool import_StampedChannelReader()
{
    return import_StampedChannelFile();
}
