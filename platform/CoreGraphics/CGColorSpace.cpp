#include "CGColorSpace.h"

#include <new>

#include "CGPrivate.h"

CGColorSpace::CGColorSpace(CGColorSpaceModel spaceModel)
    : Object(p3dcf::kColorSpaceTypeID, false), model(spaceModel)
{
}

std::u16string CGColorSpace::describeContents() const
{
    return p3dcf::WidenASCII(model == kCGColorSpaceModelRGB ? "kCGColorSpaceDeviceRGB"
                                                            : "kCGColorSpaceDeviceGray");
}

static const CGColorSpace* ColorSpaceOf(CGColorSpaceRef space)
{
    return p3dcf::Cast<CGColorSpace>(space, p3dcf::kColorSpaceTypeID);
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray(void)
{
    return new (std::nothrow) CGColorSpace(kCGColorSpaceModelMonochrome);
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB(void)
{
    return new (std::nothrow) CGColorSpace(kCGColorSpaceModelRGB);
}

CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space)
{
    CFRetain(space);
    return space;
}

void CGColorSpaceRelease(CGColorSpaceRef space)
{
    CFRelease(space);
}

size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space)
{
    const CGColorSpace* s = ColorSpaceOf(space);
    return !s ? 0 : s->model == kCGColorSpaceModelRGB ? 3 : 1;
}

CGColorSpaceModel CGColorSpaceGetModel(CGColorSpaceRef space)
{
    const CGColorSpace* s = ColorSpaceOf(space);
    return s ? s->model : kCGColorSpaceModelUnknown;
}

CFTypeID CGColorSpaceGetTypeID(void)
{
    return p3dcf::kColorSpaceTypeID;
}
