// Two systems seen as one: the nodes of a base system (the kernel), then the nodes of another
// (the test-pattern camera). Each descriptor and mapping goes back to the system that made it,
// as recorded when it was made; the other system's descriptors must be real ones, so that no
// two open descriptors share a number.
#pragma once

#include <mutex>
#include <set>

#include "V4L2System.h"

class V4L2NodeRouter : public V4L2System
{
public:
    // Both are borrowed and must outlive the router.
    V4L2NodeRouter(V4L2System& in_base, V4L2System& in_added);

    void ListNodes(std::vector<std::string>& out_nodes) override;
    int Open(const char* in_path, int in_flags) override;
    int Close(int in_fd) override;
    int Ioctl(int in_fd, unsigned long in_request, void* io_arg) override;
    int Mmap(int in_fd, size_t in_length, off_t in_offset, void** out_address) override;
    int Munmap(void* in_address, size_t in_length) override;
    // All descriptors of one call must belong to one system.
    int Poll(struct pollfd* io_fds, nfds_t in_count, int in_timeoutMs) override;
    ssize_t Write(int in_fd, const void* in_data, size_t in_size) override;
    // The base's: the added system's nodes stay for the router's life.
    std::unique_ptr<V4L2DeviceMonitor> NewDeviceMonitor() override;

private:
    V4L2System& ForFd(int in_fd);

    V4L2System& mBase;
    V4L2System& mAdded;
    std::mutex mMutex; // capture and output may run on different threads
    std::set<int> mAddedFds;
    std::set<void*> mAddedMappings;
};
