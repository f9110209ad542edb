#include "NSUICamBroadcastControl.h"

#include <QCheckBox>
#include <QStyle>
#include <QVBoxLayout>

#include "NSUserDefault.h"

NSUICamBroadcastControl::NSUICamBroadcastControl(QWidget* parent)
    : NSUITargetActionView(parent),
      _allowCameraButton(new QCheckBox(tr("Allow camera connections"))),
      _rebroadcastButton(new QCheckBox(tr("Broadcast as a camera")))
{
    _rebroadcastButton->setObjectName("_rebroadcastButton");
    _rebroadcastButton->setToolTip(
        tr("Publish the stereo picture, so that other programs can use it as a camera"));
    _allowCameraButton->setObjectName("_allowCameraButton");
    _allowCameraButton->setToolTip(
        tr("Let other programs read the broadcast; when off, they show their own picture"));
    // Only a broadcast has connections to allow.
    _allowCameraButton->setHidden(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_rebroadcastButton);
    // The allow switch belongs to the broadcast: it sits under it, lined up with its text.
    auto* indent = new QHBoxLayout;
    indent->setContentsMargins(style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                   style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing),
                               0, 0, 0);
    indent->addWidget(_allowCameraButton);
    layout->addLayout(indent);

    // clicked, not toggled: a switch set from code acts through its own call, once.
    connect(_rebroadcastButton, &QCheckBox::clicked, this,
            [this] { broadcastButtonChanged(_rebroadcastButton); });
    connect(_allowCameraButton, &QCheckBox::clicked, this,
            [this] { cameraConnectChanged(_allowCameraButton); });
}

NSUICamBroadcastControl::~NSUICamBroadcastControl() = default;

bool NSUICamBroadcastControl::areCameraConnectionAllowed() const
{
    return _allowCameraButton->isChecked();
}

bool NSUICamBroadcastControl::isBroadcastEnabled() const
{
    return _rebroadcastButton->isChecked();
}

void NSUICamBroadcastControl::setBroadcastEnabled(bool in_enabled)
{
    _rebroadcastButton->setChecked(in_enabled);
    broadcastButtonChanged(this);
}

bool NSUICamBroadcastControl::isBroadcasting() const
{
    return mWriter.isBroadcasting();
}

void NSUICamBroadcastControl::setComponentAllowCameraConnections(bool in_allow)
{
    mWriter.setComponentAllowCameraConnections(in_allow);
}

void NSUICamBroadcastControl::cameraConnectChanged(QObject*)
{
    if (isBroadcasting())
        setComponentAllowCameraConnections(areCameraConnectionAllowed());
}

void NSUICamBroadcastControl::broadcastButtonChanged(QObject*)
{
    const bool enabled = isBroadcastEnabled();
    const bool broadcasting = isBroadcasting();
    if (enabled && !broadcasting)
        startBroadcasting();
    else if (!enabled && broadcasting)
        stopBroadcasting();
}

void NSUICamBroadcastControl::toggleBroadcastButtonAction(QObject*)
{
    _rebroadcastButton->setChecked(!_rebroadcastButton->isChecked());
    broadcastButtonChanged(_rebroadcastButton);
}

void NSUICamBroadcastControl::applicationDidFinishLaunching(QObject*)
{
    _allowCameraButton->setChecked(
        NSUserDefaultLoadKind<NSNumber>("_allowCameraButton", NSNumber(1)).intValue() != 0);
    _rebroadcastButton->setChecked(
        NSUserDefaultLoadKind<NSNumber>("_rebroadcastButton", NSNumber(0)).intValue() != 0);
    startBroadcasting();
}

void NSUICamBroadcastControl::applicationWillTerminate(QObject*)
{
    NSUserDefaultSave(areCameraConnectionAllowed() ? 1 : 0, "_allowCameraButton");
    NSUserDefaultSave(isBroadcastEnabled() ? 1 : 0, "_rebroadcastButton");
    setBroadcastEnabled(false);
}

void NSUICamBroadcastControl::startBroadcasting()
{
    mWriter.startBroadcasting(isBroadcastEnabled(), areCameraConnectionAllowed());
    if (isBroadcastEnabled())
        _allowCameraButton->setHidden(false);
}

void NSUICamBroadcastControl::stopBroadcasting()
{
    mWriter.stopBroadcasting();
    _allowCameraButton->setHidden(true);
}

void NSUICamBroadcastControl::broadcastFrame(const CoreGraphics::BitmapContext* in_bitmap)
{
    mWriter.broadcastFrame(in_bitmap);
}

bool import_NSUICamBroadcastControl()
{
    return import_NSUITargetActionView();
}
