#include "CameraMenuModel.h"

#include "QCameraGrabberBase.h"

#include <algorithm>

const std::vector<std::string> CameraMenuModel::sExcludedNameFragments;

namespace {

std::string InputName(const QSGDeviceList::InputIterator& in_camera)
{
    return std::string(reinterpret_cast<const char*>(in_camera.inputName + 1),
                       in_camera.inputName[0]);
}

bool IsExcluded(const std::string& in_name)
{
    for (const std::string& fragment : CameraMenuModel::sExcludedNameFragments)
        if (in_name.find(fragment) != std::string::npos)
            return true;
    return false;
}

} // namespace

bool CameraMenuModel::Build(const QCameraGrabberBase& in_grabber, std::vector<Entry>& out_cameras,
                            std::string& out_currentName)
{
    out_cameras.clear();
    out_currentName = CurrentName(in_grabber);
    const bool hasCurrent = !out_currentName.empty();
    if (!hasCurrent)
        out_currentName = kNoCamera;

    QSGDeviceList list;
    if (!in_grabber.GetCameraInputList(list))
        return false;
    QSGDeviceList::InputIterator camera;
    for (bool more = list.GetFirstInput(camera); more; more = list.GetNextInput(camera)) {
        const std::string title = InputName(camera);
        if (IsExcluded(title))
            continue;
        out_cameras.push_back({title, hasCurrent && title == out_currentName});
    }
    // A camera in use that the list does not show names nothing the menu can check.
    if (hasCurrent && std::none_of(out_cameras.begin(), out_cameras.end(),
                                   [](const Entry& entry) { return entry.checked; }))
        out_currentName.clear();
    return true;
}

std::string CameraMenuModel::CurrentName(const QCameraGrabberBase& in_grabber)
{
    QSGDeviceList::InputIterator current;
    return in_grabber.VideoChannel() && in_grabber.GetCurrentCamera(current) ? InputName(current)
                                                                             : std::string();
}

bool CameraMenuModel::Apply(QCameraGrabberBase& io_grabber, const std::string& in_name)
{
    if (in_name == kNoCamera) {
        io_grabber.SetAutoOpenCameraPluggedIn(false, 1.0f);
        io_grabber.CloseCameraInput();
        return true;
    }
    // A camera chosen is a camera wanted: if it is unplugged later it comes back by itself, even
    // after a failed open or "No Camera" had switched that off.
    io_grabber.SetAutoOpenCameraPluggedIn(true, 1.0f);
    bool opened = false;
    if (!io_grabber.VideoChannel()) {
        io_grabber.OpenCameraInput(nullptr);
        opened = true;
    }
    QSGDeviceList::InputIterator chosen;
    if (io_grabber.VideoChannel() &&
        io_grabber.GetCameraWithDeviceInputName(chosen, in_name.c_str())) {
        QSGDeviceList::InputIterator current;
        if (!io_grabber.GetCurrentCamera(current) || current != chosen) {
            io_grabber.SwitchToCamera(chosen);
            return true;
        }
    }
    return opened;
}
