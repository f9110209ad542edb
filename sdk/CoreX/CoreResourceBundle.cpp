#include "CoreResourceBundle.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "CFBundle.h"
#include "CoreMachDebugLog.h"
#include "CoreUnixPath.h"
#include "TCFString.h"

CoreResourceBundle::CoreResourceBundle(CFStringRef in_file_name, const char* in_base_name)
    : mFileName(in_file_name), mBaseName(in_base_name)
{
}

CoreResourceBundle::~CoreResourceBundle() = default;

bool CoreResourceBundle::AlreadyInstalledSomewhere() const
{
    return false;
}

bool CoreResourceBundle::InstallLocation(int in_action, int in_location)
{
    if (in_action == Install) {
        if (AlreadyInstalledSomewhere())
            return true;
    } else {
        // A loaded copy must not stay mapped once it is uninstalled.
        mDLL.Unload();
    }
    return InstallBaseFileNameLocation(mBaseName, mFileName, in_action, in_location);
}

// Only a link that leads to our own copy is ours to remove.
static bool IsLinkTo(const char* in_link, const char* in_source)
{
    struct stat info;
    char linked[PATH_MAX];
    char source[PATH_MAX];
    return lstat(in_link, &info) == 0 && S_ISLNK(info.st_mode) && realpath(in_link, linked) &&
           realpath(in_source, source) && strcmp(linked, source) == 0;
}

bool CoreResourceBundle::InstallBaseFileNameLocation(const char* in_base_name,
                                                     CFStringRef in_file_name, int in_action,
                                                     int in_location)
{
    if (!in_base_name)
        return false;
    TCFString baseName(in_base_name);
    CFBundleRef mainBundle = CFBundleGetMainBundle();
    CFURLRef sourceURL = mainBundle ? CFBundleCopyResourceURL(mainBundle, baseName.GetValueRef(),
                                                              CFSTR("component"), nullptr)
                                    : nullptr;
    if (!sourceURL)
        return false;
    CFURLRef targetURL =
        in_file_name ? CFBaseDLL::URLOfNameInLocation(in_file_name, in_location) : nullptr;

    bool fOk = false;
    std::string source, target;
    CFBaseDLL::PathFromURL(sourceURL, source);
    CFBaseDLL::PathFromURL(targetURL, target);
    if (targetURL && !source.empty() && !target.empty()) {
        if (in_action == Install) {
            if (CoreUnixPath::FileExistsRead(source.c_str()) &&
                !CoreUnixPath::FileExistsRead(target.c_str()))
                fOk = CoreUnixPath::MakeSymbolicLinkFromTo(source.c_str(), target.c_str());
        } else if (CoreUnixPath::FileExistsRead(target.c_str())) {
            // A real folder, or a link of somebody else's, stays where it is.
            if (VERIFY(IsLinkTo(target.c_str(), source.c_str())))
                fOk = CoreUnixPath::FileDelete(target.c_str());
        }
    }
    CFRelease(sourceURL);
    if (targetURL)
        CFRelease(targetURL);
    return fOk;
}

bool import_CoreResourceBundle()
{
    return import_I_CFBundleDLL() && import_CoreUnixPath() && import_TCFString();
}
