// The bytes of a recording: a file, or the connection to a streaming server.
//
// A file keeps space in reserve ahead of what it holds (fallocate), so that when the disk fills
// up the container can still be closed properly: the recording stops while the reserve is left,
// and the file plays to its last frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "AvHandles.h"
#include "RecordDestination.h"
#include "SrtCaller.h"

class RecordOutput
{
public:
    RecordOutput() = default;
    ~RecordOutput();
    RecordOutput(const RecordOutput&) = delete;
    RecordOutput& operator=(const RecordOutput&) = delete;

    // Creates (or empties) the file, or connects to the server; false with the reason.
    // A stream's connection and writes give up once in_cancel turns true.
    bool Open(const RecordDestination& in_destination, std::string& out_message,
              const std::atomic<bool>* in_cancel = nullptr);
    AVIOContext* Context() const { return mFile ? mFile.get() : mStream.get(); }
    // Only the reserve is left: add no more frames, close.
    bool NearlyFull() const { return mNearlyFull; }
    // Why the last write failed, "" when none did.
    const std::string& WriteError() const { return mWriteError; }
    uint64_t Bytes() const;
    // Writes what is buffered and closes, giving the reserve back; false with the reason when
    // the last bytes could not be written.
    bool Close(std::string& out_message);

private:
    // The I/O context over in_write (and in_seek, when the output can seek).
    bool OpenContext(int in_bufferSize, int (*in_write)(void*, uint8_t*, int),
                     int64_t (*in_seek)(void*, int64_t, int), std::string& out_message);
    static int WritePacket(void* in_self, uint8_t* in_data, int in_size);
    static int SendPacket(void* in_self, uint8_t* in_data, int in_size);
    static int64_t Seek(void* in_self, int64_t in_offset, int in_whence);
    // Keeps the reserve allocated ahead of in_end.
    void Reserve(int64_t in_end);

    IoContextPtr mFile; // over the file, or over the SRT connection
    SrtCaller mSrt;
    bool mSrtConnected = false;
    UrlIoContextPtr mStream;
    std::string mPath;
    int mFd = -1;
    int64_t mPosition = 0;
    int64_t mSize = 0;
    int64_t mAllocated = 0;
    bool mCanReserve = true; // false on file systems without fallocate
    bool mNearlyFull = false;
    std::string mWriteError;
};
