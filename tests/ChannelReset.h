// The shared camera channel as a test starts it: this user's channel file path, and a system
// with no channel file and no semaphores (inside the test's private /tmp and /dev/shm).
#pragma once

#include <semaphore.h>
#include <string>

#include "CoreUserFileName.h"
#include "TestSupport.h"
#include "shared_camera_buffer.h"

namespace p3dtest {

inline std::string ChannelPath()
{
    CoreUserFileName name(CFSTR(kSharedMemoryFileNameFormat), kSharedMemoryFrameFormatName);
    return name.c_str();
}

inline void RemoveChannel(const std::string& path)
{
    RemoveTree(path);
    sem_unlink(kSharedMemorySemaphoreName0);
    sem_unlink(kSharedMemorySemaphoreName1);
}

} // namespace p3dtest
