#include "CFBaseDLL.h"

#include <climits>

#include "CFBundle.h"
#include "CoreMachDebugLog.h"
#include "Folders.h"

static CFURLRef AppendName(CFURLRef in_folder, CFStringRef in_name, Boolean in_isDirectory)
{
    return in_folder ? CFURLCreateCopyAppendingPathComponent(kCFAllocatorDefault, in_folder,
                                                             in_name, in_isDirectory)
                     : nullptr;
}

static CFURLRef MainBundleFolderURL(int in_location)
{
    CFBundleRef mainBundle = CFBundleGetMainBundle();
    if (!mainBundle)
        return nullptr;
    switch (in_location) {
    case CFBaseDLL::kLocationExecutableFolder: {
        CFURLRef executable = CFBundleCopyExecutableURL(mainBundle);
        std::string path;
        CFBaseDLL::PathFromURL(executable, path);
        if (executable)
            CFRelease(executable);
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return nullptr;
        path.resize(slash ? slash : 1);
        return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                       reinterpret_cast<const UInt8*>(path.data()),
                                                       CFIndex(path.size()), true);
    }
    case CFBaseDLL::kLocationPrivateFrameworks:
        return CFBundleCopyPrivateFrameworksURL(mainBundle);
    case CFBaseDLL::kLocationSharedFrameworks:
        return CFBundleCopySharedFrameworksURL(mainBundle);
    case CFBaseDLL::kLocationResources:
        return CFBundleCopyResourcesDirectoryURL(mainBundle);
    case CFBaseDLL::kLocationBuiltInPlugIns:
        return CFBundleCopyBuiltInPlugInsURL(mainBundle);
    case CFBaseDLL::kLocationSupportFiles:
        return CFBundleCopySharedSupportURL(mainBundle);
    default:
        return nullptr;
    }
}

static CFURLRef FindFolderURL(OSType in_folder_type, SInt16 in_domain)
{
    FSRef folder;
    if (FSFindFolder(in_domain, in_folder_type, kDontCreateFolder, &folder) != noErr)
        return nullptr;
    return CFURLCreateFromFSRef(kCFAllocatorDefault, &folder);
}

CFURLRef CFBaseDLL::URLOfNameInLocation(CFStringRef in_name, int in_location)
{
    if (!in_name)
        return nullptr;
    CFURLRef folder = nullptr;
    switch (in_location) {
    case kLocationSystemFrameworks:
        folder = FindFolderURL(kFrameworksFolderType, kSystemDomain);
        break;
    case kLocationLocalFrameworks:
        folder = FindFolderURL(kFrameworksFolderType, kLocalDomain);
        break;
    case kLocationLocalQuickTime:
        folder = FindFolderURL(kQuickTimeComponentsFolderType, kLocalDomain);
        break;
    case kLocationSystemQuickTime:
        folder = FindFolderURL(kQuickTimeComponentsFolderType, kSystemDomain);
        break;
    case kLocationUserQuickTime:
        folder = FindFolderURL(kQuickTimeComponentsFolderType, kUserDomain);
        break;
    default:
        folder = MainBundleFolderURL(in_location);
        break;
    }
    CFURLRef url = AppendName(folder, in_name, false);
    if (folder)
        CFRelease(folder);
    return url;
}

CFURLRef CFBaseDLL::URLOfNameInFindFolder(CFStringRef in_name, OSType in_folder_type,
                                          SInt16 in_domain, CFStringRef in_subfolder)
{
    if (!in_name)
        return nullptr;
    CFURLRef folder = FindFolderURL(in_folder_type, in_domain);
    if (folder && in_subfolder) {
        CFURLRef nested = AppendName(folder, in_subfolder, true);
        CFRelease(folder);
        folder = nested;
    }
    CFURLRef url = AppendName(folder, in_name, false);
    if (folder)
        CFRelease(folder);
    return url;
}

const char* CFBaseDLL::PathFromURL(CFURLRef in_url, std::string& io_text)
{
    // Per thread: callers on different threads never share the scratch text.
    thread_local UInt8 sPath[1024];
    if (in_url && CFURLGetFileSystemRepresentation(in_url, true, sPath, sizeof(sPath)))
        io_text = reinterpret_cast<const char*>(sPath);
    return io_text.c_str();
}

bool import_CFBaseDLL()
{
    return import_CoreMachDebugLog();
}
