#include "CIORBStereoMuxFilter.h"

#include <cstring>

#include "CFNumber.h"
#include "CoreMachDebugLog.h"
#include "NSDatazer.h"
#include "StereoMuxKernel.h"

const CFStringRef kCIORBStereoMuxFilter_FilterName = CFSTR("CIORBStereoMuxFilter");
const CFStringRef kCIORBStereoMuxFilter_DisplayName = CFSTR("CIORBStereoMuxFilter");
const CFStringRef kCIORBStereoMuxFilter_inputSwapEyes = CFSTR("inputSwapEyes");
const CFStringRef kCIORBStereoMuxFilter_inputLeftImage = CFSTR("inputLeftImage");
const CFStringRef kCIORBStereoMuxFilter_inputKernel = CFSTR("inputKernel");

namespace {

// Lives for the program: the kernel is compiled once.
CFPtr<CIKernel>& StoredKernel()
{
    static CFPtr<CIKernel> _kernel;
    return _kernel;
}

void SetNumber(CFMutableDictionaryRef dictionary, CFStringRef key, double value)
{
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberDoubleType, &value);
    CFDictionarySetValue(dictionary, key, number);
    CFRelease(number);
}

} // namespace

CFMutableDictionaryRef CIORBStereoMuxFilter::classAttributes()
{
    CFMutableDictionaryRef attributes = CIFilterBase::classAttributes();
    CFDictionarySetValue(attributes, kCIAttributeFilterName, kCIORBStereoMuxFilter_FilterName);
    CFDictionarySetValue(attributes, kCIAttributeFilterDisplayName,
                         kCIORBStereoMuxFilter_DisplayName);
    CFDictionarySetValue(attributes, kCIFilterBase_CIAttributeDescription,
                         kCIORBStereoMuxFilter_FilterName);

    CFMutableDictionaryRef left = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(left, kCIAttributeClass, kCIFilterBase_CIImageClass);
    CFDictionarySetValue(attributes, kCIORBStereoMuxFilter_inputLeftImage, left);
    CFRelease(left);

    CFMutableDictionaryRef kernel = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(kernel, kCIAttributeClass, CFSTR("CIKernel"));
    CFDictionarySetValue(attributes, kCIORBStereoMuxFilter_inputKernel, kernel);
    CFRelease(kernel);

    CFMutableDictionaryRef swap = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    SetNumber(swap, kCIAttributeMin, 0.0);
    SetNumber(swap, kCIAttributeSliderMin, 0.0);
    SetNumber(swap, kCIAttributeSliderMax, 1.0);
    SetNumber(swap, kCIAttributeDefault, 0.0);
    SetNumber(swap, kCIAttributeIdentity, 0.0);
    CFDictionarySetValue(swap, kCIAttributeClass, kCIFilterBase_NSNumberClass);
    CFDictionarySetValue(swap, kCIAttributeType, kCIAttributeTypeScalar);
    CFDictionarySetValue(attributes, kCIORBStereoMuxFilter_inputSwapEyes, swap);
    CFRelease(swap);
    return attributes;
}

CFPtr<CIFilter> CIORBStereoMuxFilter::filterWithName(CFStringRef name)
{
    CFMutableDictionaryRef attributes = classAttributes();
    CFPtr<CIFilter> filter = CFPtr<CIFilter>::Adopt(new CIORBStereoMuxFilter(name, attributes));
    CFRelease(attributes);
    return filter;
}

const CIKernel* CIORBStereoMuxFilter::kernel()
{
    return StoredKernel().get();
}

CFPtr<CIImage> CIORBStereoMuxFilter::outputImage() const
{
    const CIImage* right = imageForKey(kCIFilterBase_inputImage);
    const CIImage* left = imageForKey(kCIORBStereoMuxFilter_inputLeftImage);
    if (!right || !left)
        return CFPtr<CIImage>(const_cast<CIImage*>(right ? right : left));
    CFTypeRef chosen = valueForKey(kCIORBStereoMuxFilter_inputKernel);
    const CIKernel* kernel = CFGetTypeID(chosen) == CIKernel::TypeID()
                                 ? static_cast<const CIKernel*>(chosen)
                                 : StoredKernel().get();
    if (!kernel)
        return nullptr;

    CFPtr<CISampler> first = CISampler::samplerWithImage(right);
    CFPtr<CISampler> second = CISampler::samplerWithImage(left);
    const CGRect extent = CGRectUnion(second->extent(), first->extent());
    double swap = numberForKey(kCIORBStereoMuxFilter_inputSwapEyes, 0.0);
    CFNumberRef swapNumber = CFNumberCreate(nullptr, kCFNumberDoubleType, &swap);
    const void* arguments[] = {first.get(), second.get(), swapNumber};
    CFArrayRef argumentArray = CFArrayCreate(nullptr, arguments, 3, &kCFTypeArrayCallBacks);
    CFRelease(swapNumber);

    // The apply option is the extent alone: the engine takes each sampler's definition from its
    // image, so there is no definition option to give.
    double box[4] = {extent.origin.x, extent.origin.y, extent.size.width, extent.size.height};
    const void* numbers[4];
    for (int i = 0; i < 4; ++i)
        numbers[i] = CFNumberCreate(nullptr, kCFNumberDoubleType, &box[i]);
    CFArrayRef extentArray = CFArrayCreate(nullptr, numbers, 4, &kCFTypeArrayCallBacks);
    for (const void* number : numbers)
        CFRelease(number);
    const void* keys[] = {kCIApplyOptionExtent};
    const void* values[] = {extentArray};
    CFDictionaryRef options = CFDictionaryCreate(
        nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRelease(extentArray);
    CFPtr<CIImage> result = kernel->apply(argumentArray, options);
    CFRelease(options);
    CFRelease(argumentArray);
    return result;
}

bool import_CIORBStereoMuxFilter(bool registerFilter)
{
    CFPtr<CIKernel>& _kernel = StoredKernel();
    if (!_kernel) {
        CFMutableDataRef kernelData = NSDatazer::dataWithNSDatazerBytes(
            CIORBStereoMuxFilter_cikernel, CIORBStereoMuxFilter_cikernel_length);
        _kernel = CIFilterBase::kernelFromKernelData(kernelData);
        if (kernelData) {
            // The plain text lives no longer than the compile.
            memset(CFDataGetMutableBytePtr(kernelData), 0, size_t(CFDataGetLength(kernelData)));
            CFRelease(kernelData);
        }
    }
    // The class is known by its name once linked in, registered with the engine or not.
    CIFilterBase::registerClassName(kCIORBStereoMuxFilter_FilterName,
                                    CIORBStereoMuxFilter::filterWithName);
    if (registerFilter) {
        CFMutableDictionaryRef attributes = CIORBStereoMuxFilter::classAttributes();
        CIFilter::registerFilterName(kCIORBStereoMuxFilter_FilterName, CIFilterBase::filterWithName,
                                     attributes);
        CFRelease(attributes);
    }
    return import_NSDatazer() && import_CIFilterBase();
}
