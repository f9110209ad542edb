#include "CFBundle.h"

#include <climits>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "CFRuntime.h"

namespace {

std::string PathOfURL(CFURLRef url)
{
    UInt8 path[PATH_MAX];
    if (!url || !CFURLGetFileSystemRepresentation(url, true, path, sizeof(path)))
        return std::string();
    return reinterpret_cast<const char*>(path);
}

CFURLRef URLOfPath(const std::string& path, bool isDirectory)
{
    return CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path.data()), CFIndex(path.size()), isDirectory);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash ? slash : 1);
}

std::string LastComponent(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

thread_local std::string tLoadError;

} // namespace

struct __CFBundle final : p3dcf::Object
{
    // root: the bundle folder (or the main bundle's tree root); executable: its library.
    __CFBundle(std::string bundleRoot, std::string executablePath, bool isMain)
        : Object(p3dcf::kBundleTypeID, isMain), root(std::move(bundleRoot)),
          executable(std::move(executablePath)), main(isMain),
          identifier(MakeIdentifier(executable))
    {
    }
    ~__CFBundle() override
    {
        if (handle)
            dlclose(handle);
        CFRelease(identifier);
    }

    static CFStringRef MakeIdentifier(const std::string& executable)
    {
        std::string name = LastComponent(executable);
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
            name.resize(name.size() - 3);
        CFStringRef text = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
        return text ? text : CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8);
    }

    std::u16string describeContents() const override { return p3dcf::WidenASCII(root); }

    std::string supportFolder(const char* name) const
    {
        return root + (root == "/" ? "" : "/") + "lib/parallax3d/" + name;
    }

    const std::string root;
    const std::string executable;
    const bool main;
    const CFStringRef identifier;
    std::mutex lock; // loading and unloading, from any thread
    void* handle = nullptr;
};

namespace {

__CFBundle* AsBundle(CFBundleRef bundle)
{
    return const_cast<__CFBundle*>(p3dcf::Cast<__CFBundle>(bundle, p3dcf::kBundleTypeID));
}

// The nearest folder above the program that holds lib/parallax3d, else the program folder's parent.
std::string TreeRootOf(const std::string& program)
{
    const std::string programFolder = FolderOf(program);
    for (std::string folder = programFolder; !folder.empty();) {
        if (IsFolder(folder + (folder == "/" ? "" : "/") + "lib/parallax3d"))
            return folder;
        if (folder == "/")
            break;
        folder = FolderOf(folder);
    }
    const std::string parent = FolderOf(programFolder);
    return parent.empty() ? programFolder : parent;
}

} // namespace

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
    const std::string path = PathOfURL(bundleURL);
    struct stat info;
    if (path.empty() || stat(path.c_str(), &info) != 0)
        return nullptr;
    if (S_ISDIR(info.st_mode)) {
        // "Name.component" holds "Name.so".
        std::string base = LastComponent(path);
        const size_t dot = base.rfind('.');
        if (dot != std::string::npos && dot > 0)
            base.resize(dot);
        return new __CFBundle(path, path + "/" + base + ".so", false);
    }
    if (S_ISREG(info.st_mode))
        return new __CFBundle(FolderOf(path), path, false);
    return nullptr;
}

CFBundleRef CFBundleGetMainBundle(void)
{
    static __CFBundle* sMain = []() -> __CFBundle* {
        char program[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", program, sizeof(program) - 1);
        if (length <= 0)
            return nullptr;
        program[length] = 0;
        return new __CFBundle(TreeRootOf(program), program, true);
    }();
    return sMain;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle)
{
    const __CFBundle* b = AsBundle(bundle);
    return b ? URLOfPath(b->root, true) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle)
{
    const __CFBundle* b = AsBundle(bundle);
    return b ? URLOfPath(b->executable, false) : nullptr;
}

static CFURLRef MainBundleFolder(CFBundleRef bundle, const char* name)
{
    const __CFBundle* b = AsBundle(bundle);
    return b && b->main ? URLOfPath(b->supportFolder(name), true) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle)
{
    return MainBundleFolder(bundle, "Resources");
}

CFURLRef CFBundleCopyPrivateFrameworksURL(CFBundleRef bundle)
{
    return MainBundleFolder(bundle, "Frameworks");
}

CFURLRef CFBundleCopySharedFrameworksURL(CFBundleRef bundle)
{
    return MainBundleFolder(bundle, "SharedFrameworks");
}

CFURLRef CFBundleCopyBuiltInPlugInsURL(CFBundleRef bundle)
{
    return MainBundleFolder(bundle, "PlugIns");
}

CFURLRef CFBundleCopySharedSupportURL(CFBundleRef bundle)
{
    return MainBundleFolder(bundle, "SharedSupport");
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName)
{
    const __CFBundle* b = AsBundle(bundle);
    if (!b || !b->main || !resourceName)
        return nullptr;
    auto utf8 = [](CFStringRef text, std::string& out) {
        char buffer[PATH_MAX];
        if (!CFStringGetCString(text, buffer, sizeof(buffer), kCFStringEncodingUTF8))
            return false;
        out = buffer;
        return true;
    };
    std::string name, type, subDir;
    if (!utf8(resourceName, name) || name.empty() || name.find('/') != std::string::npos ||
        (resourceType && !utf8(resourceType, type)) || (subDirName && !utf8(subDirName, subDir)))
        return nullptr;
    std::string path = b->supportFolder("Resources");
    if (!subDir.empty())
        path += "/" + subDir;
    path += "/" + name;
    if (!type.empty())
        path += "." + type;
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return nullptr;
    return URLOfPath(path, S_ISDIR(info.st_mode));
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle)
{
    const __CFBundle* b = AsBundle(bundle);
    return b ? b->identifier : nullptr;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle)
{
    __CFBundle* b = AsBundle(bundle);
    tLoadError.clear();
    if (!b)
        return false;
    if (b->main)
        return true;
    std::lock_guard<std::mutex> lock(b->lock);
    if (b->handle)
        return true;
    b->handle = dlopen(b->executable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!b->handle) {
        const char* error = dlerror();
        tLoadError = error ? error : "dlopen failed";
    }
    return b->handle != nullptr;
}

void CFBundleUnloadExecutable(CFBundleRef bundle)
{
    __CFBundle* b = AsBundle(bundle);
    if (!b || b->main)
        return;
    std::lock_guard<std::mutex> lock(b->lock);
    if (b->handle)
        dlclose(b->handle);
    b->handle = nullptr;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle)
{
    __CFBundle* b = AsBundle(bundle);
    if (!b)
        return false;
    if (b->main)
        return true;
    std::lock_guard<std::mutex> lock(b->lock);
    return b->handle != nullptr;
}

const char* CFBundleGetLoadErrorText(void)
{
    return tLoadError.c_str();
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName)
{
    __CFBundle* b = AsBundle(bundle);
    char name[256];
    if (!b || !functionName ||
        !CFStringGetCString(functionName, name, sizeof(name), kCFStringEncodingASCII))
        return nullptr;
    if (b->main)
        return dlsym(RTLD_DEFAULT, name);
    std::lock_guard<std::mutex> lock(b->lock);
    return b->handle ? dlsym(b->handle, name) : nullptr;
}
