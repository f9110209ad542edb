#include "NSUICamMenuController.h"

#include <QAction>
#include <QMenu>

#include "CameraMenuModel.h"
#include "CoreMachDebugLog.h"
#include "QCameraGrabberBase.h"

// Camera names are the capture layer's UTF-8 text, and go back to it as such.
NSUICamMenuController::NSUICamMenuController(QWidget* parent) : NSUITargetActionView(parent)
{
    setHidden(true); // a controller, not something to see
}

NSUICamMenuController::~NSUICamMenuController() = default;

QString NSUICamMenuController::cameraDeviceInputName() const
{
    VERIFY_TEXT(__func__, "_cameraDeviceInputName", !_cameraDeviceInputName.isNull());
    return _cameraDeviceInputName;
}

void NSUICamMenuController::cameraSelectionChanged(QAction* menuItem)
{
    if (menuItem && !menuItem->text().isEmpty())
        chooseCamera(menuItem->text());
}

void NSUICamMenuController::chooseCamera(const QString& name)
{
    mChoice.Chosen(name.toStdString());
    setCameraDeviceInputName(name);
    performTargetActionWithObject(this);
}

QAction* NSUICamMenuController::addEntry(const QString& title)
{
    QMenu* cameraMenu = qobject_cast<QMenu*>(mCameraMenuSeparator->parent());
    QAction* entry = cameraMenu->addAction(title);
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this, [this, entry] { cameraSelectionChanged(entry); });
    return entry;
}

void NSUICamMenuController::updateForCameraGrabber(const QCameraGrabberBase* grabber)
{
    if (!mCameraMenuSeparator || !mCameraMenuSeparator->isSeparator())
        return;
    QMenu* cameraMenu = qobject_cast<QMenu*>(mCameraMenuSeparator->parent());
    if (!VERIFY_TEXT(__func__, "cameraMenu", cameraMenu))
        return;
    const QList<QAction*> items = cameraMenu->actions();
    for (qsizetype i = items.indexOf(mCameraMenuSeparator) + 1; i < items.size(); ++i) {
        cameraMenu->removeAction(items[i]);
        if (items[i]->parent() == cameraMenu)
            delete items[i];
    }
    if (!grabber)
        return;

    std::vector<CameraMenuModel::Entry> cameras;
    std::string current;
    const bool listed = CameraMenuModel::Build(*grabber, cameras, current);
    QAction* noCamera = addEntry(QString::fromUtf8(CameraMenuModel::kNoCamera));
    noCamera->setChecked(current == CameraMenuModel::kNoCamera);
    if (!current.empty())
        setCameraDeviceInputName(QString::fromStdString(current));
    cameraMenu->addSeparator();
    if (!listed)
        return;
    for (const CameraMenuModel::Entry& camera : cameras)
        addEntry(QString::fromStdString(camera.title))->setChecked(camera.checked);
}

bool NSUICamMenuController::changeCameraGrabberDevice(QCameraGrabberBase* grabber)
{
    if (!grabber)
        return false;
    const QString name = cameraDeviceInputName();
    if (!VERIFY_TEXT(__func__, "cameraDeviceInputName", !name.isNull()))
        return false;
    // A name the capture layer cannot hold (63 bytes, no NUL) names no camera.
    const QByteArray cString = name.toUtf8();
    if (!VERIFY_TEXT(__func__, "cameraDeviceInputNameCStringMacRoman",
                     cString.size() <= 63 && !cString.contains('\0')))
        return false;
    mChoice.Applied(cString.toStdString());
    if (!CameraMenuModel::Apply(*grabber, cString.toStdString()))
        return false;
    updateForCameraGrabber(grabber);
    return true;
}

bool NSUICamMenuController::useNextCameraGrabberDevice(QCameraGrabberBase* grabber)
{
    if (!grabber || !grabber->UseNextCamera())
        return false;
    updateForCameraGrabber(grabber);
    return true;
}

bool NSUICamMenuController::usePrevCameraGrabberDevice(QCameraGrabberBase* grabber)
{
    if (!grabber || !grabber->UsePrevCamera())
        return false;
    updateForCameraGrabber(grabber);
    return true;
}

bool import_NSUICamMenuController()
{
    return import_NSUITargetActionView();
}
