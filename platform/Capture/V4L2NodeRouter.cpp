#include "V4L2NodeRouter.h"

#include <algorithm>
#include <cerrno>

V4L2NodeRouter::V4L2NodeRouter(V4L2System& in_base, V4L2System& in_added)
    : mBase(in_base), mAdded(in_added)
{
}

void V4L2NodeRouter::ListNodes(std::vector<std::string>& out_nodes)
{
    mBase.ListNodes(out_nodes);
    std::vector<std::string> added;
    mAdded.ListNodes(added);
    out_nodes.insert(out_nodes.end(), added.begin(), added.end());
}

int V4L2NodeRouter::Open(const char* in_path, int in_flags)
{
    if (in_path == nullptr)
        return -EINVAL;
    std::vector<std::string> added;
    mAdded.ListNodes(added);
    if (std::find(added.begin(), added.end(), in_path) == added.end())
        return mBase.Open(in_path, in_flags);
    const int fd = mAdded.Open(in_path, in_flags);
    if (fd >= 0) {
        std::lock_guard<std::mutex> lock(mMutex);
        mAddedFds.insert(fd);
    }
    return fd;
}

V4L2System& V4L2NodeRouter::ForFd(int in_fd)
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mAddedFds.count(in_fd) != 0 ? mAdded : mBase;
}

int V4L2NodeRouter::Close(int in_fd)
{
    V4L2System& system = ForFd(in_fd);
    const int result = system.Close(in_fd);
    if (&system == &mAdded) {
        std::lock_guard<std::mutex> lock(mMutex);
        mAddedFds.erase(in_fd);
    }
    return result;
}

int V4L2NodeRouter::Ioctl(int in_fd, unsigned long in_request, void* io_arg)
{
    return ForFd(in_fd).Ioctl(in_fd, in_request, io_arg);
}

int V4L2NodeRouter::Mmap(int in_fd, size_t in_length, off_t in_offset, void** out_address)
{
    V4L2System& system = ForFd(in_fd);
    const int result = system.Mmap(in_fd, in_length, in_offset, out_address);
    if (result == 0 && &system == &mAdded) {
        std::lock_guard<std::mutex> lock(mMutex);
        mAddedMappings.insert(*out_address);
    }
    return result;
}

int V4L2NodeRouter::Munmap(void* in_address, size_t in_length)
{
    bool added;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        added = mAddedMappings.erase(in_address) != 0;
    }
    return (added ? mAdded : mBase).Munmap(in_address, in_length);
}

int V4L2NodeRouter::Poll(struct pollfd* io_fds, nfds_t in_count, int in_timeoutMs)
{
    V4L2System& system = in_count > 0 ? ForFd(io_fds[0].fd) : mBase;
    return system.Poll(io_fds, in_count, in_timeoutMs);
}

ssize_t V4L2NodeRouter::Write(int in_fd, const void* in_data, size_t in_size)
{
    return ForFd(in_fd).Write(in_fd, in_data, in_size);
}

std::unique_ptr<V4L2DeviceMonitor> V4L2NodeRouter::NewDeviceMonitor()
{
    return mBase.NewDeviceMonitor();
}
