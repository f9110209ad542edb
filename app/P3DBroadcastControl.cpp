#include "P3DBroadcastControl.h"

#include "CoreMachDebugLog.h"

P3DBroadcastControl::P3DBroadcastControl(QWidget* parent) : NSUICamBroadcastControlFast(parent) {}

void P3DBroadcastControl::awakeFromNib()
{
    VERIFY_AT("-[P3DBroadcastControl awakeFromNib]", import_NSUICamBroadcastControlFast());
}
