// The component's device table: each entry casts the handle back and calls the device.
#include "shared_cam_device_dispatch.h"

#include <new>

#include "shared_cam_device.h"
#include "shared_gworld_memory.h"

#define P3D_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

SharedCamDevice* Device(SharedCamDeviceRef in_device)
{
    return reinterpret_cast<SharedCamDevice*>(in_device);
}

SharedCamDeviceRef Construct()
{
    return reinterpret_cast<SharedCamDeviceRef>(new (std::nothrow) SharedCamDevice);
}

void Destroy(SharedCamDeviceRef device)
{
    delete Device(device);
}

Boolean Connect(SharedCamDeviceRef device)
{
    return device && Device(device)->Connect();
}

void Disconnect(SharedCamDeviceRef device)
{
    if (device)
        Device(device)->Disconnect();
}

SInt32 GetDeviceName(SharedCamDeviceRef device, StringPtr name, long n)
{
    return device ? Device(device)->GetDeviceName(name, n) : SInt32(paramErr);
}

void SetDeviceNameSuffix(SharedCamDeviceRef device, const char* suffix)
{
    if (device)
        Device(device)->SetDeviceNameSuffix(suffix);
}

void GetMaxSrcRectFromDevice(SharedCamDeviceRef device, Rect* rect)
{
    if (device)
        Device(device)->GetMaxSrcRectFromDevice(rect);
}

SInt32 FrameSizeBytes(SharedCamDeviceRef device)
{
    return device ? Device(device)->FrameSizeBytes() : 0;
}

SInt32 SetCompressionOnOff(SharedCamDeviceRef device, int onOff)
{
    return device ? Device(device)->SetCompressionOnOff(onOff) : SInt32(paramErr);
}

UInt8* GetCurrentFrameBufferPtr(SharedCamDeviceRef device, int n)
{
    return device ? Device(device)->GetCurrentFrameBufferPtr(n) : nullptr;
}

SInt32 GetFrame(SharedCamDeviceRef device, UInt8* done, UInt8** buffer, long* size)
{
    return device ? Device(device)->GetFrame(done, buffer, size) : SInt32(paramErr);
}

SInt32 ReleaseCompressBuffer(SharedCamDeviceRef device, UInt8* buffer)
{
    return device ? Device(device)->ReleaseCompressBuffer(buffer) : SInt32(paramErr);
}

Boolean ReopenIfReplaced(SharedCamDeviceRef device)
{
    return device && SharedGWorldMemory::sSingleton.ReopenIfReplaced();
}

constexpr SharedCamDeviceDispatch kDispatch = {
    kSharedCamDeviceDispatchVersion,
    sizeof(SharedCamDeviceDispatch),
    Construct,
    Destroy,
    Connect,
    Disconnect,
    GetDeviceName,
    SetDeviceNameSuffix,
    GetMaxSrcRectFromDevice,
    FrameSizeBytes,
    SetCompressionOnOff,
    GetCurrentFrameBufferPtr,
    GetFrame,
    ReleaseCompressBuffer,
    ReopenIfReplaced,
};

} // namespace

P3D_EXPORT const SharedCamDeviceDispatch* __public_vdig(UInt32 version)
{
    // Later tables keep every earlier entry where it was.
    return version >= 1 && version <= kSharedCamDeviceDispatchVersion ? &kDispatch : nullptr;
}
