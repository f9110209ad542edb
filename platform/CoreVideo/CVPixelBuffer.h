// Core Video pixel buffers over caller memory: a description of someone else's pixels, never a
// copy. The memory's owner learns through the release callback when the last reference goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CFBase.h"
#include "MacTypes.h"

typedef struct __CVBuffer* CVBufferRef;
typedef CVBufferRef CVImageBufferRef;
typedef CVImageBufferRef CVPixelBufferRef;

typedef int32_t CVReturn;
enum : CVReturn {
    kCVReturnSuccess = 0,
    kCVReturnError = -6660,
    kCVReturnInvalidArgument = -6661,
    kCVReturnAllocationFailed = -6662,
};

enum : OSType {
    kCVPixelFormatType_32ARGB = 0x00000020, // bytes A, R, G, B, alpha premultiplied
    kCVPixelFormatType_422YpCbCr8 = '2vuy', // bytes Cb, Y0, Cr, Y1 for each two pixels
};

typedef uint64_t CVOptionFlags;
enum : CVOptionFlags {
    kCVPixelBufferLock_ReadOnly = 0x00000001,
};

typedef void (*CVPixelBufferReleaseBytesCallback)(void* releaseRefCon, const void* baseAddress);

// Sides beyond this are refused.
constexpr size_t kCVPixelBufferMaxDimension = 1u << 15;

// kCVReturnInvalidArgument for a null base or out pointer, a zero or oversized side, an unknown
// format, or rows too short for the format; the callback is not called then. allocator and
// attributes are accepted and ignored.
CVReturn CVPixelBufferCreateWithBytes(CFAllocatorRef allocator, size_t width, size_t height,
                                      OSType pixelFormatType, void* baseAddress, size_t bytesPerRow,
                                      CVPixelBufferReleaseBytesCallback releaseCallback,
                                      void* releaseRefCon, CFDictionaryRef pixelBufferAttributes,
                                      CVPixelBufferRef* pixelBufferOut);

CVPixelBufferRef CVPixelBufferRetain(CVPixelBufferRef pixelBuffer);
void CVPixelBufferRelease(CVPixelBufferRef pixelBuffer);
CFTypeID CVPixelBufferGetTypeID(void);

// Zero (or null) for anything that is not a pixel buffer.
size_t CVPixelBufferGetWidth(CVPixelBufferRef pixelBuffer);
size_t CVPixelBufferGetHeight(CVPixelBufferRef pixelBuffer);
size_t CVPixelBufferGetBytesPerRow(CVPixelBufferRef pixelBuffer);
size_t CVPixelBufferGetDataSize(CVPixelBufferRef pixelBuffer);
void* CVPixelBufferGetBaseAddress(CVPixelBufferRef pixelBuffer);
OSType CVPixelBufferGetPixelFormatType(CVPixelBufferRef pixelBuffer);
Boolean CVPixelBufferIsPlanar(CVPixelBufferRef pixelBuffer);

// The memory is the caller's and always mapped, so locking only counts: an unlock without a
// matching lock is kCVReturnError.
CVReturn CVPixelBufferLockBaseAddress(CVPixelBufferRef pixelBuffer, CVOptionFlags lockFlags);
CVReturn CVPixelBufferUnlockBaseAddress(CVPixelBufferRef pixelBuffer, CVOptionFlags unlockFlags);

bool import_CVPixelBuffer();
