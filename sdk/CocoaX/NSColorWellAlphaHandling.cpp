// NSColorWell (AlphaHandling): the colour as float components.
#include "NSColorWell.h"

#include "CoreMachDebugLog.h"

NSColor4D NSColorWell::getColor4D() const
{
    if (!VERIFY_TEXT("-[NSColorWell(AlphaHandling) getColor4D]", "currentRGB", mHasRGB))
        return {0, 0, 0, 1};
    return mColor;
}

NSColor3D NSColorWell::getColor3DOpaque() const
{
    const NSColor4D c = getColor4D();
    return {c.red, c.green, c.blue};
}

float NSColorWell::getColorAlpha() const
{
    return getColor4D().alpha;
}

QColor NSColorWell::colorWithAlpha() const
{
    const NSColor4D c = getColor4D();
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}

QColor NSColorWell::colorWithoutAlpha() const
{
    const NSColor3D c = getColor3DOpaque();
    return QColor::fromRgbF(c.red, c.green, c.blue, 1);
}

void NSColorWell::setColor4D(NSColor4D in_color)
{
    store(in_color);
}

void NSColorWell::setColor3D(NSColor3D in_color)
{
    setColor3DOpaque(in_color);
}

void NSColorWell::setColor3DOpaque(NSColor3D in_color)
{
    store({in_color.red, in_color.green, in_color.blue, 1});
}

void NSColorWell::setColorRedBlueGreenAlpha(float in_red, float in_blue, float in_green,
                                            float in_alpha)
{
    store({in_red, in_green, in_blue, in_alpha});
}

void NSColorWell::setColor3DPreserveAlpha(NSColor3D in_color)
{
    // A colour without an RGB form has no alpha to keep: opaque.
    store({in_color.red, in_color.green, in_color.blue, mHasRGB ? mColor.alpha : 1.0f});
}

bool NSColorWell::setColorAlpha(float in_alpha)
{
    if (!VERIFY_TEXT("-[NSColorWell(AlphaHandling) setColorAlpha:]", "currentRGB", mHasRGB))
        return false;
    store({mColor.red, mColor.green, mColor.blue, in_alpha});
    return true;
}

void NSColorWell::setColorPreserveAlpha(const QColor& in_color)
{
    if (!VERIFY_TEXT("-[NSColorWell(AlphaHandling) setColorPreserveAlpha:]", "inColor",
                     in_color.isValid()))
        return;
    setColor3DPreserveAlpha(
        {float(in_color.redF()), float(in_color.greenF()), float(in_color.blueF())});
}
