// The component's exports, loaded with dlopen and resolved by name, as any client does.
#pragma once

#include <dlfcn.h>
#include <string>

#include "shared_cam_device_dispatch.h"
#include "shared_camera_buffer.h"

namespace p3dtest {

class ComponentExports
{
public:
    // No library: the caller fills in the functions (the client's wrappers, say).
    struct Unloaded
    {
    };
    explicit ComponentExports(Unloaded) {}

    explicit ComponentExports(const std::string& path = P3D_COMPONENT_PATH)
    {
        mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!mHandle)
            return;
        SetCameraControl = Resolve<SetCameraControlProc>("__public_fn_");
        GetWriteableFrameBuffer = Resolve<GetWriteableFrameBufferProc>("__public_fn0");
        SetCurrentReadBuffer = Resolve<SetCurrentReadBufferProc>("__public_fn1");
        GetCurrentReadBuffer = Resolve<GetCurrentReadBufferProc>("__public_fn2");
        TryLockFrameBuffer = Resolve<FrameBufferLockProc>("__public_fn3");
        LockFrameBuffer = Resolve<FrameBufferLockProc>("__public_fn4");
        UnLockFrameBuffer = Resolve<FrameBufferLockProc>("__public_fn5");
        DeviceDispatch = Resolve<SharedCamDeviceDispatchProc>("__public_vdig");
        Device = DeviceDispatch ? DeviceDispatch(kSharedCamDeviceDispatchVersion) : nullptr;
    }
    ~ComponentExports()
    {
        if (mHandle)
            dlclose(mHandle);
    }
    ComponentExports(const ComponentExports&) = delete;
    ComponentExports& operator=(const ComponentExports&) = delete;

    bool loaded() const
    {
        return SetCameraControl && GetWriteableFrameBuffer && SetCurrentReadBuffer &&
               GetCurrentReadBuffer && TryLockFrameBuffer && LockFrameBuffer && UnLockFrameBuffer;
    }

    // A record with its size field set, as every caller must pass it.
    static SHARED_CAMERA_BUFFER Record()
    {
        SHARED_CAMERA_BUFFER record = {};
        record.sizeofSHARED_CAMERA_BUFFER = sizeof(record);
        return record;
    }

    SetCameraControlProc SetCameraControl = nullptr;
    GetWriteableFrameBufferProc GetWriteableFrameBuffer = nullptr;
    SetCurrentReadBufferProc SetCurrentReadBuffer = nullptr;
    GetCurrentReadBufferProc GetCurrentReadBuffer = nullptr;
    FrameBufferLockProc TryLockFrameBuffer = nullptr;
    FrameBufferLockProc LockFrameBuffer = nullptr;
    FrameBufferLockProc UnLockFrameBuffer = nullptr;
    SharedCamDeviceDispatchProc DeviceDispatch = nullptr;
    const SharedCamDeviceDispatch* Device = nullptr; // the virtual camera device's table

private:
    template <typename Proc> Proc Resolve(const char* name)
    {
        return reinterpret_cast<Proc>(dlsym(mHandle, name));
    }

    void* mHandle = nullptr;
};

} // namespace p3dtest
