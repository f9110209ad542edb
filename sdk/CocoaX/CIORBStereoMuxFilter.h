// The stereo mux: a right-eye image (inputImage) and a left-eye image (inputLeftImage) become
// one anaglyph of the union of their extents; inputSwapEyes 1.0 exchanges the eyes' roles
// inside the kernel. inputKernel, when set, is the encoding's kernel in place of the stored one.
#pragma once

#include "CIFilterBase.h"

extern const CFStringRef kCIORBStereoMuxFilter_FilterName;
extern const CFStringRef kCIORBStereoMuxFilter_DisplayName;
extern const CFStringRef kCIORBStereoMuxFilter_inputSwapEyes;
extern const CFStringRef kCIORBStereoMuxFilter_inputLeftImage;
extern const CFStringRef kCIORBStereoMuxFilter_inputKernel;

class CIORBStereoMuxFilter final : public CIFilterBase
{
public:
    static CFMutableDictionaryRef classAttributes();
    static CFPtr<CIFilter> filterWithName(CFStringRef name);
    CFPtr<CIImage> outputImage() const override;

    // Compiled once from the stored, scrambled text; null when it did not compile.
    static const CIKernel* kernel();

private:
    CIORBStereoMuxFilter(CFStringRef name, CFDictionaryRef attributes)
        : CIFilterBase(name, attributes)
    {
    }
};

// Loads the kernel and, when asked, makes "CIORBStereoMuxFilter" known to the filter registry.
bool import_CIORBStereoMuxFilter(bool registerFilter);
