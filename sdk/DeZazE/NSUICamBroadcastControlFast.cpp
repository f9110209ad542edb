#include "NSUICamBroadcastControlFast.h"

NSUICamBroadcastControlFast::NSUICamBroadcastControlFast(QWidget* parent)
    : NSUICamBroadcastControl(parent)
{
}

NSUICamBroadcastControlFast::~NSUICamBroadcastControlFast() = default;

void NSUICamBroadcastControlFast::startBroadcasting()
{
    NSUICamBroadcastControl::startBroadcasting();
    // Contexts load the component: with broadcasting off they would leave it loaded, and a
    // later switch-on would then neither install it nor send the allow switch.
    if (!isBroadcastEnabled())
        return;
    mWriter.createContexts(CamBroadcastWriter::kNSUICamBroadcastControlFast_Buffer0);
    mWriter.createContexts(CamBroadcastWriter::kNSUICamBroadcastControlFast_Buffer1);
}

void NSUICamBroadcastControlFast::stopBroadcasting()
{
    NSUICamBroadcastControl::stopBroadcasting();
    mWriter.destroyContexts();
}

bool import_NSUICamBroadcastControlFast()
{
    return import_NSUICamBroadcastControl();
}
