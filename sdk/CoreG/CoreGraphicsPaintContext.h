// A Quartz-style drawing context over a borrowed QPainter: y up with the origin at the lower
// left of the device, colours as components, paths from CGPath. The view kit draws through it,
// so that its shapes are worked out in the same coordinates on a widget and in an image.
#pragma once

#include <QPainter>
#include <QPainterPath>
#include <vector>

#include "CoreGraphics.h"

namespace CoreGraphics {

class PaintContext
{
public:
    // Flips the painter once for a device deviceHeight pixels high; the painter's state is
    // restored when the context goes.
    PaintContext(QPainter& painter, qreal deviceHeight);
    ~PaintContext();
    PaintContext(const PaintContext&) = delete;
    PaintContext& operator=(const PaintContext&) = delete;

    QPainter& painter() { return mPainter; }

    void SaveGState();
    void RestoreGState();
    void TranslateCTM(CGFloat tx, CGFloat ty);
    void ScaleCTM(CGFloat sx, CGFloat sy);

    void SetRGBFillColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    void SetRGBStrokeColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    void SetFillColor(const QColor& color);
    void SetLineWidth(CGFloat width);
    void SetRoundLineCap(bool round);
    // Global alpha, multiplied into everything drawn after.
    void SetAlpha(CGFloat alpha);

    // The path joins the current path; filling or stroking consumes it.
    void AddPath(CGPathRef path);
    void FillPath();
    void FillStrokePath();
    void StrokeLineSegment(CGPoint from, CGPoint to);
    void FillRect(CGRect rect);
    void FillEllipseInRect(CGRect rect);
    // Every pixel of the rectangle becomes fully transparent.
    void ClearRect(CGRect rect);
    // The image unscaled with its lower left corner at the point, upright, in the mode given.
    void DrawImageAtPoint(CGPoint point, const QImage& image,
                          QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver);

private:
    QPainter& mPainter;
    QPainterPath mPath;
    QPen mStroke;
    std::vector<QPen> mSavedStrokes; // the stroke is ours, so it is saved beside the painter
};

} // namespace CoreGraphics
