// Filters: made by name from a registry, described by attribute dictionaries, given their
// values by key, and asked for their output image. Values are Core Foundation objects:
// CIImage, CFNumber, CIColor, CIVector, CIKernel; a value of another kind than the attribute's
// class is refused with a report.
#pragma once

#include <mutex>
#include <string>

#include "CIImage.h"
#include "CIValues.h"

extern const CFStringRef kCIAttributeClass;
extern const CFStringRef kCIAttributeDefault;
extern const CFStringRef kCIAttributeIdentity;
extern const CFStringRef kCIAttributeMin;
extern const CFStringRef kCIAttributeMax;
extern const CFStringRef kCIAttributeSliderMin;
extern const CFStringRef kCIAttributeSliderMax;
extern const CFStringRef kCIAttributeType;
extern const CFStringRef kCIAttributeTypeScalar;
extern const CFStringRef kCIAttributeFilterName;
extern const CFStringRef kCIAttributeFilterDisplayName;
extern const CFStringRef kCIAttributeFilterCategories;
extern const CFStringRef kCICategoryColorAdjustment;
extern const CFStringRef kCICategoryVideo;
extern const CFStringRef kCICategoryStillImage;
extern const CFStringRef kCICategoryNonSquarePixels;
extern const CFStringRef kCIInputImageKey;  // "inputImage"
extern const CFStringRef kCIOutputImageKey; // "outputImage"

// A string's text in UTF-8 (cut at 255 bytes: names and keys), "" for null.
std::string CIStringUTF8(CFStringRef text);

class CIFilter : public p3dcf::Object
{
public:
    using Constructor = CFPtr<CIFilter> (*)(CFStringRef name);

    // A new filter of that name, or null with a report for an unknown name.
    static CFPtr<CIFilter> filterWithName(CFStringRef name);
    // Later registrations of a name replace earlier ones.
    static bool registerFilterName(CFStringRef name, Constructor constructor,
                                   CFDictionaryRef classAttributes);
    static bool isRegistered(CFStringRef name);

    CFStringRef name() const { return mName; }
    // The filter's own attributes, else those it was registered with; not owned.
    CFDictionaryRef attributes() const { return mAttributes; }
    // Every input with a default takes it.
    void setDefaults();
    // False, with a report, for a key the filter does not have or a value of the wrong kind.
    // A null value removes the key's value.
    bool setValue(CFTypeRef value, CFStringRef key);
    // Not owned; "outputImage" is not a stored value: use outputImage().
    CFTypeRef valueForKey(CFStringRef key) const;
    virtual CFPtr<CIImage> outputImage() const = 0;

    // Typed reads of the values, with a fallback for a missing one.
    const CIImage* imageForKey(CFStringRef key) const;
    double numberForKey(CFStringRef key, double fallback) const;
    const CIColor* colorForKey(CFStringRef key) const;
    const CIVector* vectorForKey(CFStringRef key) const;

    static CFTypeID TypeID();
    std::u16string describeContents() const override;
    ~CIFilter() override;

protected:
    explicit CIFilter(CFStringRef name);
    // A filter that knows its own attributes (retained) is usable however it was made; the
    // registry then keeps them.
    CIFilter(CFStringRef name, CFDictionaryRef attributes);

private:
    CFStringRef mName;
    CFDictionaryRef mAttributes = nullptr;
    CFMutableDictionaryRef mValues;
};

// The built-in filters: CIWhitePointAdjust, CIExposureAdjust, CIColorControls, CICrop and
// CIAffineTransform. Registered on first use of the registry.
void CIRegisterBuiltInFilters();

bool import_CIFilter();
