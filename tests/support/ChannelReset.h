// The shared camera channel as a test starts it: this user's channel file path and semaphore
// names, a system with no channel file and no semaphores (inside the test's private /tmp and
// /dev/shm), the built component where clients look for it, and the helper program that plays
// the other process.
#pragma once

#include <climits>
#include <cstdlib>
#include <semaphore.h>
#include <string>
#include <vector>

#include "CoreUserFileName.h"
#include "Folders.h"
#include "TestSupport.h"
#include "shared_camera_buffer.h"

namespace p3dtest {

inline std::string ChannelPath()
{
    CoreUserFileName name(CFSTR(kSharedMemoryFileNameFormat), kSharedMemoryFrameFormatName);
    return name.c_str();
}

// This user's lock of buffer n, as the component names it.
inline std::string ChannelSemaphoreName(int n)
{
    CoreUserFileName name(CFSTR(kSharedMemorySemaphoreNameFormat),
                          n == 0 ? kSharedMemorySemaphoreNameText0
                                 : kSharedMemorySemaphoreNameText1);
    return name.c_str();
}

// A domain's components folder ("" when it has none), and the component's place in the user's.
inline std::string ComponentsFolder(SInt16 domain)
{
    char path[PATH_MAX];
    return FolderPathForDomain(domain, kQuickTimeComponentsFolderType, path, sizeof(path)) ? path
                                                                                           : "";
}

inline std::string UserComponentLink()
{
    return ComponentsFolder(kUserDomain) + "/Parallax3D_XXX.component";
}

// A file where the user's components folder would go, so that not even root can link the
// component there; answers that file, for the test to remove.
inline std::string BlockUserComponentsFolder()
{
    const std::string folder = ComponentsFolder(kUserDomain);
    const std::string parent = folder.substr(0, folder.rfind('/'));
    RemoveTree(parent);
    if (system(("mkdir -p '" + parent.substr(0, parent.rfind('/')) + "'").c_str()) != 0)
        return "";
    WriteFile(parent, "in the way");
    return parent;
}

inline void RemoveChannel(const std::string& path)
{
    RemoveTree(path);
    sem_unlink(ChannelSemaphoreName(0).c_str());
    sem_unlink(ChannelSemaphoreName(1).c_str());
}

#ifdef P3D_COMPONENT_PATH
// A copy of the built component in a domain's components folder, as a package installs it.
inline bool CopyComponentInto(SInt16 domain)
{
    const std::string folder = ComponentsFolder(domain);
    const std::string component = P3D_COMPONENT_PATH;
    return !folder.empty() &&
           system(("mkdir -p '" + folder + "' && cp -r '" +
                   component.substr(0, component.rfind('/')) + "' '" + folder + "/'")
                      .c_str()) == 0;
}

// Links the built component into the user's components folder, as the application installs it;
// answers that folder, "" when it cannot.
inline std::string LinkUserComponent()
{
    char folder[PATH_MAX];
    if (!FolderPathForDomain(kUserDomain, kQuickTimeComponentsFolderType, folder, sizeof(folder)))
        return "";
    const std::string component = P3D_COMPONENT_PATH;
    const std::string command = "mkdir -p '" + std::string(folder) + "' && ln -sfn '" +
                                component.substr(0, component.rfind('/')) + "' '" + folder +
                                "/Parallax3D_XXX.component'";
    return system(command.c_str()) == 0 ? folder : "";
}
#endif

#ifdef CHANNEL_HELPER_PATH
// Runs one channel_helper command to its end; true when it did what it says.
inline bool RunChannelHelper(const std::vector<std::string>& args, int timeoutMs = 20000)
{
    std::vector<std::string> all = {CHANNEL_HELPER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    Child child(all);
    return child.wait(timeoutMs) == 0;
}
#endif

} // namespace p3dtest
