// Paths: outlines of lines and cubic curves in user space, with no drawing of their own. A
// context that draws walks them with CGPathApply.
#pragma once

#include "CFBase.h"
#include "CGAffineTransform.h"
#include "CGGeometry.h"

typedef struct CGPath* CGMutablePathRef;
typedef const struct CGPath* CGPathRef;

enum CGPathElementType {
    kCGPathElementMoveToPoint = 0,
    kCGPathElementAddLineToPoint = 1,
    kCGPathElementAddQuadCurveToPoint = 2,
    kCGPathElementAddCurveToPoint = 3,
    kCGPathElementCloseSubpath = 4,
};

// points holds 1 point for a move or a line, 3 for a cubic curve (two controls, the end), none
// for a close.
struct CGPathElement
{
    CGPathElementType type;
    CGPoint* points;
};

typedef void (*CGPathApplierFunction)(void* info, const CGPathElement* element);

CGMutablePathRef CGPathCreateMutable(void);
// An immutable copy; null for a null path.
CGPathRef CGPathCreateCopy(CGPathRef path);
CGPathRef CGPathRetain(CGPathRef path);
void CGPathRelease(CGPathRef path);
CFTypeID CGPathGetTypeID(void);

// Every adding call takes an optional transform applied to its points (null: identity), and
// does nothing on a null path.
void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
// Without a current point a line or an arc starts a subpath where it begins.
void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x,
                           CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y);
// A line from the current point to where a circle of that radius touches the line towards
// (x1, y1), then the arc along the circle to where it touches the line from (x1, y1) to
// (x2, y2). Collinear points or a zero radius add the line to (x1, y1) only.
void CGPathAddArcToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x1, CGFloat y1,
                         CGFloat x2, CGFloat y2, CGFloat radius);
// A closed subpath: the origin, then counter-clockwise in y-up space.
void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect);
void CGPathCloseSubpath(CGMutablePathRef path);

bool CGPathIsEmpty(CGPathRef path);
// The smallest rectangle holding every point, control points included; CGRectNull when empty.
CGRect CGPathGetBoundingBox(CGPathRef path);
// (0, 0) without a current point.
CGPoint CGPathGetCurrentPoint(CGPathRef path);
void CGPathApply(CGPathRef path, void* info, CGPathApplierFunction function);
