#include "shared_cam_device.h"

#include <cstdlib>
#include <cstring>

#include "CoreMachDebugLog.h"
#include "CorePString.h"
#include "shared_gworld_memory.h"

namespace {

const char kDeviceName[] = "Parallax3D";

// The length of in_text that fits in in_room bytes without splitting a UTF-8 character.
size_t FittingLength(const char* in_text, size_t in_room)
{
    size_t length = strnlen(in_text, in_room + 1);
    if (length <= in_room)
        return length;
    length = in_room;
    while (length > 0 && (UInt8(in_text[length]) & 0xC0) == 0x80)
        --length;
    return length;
}

} // namespace

SharedCamDevice::SharedCamDevice()
    : _deviceName{}, _framePtr(nullptr), _frameSizeBytes(kFrameSizeBytes), _frameCount(0),
      _compressionOnOff(0)
{
    _framePtr = static_cast<UInt8*>(malloc(kFrameSizeBytes * 2));
    if (VERIFY_TEXT("SharedCamDevice", "_framePtr = malloc(kFrameSizeBytes*2)", _framePtr))
        memset(_framePtr, 0, kFrameSizeBytes); // the second half is never handed out
}

SharedCamDevice::~SharedCamDevice()
{
    free(_framePtr);
}

bool SharedCamDevice::Connect()
{
    memcpy(_deviceName, kDeviceName, sizeof(kDeviceName));
    _frameSizeBytes = kFrameSizeBytes;
    _compressionOnOff = 0;
    _frameCount = 0;
    return true;
}

void SharedCamDevice::Disconnect()
{
    if (_framePtr != nullptr) {
        // Released, not only forgotten: nothing hands the fallback out, so nobody holds it.
        free(_framePtr);
        _framePtr = nullptr;
        _frameSizeBytes = 0;
        _frameCount = 0;
    }
}

ComponentResult SharedCamDevice::GetDeviceName(StringPtr out_name, long) const
{
    if (out_name == nullptr)
        return paramErr;
    CorePString(_deviceName).strcpy(out_name, CorePString::kMaxLength);
    return noErr;
}

void SharedCamDevice::SetDeviceNameSuffix(const char* in_suffix)
{
    if (in_suffix == nullptr)
        return;
    const size_t used = strnlen(_deviceName, kDeviceNameSize - 1);
    const size_t length = FittingLength(in_suffix, kDeviceNameSize - 1 - used);
    memcpy(_deviceName + used, in_suffix, length);
    _deviceName[used + length] = '\0';
}

void SharedCamDevice::GetMaxSrcRectFromDevice(Rect* out_rect) const
{
    if (out_rect != nullptr)
        *out_rect = Rect{0, 0, kSharedCameraFrameHeight, kSharedCameraFrameWidth};
}

ComponentResult SharedCamDevice::SetCompressionOnOff(int in_onOff)
{
    _compressionOnOff = in_onOff;
    return noErr;
}

UInt8* SharedCamDevice::GetCurrentFrameBufferPtr(int) const
{
    UInt8* currentFrameBufferPtr = nullptr;
    SharedGWorldMemory& memory = SharedGWorldMemory::sSingleton;
    if (memory.OpenReadWriteView()) {
        // clang-format off
        VERIFY_AT("GetCurrentFrameBufferPtr", currentFrameBufferPtr = SharedGWorldMemory::sSingleton.GetCurrentReadBuffer());
    } else {
        VERIFY_AT("GetCurrentFrameBufferPtr", currentFrameBufferPtr = _framePtr);
        // clang-format on
    }
    VERIFY_AT("GetCurrentFrameBufferPtr", currentFrameBufferPtr);
    return currentFrameBufferPtr;
}

ComponentResult SharedCamDevice::GetFrame(UInt8* out_done, UInt8** out_buffer, long* out_size)
{
    ++_frameCount;
    UInt8* frameBuffer = GetCurrentFrameBufferPtr();
    // clang-format off
    if (!VERIFY_AT("GetFrame", frameBuffer!=NULL))
        // clang-format on
        return paramErr;
    if (!SharedGWorldMemory::sSingleton.LockFrameBufferPtr(frameBuffer))
        return paramErr;
    if (out_done == nullptr || out_buffer == nullptr || out_size == nullptr) {
        // Nowhere to hand the buffer to, so nobody could ever release it.
        SharedGWorldMemory::sSingleton.UnLockFrameBufferPtr(frameBuffer);
        return paramErr;
    }
    *out_done = 1;
    *out_buffer = frameBuffer;
    *out_size = long(_frameSizeBytes);
    return noErr;
}

ComponentResult SharedCamDevice::ReleaseCompressBuffer(UInt8* in_buffer)
{
    SharedGWorldMemory::sSingleton.UnLockFrameBufferPtr(in_buffer);
    return noErr;
}

bool import_SharedCamDevice()
{
    return import_SharedGWorldMemory();
}
