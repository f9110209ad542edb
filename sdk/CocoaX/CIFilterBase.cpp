#include "CIFilterBase.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "CFBundle.h"
#include "CoreMachDebugLog.h"

const CFStringRef kCIFilterBase_inputImage = CFSTR("inputImage");
const CFStringRef kCIFilterBase_outputImage = CFSTR("outputImage");
const CFStringRef kCIFilterBase_FilterName = CFSTR("filterName");
const CFStringRef kCIFilterBase_FilterDesc = CFSTR("filterDescription");
const CFStringRef kCIFilterBase_CIAttributeDescription = CFSTR("CIAttributeDescription");
const CFStringRef kCIFilterBase_CIImageClass = CFSTR("CIImage");
const CFStringRef kCIFilterBase_CIColorClass = CFSTR("CIColor");
const CFStringRef kCIFilterBase_NSNumberClass = CFSTR("NSNumber");

namespace {

// Class names to constructors: what the runtime's class lookup gives elsewhere.
struct ClassTable
{
    std::mutex lock;
    std::map<std::string, CIFilter::Constructor> classes;
};

ClassTable& Classes()
{
    static ClassTable sClasses;
    return sClasses;
}

CFMutableDictionaryRef ClassOnly(CFStringRef className)
{
    CFMutableDictionaryRef entry = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(entry, kCIAttributeClass, className);
    return entry;
}

} // namespace

CFMutableDictionaryRef CIFilterBase::classAttributes()
{
    CFMutableDictionaryRef attributes = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (CFStringRef key : {kCIFilterBase_inputImage, kCIFilterBase_outputImage}) {
        CFMutableDictionaryRef entry = ClassOnly(kCIFilterBase_CIImageClass);
        CFDictionarySetValue(attributes, key, entry);
        CFRelease(entry);
    }
    const void* categories[] = {kCICategoryColorAdjustment, kCICategoryVideo, kCICategoryStillImage,
                                kCICategoryNonSquarePixels};
    CFArrayRef categoryArray = CFArrayCreate(nullptr, categories, 4, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(attributes, kCIAttributeFilterCategories, categoryArray);
    CFRelease(categoryArray);
    return attributes;
}

CFDictionaryRef CIFilterBase::customAttributes() const
{
    CFMutableDictionaryRef custom = CFDictionaryCreateMutableCopy(nullptr, 0, attributes());
    if (!custom)
        return nullptr;
    for (CFStringRef key : {kCIAttributeFilterName, kCIAttributeFilterDisplayName,
                            kCIFilterBase_CIAttributeDescription, kCIFilterBase_inputImage,
                            kCIFilterBase_outputImage})
        CFDictionaryRemoveValue(custom, key);
    return custom;
}

void CIFilterBase::registerClassName(CFStringRef name, CIFilter::Constructor constructor)
{
    std::lock_guard<std::mutex> lock(Classes().lock);
    Classes().classes[CIStringUTF8(name)] = constructor;
}

CFPtr<CIFilter> CIFilterBase::filterWithName(CFStringRef name)
{
    CIFilter::Constructor constructor = nullptr;
    {
        std::lock_guard<std::mutex> lock(Classes().lock);
        const auto it = Classes().classes.find(CIStringUTF8(name));
        if (it != Classes().classes.end())
            constructor = it->second;
    }
    return constructor ? constructor(name) : nullptr;
}

CFPtr<CIKernel> CIFilterBase::kernelFromKernelCode(CFStringRef kernelCode)
{
    static const char* const kFunction = "+[CIFilterBase kernelFromKernelCode:]";
    if (!VERIFY_AT(kFunction, kernelCode))
        return nullptr;
    CFArrayRef kernels = CIKernel::kernelsWithString(kernelCode);
    if (!VERIFY_AT(kFunction, kernels))
        return nullptr;
    CIKernel* first =
        CFArrayGetCount(kernels) > 0
            ? static_cast<CIKernel*>(const_cast<void*>(CFArrayGetValueAtIndex(kernels, 0)))
            : nullptr;
    CFPtr<CIKernel> _kernel(first);
    CFRelease(kernels);
    VERIFY_TEXT(kFunction, "_kernel = [kernels objectAtIndex:0]", _kernel);
    return _kernel;
}

CFPtr<CIKernel> CIFilterBase::kernelFromKernelData(CFDataRef data)
{
    CFStringRef kernelCode =
        data ? CFStringCreateWithBytes(nullptr, CFDataGetBytePtr(data), CFDataGetLength(data),
                                       kCFStringEncodingUTF8, false)
             : nullptr;
    CFPtr<CIKernel> _kernel;
    VERIFY_TEXT("+[CIFilterBase kernelFromKernelData:]",
                "_kernel = [self kernelFromKernelCode:kernelCode]",
                _kernel = kernelFromKernelCode(kernelCode));
    if (kernelCode)
        CFRelease(kernelCode);
    return _kernel;
}

CFPtr<CIKernel> CIFilterBase::kernelFromBundleFile(CFStringRef name)
{
    CFBundleRef bundle = CFBundleGetMainBundle();
    if (!VERIFY_AT("+[CIFilterBase kernelFromBundleFile:]", bundle))
        return nullptr;
    CFURLRef url = CFBundleCopyResourceURL(bundle, name, CFSTR("cikernel"), nullptr);
    UInt8 path[1024];
    if (!url || !CFURLGetFileSystemRepresentation(url, true, path, sizeof(path))) {
        if (url)
            CFRelease(url);
        return kernelFromKernelCode(nullptr);
    }
    CFRelease(url);
    std::vector<UInt8> text;
    if (FILE* file = fopen(reinterpret_cast<const char*>(path), "rbe")) {
        UInt8 chunk[4096];
        size_t count;
        while ((count = fread(chunk, 1, sizeof(chunk), file)) > 0 && text.size() < (1u << 20))
            text.insert(text.end(), chunk, chunk + count);
        fclose(file);
    }
    CFStringRef kernelCode = CFStringCreateWithBytes(nullptr, text.data(), CFIndex(text.size()),
                                                     kCFStringEncodingUTF8, false);
    CFPtr<CIKernel> kernel = kernelFromKernelCode(kernelCode);
    if (kernelCode)
        CFRelease(kernelCode);
    return kernel;
}

bool import_CIFilterBase()
{
    return import_CIFilter() && import_CIKernel();
}
