#include "ChannelNamespace.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace p3dtest {

namespace {

bool WriteText(const char* path, const std::string& text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd == -1)
        return false;
    const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

bool MakeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

bool Fail(std::string* why, const std::string& what)
{
    if (why)
        *why = what + ": " + strerror(errno);
    return false;
}

// Fresh tmpfs on /tmp and /dev/shm. The tree being tested may itself live under /tmp (a CI
// clone); it is carried over into the new /tmp by bind mounts through the old one.
bool MountPrivateFolders(std::string* why)
{
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return Fail(why, "mount --make-rprivate /");
    const int oldTmp = open("/tmp", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (oldTmp == -1)
        return Fail(why, "open /tmp");
    bool ok = mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
    if (!ok)
        Fail(why, "mount tmpfs /tmp");
    for (const char* keep : {P3D_SOURCE_DIR, P3D_BINARY_DIR}) {
        const std::string path = keep;
        if (!ok || path.rfind("/tmp/", 0) != 0)
            continue;
        const std::string through = "/proc/self/fd/" + std::to_string(oldTmp) + path.substr(4);
        ok = MakeFolders(path) &&
             mount(through.c_str(), path.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0;
        if (!ok)
            Fail(why, "bind " + path);
    }
    close(oldTmp);
    if (ok && mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
        return Fail(why, "mount tmpfs /dev/shm");
    return ok;
}

bool sInNamespace = false;
std::string sError;

} // namespace

bool EnterPrivateChannelNamespace(std::string* why)
{
    if (unshare(CLONE_NEWNS) == 0)
        return sInNamespace = MountPrivateFolders(why);

    // Without root: a user namespace of our own, in which this user is root.
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return Fail(why, "unshare (needs root or unprivileged user namespaces)");
    if (!WriteText("/proc/self/setgroups", "deny") ||
        !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
        return Fail(why, "user namespace maps");
    return sInNamespace = MountPrivateFolders(why);
}

bool InPrivateChannelNamespace()
{
    return sInNamespace;
}

const std::string& PrivateChannelNamespaceError()
{
    return sError;
}

// Channel test programs link this file; entering happens before main() starts any thread.
static const bool sEntered = EnterPrivateChannelNamespace(&sError);

} // namespace p3dtest
