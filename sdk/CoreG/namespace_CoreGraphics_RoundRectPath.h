// A rounded rectangle built in units of its corner radius, so that one path serves any size:
// drawing scales it by the radii.
#pragma once

#include "CoreGraphics.h"

namespace CoreGraphics {

class PaintContext;

class RoundRectPath
{
public:
    RoundRectPath(CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight);
    ~RoundRectPath();
    RoundRectPath(const RoundRectPath&) = delete;
    RoundRectPath& operator=(const RoundRectPath&) = delete;

    // A new path, or null: the rounded outline in unit space, or mRect itself when a radius
    // is zero.
    CGPathRef CreatePath() const;
    // Fills (lineWidth <= 0) or fills and strokes the shape with its unit space placed at
    // mRect's origin plus point. The stroke width is in radii.
    void Draw(PaintContext& context, CGPoint point, CGFloat lineWidth) const;

    CGPathRef path() const { return mPath; }
    CGFloat unitWidth() const { return mFW; }
    CGFloat unitHeight() const { return mFH; }

private:
    bool IsSquare() const { return mOvalWidth == 0 || mOvalHeight == 0; }

    CGPathRef mPath = nullptr; // owned
    CGRect mRect;
    CGFloat mOvalWidth;
    CGFloat mOvalHeight;
    CGFloat mFW = 0;
    CGFloat mFH = 0;
};

// The rounded rectangle of that radius filling rect.
void CGContextDrawRoundRect(PaintContext& context, CGRect rect, CGFloat lineWidth, CGFloat radius);

} // namespace CoreGraphics

bool import_namespace_CoreGraphics_RoundRectPath();
