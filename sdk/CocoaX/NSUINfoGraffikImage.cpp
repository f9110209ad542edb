#include "NSUINfoGraffikImage.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "CoreGraphicsContext.h"
#include "CoreGraphicsPaintContext.h"
#include "CoreMachDebugLog.h"
#include "NSImage_CocoaX.h"
#include "namespace_CoreGraphics_RoundRectPath.h"

namespace {

// Images beyond this side are refused rather than allocated.
constexpr int kMaxImageSide = 1 << 14;

CGRect CentredSquare(CGRect square, CGFloat side)
{
    const CGFloat inset = (square.size.width - side) / 2;
    return CGRectMake(square.origin.x + inset, square.origin.y + inset, side, side);
}

} // namespace

QColor NSUIControlTintColor()
{
    return QGuiApplication::palette().color(QPalette::Highlight);
}

NSUINfoGraffikLayout NSUINfoGraffikImage::layoutForKind(CGRect rect, CGFloat margin, int kind)
{
    const CGFloat w = rect.size.width, h = rect.size.height, s = std::min(w, h);
    const CGRect square =
        CGRectMake(rect.origin.x + (w - s) / 2, rect.origin.y + (h - s) / 2, s, s);
    NSUINfoGraffikLayout layout;
    layout.radius = s <= 64 ? 8 : 12;
    if (kind == 1 || kind == 3 || kind == 4) {
        layout.circle = true;
        layout.shape = square;
        layout.picture = CentredSquare(square, (kind == 1 ? 0.8 : 0.9) * s);
    } else {
        layout.shape = CGRectMake(square.origin.x - margin / 2, square.origin.y - margin / 2, s, s);
        layout.picture = square;
    }
    return layout;
}

QImage NSUINfoGraffikImage::imageForSizeState(const char* name, QSize size, int state, int kind,
                                              const QColor& controlTint)
{
    const bool fits = size.width() > 0 && size.height() > 0 && size.width() <= kMaxImageSide &&
                      size.height() <= kMaxImageSide;
    QImage image;
    if (fits)
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    if (!VERIFY_TEXT("+[NSUINfoGraffikImage imageForSizeState:forSize:forState:forKind:]", "image",
                     !image.isNull()))
        return QImage();
    image.fill(Qt::transparent);
    QPainter painter(&image);
    CoreGraphics::PaintContext context(painter, size.height());
    const CGFloat w = size.width(), h = size.height();
    const CGFloat m = kind != 0 ? 2.0 : 0.0;
    drawRect(context, name, CGRectMake(m, m, w - 2 * m, h - 2 * m), state, m, kind, controlTint);
    return image;
}

void NSUINfoGraffikImage::drawRect(CoreGraphics::PaintContext& context, const char* name,
                                   CGRect rect, int state, CGFloat margin, int kind,
                                   const QColor& controlTint)
{
    const NSUINfoGraffikLayout layout = layoutForKind(rect, margin, kind);
    context.SaveGState();
    CGFloat opacity = 0.3;
    if (state == 1) {
        QColor tint = controlTint;
        tint.setAlphaF(1.0f);
        context.SetFillColor(tint);
        opacity = 0.5;
    } else {
        context.SetRGBFillColor(0.1, 0.1, 0.1, 0.5);
    }
    if (layout.circle)
        context.FillEllipseInRect(layout.shape);
    else
        CoreGraphics::CGContextDrawRoundRect(context, layout.shape, 0, layout.radius);
    drawImage(context, name, layout.picture, opacity);
    context.RestoreGState();
}

void NSUINfoGraffikImage::drawImage(CoreGraphics::PaintContext& context, const char* name,
                                    CGRect rect, CGFloat opacity)
{
    const bool imageName = name && *name;
    if (!VERIFY_TEXT("+[NSUINfoGraffikImage drawImage:rect:opacity:]", "imageName", imageName))
        return;
    context.SaveGState();
    const QString path = NSImageResourcePath(name, "svg");
    if (!path.isEmpty()) {
        context.SetAlpha(opacity);
        CoreGraphics::Context::DrawPDF(context, path.toUtf8().constData(), rect,
                                       CGSizeMake(1.0, 1.0));
    } else if (const QImage image = NSImageNamed(name); !image.isNull()) {
        context.SetAlpha(opacity);
        context.DrawImageAtPoint(rect.origin, image, QPainter::CompositionMode_SourceIn);
    }
    context.RestoreGState();
}
