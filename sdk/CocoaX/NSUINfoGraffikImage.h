// The images of the graffik buttons: a shape (rounded square or circle) in dark grey or in the
// control tint, with a named picture over it, made at the button's size. Pure functions of
// their arguments; the buttons only call them.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include "CoreGraphics.h"

namespace CoreGraphics {
class PaintContext;
}

// Where a graffik's shape and picture go inside the drawing rectangle (y up).
struct NSUINfoGraffikLayout
{
    bool circle = false;
    CGRect shape{};     // the rounded square or the circle's square
    CGFloat radius = 0; // corner radius of the rounded square
    CGRect picture{};
};

class NSUINfoGraffikImage
{
public:
    // The layout of kind in rect; margin shifts the rounded square by half of it.
    static NSUINfoGraffikLayout layoutForKind(CGRect rect, CGFloat margin, int kind);

    // A new image of that size for the state (1 on, anything else off), transparent around its
    // shape; a null image with a report when none can be made.
    static QImage imageForSizeState(const char* name, QSize size, int state, int kind,
                                    const QColor& controlTint);
    static QImage imageForSizeState(const char* name, QSize size, int state,
                                    const QColor& controlTint)
    {
        return imageForSizeState(name, size, state, 0, controlTint);
    }

    static void drawRect(CoreGraphics::PaintContext& context, const char* name, CGRect rect,
                         int state, CGFloat margin, int kind, const QColor& controlTint);
    // The vector picture of that name scaled into rect, else the raster picture unscaled at its
    // origin over what is drawn (source-in), else nothing.
    static void drawImage(CoreGraphics::PaintContext& context, const char* name, CGRect rect,
                          CGFloat opacity);
};

// The colour of selected controls: the palette's highlight.
QColor NSUIControlTintColor();
