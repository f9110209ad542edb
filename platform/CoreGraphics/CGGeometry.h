// Points, sizes and rectangles in Quartz coordinates: origin at the lower left, y up.
#pragma once

typedef double CGFloat;

struct CGPoint
{
    CGFloat x;
    CGFloat y;
};

struct CGSize
{
    CGFloat width;
    CGFloat height;
};

struct CGRect
{
    CGPoint origin;
    CGSize size;
};

extern const CGRect CGRectZero;
// What an intersection of disjoint rectangles answers: infinite origin, zero size.
extern const CGRect CGRectNull;

inline CGPoint CGPointMake(CGFloat x, CGFloat y)
{
    return CGPoint{x, y};
}

inline CGSize CGSizeMake(CGFloat width, CGFloat height)
{
    return CGSize{width, height};
}

inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
    return CGRect{{x, y}, {width, height}};
}

// A negative width or height measures from the other edge; these answer the same rectangle
// with a non-negative size.
CGRect CGRectStandardize(CGRect rect);
bool CGRectIsNull(CGRect rect);
// True for the null rectangle, a zero or NaN width or height.
bool CGRectIsEmpty(CGRect rect);
// CGRectNull when the two do not overlap.
CGRect CGRectIntersection(CGRect a, CGRect b);
// The smallest rectangle holding both; a null operand is ignored.
CGRect CGRectUnion(CGRect a, CGRect b);
bool CGRectEqualToRect(CGRect a, CGRect b);

CGFloat CGRectGetMinX(CGRect rect);
CGFloat CGRectGetMaxX(CGRect rect);
CGFloat CGRectGetMinY(CGRect rect);
CGFloat CGRectGetMaxY(CGRect rect);
CGFloat CGRectGetWidth(CGRect rect);
CGFloat CGRectGetHeight(CGRect rect);
