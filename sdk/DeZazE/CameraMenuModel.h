// What a camera menu lists for a grabber, and what choosing an entry does to it: the cameras by
// name, in camera order, and which one is in use. Needs no display; the camera menu controller
// shows it.
#pragma once

#include <string>
#include <vector>

class QCameraGrabberBase;

class CameraMenuModel
{
public:
    static constexpr const char* kNoCamera = "No Camera";

    struct Entry
    {
        std::string title;
        bool checked;
    };

    // Cameras whose name holds one of these are left out; none are.
    static const std::vector<std::string> sExcludedNameFragments;

    // The entries after "No Camera", and the name in use ("No Camera" when no camera is, empty
    // when the camera in use is not among the entries).
    // The entries' checks mean something only while the grabber has a channel. False when the
    // camera list cannot be had: then there are no entries.
    static bool Build(const QCameraGrabberBase& in_grabber, std::vector<Entry>& out_cameras,
                      std::string& out_currentName);

    // The name of the camera the grabber streams from; empty without one.
    static std::string CurrentName(const QCameraGrabberBase& in_grabber);

    // Applies the choice of an entry to the grabber: "No Camera" stops the camera and keeps it
    // closed; another name opens the default camera first when none is open, then switches to
    // the first camera of that name unless it is the one in use, and switches auto-open back on.
    // True when something was done
    // (the menu should then be built again).
    static bool Apply(QCameraGrabberBase& io_grabber, const std::string& in_name);
};
