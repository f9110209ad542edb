#include "V4L2System.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

class KernelV4L2System : public V4L2System
{
public:
    void ListNodes(std::vector<std::string>& out_nodes) override
    {
        out_nodes.clear();
        std::vector<std::pair<long, std::string>> found;
        if (DIR* dir = opendir("/dev")) {
            while (const dirent* entry = readdir(dir)) {
                const char* name = entry->d_name;
                if (strncmp(name, "video", 5) != 0 || name[5] == '\0')
                    continue;
                char* end = nullptr;
                const long number = strtol(name + 5, &end, 10);
                if (*end == '\0' && number >= 0)
                    found.emplace_back(number, std::string("/dev/") + name);
            }
            closedir(dir);
        }
        std::sort(found.begin(), found.end());
        for (auto& node : found)
            out_nodes.push_back(std::move(node.second));
    }

    int Open(const char* in_path, int in_flags) override
    {
        const int fd = open(in_path, in_flags | O_CLOEXEC);
        return fd < 0 ? -errno : fd;
    }

    int Close(int in_fd) override { return close(in_fd) == 0 ? 0 : -errno; }

    int Ioctl(int in_fd, unsigned long in_request, void* io_arg) override
    {
        int result;
        do
            result = ioctl(in_fd, in_request, io_arg);
        while (result == -1 && errno == EINTR);
        return result == -1 ? -errno : result;
    }

    int Mmap(int in_fd, size_t in_length, off_t in_offset, void** out_address) override
    {
        void* address =
            mmap(nullptr, in_length, PROT_READ | PROT_WRITE, MAP_SHARED, in_fd, in_offset);
        *out_address = address == MAP_FAILED ? nullptr : address;
        return address == MAP_FAILED ? -errno : 0;
    }

    int Munmap(void* in_address, size_t in_length) override
    {
        return munmap(in_address, in_length) == 0 ? 0 : -errno;
    }

    int Poll(struct pollfd* io_fds, nfds_t in_count, int in_timeoutMs) override
    {
        // A signal cuts the wait short, not the caller's time: wait again for what is left.
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(in_timeoutMs);
        int timeoutMs = in_timeoutMs;
        for (;;) {
            const int result = poll(io_fds, in_count, timeoutMs);
            if (result >= 0)
                return result;
            if (errno != EINTR)
                return -errno;
            if (in_timeoutMs > 0)
                timeoutMs = int(std::max<int64_t>(
                    0,
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
        }
    }

    ssize_t Write(int in_fd, const void* in_data, size_t in_size) override
    {
        ssize_t result;
        do
            result = write(in_fd, in_data, in_size);
        while (result == -1 && errno == EINTR);
        return result == -1 ? -errno : result;
    }

    std::unique_ptr<V4L2DeviceMonitor> NewDeviceMonitor() override
    {
        return NewUdevV4L2DeviceMonitor();
    }
};

V4L2System* sInstalled = nullptr;

} // namespace

V4L2System& V4L2Kernel()
{
    static KernelV4L2System kernel;
    return kernel;
}

V4L2System& V4L2Sys()
{
    return sInstalled != nullptr ? *sInstalled : V4L2Kernel();
}

ScopedV4L2System::ScopedV4L2System(V4L2System& in_system) : mPrevious(sInstalled)
{
    sInstalled = &in_system;
}

ScopedV4L2System::~ScopedV4L2System()
{
    sInstalled = mPrevious;
}
