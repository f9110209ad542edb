#include "CGPath.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "CFRuntime.h"

struct CGPath final : p3dcf::Object
{
    struct Element
    {
        CGPathElementType type;
        CGPoint points[3];
    };

    CGPath() : Object(p3dcf::kPathTypeID, false) {}
    std::u16string describeContents() const override
    {
        return p3dcf::WidenASCII((std::to_string(elements.size()) + " elements").c_str());
    }

    std::vector<Element> elements;
    bool hasCurrent = false;
    CGPoint current{0, 0};
    CGPoint subpathStart{0, 0};
};

namespace {

CGPoint Apply(const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    return m ? CGPointApplyAffineTransform(CGPointMake(x, y), *m) : CGPointMake(x, y);
}

CGPath* Mutable(CGMutablePathRef path)
{
    return p3dcf::Cast<CGPath>(path, p3dcf::kPathTypeID) ? path : nullptr;
}

void Add(CGPath* path, CGPathElementType type, std::initializer_list<CGPoint> points)
{
    CGPath::Element element{type, {}};
    std::copy(points.begin(), points.end(), element.points);
    path->elements.push_back(element);
    if (points.size() > 0)
        path->current = *(points.end() - 1);
}

void MoveTo(CGPath* path, CGPoint point)
{
    Add(path, kCGPathElementMoveToPoint, {point});
    path->hasCurrent = true;
    path->subpathStart = point;
}

void LineTo(CGPath* path, CGPoint point)
{
    if (!path->hasCurrent)
        MoveTo(path, point);
    else
        Add(path, kCGPathElementAddLineToPoint, {point});
}

// Cubic curves along the circle of centre c and radius r from angle a0 by sweep, at most a
// quarter turn each, so the error stays below 0.03 % of the radius.
void ArcCurves(CGPath* path, CGPoint c, CGFloat r, CGFloat a0, CGFloat sweep)
{
    const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (M_PI / 2))));
    const CGFloat step = sweep / pieces;
    const CGFloat k = 4.0 / 3.0 * std::tan(step / 4);
    for (int i = 0; i < pieces; ++i) {
        const CGFloat s = a0 + i * step, e = s + step;
        const CGPoint p0{c.x + r * std::cos(s), c.y + r * std::sin(s)};
        const CGPoint p3{c.x + r * std::cos(e), c.y + r * std::sin(e)};
        const CGPoint p1{p0.x - k * r * std::sin(s), p0.y + k * r * std::cos(s)};
        const CGPoint p2{p3.x + k * r * std::sin(e), p3.y - k * r * std::cos(e)};
        Add(path, kCGPathElementAddCurveToPoint, {p1, p2, p3});
    }
}

} // namespace

CFTypeID CGPathGetTypeID(void)
{
    return p3dcf::kPathTypeID;
}

CGMutablePathRef CGPathCreateMutable(void)
{
    return new (std::nothrow) CGPath;
}

CGPathRef CGPathCreateCopy(CGPathRef path)
{
    const CGPath* source = p3dcf::Cast<CGPath>(path, p3dcf::kPathTypeID);
    if (!source)
        return nullptr;
    CGPath* copy = new (std::nothrow) CGPath;
    if (!copy)
        return nullptr;
    copy->elements = source->elements;
    copy->hasCurrent = source->hasCurrent;
    copy->current = source->current;
    copy->subpathStart = source->subpathStart;
    return copy;
}

CGPathRef CGPathRetain(CGPathRef path)
{
    if (path)
        CFRetain(path);
    return path;
}

void CGPathRelease(CGPathRef path)
{
    if (path)
        CFRelease(path);
}

void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    if (CGPath* p = Mutable(path))
        MoveTo(p, Apply(m, x, y));
}

void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    if (CGPath* p = Mutable(path))
        LineTo(p, Apply(m, x, y));
}

void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x,
                           CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y)
{
    CGPath* p = Mutable(path);
    if (!p)
        return;
    if (!p->hasCurrent)
        MoveTo(p, Apply(m, cp1x, cp1y));
    Add(p, kCGPathElementAddCurveToPoint,
        {Apply(m, cp1x, cp1y), Apply(m, cp2x, cp2y), Apply(m, x, y)});
}

void CGPathAddArcToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x1, CGFloat y1,
                         CGFloat x2, CGFloat y2, CGFloat radius)
{
    CGPath* p = Mutable(path);
    if (!p)
        return;
    // The arc is worked out in path space: a transform may scale x and y apart, and then the
    // circle becomes an ellipse, which the transformed curves follow.
    CGAffineTransform inverse = m ? CGAffineTransformInvert(*m) : CGAffineTransformIdentity;
    const CGPoint p0 =
        p->hasCurrent ? CGPointApplyAffineTransform(p->current, inverse) : CGPointMake(x1, y1);
    const CGFloat ux = p0.x - x1, uy = p0.y - y1, vx = x2 - x1, vy = y2 - y1;
    const CGFloat lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    const CGFloat cross = ux * vy - uy * vx;
    if (radius <= 0 || lu == 0 || lv == 0 || std::fabs(cross) < 1e-12 * lu * lv) {
        LineTo(p, Apply(m, x1, y1));
        return;
    }
    const CGFloat theta = std::acos(std::clamp((ux * vx + uy * vy) / (lu * lv), -1.0, 1.0));
    const CGFloat d = radius / std::tan(theta / 2);
    const CGPoint t1{x1 + ux / lu * d, y1 + uy / lu * d};
    const CGPoint t2{x1 + vx / lv * d, y1 + vy / lv * d};
    const CGFloat bx = ux / lu + vx / lv, by = uy / lu + vy / lv, lb = std::hypot(bx, by);
    const CGFloat h = radius / std::sin(theta / 2);
    const CGPoint c{x1 + bx / lb * h, y1 + by / lb * h};
    const CGFloat a0 = std::atan2(t1.y - c.y, t1.x - c.x);
    // Turning left at the corner (cross < 0 seen from p0) runs the arc counter-clockwise.
    const CGFloat sweep = (cross < 0 ? 1 : -1) * (M_PI - theta);
    LineTo(p, Apply(m, t1.x, t1.y));
    CGPath local;
    ArcCurves(&local, c, radius, a0, sweep);
    for (CGPath::Element& e : local.elements) {
        for (CGPoint& q : e.points)
            q = Apply(m, q.x, q.y);
        p->elements.push_back(e);
    }
    p->current = Apply(m, t2.x, t2.y);
}

void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect)
{
    CGPath* p = Mutable(path);
    if (!p)
        return;
    const CGRect r = CGRectStandardize(rect);
    const CGFloat x0 = r.origin.x, y0 = r.origin.y, x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    MoveTo(p, Apply(m, x0, y0));
    LineTo(p, Apply(m, x1, y0));
    LineTo(p, Apply(m, x1, y1));
    LineTo(p, Apply(m, x0, y1));
    CGPathCloseSubpath(path);
}

void CGPathCloseSubpath(CGMutablePathRef path)
{
    CGPath* p = Mutable(path);
    if (!p || !p->hasCurrent)
        return;
    Add(p, kCGPathElementCloseSubpath, {});
    p->current = p->subpathStart;
}

bool CGPathIsEmpty(CGPathRef path)
{
    const CGPath* p = p3dcf::Cast<CGPath>(path, p3dcf::kPathTypeID);
    return !p || p->elements.empty();
}

CGRect CGPathGetBoundingBox(CGPathRef path)
{
    const CGPath* p = p3dcf::Cast<CGPath>(path, p3dcf::kPathTypeID);
    if (!p || p->elements.empty())
        return CGRectNull;
    CGFloat minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const CGPath::Element& e : p->elements) {
        const int count = e.type == kCGPathElementAddCurveToPoint ? 3
                          : e.type == kCGPathElementCloseSubpath  ? 0
                                                                  : 1;
        for (int i = 0; i < count; ++i) {
            minX = std::min(minX, e.points[i].x);
            maxX = std::max(maxX, e.points[i].x);
            minY = std::min(minY, e.points[i].y);
            maxY = std::max(maxY, e.points[i].y);
        }
    }
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGPoint CGPathGetCurrentPoint(CGPathRef path)
{
    const CGPath* p = p3dcf::Cast<CGPath>(path, p3dcf::kPathTypeID);
    return p && p->hasCurrent ? p->current : CGPointMake(0, 0);
}

void CGPathApply(CGPathRef path, void* info, CGPathApplierFunction function)
{
    const CGPath* p = p3dcf::Cast<CGPath>(path, p3dcf::kPathTypeID);
    if (!p || !function)
        return;
    for (const CGPath::Element& e : p->elements) {
        CGPoint points[3] = {e.points[0], e.points[1], e.points[2]};
        const CGPathElement element{e.type, points};
        function(info, &element);
    }
}
