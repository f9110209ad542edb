// An in-memory V4L2 driver behind the system-call seam: several devices (FakeV4L2Device) listed
// as /dev/videoN nodes, answering the ioctls the capture layer and the virtual camera use.
// Devices added and removed are announced to its device monitors, as udev announces the kernel's.
// Main thread only.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeV4L2Device.h"
#include "V4L2System.h"

class FakeV4L2 : public V4L2System
{
public:
    FakeV4L2();
    ~FakeV4L2() override;

    // Listed as /dev/video<index of creation>, or under in_node when given.
    FakeV4L2Device& AddDevice(const std::string& in_node = std::string());
    // Unplugs the device: its node is no longer listed, and what is still open on it answers
    // ENODEV until closed.
    void RemoveDevice(const std::string& in_node);
    FakeV4L2Device* DeviceAt(const std::string& in_node);
    size_t DeviceCount() const { return mDevices.size(); }

    void ListNodes(std::vector<std::string>& out_nodes) override;
    int Open(const char* in_path, int in_flags) override;
    int Close(int in_fd) override;
    int Ioctl(int in_fd, unsigned long in_request, void* io_arg) override;
    int Mmap(int in_fd, size_t in_length, off_t in_offset, void** out_address) override;
    int Munmap(void* in_address, size_t in_length) override;
    int Poll(struct pollfd* io_fds, nfds_t in_count, int in_timeoutMs) override;
    ssize_t Write(int in_fd, const void* in_data, size_t in_size) override;
    std::unique_ptr<V4L2DeviceMonitor> NewDeviceMonitor() override;

    struct Announcements; // what one monitor has not taken yet

private:
    void Announce(bool in_added, const std::string& in_node);
    FakeV4L2Device* DeviceForFd(int in_fd);
    std::vector<std::pair<std::string, std::unique_ptr<FakeV4L2Device>>> mDevices;
    std::vector<std::unique_ptr<FakeV4L2Device>> mRemoved; // kept while descriptors are open
    // Each open device holds a real descriptor (an eventfd), so its number is unique in the
    // process and a router can tell it from the kernel's.
    std::map<int, FakeV4L2Device*> mOpen;
    std::map<int, std::string> mOpenNodes;
    std::set<int> mUnplugged; // descriptors of removed devices
    // Each monitor's queue, for as long as the monitor lives.
    std::vector<std::weak_ptr<Announcements>> mMonitors;
    // The streams of later opens of a device that streams per open, by descriptor.
    std::map<int, std::unique_ptr<FakeV4L2Device>> mStreams;
};
