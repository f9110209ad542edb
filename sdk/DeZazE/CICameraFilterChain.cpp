#include "CICameraFilterChain.h"

#include <cmath>

#include "CFNumber.h"
#include "CoreMachDebugLog.h"
#include "shared_camera_buffer.h"

namespace {

CFPtr<CIFilter> MakeFilter(CFStringRef in_name)
{
    CFPtr<CIFilter> filter = CIFilter::filterWithName(in_name);
    if (VERIFY(filter))
        filter->setDefaults();
    return filter;
}

// The number held to the attribute's limits; NaN as the identity. No NaN reaches a filter.
void SetNumber(CIFilter* in_filter, CFStringRef in_key, double in_value, double in_identity)
{
    if (!in_filter)
        return;
    double value = std::isnan(in_value) ? in_identity : in_value;
    const auto* attribute = CFDictionaryRef(CFDictionaryGetValue(in_filter->attributes(), in_key));
    double limit = 0;
    if (attribute) {
        const auto* minimum = CFNumberRef(CFDictionaryGetValue(attribute, kCIAttributeMin));
        const auto* maximum = CFNumberRef(CFDictionaryGetValue(attribute, kCIAttributeMax));
        if (minimum && CFNumberGetValue(minimum, kCFNumberDoubleType, &limit))
            value = std::fmax(value, limit);
        if (maximum && CFNumberGetValue(maximum, kCFNumberDoubleType, &limit))
            value = std::fmin(value, limit);
    }
    const CFNumberRef number = CFNumberCreate(nullptr, kCFNumberDoubleType, &value);
    VERIFY(in_filter->setValue(number, in_key));
    CFRelease(number);
}

CFPtr<CIImage> Through(CIFilter* in_filter, const CIImage* in_image)
{
    in_filter->setValue(in_image, kCIInputImageKey);
    return in_filter->outputImage();
}

} // namespace

CICameraFilterChain::CICameraFilterChain()
    : mWhitePointAdjust(MakeFilter(CFSTR("CIWhitePointAdjust"))),
      mExposure(MakeFilter(CFSTR("CIExposureAdjust"))),
      mColor(MakeFilter(CFSTR("CIColorControls"))), mCrop(MakeFilter(CFSTR("CICrop")))
{
    setDefaultIdentity(mWhitePointAdjust.get(), CFSTR("inputColor"));
    setDefaultIdentity(mExposure.get(), CFSTR("inputEV"));
    setDefaultIdentity(mColor.get(), CFSTR("inputSaturation"));
    setDefaultIdentity(mColor.get(), CFSTR("inputBrightness"));
    setDefaultIdentity(mColor.get(), CFSTR("inputContrast"));
    setFrameSize(kSharedCameraFrameWidth, kSharedCameraFrameHeight);
}

CICameraFilterChain::~CICameraFilterChain() = default;

bool CICameraFilterChain::isComplete() const
{
    return mWhitePointAdjust && mExposure && mColor && mCrop;
}

bool CICameraFilterChain::setDefaultIdentity(CIFilter* in_filter, CFStringRef in_key)
{
    if (!VERIFY(in_filter))
        return false;
    const auto* attribute = CFDictionaryRef(CFDictionaryGetValue(in_filter->attributes(), in_key));
    const CFTypeRef identity =
        attribute ? CFDictionaryGetValue(attribute, kCIAttributeIdentity) : nullptr;
    return VERIFY(identity) && in_filter->setValue(identity, in_key);
}

void CICameraFilterChain::setWhitePoint(const CIColor* in_color)
{
    if (!mWhitePointAdjust)
        return;
    const auto channel = [](CGFloat value) { return std::isnan(value) ? 1.0 : double(value); };
    const CFPtr<CIColor> color =
        in_color ? CIColor::colorWithRed(channel(in_color->red()), channel(in_color->green()),
                                         channel(in_color->blue()), 1)
                 : CIColor::colorWithRed(1, 1, 1, 1);
    VERIFY(mWhitePointAdjust->setValue(color.get(), CFSTR("inputColor")));
}

void CICameraFilterChain::setExposure(float in_ev)
{
    SetNumber(mExposure.get(), CFSTR("inputEV"), in_ev, 0);
}

void CICameraFilterChain::setColorControls(float in_saturation, float in_brightness,
                                           float in_contrast)
{
    SetNumber(mColor.get(), CFSTR("inputSaturation"), in_saturation, 1);
    SetNumber(mColor.get(), CFSTR("inputBrightness"), in_brightness, 0);
    SetNumber(mColor.get(), CFSTR("inputContrast"), in_contrast, 1);
}

void CICameraFilterChain::setMirror(bool in_mirrorX, bool in_mirrorY)
{
    mMirrorX = in_mirrorX;
    mMirrorY = in_mirrorY;
    mTransform = CGAffineTransformMakeTranslation(0, 0);
    if (in_mirrorX)
        mTransform =
            CGAffineTransformScale(CGAffineTransformTranslate(mTransform, mFrameWidth, 0), -1, 1);
    if (in_mirrorY)
        mTransform =
            CGAffineTransformScale(CGAffineTransformTranslate(mTransform, 0, mFrameHeight), 1, -1);
}

void CICameraFilterChain::setFrameSize(int in_width, int in_height)
{
    if (!VERIFY(in_width > 0 && in_height > 0))
        return;
    mFrameWidth = in_width;
    mFrameHeight = in_height;
    if (mCrop)
        VERIFY(mCrop->setValue(CIVector::vectorWithX(0, 0, mFrameWidth, mFrameHeight).get(),
                               CFSTR("inputRectangle")));
    setMirror(mMirrorX, mMirrorY); // about the new middle
}

CFPtr<CIImage> CICameraFilterChain::filteredImage(const CIImage* in_image)
{
    if (!VERIFY(in_image) || !isComplete())
        return nullptr;
    CFPtr<CIImage> image = Through(mWhitePointAdjust.get(), in_image);
    if (image)
        image = Through(mExposure.get(), image.get());
    if (image)
        image = Through(mColor.get(), image.get());
    // The identity needs no recipe step at all.
    if (image && !CGAffineTransformIsIdentity(mTransform))
        image = image->imageByApplyingTransform(mTransform);
    if (!VERIFY(image))
        return nullptr;
    return Through(mCrop.get(), image.get());
}

bool import_CICameraFilterChain()
{
    return import_CIFilter() && import_CIImage();
}
