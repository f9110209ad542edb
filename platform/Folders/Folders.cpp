#include "Folders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only absolute values count: a relative XDG or domain variable is ignored, as XDG requires.
std::string AbsoluteEnv(const char* name)
{
    const char* value = getenv(name);
    return (value && value[0] == '/') ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = AbsoluteEnv("HOME");
    if (home.empty()) {
        const struct passwd* user = getpwuid(getuid());
        if (user && user->pw_dir && user->pw_dir[0] == '/')
            home = user->pw_dir;
    }
    return home;
}

std::string UserBase(const char* variable, const char* fallback)
{
    std::string base = AbsoluteEnv(variable);
    if (base.empty()) {
        const std::string home = HomeFolder();
        if (home.empty())
            return std::string();
        base = home + fallback;
    }
    return base;
}

std::string DomainRoot(const char* variable, const char* fallback)
{
    std::string root = AbsoluteEnv(variable);
    return root.empty() ? std::string(fallback) : root;
}

std::string FolderPath(SInt16 domain, OSType folderType)
{
    switch (folderType) {
    case kQuickTimeComponentsFolderType:
        switch (domain) {
        case kUserDomain: {
            const std::string base = UserBase("XDG_DATA_HOME", "/.local/share");
            return base.empty() ? base : base + "/parallax3d/Components";
        }
        case kLocalDomain:
            return DomainRoot("PARALLAX3D_LOCAL_DOMAIN", "/usr/local") +
                   "/lib/parallax3d/Components";
        case kSystemDomain:
            return DomainRoot("PARALLAX3D_SYSTEM_DOMAIN", "/usr") + "/lib/parallax3d/Components";
        }
        break;
    case kFrameworksFolderType:
        switch (domain) {
        case kLocalDomain:
            return DomainRoot("PARALLAX3D_LOCAL_DOMAIN", "/usr/local") + "/lib";
        case kSystemDomain: {
            std::string path = DomainRoot("PARALLAX3D_SYSTEM_DOMAIN", "/usr") + "/lib";
            const char* triplet = P3D_MULTIARCH;
            if (triplet[0])
                path += std::string("/") + triplet;
            return path;
        }
        }
        break;
    case kStereoKernelsFolderType:
        if (domain == kUserDomain) {
            const std::string base = UserBase("XDG_DATA_HOME", "/.local/share");
            return base.empty() ? base : base + "/parallax3d/Kernels";
        }
        break;
    case kStereoCalibrationsFolderType:
        // Beside the preferences: a calibration is a setting of the user's cameras.
        if (domain == kUserDomain) {
            const std::string base = UserBase("XDG_CONFIG_HOME", "/.config");
            return base.empty() ? base : base + "/Parallax3D/calibrations";
        }
        break;
    case kStereoAlignmentsFolderType:
        if (domain == kUserDomain) {
            const std::string base = UserBase("XDG_CONFIG_HOME", "/.config");
            return base.empty() ? base : base + "/Parallax3D/alignments";
        }
        break;
    case kLogsFolderType:
        if (domain == kUserDomain) {
            const std::string base = UserBase("XDG_STATE_HOME", "/.local/state");
            return base.empty() ? base : base + "/parallax3d/Logs";
        }
        break;
    }
    return std::string();
}

// mkdir -p; folders of the user's own data are private to the user.
bool MakeFolders(const std::string& path, mode_t mode)
{
    std::string partial;
    size_t start = 1;
    while (true) {
        const size_t slash = path.find('/', start);
        partial = path.substr(0, slash);
        if (!partial.empty() && mkdir(partial.c_str(), mode) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CopyPath(const std::string& path, FSRef* ref)
{
    if (path.size() >= sizeof(ref->path))
        return false;
    memcpy(ref->path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

bool FolderPathForDomain(SInt16 domain, OSType folderType, char* path, size_t pathSize)
{
    const std::string folder = FolderPath(domain, folderType);
    if (folder.empty() || !path || folder.size() >= pathSize)
        return false;
    memcpy(path, folder.c_str(), folder.size() + 1);
    return true;
}

OSErr FSFindFolder(SInt16 domain, OSType folderType, Boolean createFolder, FSRef* foundRef)
{
    if (!foundRef)
        return paramErr;
    foundRef->path[0] = 0;
    const std::string folder = FolderPath(domain, folderType);
    if (folder.empty() || folder.size() >= sizeof(foundRef->path))
        return paramErr;

    struct stat info;
    if (stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode))
            return dirNFErr;
    } else if (!createFolder) {
        return fnfErr;
    } else if (!MakeFolders(folder, domain == kUserDomain ? 0700 : 0755)) {
        return ioErr;
    }
    CopyPath(folder, foundRef);
    return noErr;
}

OSErr FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory)
{
    if (!path || !ref)
        return paramErr;
    ref->path[0] = 0;
    const char* text = reinterpret_cast<const char*>(path);
    char resolved[PATH_MAX];
    // realpath fails for missing objects and for paths too long to resolve.
    if (!realpath(text, resolved))
        return errno == ENAMETOOLONG ? bdNamErr : fnfErr;
    CopyPath(resolved, ref);
    if (isDirectory)
        *isDirectory = FSRefIsDirectory(ref);
    return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize)
{
    if (!ref || !path || maxPathSize == 0 || !ref->path[0])
        return paramErr;
    const size_t length = strnlen(ref->path, sizeof(ref->path));
    if (length >= maxPathSize || length == sizeof(ref->path))
        return paramErr;
    memcpy(path, ref->path, length + 1);
    return noErr;
}

bool FSRefExists(const FSRef* ref)
{
    struct stat info;
    return ref && ref->path[0] && strnlen(ref->path, sizeof(ref->path)) < sizeof(ref->path) &&
           stat(ref->path, &info) == 0;
}

bool FSRefIsDirectory(const FSRef* ref)
{
    struct stat info;
    return FSRefExists(ref) && stat(ref->path, &info) == 0 && S_ISDIR(info.st_mode);
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef alloc, const FSRef* ref)
{
    if (!FSRefExists(ref))
        return nullptr;
    const size_t length = strlen(ref->path);
    return CFURLCreateFromFileSystemRepresentation(alloc, reinterpret_cast<const UInt8*>(ref->path),
                                                   CFIndex(length), FSRefIsDirectory(ref));
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef* ref)
{
    UInt8 path[PATH_MAX];
    if (!url || !ref || !CFURLGetFileSystemRepresentation(url, true, path, sizeof(path)))
        return false;
    return FSPathMakeRef(path, ref, nullptr) == noErr;
}
