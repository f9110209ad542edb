#include "CIFilter.h"

#include <map>
#include <string>
#include <vector>

#include "CFNumber.h"
#include "CIKernel.h"
#include "Diagnostics.h"

const CFStringRef kCIAttributeClass = CFSTR("CIAttributeClass");
const CFStringRef kCIAttributeDefault = CFSTR("CIAttributeDefault");
const CFStringRef kCIAttributeIdentity = CFSTR("CIAttributeIdentity");
const CFStringRef kCIAttributeMin = CFSTR("CIAttributeMin");
const CFStringRef kCIAttributeMax = CFSTR("CIAttributeMax");
const CFStringRef kCIAttributeSliderMin = CFSTR("CIAttributeSliderMin");
const CFStringRef kCIAttributeSliderMax = CFSTR("CIAttributeSliderMax");
const CFStringRef kCIAttributeType = CFSTR("CIAttributeType");
const CFStringRef kCIAttributeTypeScalar = CFSTR("CIAttributeTypeScalar");
const CFStringRef kCIAttributeFilterName = CFSTR("CIAttributeFilterName");
const CFStringRef kCIAttributeFilterDisplayName = CFSTR("CIAttributeFilterDisplayName");
const CFStringRef kCIAttributeFilterCategories = CFSTR("CIAttributeFilterCategories");
const CFStringRef kCICategoryColorAdjustment = CFSTR("CICategoryColorAdjustment");
const CFStringRef kCICategoryVideo = CFSTR("CICategoryVideo");
const CFStringRef kCICategoryStillImage = CFSTR("CICategoryStillImage");
const CFStringRef kCICategoryNonSquarePixels = CFSTR("CICategoryNonSquarePixels");
const CFStringRef kCIInputImageKey = CFSTR("inputImage");
const CFStringRef kCIOutputImageKey = CFSTR("outputImage");

namespace {

struct Registration
{
    CIFilter::Constructor constructor;
    CFDictionaryRef attributes; // retained
};

struct Registry
{
    std::mutex lock;
    std::map<std::string, Registration> filters;
    ~Registry()
    {
        for (auto& entry : filters)
            CFRelease(entry.second.attributes);
    }
};

// The built-in filters register themselves the first time the registry is used; their own
// registrations come back in here and must not wait for themselves.
thread_local bool tRegisteringBuiltIns = false;

Registry& TheRegistry()
{
    static Registry sRegistry;
    static std::once_flag sBuiltIns;
    if (!tRegisteringBuiltIns)
        std::call_once(sBuiltIns, [] {
            tRegisteringBuiltIns = true;
            CIRegisterBuiltInFilters();
            tRegisteringBuiltIns = false;
        });
    return sRegistry;
}

// Whether the value is of the class an attribute names.
bool IsOfClass(CFTypeRef value, CFStringRef className)
{
    const std::string name = CIStringUTF8(className);
    const CFTypeID type = CFGetTypeID(value);
    if (name == "CIImage")
        return type == CIImage::TypeID();
    if (name == "NSNumber")
        return type == CFNumberGetTypeID() || type == CFBooleanGetTypeID();
    if (name == "CIColor")
        return type == CIColor::TypeID();
    if (name == "CIVector")
        return type == CIVector::TypeID();
    if (name == "CIKernel")
        return type == CIKernel::TypeID();
    return false;
}

} // namespace

std::string CIStringUTF8(CFStringRef text)
{
    char buffer[256];
    return text && CFStringGetCString(text, buffer, sizeof(buffer), kCFStringEncodingUTF8)
               ? buffer
               : std::string();
}

CIFilter::CIFilter(CFStringRef name)
    : Object(p3dcf::kCIFilterTypeID, false),
      mName(name ? CFStringCreateCopy(nullptr, name) : CFSTR("")),
      mValues(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                        &kCFTypeDictionaryValueCallBacks))
{
}

CIFilter::CIFilter(CFStringRef name, CFDictionaryRef attributes) : CIFilter(name)
{
    if (attributes)
        mAttributes = CFDictionaryRef(CFRetain(attributes));
}

CIFilter::~CIFilter()
{
    CFRelease(mValues);
    if (mAttributes)
        CFRelease(mAttributes);
    CFRelease(mName);
}

CFTypeID CIFilter::TypeID()
{
    return p3dcf::kCIFilterTypeID;
}

std::u16string CIFilter::describeContents() const
{
    return p3dcf::WidenASCII(CIStringUTF8(mName));
}

bool CIFilter::registerFilterName(CFStringRef name, Constructor constructor,
                                  CFDictionaryRef classAttributes)
{
    if (!DIAG_CHECK(name && constructor && classAttributes))
        return false;
    const std::string key = CIStringUTF8(name);
    if (!DIAG_CHECK(!key.empty()))
        return false;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    CFRetain(classAttributes);
    auto [it, inserted] =
        registry.filters.try_emplace(key, Registration{constructor, classAttributes});
    if (!inserted) {
        CFRelease(it->second.attributes);
        it->second = Registration{constructor, classAttributes};
    }
    return true;
}

bool CIFilter::isRegistered(CFStringRef name)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    return registry.filters.count(CIStringUTF8(name)) != 0;
}

CFPtr<CIFilter> CIFilter::filterWithName(CFStringRef name)
{
    Registration registration{};
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.lock);
        const auto it = registry.filters.find(CIStringUTF8(name));
        if (it != registry.filters.end())
            registration = it->second;
    }
    if (!registration.constructor) {
        DIAG_REPORT("filterWithName: no filter named \"%s\"", CIStringUTF8(name).c_str());
        return nullptr;
    }
    CFPtr<CIFilter> filter = registration.constructor(name);
    if (filter && !filter->mAttributes)
        filter->mAttributes = CFDictionaryRef(CFRetain(registration.attributes));
    return filter;
}

void CIFilter::setDefaults()
{
    if (!mAttributes)
        return;
    const CFIndex count = CFDictionaryGetCount(mAttributes);
    std::vector<const void*> keys(static_cast<size_t>(count));
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(mAttributes, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        if (CFGetTypeID(values[size_t(i)]) != CFDictionaryGetTypeID())
            continue;
        const void* defaultValue =
            CFDictionaryGetValue(CFDictionaryRef(values[size_t(i)]), kCIAttributeDefault);
        if (defaultValue)
            CFDictionarySetValue(mValues, keys[size_t(i)], defaultValue);
    }
}

bool CIFilter::setValue(CFTypeRef value, CFStringRef key)
{
    const void* attribute = mAttributes && key ? CFDictionaryGetValue(mAttributes, key) : nullptr;
    const bool fKnownInput = attribute && CFGetTypeID(attribute) == CFDictionaryGetTypeID() &&
                             CFStringCompare(key, kCIOutputImageKey, 0) != kCFCompareEqualTo;
    if (!DIAG_CHECK(fKnownInput)) {
        DIAG_REPORT("setValue: %s has no input \"%s\"", CIStringUTF8(mName).c_str(),
                    CIStringUTF8(key).c_str());
        return false;
    }
    if (!value) {
        CFDictionaryRemoveValue(mValues, key);
        return true;
    }
    const void* className = CFDictionaryGetValue(CFDictionaryRef(attribute), kCIAttributeClass);
    const bool fRightKind = IsOfClass(value, CFStringRef(className));
    if (!DIAG_CHECK(fRightKind)) {
        DIAG_REPORT("setValue: \"%s\" of %s takes a %s", CIStringUTF8(key).c_str(),
                    CIStringUTF8(mName).c_str(), CIStringUTF8(CFStringRef(className)).c_str());
        return false;
    }
    CFDictionarySetValue(mValues, key, value);
    return true;
}

CFTypeRef CIFilter::valueForKey(CFStringRef key) const
{
    return key ? CFDictionaryGetValue(mValues, key) : nullptr;
}

const CIImage* CIFilter::imageForKey(CFStringRef key) const
{
    CFTypeRef value = valueForKey(key);
    return CFGetTypeID(value) == CIImage::TypeID() ? static_cast<const CIImage*>(value) : nullptr;
}

double CIFilter::numberForKey(CFStringRef key, double fallback) const
{
    CFTypeRef value = valueForKey(key);
    double number = fallback;
    if (CFGetTypeID(value) == CFNumberGetTypeID())
        CFNumberGetValue(CFNumberRef(value), kCFNumberDoubleType, &number);
    else if (CFGetTypeID(value) == CFBooleanGetTypeID())
        number = CFBooleanGetValue(CFBooleanRef(value)) ? 1 : 0;
    return number;
}

const CIColor* CIFilter::colorForKey(CFStringRef key) const
{
    CFTypeRef value = valueForKey(key);
    return CFGetTypeID(value) == CIColor::TypeID() ? static_cast<const CIColor*>(value) : nullptr;
}

const CIVector* CIFilter::vectorForKey(CFStringRef key) const
{
    CFTypeRef value = valueForKey(key);
    return CFGetTypeID(value) == CIVector::TypeID() ? static_cast<const CIVector*>(value) : nullptr;
}

bool import_CIFilter()
{
    return import_CIImage();
}
