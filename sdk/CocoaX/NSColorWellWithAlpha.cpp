#include "NSColorWellWithAlpha.h"

#include <QColorDialog>

void NSColorWellWithAlpha::activate()
{
    dialog().setOption(QColorDialog::ShowAlphaChannel, true);
    NSUIColorWellButton::activate();
}

bool import_NSColorWellWithAlpha()
{
    return import_NSUIColorWellButton();
}
