#include "CoreGraphicsPaintContext.h"

#include <algorithm>

namespace CoreGraphics {

namespace {

QColor ColorOf(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return QColor::fromRgbF(static_cast<float>(std::clamp(red, 0.0, 1.0)),
                            static_cast<float>(std::clamp(green, 0.0, 1.0)),
                            static_cast<float>(std::clamp(blue, 0.0, 1.0)),
                            static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
}

void AppendElement(void* info, const CGPathElement* element)
{
    QPainterPath& path = *static_cast<QPainterPath*>(info);
    const CGPoint* p = element->points;
    switch (element->type) {
    case kCGPathElementMoveToPoint:
        path.moveTo(p[0].x, p[0].y);
        break;
    case kCGPathElementAddLineToPoint:
        path.lineTo(p[0].x, p[0].y);
        break;
    case kCGPathElementAddQuadCurveToPoint:
        path.quadTo(p[0].x, p[0].y, p[1].x, p[1].y);
        break;
    case kCGPathElementAddCurveToPoint:
        path.cubicTo(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
        break;
    case kCGPathElementCloseSubpath:
        path.closeSubpath();
        break;
    }
}

} // namespace

PaintContext::PaintContext(QPainter& painter, qreal deviceHeight) : mPainter(painter)
{
    mPainter.save();
    mPainter.setRenderHint(QPainter::Antialiasing);
    mPainter.setRenderHint(QPainter::SmoothPixmapTransform);
    mPainter.translate(0, deviceHeight);
    mPainter.scale(1, -1);
    mPainter.setPen(Qt::NoPen);
    mPainter.setBrush(Qt::black);
    mStroke = QPen(Qt::black, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

PaintContext::~PaintContext()
{
    mPainter.restore();
}

void PaintContext::SaveGState()
{
    mPainter.save();
    mSavedStrokes.push_back(mStroke);
}

void PaintContext::RestoreGState()
{
    if (mSavedStrokes.empty())
        return;
    mPainter.restore();
    mStroke = mSavedStrokes.back();
    mSavedStrokes.pop_back();
}

void PaintContext::TranslateCTM(CGFloat tx, CGFloat ty)
{
    mPainter.translate(tx, ty);
}

void PaintContext::ScaleCTM(CGFloat sx, CGFloat sy)
{
    mPainter.scale(sx, sy);
}

void PaintContext::SetRGBFillColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    mPainter.setBrush(ColorOf(red, green, blue, alpha));
}

void PaintContext::SetRGBStrokeColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    mStroke.setColor(ColorOf(red, green, blue, alpha));
}

void PaintContext::SetFillColor(const QColor& color)
{
    mPainter.setBrush(color);
}

void PaintContext::SetLineWidth(CGFloat width)
{
    mStroke.setWidthF(width);
}

void PaintContext::SetRoundLineCap(bool round)
{
    mStroke.setCapStyle(round ? Qt::RoundCap : Qt::FlatCap);
}

void PaintContext::SetAlpha(CGFloat alpha)
{
    mPainter.setOpacity(std::clamp(alpha, 0.0, 1.0));
}

void PaintContext::AddPath(CGPathRef path)
{
    CGPathApply(path, &mPath, AppendElement);
}

void PaintContext::FillPath()
{
    mPainter.fillPath(mPath, mPainter.brush());
    mPath = QPainterPath();
}

void PaintContext::FillStrokePath()
{
    // The stroke is set up at drawing time, so it is measured in the user space of this moment,
    // as a line width set after a scale should be.
    mPainter.fillPath(mPath, mPainter.brush());
    mPainter.strokePath(mPath, mStroke);
    mPath = QPainterPath();
}

void PaintContext::StrokeLineSegment(CGPoint from, CGPoint to)
{
    QPainterPath line;
    line.moveTo(from.x, from.y);
    line.lineTo(to.x, to.y);
    mPainter.strokePath(line, mStroke);
}

void PaintContext::FillRect(CGRect rect)
{
    mPainter.fillRect(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height),
                      mPainter.brush());
}

void PaintContext::FillEllipseInRect(CGRect rect)
{
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height));
    mPainter.fillPath(ellipse, mPainter.brush());
}

void PaintContext::ClearRect(CGRect rect)
{
    mPainter.save();
    mPainter.setCompositionMode(QPainter::CompositionMode_Clear);
    mPainter.fillRect(QRectF(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height),
                      Qt::transparent);
    mPainter.restore();
}

void PaintContext::DrawImageAtPoint(CGPoint point, const QImage& image,
                                    QPainter::CompositionMode mode)
{
    mPainter.save();
    mPainter.setCompositionMode(mode);
    // Images keep their top row at the top: undo the flip around the image only.
    mPainter.translate(point.x, point.y + image.height());
    mPainter.scale(1, -1);
    mPainter.drawImage(QPointF(0, 0), image);
    mPainter.restore();
}

} // namespace CoreGraphics
