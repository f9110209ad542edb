#include "NSUIToggleButton.h"

NSUIToggleButton::NSUIToggleButton(QWidget* parent) : NSUIToolButton(parent)
{
    cell()->setCellAttribute(NSUIButtonCell::kLightsByContents, 1);
    cell()->setCellAttribute(NSUIButtonCell::kChangesContents, 1);
    setCheckable(true);
}
