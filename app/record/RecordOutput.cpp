#include "RecordOutput.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "CoreMachDebugLog.h"

namespace {

constexpr int kBufferSize = 256 * 1024; // also the largest single write
// Closing needs the muxer's unwritten cluster (Matroska: up to a few MiB) and its index, which
// grows with the file.
constexpr int64_t kReserveBase = 8 << 20;
constexpr int64_t kGrowBy = 32 << 20; // allocated at once while there is room
// Above SRT's usual 120 ms.
constexpr std::chrono::milliseconds kSrtLatency{250};

int64_t ReserveFor(int64_t in_size)
{
    return kReserveBase + in_size / 64;
}

} // namespace

RecordOutput::~RecordOutput()
{
    std::string ignored;
    Close(ignored);
}

bool RecordOutput::Open(const RecordDestination& in_destination, std::string& out_message,
                        const std::atomic<bool>* in_cancel)
{
    std::string ignored;
    Close(ignored);
    mPosition = mSize = mAllocated = 0;
    mCanReserve = true;
    mNearlyFull = false;
    mWriteError.clear();
    if (in_destination.isStream && strcmp(in_destination.format, "mpegts") == 0) {
        SrtAddress address;
        if (!ParseSrtUrl(in_destination.location, address, out_message) ||
            !mSrt.Connect(address, out_message))
            return false;
        mSrtConnected = true;
        return OpenContext(SrtCaller::kPayloadBytes, &RecordOutput::SendPacket, nullptr,
                           out_message);
    }
    if (in_destination.isStream) {
        AVIOContext* io = nullptr;
        const AVIOInterruptCB cancel = {
            [](void* in_flag) {
                return int(static_cast<const std::atomic<bool>*>(in_flag)->load());
            },
            const_cast<std::atomic<bool>*>(in_cancel)};
        const int error =
            VERIFY_ERR(avio_open2(&io, in_destination.location.c_str(), AVIO_FLAG_WRITE,
                                  in_cancel ? &cancel : nullptr, nullptr));
        if (error < 0) {
            out_message =
                "Cannot connect to " + in_destination.location + ": " + AvErrorText(error);
            return false;
        }
        mStream.reset(io);
        return true;
    }

    mPath = in_destination.location;
    mFd = open(mPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (!VERIFY(mFd != -1)) {
        out_message = "Cannot write " + mPath + ": " + strerror(errno);
        return false;
    }
    return OpenContext(kBufferSize, &RecordOutput::WritePacket, &RecordOutput::Seek, out_message);
}

bool RecordOutput::OpenContext(int in_bufferSize, int (*in_write)(void*, uint8_t*, int),
                               int64_t (*in_seek)(void*, int64_t, int), std::string& out_message)
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(size_t(in_bufferSize)));
    AVIOContext* io =
        buffer ? avio_alloc_context(buffer, in_bufferSize, 1, this, nullptr, in_write, in_seek)
               : nullptr;
    if (!VERIFY(io != nullptr)) {
        av_free(buffer);
        out_message = "Out of memory";
        return false;
    }
    // Each write one SRT message at most.
    io->max_packet_size = in_bufferSize;
    mFile.reset(io);
    return true;
}

uint64_t RecordOutput::Bytes() const
{
    if (mStream)
        return uint64_t(mStream->bytes_written);
    return uint64_t(mSize);
}

void RecordOutput::Reserve(int64_t in_end)
{
    const int64_t wanted = in_end + ReserveFor(in_end);
    if (!mCanReserve || mNearlyFull || wanted <= mAllocated)
        return;
    // Plenty at once while there is room; near the end, only what is needed.
    for (const int64_t end : {wanted + kGrowBy, wanted}) {
        if (fallocate(mFd, FALLOC_FL_KEEP_SIZE, mAllocated, end - mAllocated) == 0) {
            mAllocated = end;
            return;
        }
        if (errno != ENOSPC && errno != EDQUOT) {
            mCanReserve = false; // the file system cannot: writes find the end themselves
            return;
        }
    }
    mNearlyFull = true;
}

int RecordOutput::WritePacket(void* in_self, uint8_t* in_data, int in_size)
{
    auto* self = static_cast<RecordOutput*>(in_self);
    self->Reserve(self->mPosition + in_size);
    for (int done = 0; done < in_size;) {
        const ssize_t wrote =
            pwrite(self->mFd, in_data + done, size_t(in_size - done), self->mPosition);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            const int error = wrote < 0 ? errno : ENOSPC;
            self->mWriteError = strerror(error);
            return AVERROR(error);
        }
        done += int(wrote);
        self->mPosition += wrote;
        self->mSize = std::max(self->mSize, self->mPosition);
    }
    return in_size;
}

int RecordOutput::SendPacket(void* in_self, uint8_t* in_data, int in_size)
{
    auto* self = static_cast<RecordOutput*>(in_self);
    if (!self->mSrt.Send(in_data, in_size, self->mWriteError))
        return AVERROR(EPIPE);
    self->mSize += in_size;
    return in_size;
}

int64_t RecordOutput::Seek(void* in_self, int64_t in_offset, int in_whence)
{
    auto* self = static_cast<RecordOutput*>(in_self);
    switch (in_whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return self->mSize;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        in_offset += self->mPosition;
        break;
    case SEEK_END:
        in_offset += self->mSize;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (in_offset < 0)
        return AVERROR(EINVAL);
    return self->mPosition = in_offset;
}

bool RecordOutput::Close(std::string& out_message)
{
    bool ok = true;
    if (mStream) {
        avio_flush(mStream.get());
        ok = VERIFY(mStream->error == 0);
        if (!ok)
            out_message = "The stream failed: " + AvErrorText(mStream->error);
        mStream.reset();
    }
    if (mFile) {
        avio_flush(mFile.get());
        ok = VERIFY(mFile->error == 0);
        if (!ok)
            out_message = mSrtConnected ? "The stream failed: " + mWriteError
                                        : "Cannot write " + mPath + ": " + mWriteError;
        mFile.reset();
    }
    if (mSrtConnected) {
        // An SRT receiver plays each packet its latency after it was sent, and drops what it
        // still holds when the connection ends: the last frames wait that out.
        if (ok)
            std::this_thread::sleep_for(kSrtLatency);
        mSrt.Close();
        mSrtConnected = false;
    }
    if (mFd != -1) {
        // The reserve beyond the end goes back to the disk.
        if (mAllocated > mSize)
            VERIFY(ftruncate(mFd, mSize) == 0);
        if (!VERIFY(close(mFd) == 0) && ok) {
            out_message = "Cannot write " + mPath + ": " + strerror(errno);
            ok = false;
        }
        mFd = -1;
    }
    return ok;
}
