#include "CGGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

const CGRect CGRectZero = {{0, 0}, {0, 0}};
const CGRect CGRectNull = {
    {std::numeric_limits<CGFloat>::infinity(), std::numeric_limits<CGFloat>::infinity()}, {0, 0}};

CGRect CGRectStandardize(CGRect rect)
{
    if (CGRectIsNull(rect))
        return rect;
    if (rect.size.width < 0) {
        rect.origin.x += rect.size.width;
        rect.size.width = -rect.size.width;
    }
    if (rect.size.height < 0) {
        rect.origin.y += rect.size.height;
        rect.size.height = -rect.size.height;
    }
    return rect;
}

bool CGRectIsNull(CGRect rect)
{
    return std::isinf(rect.origin.x) || std::isinf(rect.origin.y);
}

bool CGRectIsEmpty(CGRect rect)
{
    return CGRectIsNull(rect) || rect.size.width == 0 || rect.size.height == 0 ||
           std::isnan(rect.size.width) || std::isnan(rect.size.height);
}

CGFloat CGRectGetMinX(CGRect rect)
{
    return CGRectStandardize(rect).origin.x;
}

CGFloat CGRectGetMaxX(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return r.origin.x + r.size.width;
}

CGFloat CGRectGetMinY(CGRect rect)
{
    return CGRectStandardize(rect).origin.y;
}

CGFloat CGRectGetMaxY(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return r.origin.y + r.size.height;
}

CGFloat CGRectGetWidth(CGRect rect)
{
    return std::fabs(rect.size.width);
}

CGFloat CGRectGetHeight(CGRect rect)
{
    return std::fabs(rect.size.height);
}

static bool HasNaN(CGRect rect)
{
    return std::isnan(rect.origin.x) || std::isnan(rect.origin.y) || std::isnan(rect.size.width) ||
           std::isnan(rect.size.height);
}

CGRect CGRectIntersection(CGRect a, CGRect b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b) || HasNaN(a) || HasNaN(b))
        return CGRectNull;
    const CGFloat minX = std::max(CGRectGetMinX(a), CGRectGetMinX(b));
    const CGFloat maxX = std::min(CGRectGetMaxX(a), CGRectGetMaxX(b));
    const CGFloat minY = std::max(CGRectGetMinY(a), CGRectGetMinY(b));
    const CGFloat maxY = std::min(CGRectGetMaxY(a), CGRectGetMaxY(b));
    if (!(minX <= maxX) || !(minY <= maxY))
        return CGRectNull;
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGRect CGRectUnion(CGRect a, CGRect b)
{
    if (CGRectIsNull(a))
        return CGRectStandardize(b);
    if (CGRectIsNull(b))
        return CGRectStandardize(a);
    const CGFloat minX = std::min(CGRectGetMinX(a), CGRectGetMinX(b));
    const CGFloat maxX = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b));
    const CGFloat minY = std::min(CGRectGetMinY(a), CGRectGetMinY(b));
    const CGFloat maxY = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

bool CGRectEqualToRect(CGRect a, CGRect b)
{
    a = CGRectStandardize(a);
    b = CGRectStandardize(b);
    return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
           a.size.height == b.size.height;
}
