// The capture seam's device monitor on the Qt event loop: camerasChanged() once for each batch of
// video nodes that came or went. Where the monitor cannot be had (no udev here) it never fires,
// and the camera menus find new cameras when they open.
#pragma once

#include <QObject>
#include <memory>

#include "V4L2DeviceMonitor.h"

class QSocketNotifier;

class CameraDeviceWatcher : public QObject
{
    Q_OBJECT

public:
    // Watches the seam in force now.
    explicit CameraDeviceWatcher(QObject* parent = nullptr);
    ~CameraDeviceWatcher() override;

signals:
    void camerasChanged();

private:
    void takeChanges();

    std::unique_ptr<V4L2DeviceMonitor> mMonitor;
    std::unique_ptr<QSocketNotifier> mNotifier; // after the monitor: gone before its descriptor
};
