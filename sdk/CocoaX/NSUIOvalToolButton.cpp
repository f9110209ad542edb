#include "NSUIOvalToolButton.h"

#include <QPainter>

#include "CoreGraphicsPaintContext.h"
#include "NSUINfoGraffikImage.h"

NSUIOvalToolButton::NSUIOvalToolButton(QWidget* parent) : NSUIToolButton(parent) {}

void NSUIOvalToolButton::drawBackground(CoreGraphics::PaintContext& context, CGRect bounds,
                                        int state, const QColor& controlTint)
{
    context.SaveGState();
    if (state != 0)
        context.SetRGBFillColor(controlTint.redF(), controlTint.greenF(), controlTint.blueF(), 0.8);
    else
        context.SetRGBFillColor(0.1, 0.1, 0.1, 0.8);
    context.FillEllipseInRect(bounds);
    context.RestoreGState();
}

void NSUIOvalToolButton::paintEvent(QPaintEvent* event)
{
    if (hasOnlyOneImage()) {
        QPainter painter(this);
        CoreGraphics::PaintContext context(painter, height());
        drawBackground(context, CGRectMake(0, 0, width(), height()), isChecked() ? 1 : 0,
                       NSUIControlTintColor());
    }
    NSUIToolButton::paintEvent(event);
}
