// The bundle operations under the bundle holder: one bundle, created from a URL, its
// executable loaded, functions found by name.
#pragma once

#include <string>

#include "CFBundle.h"

class I_CFBundleDLL
{
public:
    explicit I_CFBundleDLL(CFStringRef in_name = nullptr);
    ~I_CFBundleDLL();
    I_CFBundleDLL(const I_CFBundleDLL&) = delete;
    I_CFBundleDLL& operator=(const I_CFBundleDLL&) = delete;

    // Creates the bundle and loads its executable. A bundle that was created but did not load
    // stays until the next attempt replaces it.
    bool LoadFromURL(CFURLRef in_url);
    // Only a loaded bundle: unloads it, releases it and forgets it.
    bool Unload();
    bool IsExecutableLoaded() const;
    // Null unless loaded and the name resolves.
    void* FunctionPointerForName(CFStringRef in_function_name) const;

    CFStringRef GetName() const { return mName; }
    void SetName(CFStringRef in_name) { mName = in_name; }
    CFBundleRef GetBundle() const { return mBundle; }

protected:
    CFStringRef mName;   // a constant string, not owned
    CFBundleRef mBundle; // owned

private:
    std::string mLastLoadError; // a broken bundle is reported once, not at every attempt
};

bool import_I_CFBundleDLL();
