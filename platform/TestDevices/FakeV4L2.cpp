#include "FakeV4L2.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

// The eventfd is readable while anything waits.
struct FakeV4L2::Announcements
{
    int fd = -1;
    std::vector<V4L2DeviceMonitor::Change> changes;
};

namespace {

class FakeDeviceMonitor : public V4L2DeviceMonitor
{
public:
    explicit FakeDeviceMonitor(std::shared_ptr<FakeV4L2::Announcements> in_queue)
        : mQueue(std::move(in_queue))
    {
    }
    ~FakeDeviceMonitor() override { close(mQueue->fd); }
    int Descriptor() const override { return mQueue->fd; }
    void TakeChanges(std::vector<Change>& io_changes) override
    {
        uint64_t count = 0;
        (void)!read(mQueue->fd, &count, sizeof count); // EAGAIN when nothing waits
        io_changes.insert(io_changes.end(), mQueue->changes.begin(), mQueue->changes.end());
        mQueue->changes.clear();
    }

private:
    std::shared_ptr<FakeV4L2::Announcements> mQueue;
};

} // namespace

FakeV4L2::FakeV4L2() = default;
FakeV4L2::~FakeV4L2()
{
    for (const auto& entry : mOpen)
        close(entry.first);
}

FakeV4L2Device& FakeV4L2::AddDevice(const std::string& in_node)
{
    const std::string node =
        in_node.empty() ? "/dev/video" + std::to_string(mDevices.size()) : in_node;
    mDevices.emplace_back(node, std::make_unique<FakeV4L2Device>());
    Announce(true, node);
    return *mDevices.back().second;
}

void FakeV4L2::RemoveDevice(const std::string& in_node)
{
    const auto found = std::find_if(mDevices.begin(), mDevices.end(),
                                    [&](const auto& entry) { return entry.first == in_node; });
    if (found == mDevices.end())
        return;
    for (const auto& [fd, node] : mOpenNodes)
        if (node == in_node)
            mUnplugged.insert(fd);
    mRemoved.push_back(std::move(found->second));
    mDevices.erase(found);
    Announce(false, in_node);
}

std::unique_ptr<V4L2DeviceMonitor> FakeV4L2::NewDeviceMonitor()
{
    auto queue = std::make_shared<Announcements>();
    queue->fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (queue->fd < 0)
        return nullptr;
    mMonitors.push_back(queue);
    return std::make_unique<FakeDeviceMonitor>(std::move(queue));
}

void FakeV4L2::Announce(bool in_added, const std::string& in_node)
{
    std::erase_if(mMonitors, [](const auto& monitor) { return monitor.expired(); });
    for (const auto& monitor : mMonitors) {
        const std::shared_ptr<Announcements> queue = monitor.lock();
        queue->changes.push_back({in_added, in_node});
        const uint64_t one = 1;
        (void)!write(queue->fd, &one, sizeof one);
    }
}

FakeV4L2Device* FakeV4L2::DeviceAt(const std::string& in_node)
{
    for (auto& entry : mDevices)
        if (entry.first == in_node)
            return entry.second.get();
    return nullptr;
}

FakeV4L2Device* FakeV4L2::DeviceForFd(int in_fd)
{
    const auto found = mOpen.find(in_fd);
    return found == mOpen.end() ? nullptr : found->second;
}

void FakeV4L2::ListNodes(std::vector<std::string>& out_nodes)
{
    out_nodes.clear();
    for (const auto& entry : mDevices)
        out_nodes.push_back(entry.first);
}

int FakeV4L2::Open(const char* in_path, int in_flags)
{
    FakeV4L2Device* device = in_path != nullptr ? DeviceAt(in_path) : nullptr;
    if (device == nullptr)
        return -ENOENT;
    if (device->failOpen != 0)
        return -device->failOpen;
    const int fd = eventfd(0, EFD_CLOEXEC);
    if (fd < 0)
        return -errno;
    device->lastOpenFlags = in_flags;
    ++device->openTotal;
    mOpenNodes[fd] = in_path;
    if (device->streamPerOpen && device->openCount > 0) {
        // The device as configured, with none of the first open's stream.
        auto stream = std::make_unique<FakeV4L2Device>(*device);
        stream->streamPerOpen = false;
        stream->LastClose();
        stream->mPending.clear();
        stream->openCount = 1;
        mOpen[fd] = stream.get();
        mStreams[fd] = std::move(stream);
        return fd;
    }
    ++device->openCount;
    mOpen[fd] = device;
    return fd;
}

int FakeV4L2::Close(int in_fd)
{
    FakeV4L2Device* device = DeviceForFd(in_fd);
    if (device == nullptr)
        return -EBADF;
    mOpen.erase(in_fd);
    mOpenNodes.erase(in_fd);
    mUnplugged.erase(in_fd);
    close(in_fd);
    if (--device->openCount == 0)
        device->LastClose();
    mStreams.erase(in_fd);
    return 0;
}

int FakeV4L2::Ioctl(int in_fd, unsigned long in_request, void* io_arg)
{
    FakeV4L2Device* device = DeviceForFd(in_fd);
    if (device == nullptr)
        return -EBADF;
    if (mUnplugged.count(in_fd) != 0)
        return -ENODEV;
    if (io_arg == nullptr)
        return -EFAULT;
    return device->Ioctl(in_request, io_arg);
}

int FakeV4L2::Mmap(int in_fd, size_t in_length, off_t in_offset, void** out_address)
{
    *out_address = nullptr;
    FakeV4L2Device* device = DeviceForFd(in_fd);
    if (device == nullptr)
        return -EBADF;
    return device->Map(in_length, in_offset, out_address);
}

int FakeV4L2::Munmap(void* in_address, size_t)
{
    // The memory belongs to the device's buffers and goes with them.
    return in_address != nullptr ? 0 : -EINVAL;
}

int FakeV4L2::Poll(struct pollfd* io_fds, nfds_t in_count, int)
{
    int ready = 0;
    for (nfds_t i = 0; i < in_count; ++i) {
        io_fds[i].revents = 0;
        FakeV4L2Device* device = DeviceForFd(io_fds[i].fd);
        if (device == nullptr) {
            io_fds[i].revents = POLLNVAL;
        } else if (mUnplugged.count(io_fds[i].fd) != 0) {
            return -ENODEV;
        } else if (device->failPoll != 0) {
            return -device->failPoll;
        } else if (device->FrameReady()) {
            io_fds[i].revents = short(io_fds[i].events & POLLIN);
        }
        if (io_fds[i].revents != 0)
            ++ready;
    }
    return ready;
}

ssize_t FakeV4L2::Write(int in_fd, const void* in_data, size_t in_size)
{
    FakeV4L2Device* device = DeviceForFd(in_fd);
    if (device == nullptr)
        return -EBADF;
    return device->Write(in_data, in_size);
}
