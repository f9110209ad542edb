#include "I_CFBundleDLL.h"

#include "CFBaseDLL.h"
#include "CoreMachDebugLog.h"

I_CFBundleDLL::I_CFBundleDLL(CFStringRef in_name) : mName(in_name), mBundle(nullptr) {}

I_CFBundleDLL::~I_CFBundleDLL()
{
    if (mBundle)
        CFRelease(mBundle);
}

bool I_CFBundleDLL::LoadFromURL(CFURLRef in_url)
{
    if (!in_url)
        return false;
    if (mBundle)
        CFRelease(mBundle);
    mBundle = CFBundleCreate(kCFAllocatorDefault, in_url);
    if (!mBundle)
        return false;
    const bool fOk = CFBundleLoadExecutable(mBundle);
    if (!fOk && mLastLoadError != CFBundleGetLoadErrorText()) {
        mLastLoadError = CFBundleGetLoadErrorText();
        std::string path;
        CoreMachDebugLog("LoadFromURL: %s does not load: %s\n",
                         CFBaseDLL::PathFromURL(in_url, path), mLastLoadError.c_str());
    }
    return fOk;
}

bool I_CFBundleDLL::Unload()
{
    if (!IsExecutableLoaded())
        return false;
    CFBundleUnloadExecutable(mBundle);
    CFRelease(mBundle);
    mBundle = nullptr;
    return true;
}

bool I_CFBundleDLL::IsExecutableLoaded() const
{
    return mBundle && CFBundleIsExecutableLoaded(mBundle);
}

void* I_CFBundleDLL::FunctionPointerForName(CFStringRef in_function_name) const
{
    return IsExecutableLoaded() ? CFBundleGetFunctionPointerForName(mBundle, in_function_name)
                                : nullptr;
}

bool import_I_CFBundleDLL()
{
    return import_CFBaseDLL();
}
