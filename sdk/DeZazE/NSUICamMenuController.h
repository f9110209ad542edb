// Keeps a camera view's pop-up menu in step with the cameras there are and the one its grabber
// uses, and turns a choice in it into a camera switch: the chosen name is recorded and the
// controller's action sent to its target, which applies it to the right view.
#pragma once

#include <QString>

#include "EyeCameraChoice.h"
#include "NSUITargetActionView.h"

class QAction;
class QCameraGrabberBase;

class NSUICamMenuController : public NSUITargetActionView
{
    Q_OBJECT

public:
    explicit NSUICamMenuController(QWidget* parent = nullptr);
    ~NSUICamMenuController() override;

    // The separator of the camera menu that every entry follows; borrowed from the menu.
    void setCameraMenuSeparator(QAction* separator) { mCameraMenuSeparator = separator; }
    QAction* cameraMenuSeparator() const { return mCameraMenuSeparator; }

    // The chosen or current camera's name, or "No Camera"; null (reported) before either.
    QString cameraDeviceInputName() const;
    void setCameraDeviceInputName(const QString& name) { _cameraDeviceInputName = name; }

    // The action of every camera entry.
    void cameraSelectionChanged(QAction* menuItem);
    // A person's choice of a camera by name, from the menu or the command line: kept as such,
    // then sent to the target.
    void chooseCamera(const QString& name);
    // What this eye was asked to use, and by whom.
    EyeCameraChoice& cameraChoice() { return mChoice; }
    // Rebuilds the entries after the separator.
    void updateForCameraGrabber(const QCameraGrabberBase* grabber);
    // Applies the chosen name to the grabber; true when the menu was rebuilt.
    bool changeCameraGrabberDevice(QCameraGrabberBase* grabber);
    bool useNextCameraGrabberDevice(QCameraGrabberBase* grabber);
    bool usePrevCameraGrabberDevice(QCameraGrabberBase* grabber);

private:
    QAction* addEntry(const QString& title);

    QAction* mCameraMenuSeparator = nullptr;
    QString _cameraDeviceInputName; // null until a choice or a rebuild
    EyeCameraChoice mChoice;
};

bool import_NSUICamMenuController();
