#include "EyeCameraChoice.h"

#include <vector>

#include "CameraMenuModel.h"
#include "QCameraGrabberBase.h"

std::string EyeCameraChoice::CameraHeld(const QCameraGrabberBase& in_grabber)
{
    const std::string running = CameraMenuModel::CurrentName(in_grabber);
    return running.empty() ? in_grabber.mLostCameraName : running;
}

std::string EyeCameraChoice::NameToKeep(const QCameraGrabberBase& in_grabber) const
{
    return !mChosen.empty() ? mChosen : CameraMenuModel::CurrentName(in_grabber);
}

void EyeCameraChoice::TakeFreeCamera(QCameraGrabberBase& io_grabber,
                                     const QCameraGrabberBase& in_other)
{
    if (mApplied == CameraMenuModel::kNoCamera || io_grabber.VideoChannel() ||
        !io_grabber.mLostCameraName.empty())
        return;
    std::vector<CameraMenuModel::Entry> cameras;
    std::string current;
    std::string take;
    if (CameraMenuModel::Build(io_grabber, cameras, current)) {
        const std::string others = CameraHeld(in_other);
        for (const CameraMenuModel::Entry& camera : cameras)
            if (camera.title != others && (take.empty() || camera.title == mApplied))
                take = camera.title;
    }
    if (take.empty()) {
        // Its own retries would open the first camera, whoever has it: the next change decides.
        io_grabber.SetAutoOpenCameraPluggedIn(false, 1.0f);
        return;
    }
    CameraMenuModel::Apply(io_grabber, take);
    mApplied = take;
}
