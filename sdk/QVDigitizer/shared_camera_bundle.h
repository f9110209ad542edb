// The client side of the shared camera channel: the component is found in the components
// folders at run time, loaded into this process, and its exports are called by name.
#pragma once

#include "CoreResourceBundle.h"
#include "shared_cam_device_dispatch.h"
#include "shared_camera_buffer.h"

class SharedCameraBundle : public CoreResourceBundle
{
public:
    SharedCameraBundle(CFStringRef in_file_name, const char* in_base_name);
    ~SharedCameraBundle() override;

    // Whether the component is readable in the user's or the system's components folder (the
    // user's folder is created on the way). The local domain is not asked, though it loads.
    bool AlreadyInstalledSomewhere() const override;

    // Each loads the component when it is not loaded and answers the export's result; false
    // when no component loads or it lacks the export. Records pass through untouched.
    static bool SetCameraControl(SHARED_CAMERA_CONTROL* io_control);
    static bool GetWriteableFrameBuffer_N(int in_buffer_n, SHARED_CAMERA_BUFFER* io_buffer);
    static bool SetCurrentReadBuffer(void* in_frame_buffer);
    static bool GetCurrentReadBuffer(SHARED_CAMERA_BUFFER* io_buffer);
    static bool LockFrameBuffer(void* in_frame_buffer);
    static bool UnLockFrameBuffer(void* in_frame_buffer);
    // The virtual camera device's operations; null when no component loads or it has none.
    static const SharedCamDeviceDispatch* DeviceDispatch();

    static SharedCameraBundle sComponent;
    static const CFStringRef kCameraComponentFileName;
    static const char* const kCameraComponentBaseName;
    static const CFStringRef kCameraComponentFunction;
    static const CFStringRef kCameraComponentFunction0;
    static const CFStringRef kCameraComponentFunction1;
    static const CFStringRef kCameraComponentFunction2;
    static const CFStringRef kCameraComponentFunction3;
    static const CFStringRef kCameraComponentFunction4;
    static const CFStringRef kCameraComponentFunction5;
    static const CFStringRef kCameraComponentDeviceFunction;

private:
    static bool Load();
    template <typename... Arguments>
    static bool CallExport(CFStringRef in_function_name, Arguments... in_arguments);
};

bool import_SharedCameraBundle();
