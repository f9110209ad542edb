// Drawing into a context. Quartz coordinates: origin at the lower left, y up, one unit per
// pixel; a rectangle {x, y, w, h} of a bitmap H rows high covers memory rows [H-y-h, H-y).
#pragma once

#include "CGGeometry.h"
#include "CGImage.h"

typedef struct CGContext* CGContextRef;

enum CGInterpolationQuality {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationHigh = 3,
    kCGInterpolationMedium = 4,
};

CGContextRef CGContextRetain(CGContextRef context);
void CGContextRelease(CGContextRef context);
CFTypeID CGContextGetTypeID(void);

// Components are clamped to [0, 1]; NaN counts as 0. The fill colour starts opaque black.
void CGContextSetRGBFillColor(CGContextRef context, CGFloat red, CGFloat green, CGFloat blue,
                              CGFloat alpha);
void CGContextSetGrayFillColor(CGContextRef context, CGFloat gray, CGFloat alpha);
// Global alpha, multiplied into every fill and image; starts at 1.
void CGContextSetAlpha(CGContextRef context, CGFloat alpha);
void CGContextSetInterpolationQuality(CGContextRef context, CGInterpolationQuality quality);
CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef context);

// Source-over with the fill colour; rect is clipped to the bitmap.
void CGContextFillRect(CGContextRef context, CGRect rect);
// Every byte of the covered pixels becomes 0.
void CGContextClearRect(CGContextRef context, CGRect rect);
// The whole image scaled to fill rect exactly (aspect not kept), upright, source-over.
void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image);
