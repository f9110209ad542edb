// The system calls the capture layer makes, behind one seam, so that tests and the test-pattern
// camera can stand in for the kernel. Every call returns 0 (or a descriptor) on success and a
// negative errno value on failure; nothing here touches errno for the caller.
#pragma once

#include <cstddef>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

#include "V4L2DeviceMonitor.h"

class V4L2System
{
public:
    virtual ~V4L2System() = default;
    // The video device nodes in node order (/dev/video0 before /dev/video10).
    virtual void ListNodes(std::vector<std::string>& out_nodes) = 0;
    virtual int Open(const char* in_path, int in_flags) = 0;
    virtual int Close(int in_fd) = 0;
    virtual int Ioctl(int in_fd, unsigned long in_request, void* io_arg) = 0;
    virtual int Mmap(int in_fd, size_t in_length, off_t in_offset, void** out_address) = 0;
    virtual int Munmap(void* in_address, size_t in_length) = 0;
    // The number of ready descriptors, 0 on time-out.
    virtual int Poll(struct pollfd* io_fds, nfds_t in_count, int in_timeoutMs) = 0;
    // The number of bytes taken, which may be fewer than in_size.
    virtual ssize_t Write(int in_fd, const void* in_data, size_t in_size) = 0;
    // Tells of this system's nodes as they come and go; null when that cannot be watched.
    virtual std::unique_ptr<V4L2DeviceMonitor> NewDeviceMonitor() = 0;
};

// The kernel itself: /dev/video* nodes and the real system calls.
V4L2System& V4L2Kernel();

// The seam in force: the kernel, unless a ScopedV4L2System has put another in place.
V4L2System& V4L2Sys();

// Installs a system for the life of the object; the previous one comes back after it.
class ScopedV4L2System
{
public:
    explicit ScopedV4L2System(V4L2System& in_system);
    ~ScopedV4L2System();
    ScopedV4L2System(const ScopedV4L2System&) = delete;
    ScopedV4L2System& operator=(const ScopedV4L2System&) = delete;

private:
    V4L2System* mPrevious;
};
