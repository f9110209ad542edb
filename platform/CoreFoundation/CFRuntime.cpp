#include "CFRuntime.h"

#include <cstdio>
#include <limits>

#include "CFString.h"

namespace p3dcf {

void Object::retain() const
{
    if (!mImmortal)
        mRetainCount.fetch_add(1, std::memory_order_relaxed);
}

bool Object::release() const
{
    if (mImmortal)
        return false;
    return mRetainCount.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

CFIndex Object::retainCount() const
{
    if (mImmortal)
        return std::numeric_limits<CFIndex>::max();
    return mRetainCount.load(std::memory_order_relaxed);
}

CFHashCode Object::hash() const
{
    return reinterpret_cast<uintptr_t>(this) >> 4;
}

static const char* TypeName(CFTypeID typeID)
{
    switch (typeID) {
    case kStringTypeID:
        return "CFString";
    case kNumberTypeID:
        return "CFNumber";
    case kBooleanTypeID:
        return "CFBoolean";
    case kArrayTypeID:
        return "CFArray";
    case kDictionaryTypeID:
        return "CFDictionary";
    case kDataTypeID:
        return "CFData";
    case kSetTypeID:
        return "CFSet";
    case kBagTypeID:
        return "CFBag";
    case kBundleTypeID:
        return "CFBundle";
    case kURLTypeID:
        return "CFURL";
    case kColorSpaceTypeID:
        return "CGColorSpace";
    case kCIImageTypeID:
        return "CIImage";
    case kCIFilterTypeID:
        return "CIFilter";
    case kCIContextTypeID:
        return "CIContext";
    case kCIColorTypeID:
        return "CIColor";
    case kCIVectorTypeID:
        return "CIVector";
    case kCIKernelTypeID:
        return "CIKernel";
    case kCISamplerTypeID:
        return "CISampler";
    case kDataProviderTypeID:
        return "CGDataProvider";
    case kImageTypeID:
        return "CGImage";
    case kContextTypeID:
        return "CGContext";
    case kPixelBufferTypeID:
        return "CVPixelBuffer";
    default:
        return nullptr;
    }
}

std::u16string Object::description() const
{
    char head[64];
    std::snprintf(head, sizeof head, "<%s %p>{", TypeName(mTypeID), static_cast<const void*>(this));
    std::u16string text = WidenASCII(head);
    text += describeContents();
    text += u'}';
    return text;
}

std::u16string WidenASCII(std::string_view text)
{
    return std::u16string(text.begin(), text.end());
}

CFHashCode HashUnits(const std::u16string& units)
{
    // FNV-1a over the units.
    CFHashCode hash = 14695981039346656037ull;
    for (char16_t unit : units) {
        hash ^= unit;
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace p3dcf

using namespace p3dcf;

CFTypeRef CFRetain(CFTypeRef object)
{
    if (const Object* o = ObjectFromRef(object))
        o->retain();
    return object;
}

void CFRelease(CFTypeRef object)
{
    const Object* o = ObjectFromRef(object);
    if (o && o->release())
        delete o;
}

CFIndex CFGetRetainCount(CFTypeRef object)
{
    const Object* o = ObjectFromRef(object);
    return o ? o->retainCount() : 0;
}

CFTypeID CFGetTypeID(CFTypeRef object)
{
    const Object* o = ObjectFromRef(object);
    return o ? o->typeID() : 0;
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b)
{
    const Object* x = ObjectFromRef(a);
    const Object* y = ObjectFromRef(b);
    if (!x || !y)
        return false;
    if (x == y)
        return true;
    return x->typeID() == y->typeID() && x->equals(*y);
}

CFHashCode CFHash(CFTypeRef object)
{
    const Object* o = ObjectFromRef(object);
    return o ? o->hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef object)
{
    const Object* o = ObjectFromRef(object);
    return o ? MakeString(o->description()) : nullptr;
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID)
{
    const char* name = TypeName(typeID);
    return name ? MakeString(WidenASCII(name)) : nullptr;
}

CFTypeID CFStringGetTypeID(void)
{
    return kStringTypeID;
}

CFTypeID CFNumberGetTypeID(void)
{
    return kNumberTypeID;
}

CFTypeID CFBooleanGetTypeID(void)
{
    return kBooleanTypeID;
}

CFTypeID CFArrayGetTypeID(void)
{
    return kArrayTypeID;
}

CFTypeID CFDictionaryGetTypeID(void)
{
    return kDictionaryTypeID;
}

CFTypeID CFDataGetTypeID(void)
{
    return kDataTypeID;
}

CFTypeID CFSetGetTypeID(void)
{
    return kSetTypeID;
}

CFTypeID CFBagGetTypeID(void)
{
    return kBagTypeID;
}

CFTypeID CFBundleGetTypeID(void)
{
    return kBundleTypeID;
}

CFTypeID CFURLGetTypeID(void)
{
    return kURLTypeID;
}
