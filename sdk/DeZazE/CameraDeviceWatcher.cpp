#include "CameraDeviceWatcher.h"

#include <QSocketNotifier>

#include "V4L2System.h"

CameraDeviceWatcher::CameraDeviceWatcher(QObject* parent)
    : QObject(parent), mMonitor(V4L2Sys().NewDeviceMonitor())
{
    if (!mMonitor)
        return;
    mNotifier = std::make_unique<QSocketNotifier>(mMonitor->Descriptor(), QSocketNotifier::Read);
    connect(mNotifier.get(), &QSocketNotifier::activated, this, &CameraDeviceWatcher::takeChanges);
}

CameraDeviceWatcher::~CameraDeviceWatcher() = default;

void CameraDeviceWatcher::takeChanges()
{
    std::vector<V4L2DeviceMonitor::Change> changes;
    mMonitor->TakeChanges(changes);
    if (!changes.empty())
        emit camerasChanged();
}
