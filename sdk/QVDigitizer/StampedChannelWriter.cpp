#include "StampedChannelWriter.h"

#include <algorithm>
#include <ctime>

#include "CoreMachDebugLog.h"
#include "shared_camera_buffer.h"

uint64_t StampedChannelNowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

bool StampedChannelWriter::Open(const std::string& in_path, int in_width, int in_height)
{
    if (mFile.IsOpen())
        return SetFrameSize(in_width, in_height);
    if (!mFile.OpenWrite(in_path))
        return false;
    if (!mFile.Lock(kStampedChannelWriterLockByte, true)) {
        CoreMachDebugLog("StampedChannelWriter: another program writes %s\n", in_path.c_str());
        mFile.Close();
        return false;
    }
    StampedChannelHeader& header = mFile.Header();
    // Readers of a frame from an earlier run go on to the next; they order by sequence.
    mSequence = std::max(LoadShared(header.frames[0].sequence, std::memory_order_relaxed),
                         LoadShared(header.frames[1].sequence, std::memory_order_relaxed)) |
                1;
    ++mSequence;
    mWriting = -1;
    if (!SetFrameSize(in_width, in_height))
        SetFrameSize(640, 480);
    return true;
}

void StampedChannelWriter::Close()
{
    AbandonFrame();
    mFile.Close(); // drops the locks: readers see the writer gone
}

bool StampedChannelWriter::SetFrameSize(int in_width, int in_height)
{
    if (!IsStampedChannelFrameSize(in_width, in_height))
        return false;
    mWidth = in_width;
    mHeight = in_height;
    if (mFile.IsOpen()) {
        StampedChannelHeader& header = mFile.Header();
        StoreShared(header.width, uint32_t(mWidth), std::memory_order_relaxed);
        StoreShared(header.height, uint32_t(mHeight), std::memory_order_relaxed);
        StoreShared(header.rowBytes, uint32_t(RowBytes()), std::memory_order_release);
    }
    return true;
}

void StampedChannelWriter::SetConnectionsAllowed(bool in_allowed)
{
    if (mFile.IsOpen())
        StoreShared(mFile.Header().connections,
                    in_allowed ? uint32_t(kSharedMemoryConnectionsAllowed)
                               : uint32_t(kSharedMemoryConnectionsRefused),
                    std::memory_order_release);
}

int StampedChannelWriter::BeginFrame()
{
    AbandonFrame();
    if (!mFile.IsOpen() || mFile.Faulted())
        return -1;
    StampedChannelHeader& header = mFile.Header();
    const uint32_t current = LoadShared(header.current, std::memory_order_relaxed);
    // The buffer not shown first; the one shown when a slow reader still holds the other.
    const int first = current == 0 ? 1 : 0;
    for (int n : {first, 1 - first}) {
        if (!mFile.Lock(kStampedChannelBufferLockByte0 + uint32_t(n), true))
            continue;
        StampedFrameRecord& record = header.frames[n];
        LoadShared(record.readsDone, std::memory_order_acquire);
        StoreShared(record.sequence, mSequence + 1, std::memory_order_relaxed);
        mWriting = n;
        return n;
    }
    return -1;
}

bool StampedChannelWriter::EndFrame(const Times& in_times)
{
    if (mWriting < 0)
        return false;
    const int n = mWriting;
    mWriting = -1;
    if (mFile.Faulted()) {
        mFile.Close();
        return false;
    }
    StampedChannelHeader& header = mFile.Header();
    StampedFrameRecord& record = header.frames[n];
    record.leftCaptureNs = in_times.leftNs;
    record.rightCaptureNs = in_times.rightNs;
    // An eye without a frame does not make the frame older.
    record.captureNs = in_times.leftNs == 0    ? in_times.rightNs
                       : in_times.rightNs == 0 ? in_times.leftNs
                                               : std::min(in_times.leftNs, in_times.rightNs);
    record.width = uint32_t(mWidth);
    record.height = uint32_t(mHeight);
    record.rowBytes = uint32_t(RowBytes());
    record.publishNs = StampedChannelNowNs();
    mSequence += 2;
    StoreShared(record.sequence, mSequence, std::memory_order_release);
    mFile.Unlock(kStampedChannelBufferLockByte0 + uint32_t(n));
    StoreShared(header.current, uint32_t(n), std::memory_order_release);
    std::atomic_ref<uint32_t>(header.published).fetch_add(1, std::memory_order_release);
    mFile.WakeReaders();
    return true;
}

void StampedChannelWriter::AbandonFrame()
{
    if (mWriting < 0)
        return;
    // The buffer keeps its last sequence's parity odd: readers skip it until it is published.
    mFile.Unlock(kStampedChannelBufferLockByte0 + uint32_t(mWriting));
    mWriting = -1;
}

bool import_StampedChannelWriter()
{
    return import_StampedChannelFile();
}
