// The base of the program's own filters: their standard attributes, kernel loading and the
// constructor the filter registry calls.
#pragma once

#include "CIFilter.h"
#include "CIKernel.h"

extern const CFStringRef kCIFilterBase_inputImage;
extern const CFStringRef kCIFilterBase_outputImage;
extern const CFStringRef kCIFilterBase_FilterName;
extern const CFStringRef kCIFilterBase_FilterDesc;
extern const CFStringRef kCIFilterBase_CIAttributeDescription;
extern const CFStringRef kCIFilterBase_CIImageClass;
extern const CFStringRef kCIFilterBase_CIColorClass;
extern const CFStringRef kCIFilterBase_NSNumberClass;

class CIFilterBase : public CIFilter
{
public:
    // New each call: inputImage, outputImage and the filter categories.
    static CFMutableDictionaryRef classAttributes();
    // The filter's attributes without its name, display name, description, input and output.
    CFDictionaryRef customAttributes() const;

    // The filter whose class has that name (classes make themselves known with
    // registerClassName), or null.
    static CFPtr<CIFilter> filterWithName(CFStringRef name);
    static void registerClassName(CFStringRef name, CIFilter::Constructor constructor);

    // "<name>.cikernel" among the main bundle's resources.
    static CFPtr<CIKernel> kernelFromBundleFile(CFStringRef name);
    static CFPtr<CIKernel> kernelFromKernelCode(CFStringRef kernelCode);
    static CFPtr<CIKernel> kernelFromKernelData(CFDataRef data);

protected:
    // Each class gives its own classAttributes, so a filter made through its class takes the
    // same keys as one the registry made.
    CIFilterBase(CFStringRef name, CFDictionaryRef classAttributes)
        : CIFilter(name, classAttributes)
    {
    }
};

bool import_CIFilterBase();
