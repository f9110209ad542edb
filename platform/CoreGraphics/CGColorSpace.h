// Device colour spaces: grey (one component) and RGB (three).
#pragma once

#include <cstddef>

#include "CFBase.h"

typedef struct CGColorSpace* CGColorSpaceRef;

enum CGColorSpaceModel {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
};

// Each call creates a new object the caller releases (CFRelease or CGColorSpaceRelease).
CGColorSpaceRef CGColorSpaceCreateDeviceGray(void);
CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void);
// Null is tolerated: retain answers null, release does nothing.
CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space);
void CGColorSpaceRelease(CGColorSpaceRef space);
// Colour components without alpha: 1 or 3; 0 for null.
size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space);
CGColorSpaceModel CGColorSpaceGetModel(CGColorSpaceRef space);
CFTypeID CGColorSpaceGetTypeID(void);
