// The shared camera channel as other programs see it: the frame records exchanged with the
// component's seven exports, and the layout of the shared frame memory file. Everything here
// is read by other programs; none of it may change.
#pragma once

#include <cstddef>

#include "MacTypes.h"

// One frame buffer as the component describes it.
typedef struct tagSHARED_CAMERA_BUFFER
{
    UInt32 sizeofSHARED_CAMERA_BUFFER; // the caller sets it to sizeof(SHARED_CAMERA_BUFFER)
    void* frameBufferPtr;              // in the calling process; null when there is none
    SInt32 frameBufferRowBytes;
    SInt32 frameBufferSizeBytes;
    SInt16 frameWidth;
    SInt16 frameHeight;
    UInt32 framePixelFormat;
} SHARED_CAMERA_BUFFER;

typedef struct tagSHARED_CAMERA_CONTROL
{
    UInt32 sizeofSHARED_CAMERA_CONTROL; // must be 8
    SInt16 allowCameraConnections;      // non-zero: other programs may connect
    UInt16 reserved;
} SHARED_CAMERA_CONTROL;

static_assert(sizeof(void*) != 8 || (sizeof(SHARED_CAMERA_BUFFER) == 32 &&
                                     offsetof(SHARED_CAMERA_BUFFER, frameBufferPtr) == 8 &&
                                     offsetof(SHARED_CAMERA_BUFFER, frameBufferRowBytes) == 16 &&
                                     offsetof(SHARED_CAMERA_BUFFER, frameBufferSizeBytes) == 20 &&
                                     offsetof(SHARED_CAMERA_BUFFER, frameWidth) == 24 &&
                                     offsetof(SHARED_CAMERA_BUFFER, frameHeight) == 26 &&
                                     offsetof(SHARED_CAMERA_BUFFER, framePixelFormat) == 28));
static_assert(sizeof(void*) != 4 || (sizeof(SHARED_CAMERA_BUFFER) == 24 &&
                                     offsetof(SHARED_CAMERA_BUFFER, frameBufferPtr) == 4 &&
                                     offsetof(SHARED_CAMERA_BUFFER, framePixelFormat) == 20));
static_assert(sizeof(SHARED_CAMERA_CONTROL) == 8 &&
              offsetof(SHARED_CAMERA_CONTROL, allowCameraConnections) == 4);

// The frame format of the channel: 640 x 480, A, R, G, B bytes, alpha premultiplied.
enum : SInt32 {
    kSharedCameraFrameWidth = 640,
    kSharedCameraFrameHeight = 480,
    kSharedCameraFrameRowBytes = kSharedCameraFrameWidth * 4,
    kSharedCameraFrameSizeBytes = kSharedCameraFrameRowBytes * kSharedCameraFrameHeight,
};
inline constexpr OSType kSharedCameraPixelFormat = FourCC("raw "); // 0x72617720

// The shared frame memory file.
enum : size_t {
    kSharedMemorySignatureOffset = 0,
    kSharedMemoryVersionOffset = 4,
    kSharedMemoryFrameBuffer0Offset = 1024,
    kSharedMemoryGuardSize = 512,
    kSharedMemoryFrameBuffer1Offset =
        kSharedMemoryFrameBuffer0Offset + kSharedCameraFrameSizeBytes + 2 * kSharedMemoryGuardSize,
    kSharedMemorySelectorOffset =
        kSharedMemoryFrameBuffer1Offset + kSharedCameraFrameSizeBytes + kSharedMemoryGuardSize,
    kSharedMemoryConnectionsOffset = kSharedMemorySelectorOffset + 4,
    kSharedMemoryTrailingSignatureOffset = kSharedMemoryConnectionsOffset + 4,
    kSharedMemoryFileSize = kSharedMemoryTrailingSignatureOffset + 4 + 500,
};
static_assert(kSharedCameraFrameSizeBytes == 1228800);
static_assert(kSharedMemoryFrameBuffer1Offset == 1230848);
static_assert(kSharedMemorySelectorOffset == 2460160);
static_assert(kSharedMemoryConnectionsOffset == 2460164);
static_assert(kSharedMemoryTrailingSignatureOffset == 2460168);
static_assert(kSharedMemoryFileSize == 2460672);

enum : UInt32 {
    kSharedMemoryNoCurrentBuffer = 0,
    kSharedMemoryCurrentBuffer0 = 0x11111111,
    kSharedMemoryCurrentBuffer1 = 0x22222222,
    kSharedMemoryConnectionsAllowed = 0,
    kSharedMemoryConnectionsRefused = 0xFFFFFFFF,
};

// "/tmp/com-red-kite-<console user>-Parallax3D-1.201-640x480-ARGB.tmp"
#define kSharedMemoryFileNameFormat "/tmp/com-red-kite-%@-Parallax3D-1.201-%s.tmp"
#define kSharedMemoryFrameFormatName "640x480-ARGB"
// "Parallax3DXXX_<console user>_0" and "_1", the locks of buffers 0 and 1: every user's channel
// has locks of its own, which no other user can open.
#define kSharedMemorySemaphoreNameFormat "Parallax3DXXX_%@_%s"
#define kSharedMemorySemaphoreNameText0 "0"
#define kSharedMemorySemaphoreNameText1 "1"

// The component's exports, resolved by name at run time by clients; true = 1.
extern "C" {
typedef Boolean (*SetCameraControlProc)(SHARED_CAMERA_CONTROL* control);
typedef Boolean (*GetWriteableFrameBufferProc)(int bufferNumber, SHARED_CAMERA_BUFFER* buffer);
typedef Boolean (*SetCurrentReadBufferProc)(void* frameBuffer);
typedef Boolean (*GetCurrentReadBufferProc)(SHARED_CAMERA_BUFFER* buffer);
typedef Boolean (*FrameBufferLockProc)(void* frameBuffer);

// sets the connections word
Boolean __public_fn_(SHARED_CAMERA_CONTROL* control);
// describes frame buffer n for writing
Boolean __public_fn0(int Buffer_N, SHARED_CAMERA_BUFFER* buffer);
// publishes a buffer (or null) as the current frame
Boolean __public_fn1(void* frameBuffer);
// describes the current frame
Boolean __public_fn2(SHARED_CAMERA_BUFFER* buffer);
// tries to lock a buffer without waiting
Boolean __public_fn3(void* frameBuffer);
// locks a buffer, waiting a bounded time
Boolean __public_fn4(void* frameBuffer);
// unlocks a buffer this process holds
Boolean __public_fn5(void* frameBuffer);
}
