// The chain the camera image controls shape each eye with: white point, exposure, colour
// controls, the mirror transform and a crop to the broadcast's frame, made from the engine's
// filters by name. No display: the controls' panel sets it, anything may run it.
//
// At their identity the filters hand their input through untouched and the identity transform
// is skipped, so a chain with every control at rest costs one crop: a plain copy when drawn.
#pragma once

#include "CIFilter.h"

class CICameraFilterChain
{
public:
    CICameraFilterChain();
    ~CICameraFilterChain();
    CICameraFilterChain(const CICameraFilterChain&) = delete;
    CICameraFilterChain& operator=(const CICameraFilterChain&) = delete;

    // False when a filter could not be made (reported then); such a chain answers null images.
    bool isComplete() const;

    // Sets the filter's key to the value at which it leaves the image unchanged.
    static bool setDefaultIdentity(CIFilter* in_filter, CFStringRef in_key);

    // The colour that should become white; null is white. NaN components count as 1.
    void setWhitePoint(const CIColor* in_color);
    // NaN counts as the identity; values are held to the filters' own limits.
    void setExposure(float in_ev);
    void setColorControls(float in_saturation, float in_brightness, float in_contrast);
    // Left–right turns x into width − x, top–bottom y into height − y; both: a half turn.
    void setMirror(bool in_mirrorX, bool in_mirrorY);
    // The frame the mirrors turn about and the crop cuts to; the classic channel's until set.
    void setFrameSize(int in_width, int in_height);
    const CGAffineTransform& transform() const { return mTransform; }

    // The image through the chain, cut to the frame; null, reported, for a null image.
    // Not reentrant: the filters keep the last input until the next call.
    CFPtr<CIImage> filteredImage(const CIImage* in_image);

    CIFilter* whitePointAdjust() const { return mWhitePointAdjust.get(); }
    CIFilter* exposure() const { return mExposure.get(); }
    CIFilter* color() const { return mColor.get(); }
    CIFilter* crop() const { return mCrop.get(); }

private:
    CFPtr<CIFilter> mWhitePointAdjust;
    CFPtr<CIFilter> mExposure;
    CFPtr<CIFilter> mColor;
    CFPtr<CIFilter> mCrop;
    CGAffineTransform mTransform = CGAffineTransformIdentity;
    bool mMirrorX = false, mMirrorY = false;
    CGFloat mFrameWidth = 0, mFrameHeight = 0;
};

bool import_CICameraFilterChain();
