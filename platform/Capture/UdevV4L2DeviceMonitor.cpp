#include <atomic>
#include <cerrno>
#include <cstring>
#include <libudev.h>
#include <unistd.h>

#include "Diagnostics.h"
#include "V4L2DeviceMonitor.h"

namespace {

class UdevV4L2DeviceMonitor : public V4L2DeviceMonitor
{
public:
    UdevV4L2DeviceMonitor(udev* in_udev, udev_monitor* in_monitor)
        : mUdev(in_udev), mMonitor(in_monitor)
    {
    }
    ~UdevV4L2DeviceMonitor() override
    {
        udev_monitor_unref(mMonitor);
        udev_unref(mUdev);
    }
    UdevV4L2DeviceMonitor(const UdevV4L2DeviceMonitor&) = delete;
    UdevV4L2DeviceMonitor& operator=(const UdevV4L2DeviceMonitor&) = delete;

    int Descriptor() const override { return udev_monitor_get_fd(mMonitor); }

    void TakeChanges(std::vector<Change>& io_changes) override
    {
        // The socket is non-blocking: null once nothing waits.
        while (udev_device* device = udev_monitor_receive_device(mMonitor)) {
            const char* action = udev_device_get_action(device);
            const char* node = udev_device_get_devnode(device);
            if (action && node && (strcmp(action, "add") == 0 || strcmp(action, "remove") == 0))
                io_changes.push_back({strcmp(action, "add") == 0, node});
            udev_device_unref(device);
        }
    }

private:
    udev* mUdev;
    udev_monitor* mMonitor;
};

// Once per process: every new window asks again.
void ReportUnwatchable(const char* in_why)
{
    static std::atomic<bool> sReported{false};
    if (!sReported.exchange(true))
        DIAG_REPORT("cameras plugged in or out are not watched (%s); the camera menus find them "
                    "when they open",
                    in_why);
}

} // namespace

std::unique_ptr<V4L2DeviceMonitor> NewUdevV4L2DeviceMonitor()
{
    // Without the daemon, libudev hands out a monitor that never hears anything.
    if (access("/run/udev/control", F_OK) != 0) {
        ReportUnwatchable("udev is not running");
        return nullptr;
    }
    udev* context = udev_new();
    if (context == nullptr) {
        ReportUnwatchable("no udev context");
        return nullptr;
    }
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    int err = monitor != nullptr ? 0 : -ENOSYS;
    if (err == 0)
        err = udev_monitor_filter_add_match_subsystem_devtype(monitor, "video4linux", nullptr);
    if (err == 0)
        err = udev_monitor_enable_receiving(monitor);
    if (err != 0) {
        ReportUnwatchable(monitor != nullptr ? strerror(-err) : "no netlink socket");
        udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevV4L2DeviceMonitor>(context, monitor);
}
