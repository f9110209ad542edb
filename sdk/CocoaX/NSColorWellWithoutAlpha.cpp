#include "NSColorWellWithoutAlpha.h"

#include <QColorDialog>

void NSColorWellWithoutAlpha::activate()
{
    NSUIColorWellButton::activate();
    dialog().setOption(QColorDialog::ShowAlphaChannel, false);
}

void NSColorWellWithoutAlpha::takeColor(const QColor& in_color)
{
    well().setColor3DOpaque(
        {float(in_color.redF()), float(in_color.greenF()), float(in_color.blueF())});
}

bool import_NSColorWellWithoutAlpha()
{
    return import_NSUIColorWellButton();
}
