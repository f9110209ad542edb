// The built-in filters. Their arithmetic is in the colour steps (CIColorSteps.cpp); here they
// only turn their values into recipe steps, and give back their input unchanged at their
// identity values.
#include <cmath>

#include "CFNumber.h"
#include "CIFilter.h"
#include "Diagnostics.h"

namespace {

struct Attribute
{
    CFStringRef key;
    CFStringRef className;
    CFTypeRef defaultValue; // also the identity
    double minimum = NAN, maximum = NAN;
};

CFTypeRef Number(double value)
{
    return CFNumberCreate(nullptr, kCFNumberDoubleType, &value);
}

void SetNumber(CFMutableDictionaryRef dictionary, CFStringRef key, double value)
{
    CFTypeRef number = Number(value);
    CFDictionarySetValue(dictionary, key, number);
    CFRelease(number);
}

// The attribute dictionary of a filter: its name, categories and one entry per input.
CFDictionaryRef MakeAttributes(CFStringRef name, std::initializer_list<Attribute> inputs)
{
    CFMutableDictionaryRef attributes = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(attributes, kCIAttributeFilterName, name);
    CFDictionarySetValue(attributes, kCIAttributeFilterDisplayName, name);
    const void* categories[] = {kCICategoryColorAdjustment, kCICategoryVideo,
                                kCICategoryStillImage};
    CFArrayRef categoryArray = CFArrayCreate(nullptr, categories, 3, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(attributes, kCIAttributeFilterCategories, categoryArray);
    CFRelease(categoryArray);

    for (const Attribute& input : inputs) {
        CFMutableDictionaryRef entry = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        CFDictionarySetValue(entry, kCIAttributeClass, input.className);
        if (input.defaultValue) {
            CFDictionarySetValue(entry, kCIAttributeDefault, input.defaultValue);
            CFDictionarySetValue(entry, kCIAttributeIdentity, input.defaultValue);
            CFRelease(input.defaultValue);
        }
        if (!std::isnan(input.minimum)) {
            SetNumber(entry, kCIAttributeMin, input.minimum);
            SetNumber(entry, kCIAttributeSliderMin, input.minimum);
        }
        if (!std::isnan(input.maximum)) {
            SetNumber(entry, kCIAttributeMax, input.maximum);
            SetNumber(entry, kCIAttributeSliderMax, input.maximum);
        }
        if (CFStringCompare(input.className, CFSTR("NSNumber"), 0) == kCFCompareEqualTo)
            CFDictionarySetValue(entry, kCIAttributeType, kCIAttributeTypeScalar);
        CFDictionarySetValue(attributes, input.key, entry);
        CFRelease(entry);
    }
    return attributes;
}

const Attribute kImage{CFSTR("inputImage"), CFSTR("CIImage"), nullptr};

// An owned new reference, as the attribute table takes it.
CFTypeRef White()
{
    CFPtr<CIColor> white = CIColor::colorWithRed(1, 1, 1, 1);
    return CFRetain(white.get());
}

CFTypeRef Vector(CGFloat x, CGFloat y, CGFloat z, CGFloat w)
{
    CFPtr<CIVector> vector = CIVector::vectorWithX(x, y, z, w);
    return CFRetain(vector.get());
}

// Parameters outside these ranges are held at their edge; NaN counts as the identity.
double Bounded(double value, double identity, double low, double high)
{
    return std::isnan(value) ? identity : std::fmin(std::fmax(value, low), high);
}

CFPtr<CIImage> InputOf(const CIFilter& filter)
{
    return CFPtr<CIImage>(const_cast<CIImage*>(filter.imageForKey(kCIInputImageKey)));
}

// Maps a colour so that inputColor becomes white: each channel is divided by the colour's.
class WhitePointAdjust final : public CIFilter
{
public:
    explicit WhitePointAdjust(CFStringRef name) : CIFilter(name) {}
    CFPtr<CIImage> outputImage() const override
    {
        CFPtr<CIImage> input = InputOf(*this);
        const CIColor* color = colorForKey(CFSTR("inputColor"));
        if (!input || !color)
            return input;
        if (color->red() == 1 && color->green() == 1 && color->blue() == 1)
            return input;
        return input->imageByApplyingColorStep(
            CIColorStep{CIColorStep::kWhitePoint,
                        {float(color->red()), float(color->green()), float(color->blue())}});
    }
};

// Multiplies linear-light values by 2^inputEV.
class ExposureAdjust final : public CIFilter
{
public:
    explicit ExposureAdjust(CFStringRef name) : CIFilter(name) {}
    CFPtr<CIImage> outputImage() const override
    {
        CFPtr<CIImage> input = InputOf(*this);
        const double ev = Bounded(numberForKey(CFSTR("inputEV"), 0), 0, -10, 10);
        if (!input || ev == 0)
            return input;
        return input->imageByApplyingColorStep(
            CIColorStep{CIColorStep::kExposure, {float(ev), 0, 0}});
    }
};

// Saturation against Rec. 709 luma, then brightness added, then contrast about middle grey.
class ColorControls final : public CIFilter
{
public:
    explicit ColorControls(CFStringRef name) : CIFilter(name) {}
    CFPtr<CIImage> outputImage() const override
    {
        CFPtr<CIImage> input = InputOf(*this);
        const double saturation = Bounded(numberForKey(CFSTR("inputSaturation"), 1), 1, 0, 4);
        const double brightness = Bounded(numberForKey(CFSTR("inputBrightness"), 0), 0, -1, 1);
        const double contrast = Bounded(numberForKey(CFSTR("inputContrast"), 1), 1, 0, 4);
        if (!input || (saturation == 1 && brightness == 0 && contrast == 1))
            return input;
        return input->imageByApplyingColorStep(CIColorStep{
            CIColorStep::kColorControls, {float(saturation), float(brightness), float(contrast)}});
    }
};

// Keeps inputRectangle (x, y, width, height) of the image.
class Crop final : public CIFilter
{
public:
    explicit Crop(CFStringRef name) : CIFilter(name) {}
    CFPtr<CIImage> outputImage() const override
    {
        CFPtr<CIImage> input = InputOf(*this);
        const CIVector* rectangle = vectorForKey(CFSTR("inputRectangle"));
        if (!input || !rectangle)
            return input;
        return input->imageByCroppingToRect(rectangle->CGRectValue());
    }
};

// Applies inputTransform, six numbers a, b, c, d, tx, ty.
class AffineTransform final : public CIFilter
{
public:
    explicit AffineTransform(CFStringRef name) : CIFilter(name) {}
    CFPtr<CIImage> outputImage() const override
    {
        CFPtr<CIImage> input = InputOf(*this);
        const CIVector* t = vectorForKey(CFSTR("inputTransform"));
        if (!input || !t || t->count() != 6)
            return input;
        return input->imageByApplyingTransform(
            CGAffineTransformMake(t->valueAtIndex(0), t->valueAtIndex(1), t->valueAtIndex(2),
                                  t->valueAtIndex(3), t->valueAtIndex(4), t->valueAtIndex(5)));
    }
};

template <typename Filter> CFPtr<CIFilter> Make(CFStringRef name)
{
    return CFPtr<CIFilter>::Adopt(new Filter(name));
}

void Register(CFStringRef name, CIFilter::Constructor constructor,
              std::initializer_list<Attribute> inputs)
{
    CFDictionaryRef attributes = MakeAttributes(name, inputs);
    DIAG_CHECK(CIFilter::registerFilterName(name, constructor, attributes));
    CFRelease(attributes);
}

} // namespace

void CIRegisterBuiltInFilters()
{
    // A crop that keeps everything the engine can address.
    constexpr CGFloat kFar = 1 << 23;
    const CGFloat identity[] = {1, 0, 0, 1, 0, 0};
    CFPtr<CIVector> transform = CIVector::vectorWithValues(identity, 6);

    Register(CFSTR("CIWhitePointAdjust"), Make<WhitePointAdjust>,
             {kImage, {CFSTR("inputColor"), CFSTR("CIColor"), White()}});
    Register(CFSTR("CIExposureAdjust"), Make<ExposureAdjust>,
             {kImage, {CFSTR("inputEV"), CFSTR("NSNumber"), Number(0), -10, 10}});
    Register(CFSTR("CIColorControls"), Make<ColorControls>,
             {kImage,
              {CFSTR("inputSaturation"), CFSTR("NSNumber"), Number(1), 0, 4},
              {CFSTR("inputBrightness"), CFSTR("NSNumber"), Number(0), -1, 1},
              {CFSTR("inputContrast"), CFSTR("NSNumber"), Number(1), 0, 4}});
    Register(
        CFSTR("CICrop"), Make<Crop>,
        {kImage,
         {CFSTR("inputRectangle"), CFSTR("CIVector"), Vector(-kFar, -kFar, 2 * kFar, 2 * kFar)}});
    Register(CFSTR("CIAffineTransform"), Make<AffineTransform>,
             {kImage, {CFSTR("inputTransform"), CFSTR("CIVector"), CFRetain(transform.get())}});
}
