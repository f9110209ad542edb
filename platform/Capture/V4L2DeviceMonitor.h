// Tells when video device nodes come and go (a camera plugged in or pulled out), without
// blocking and without a display: the descriptor turns readable when news waits, and the owner
// takes it whenever its event loop says so. Each system behind the seam makes its own: the
// kernel's through udev, the in-memory driver's through its own announcements.
#pragma once

#include <memory>
#include <string>
#include <vector>

class V4L2DeviceMonitor
{
public:
    struct Change
    {
        bool added; // else removed
        std::string node;
    };

    virtual ~V4L2DeviceMonitor() = default;
    // Readable while changes wait: for poll or a socket notifier.
    virtual int Descriptor() const = 0;
    // The changes that waited, oldest first, appended; the descriptor is quiet again after.
    virtual void TakeChanges(std::vector<Change>& io_changes) = 0;
};

// The kernel's video4linux devices as udev announces them, once its rules have run (the node's
// permissions are set). Null when udev cannot be watched here (a container without udev or
// netlink); the first time that happens the log says so, as cameras then appear only when a
// menu is rebuilt.
std::unique_ptr<V4L2DeviceMonitor> NewUdevV4L2DeviceMonitor();
