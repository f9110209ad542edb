// What one eye's camera was asked to be, and by whom. Only a person's choice (the camera menu,
// the command line) and a camera running at close are worth keeping for the next launch: an open
// that failed, or a machine without cameras, says nothing of what the person wants. An eye that
// has no camera for want of one (not set to "No Camera", not waiting for its own unplugged camera
// to come back) takes a free one when the cameras change. Needs no display.
#pragma once

#include <string>

class QCameraGrabberBase;

class EyeCameraChoice
{
public:
    // The person chose this name, in the menu or on the command line.
    void Chosen(const std::string& in_name) { mChosen = in_name; }
    // This name was applied to the eye's grabber, whoever asked for it.
    void Applied(const std::string& in_name) { mApplied = in_name; }

    // What to store at close: the person's choice, else the camera running; empty to leave the
    // stored name as it is.
    std::string NameToKeep(const QCameraGrabberBase& in_grabber) const;

    // An eye waiting for a camera takes a free one, through the same path as a menu choice: the
    // one applied before when it is there, else the first in camera order that in_other neither
    // uses nor waits for.
    void TakeFreeCamera(QCameraGrabberBase& io_grabber, const QCameraGrabberBase& in_other);

    // The camera the grabber streams from, or the one it waits to come back; empty for neither.
    static std::string CameraHeld(const QCameraGrabberBase& in_grabber);

private:
    std::string mChosen;
    std::string mApplied;
};
