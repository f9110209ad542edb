#include "shared_camera_bundle.h"

#include "CoreMachDebugLog.h"
#include "CoreUnixPath.h"
#include "CoreUserFolder.h"

// In this order: the names before the instance that is built with them.
const CFStringRef SharedCameraBundle::kCameraComponentFileName = CFSTR("Parallax3D_XXX.component");
const char* const SharedCameraBundle::kCameraComponentBaseName = "Parallax3D_XXX";
const CFStringRef SharedCameraBundle::kCameraComponentFunction = CFSTR("__public_fn_");
const CFStringRef SharedCameraBundle::kCameraComponentFunction0 = CFSTR("__public_fn0");
const CFStringRef SharedCameraBundle::kCameraComponentFunction1 = CFSTR("__public_fn1");
const CFStringRef SharedCameraBundle::kCameraComponentFunction2 = CFSTR("__public_fn2");
const CFStringRef SharedCameraBundle::kCameraComponentFunction3 = CFSTR("__public_fn3");
const CFStringRef SharedCameraBundle::kCameraComponentFunction4 = CFSTR("__public_fn4");
const CFStringRef SharedCameraBundle::kCameraComponentFunction5 = CFSTR("__public_fn5");
const CFStringRef SharedCameraBundle::kCameraComponentDeviceFunction = CFSTR("__public_vdig");

SharedCameraBundle SharedCameraBundle::sComponent(kCameraComponentFileName,
                                                  kCameraComponentBaseName);

SharedCameraBundle::SharedCameraBundle(CFStringRef in_file_name, const char* in_base_name)
    : CoreResourceBundle(in_file_name, in_base_name)
{
}

SharedCameraBundle::~SharedCameraBundle() = default;

bool SharedCameraBundle::AlreadyInstalledSomewhere() const
{
    CoreUserFolder userComponents(kQuickTimeComponentsFolderType, kUserDomain);
    for (int location : {CFBaseDLL::kLocationUserQuickTime, CFBaseDLL::kLocationSystemQuickTime}) {
        CFURLRef url = CFBaseDLL::URLOfNameInLocation(mFileName, location);
        std::string path;
        CFBaseDLL::PathFromURL(url, path);
        if (url)
            CFRelease(url);
        if (!path.empty() && CoreUnixPath::FileExistsRead(path.c_str()))
            return true;
    }
    return false;
}

bool SharedCameraBundle::Load()
{
    T_CFBaseDLL<I_CFBundleDLL>& dll = sComponent.mDLL;
    if (!dll.IsLoaded()) {
        dll.SetName(kCameraComponentFileName);
        dll.LoadQuickTimeComponentBundle();
    }
    return dll.IsLoaded();
}

template <typename... Arguments>
bool SharedCameraBundle::CallExport(CFStringRef in_function_name, Arguments... in_arguments)
{
    Boolean result = false;
    return Load() && sComponent.mDLL.Call(in_function_name, &result, in_arguments...) && result;
}

bool SharedCameraBundle::SetCameraControl(SHARED_CAMERA_CONTROL* io_control)
{
    return CallExport(kCameraComponentFunction, io_control);
}

bool SharedCameraBundle::GetWriteableFrameBuffer_N(int in_buffer_n, SHARED_CAMERA_BUFFER* io_buffer)
{
    return CallExport(kCameraComponentFunction0, in_buffer_n, io_buffer);
}

bool SharedCameraBundle::SetCurrentReadBuffer(void* in_frame_buffer)
{
    return CallExport(kCameraComponentFunction1, in_frame_buffer);
}

bool SharedCameraBundle::GetCurrentReadBuffer(SHARED_CAMERA_BUFFER* io_buffer)
{
    return CallExport(kCameraComponentFunction2, io_buffer);
}

bool SharedCameraBundle::LockFrameBuffer(void* in_frame_buffer)
{
    return CallExport(kCameraComponentFunction4, in_frame_buffer);
}

bool SharedCameraBundle::UnLockFrameBuffer(void* in_frame_buffer)
{
    return CallExport(kCameraComponentFunction5, in_frame_buffer);
}

const SharedCamDeviceDispatch* SharedCameraBundle::DeviceDispatch()
{
    const SharedCamDeviceDispatch* table = nullptr;
    if (!Load() || !sComponent.mDLL.Call(kCameraComponentDeviceFunction, &table,
                                         UInt32(kSharedCamDeviceDispatchVersion)))
        return nullptr;
    // An older component's table is shorter than ours: its missing entries must not be called.
    if (table && table->size < sizeof(SharedCamDeviceDispatch))
        return nullptr;
    return table;
}

bool import_SharedCameraBundle()
{
    return import_CoreResourceBundle() && import_CoreUserFolder();
}
