// NSColorWell (CoreImage): the colour as the engine's colour.
#include "NSColorWell.h"

#include "CIImage.h"
#include "CoreMachDebugLog.h"

CFPtr<CIColor> NSColorWell::getCIColorAlpha() const
{
    const NSColor4D c = getColor4D();
    return CIColor::colorWithRed(c.red, c.green, c.blue, c.alpha);
}

CFPtr<CIColor> NSColorWell::getCIColorOpaque() const
{
    const NSColor3D c = getColor3DOpaque();
    return CIColor::colorWithRed(c.red, c.green, c.blue, 1);
}

void NSColorWell::setCIColor(const CIColor* in_color)
{
    if (VERIFY_TEXT("-[NSColorWell(CoreImage) setCIColor:]", "inColor", in_color))
        setColor4D({float(in_color->red()), float(in_color->green()), float(in_color->blue()),
                    float(in_color->alpha())});
}

void NSColorWell::setCIColorOpaque(const CIColor* in_color)
{
    if (VERIFY_TEXT("-[NSColorWell(CoreImage) setCIColorOpaque:]", "inColor", in_color))
        setColor4D({float(in_color->red()), float(in_color->green()), float(in_color->blue()), 1});
}

void NSColorWell::setCIColorPreserveAlpha(const CIColor* in_color)
{
    if (VERIFY_TEXT("-[NSColorWell(CoreImage) setCIColorPreserveAlpha:]", "inColor", in_color))
        setColor3DPreserveAlpha(
            {float(in_color->red()), float(in_color->green()), float(in_color->blue())});
}

bool import_NSColorWellCoreImage()
{
    return import_NSColorWell() && import_CIImage();
}
