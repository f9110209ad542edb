// The stamped channel: this build's own frame file, beside the classic one that older readers
// keep reading. It carries the broadcast at its own size (640 x 480 or 1280 x 720), and with each
// frame the capture time of each eye and the time it was published.
//
// Synchronisation is by record locks (F_OFD_SETLK) on bytes of the header, which the kernel drops
// when their holder dies: the writer holds kStampedChannelWriterLockByte for writing while it
// broadcasts (readers probe it to know it is alive); a buffer is written under a write lock of
// its byte and read under a read lock of it. Neither side ever waits for the other: the writer
// takes whichever buffer no reader holds, a reader whichever frame it finds free.
#pragma once

#include <cstddef>
#include <cstdint>

// "/tmp/com-red-kite-<console user>-Parallax3D-1.201-stamped-ARGB.tmp", through the classic
// file's name format.
#define kStampedChannelFrameFormatName "stamped-ARGB"

// One buffer's frame. Written only under the buffer's write lock.
struct StampedFrameRecord
{
    uint64_t sequence;      // odd while the frame is written; even and growing once published
    uint64_t leftCaptureNs; // CLOCK_MONOTONIC; 0 for an eye that had no frame
    uint64_t rightCaptureNs;
    uint64_t captureNs; // the older eye's: the frame is as old as that
    uint64_t publishNs;
    uint32_t width;
    uint32_t height;
    uint32_t rowBytes;
    // Readers count here each read they finish (release), and the writer looks (acquire) before
    // it writes the buffer again: that orders the reads before the next write in memory too.
    uint32_t readsDone;
};

struct StampedChannelHeader
{
    char signature[8]; // "P3Dstamp"
    uint32_t version;
    uint32_t headerBytes;
    uint32_t width; // the broadcast's size now; each frame states its own too
    uint32_t height;
    uint32_t rowBytes;
    uint32_t bufferBytes; // the room of each buffer: the largest frame
    uint32_t bufferOffset[2];
    uint32_t connections; // kSharedMemoryConnectionsAllowed or ...Refused, as in the classic file
    uint32_t current;     // 0 or 1: the buffer of the newest frame; kStampedChannelNoFrame
    uint32_t published;   // counts publications; readers wait for it to change (futex)
    uint32_t reserved;
    StampedFrameRecord frames[2];
};

enum : uint32_t {
    kStampedChannelVersion = 1,
    kStampedChannelNoFrame = 0xFFFFFFFF,
    kStampedChannelMaxWidth = 1280,
    kStampedChannelMaxHeight = 720,
    kStampedChannelHeaderBytes = 4096,
    kStampedChannelBufferBytes = kStampedChannelMaxWidth * kStampedChannelMaxHeight * 4,
    kStampedChannelBuffer0Offset = kStampedChannelHeaderBytes,
    kStampedChannelBuffer1Offset = kStampedChannelBuffer0Offset + kStampedChannelBufferBytes,
    kStampedChannelFileSize = kStampedChannelBuffer1Offset + kStampedChannelBufferBytes,
    // Bytes of the header locked, never written.
    kStampedChannelWriterLockByte = 256,
    kStampedChannelBufferLockByte0 = 257,
};
inline constexpr char kStampedChannelSignature[8] = {'P', '3', 'D', 's', 't', 'a', 'm', 'p'};

static_assert(sizeof(StampedFrameRecord) == 56);
static_assert(offsetof(StampedChannelHeader, width) == 16 &&
              offsetof(StampedChannelHeader, bufferOffset) == 32 &&
              offsetof(StampedChannelHeader, connections) == 40 &&
              offsetof(StampedChannelHeader, current) == 44 &&
              offsetof(StampedChannelHeader, published) == 48 &&
              offsetof(StampedChannelHeader, frames) == 56 && sizeof(StampedChannelHeader) == 168);
static_assert(sizeof(StampedChannelHeader) <= kStampedChannelWriterLockByte);
static_assert(kStampedChannelFileSize == 7376896);

// The sizes a broadcast has.
constexpr bool IsStampedChannelFrameSize(int in_width, int in_height)
{
    return (in_width == 640 && in_height == 480) || (in_width == 1280 && in_height == 720);
}
