// Numbered test frames and the writer and reader loops that the channel tests run, in threads
// of one process or in separate processes.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "ComponentExports.h"

namespace p3dtest {

constexpr size_t kFrameWords = kSharedCameraFrameSizeBytes / sizeof(UInt32);

// Every word of frame n differs from every other word and from the same word of other frames.
inline void FillFrame(void* frame, UInt32 number)
{
    UInt32* words = static_cast<UInt32*>(frame);
    for (size_t i = 0; i < kFrameWords; ++i)
        words[i] = number ^ UInt32(i * 0x9E3779B1u);
}

// The frame's number when all of it belongs to one frame; false for a torn frame.
inline bool FrameNumber(const void* frame, UInt32* number)
{
    const UInt32* words = static_cast<const UInt32*>(frame);
    const UInt32 n = words[0];
    for (size_t i = 1; i < kFrameWords; ++i)
        if ((words[i] ^ UInt32(i * 0x9E3779B1u)) != n)
            return false;
    *number = n;
    return true;
}

// Eight vertical bars, opaque: white, yellow, cyan, green, magenta, red, blue, black.
constexpr UInt32 kBarColours[8] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                   0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};

inline void FillBars(void* frame)
{
    UInt8* pixel = static_cast<UInt8*>(frame);
    for (int y = 0; y < kSharedCameraFrameHeight; ++y)
        for (int x = 0; x < kSharedCameraFrameWidth; ++x, pixel += 4) {
            const UInt32 rgb = kBarColours[x * 8 / kSharedCameraFrameWidth];
            pixel[0] = 0xFF;
            pixel[1] = UInt8(rgb >> 16);
            pixel[2] = UInt8(rgb >> 8);
            pixel[3] = UInt8(rgb);
        }
}

// The bars across a frame of that size, A, R, G, B.
inline std::string Bars(int width, int height)
{
    std::string frame(size_t(width) * size_t(height) * 4, '\0');
    for (size_t i = 0; i < frame.size() / 4; ++i) {
        const UInt32 rgb = kBarColours[int(i % size_t(width)) * 8 / width];
        frame[i * 4] = char(0xFF);
        frame[i * 4 + 1] = char(rgb >> 16);
        frame[i * 4 + 2] = char(rgb >> 8);
        frame[i * 4 + 3] = char(rgb);
    }
    return frame;
}

// Writes frame n into buffer n % 2 under its lock and publishes it, as the application does.
inline bool PublishFrame(const ComponentExports& exports, UInt32 number)
{
    SHARED_CAMERA_BUFFER record = ComponentExports::Record();
    if (!exports.GetWriteableFrameBuffer(int(number % 2), &record))
        return false;
    if (!exports.LockFrameBuffer(record.frameBufferPtr))
        return false; // dropped
    FillFrame(record.frameBufferPtr, number);
    exports.UnLockFrameBuffer(record.frameBufferPtr);
    return exports.SetCurrentReadBuffer(record.frameBufferPtr);
}

enum class ReadResult { kNoFrame, kFrame, kTorn };

// Copies the current frame out under its lock, as readers do.
inline ReadResult ReadFrame(const ComponentExports& exports, std::vector<UInt8>& copy,
                            UInt32* number)
{
    SHARED_CAMERA_BUFFER record = ComponentExports::Record();
    if (!exports.GetCurrentReadBuffer(&record))
        return ReadResult::kNoFrame;
    if (!exports.LockFrameBuffer(record.frameBufferPtr))
        return ReadResult::kNoFrame;
    copy.resize(kSharedCameraFrameSizeBytes);
    memcpy(copy.data(), record.frameBufferPtr, copy.size());
    exports.UnLockFrameBuffer(record.frameBufferPtr);
    return FrameNumber(copy.data(), number) ? ReadResult::kFrame : ReadResult::kTorn;
}

struct WriterCounts
{
    UInt32 published = 0;
    UInt32 dropped = 0;
};

inline WriterCounts WriteFramesFor(const ComponentExports& exports, std::chrono::milliseconds span,
                                   const std::atomic<bool>* stop = nullptr)
{
    WriterCounts counts;
    const auto end = std::chrono::steady_clock::now() + span;
    for (UInt32 n = 1; std::chrono::steady_clock::now() < end && !(stop && *stop); ++n) {
        if (PublishFrame(exports, n))
            ++counts.published;
        else
            ++counts.dropped;
    }
    return counts;
}

struct ReaderCounts
{
    UInt32 frames = 0;
    UInt32 torn = 0;
    // A frame more than one older than one this reader already saw. One older is allowed: a
    // reader may lock a buffer the writer has just filled but not yet published, and then
    // find the frame before it current.
    UInt32 backwards = 0;
};

inline ReaderCounts ReadFramesFor(const ComponentExports& exports, std::chrono::milliseconds span)
{
    ReaderCounts counts;
    std::vector<UInt8> copy;
    UInt32 last = 0;
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        UInt32 number = 0;
        switch (ReadFrame(exports, copy, &number)) {
        case ReadResult::kFrame:
            ++counts.frames;
            if (number + 1 < last)
                ++counts.backwards;
            last = std::max(last, number);
            break;
        case ReadResult::kTorn:
            ++counts.torn;
            break;
        case ReadResult::kNoFrame:
            break;
        }
    }
    return counts;
}

} // namespace p3dtest
