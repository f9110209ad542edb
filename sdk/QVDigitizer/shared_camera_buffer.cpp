// The component's seven exports over the process's shared frame memory.
#include "shared_camera_buffer.h"

#include <cstring>

#include "CoreMachDebugLog.h"
#include "shared_gworld_memory.h"

#define P3D_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void DescribeFrame(SHARED_CAMERA_BUFFER* io_buffer, void* in_frame)
{
    io_buffer->frameBufferPtr = in_frame;
    io_buffer->frameBufferSizeBytes = kSharedCameraFrameSizeBytes;
    io_buffer->frameBufferRowBytes = kSharedCameraFrameRowBytes;
    io_buffer->frameWidth = kSharedCameraFrameWidth;
    io_buffer->frameHeight = kSharedCameraFrameHeight;
    io_buffer->framePixelFormat = kSharedCameraPixelFormat;
}

bool HasRecordSize(const SHARED_CAMERA_BUFFER* in_buffer)
{
    return in_buffer && in_buffer->sizeofSHARED_CAMERA_BUFFER == sizeof(SHARED_CAMERA_BUFFER);
}

SharedGWorldMemory& Memory()
{
    return SharedGWorldMemory::sSingleton;
}

} // namespace

P3D_EXPORT Boolean __public_fn_(SHARED_CAMERA_CONTROL* control)
{
    if (!control || control->sizeofSHARED_CAMERA_CONTROL != sizeof(SHARED_CAMERA_CONTROL))
        return false;
    if (!Memory().IsOpenWriteView())
        return false;
    Memory().SetAllowCameraConnections(control->allowCameraConnections
                                           ? UInt32(kSharedMemoryConnectionsAllowed)
                                           : UInt32(kSharedMemoryConnectionsRefused));
    return true;
}

P3D_EXPORT Boolean __public_fn0(int in_buffer_n, SHARED_CAMERA_BUFFER* buffer)
{
    if (!HasRecordSize(buffer))
        return false;
    if (Memory().IsOpenWriteView()) {
        const unsigned Buffer_N = unsigned(in_buffer_n);
        // clang-format off
        if (VERIFY(Buffer_N<SharedGWorldMemory::kMaxBufferCount)) {
            // clang-format on
            if (UInt8* frame = Memory().GetWriteBuffer_N(int(Buffer_N))) {
                DescribeFrame(buffer, frame);
                return true;
            }
        }
    }
    // Zero, size field included: a caller that reuses the record must set it again.
    memset(buffer, 0, sizeof(*buffer));
    return false;
}

P3D_EXPORT Boolean __public_fn1(void* frameBuffer)
{
    if (!Memory().IsOpenWriteView())
        return false;
    return Memory().SetCurrentWriteBuffer(frameBuffer);
}

P3D_EXPORT Boolean __public_fn2(SHARED_CAMERA_BUFFER* buffer)
{
    if (!HasRecordSize(buffer))
        return false;
    if (!Memory().OpenReadWriteView()) {
        buffer->frameBufferPtr = nullptr;
        return false;
    }
    UInt8* frame = Memory().GetCurrentReadBuffer();
    buffer->frameBufferPtr = frame;
    if (!frame)
        return false;
    DescribeFrame(buffer, frame);
    return true;
}

P3D_EXPORT Boolean __public_fn3(void* frameBuffer)
{
    return frameBuffer && Memory().OpenReadWriteView() &&
           Memory().TryLockFrameBufferPtr(frameBuffer);
}

P3D_EXPORT Boolean __public_fn4(void* frameBuffer)
{
    return frameBuffer && Memory().OpenReadWriteView() && Memory().LockFrameBufferPtr(frameBuffer);
}

P3D_EXPORT Boolean __public_fn5(void* frameBuffer)
{
    return frameBuffer && Memory().OpenReadWriteView() &&
           Memory().UnLockFrameBufferPtr(frameBuffer);
}
