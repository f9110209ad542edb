#include "CIKernel.h"

#include <cstring>
#include <string>

#include "CFNumber.h"
#include "ColorMatrixKernel.h"
#include "Diagnostics.h"

const CFStringRef kCIApplyOptionDefinition = CFSTR("definition");
const CFStringRef kCIApplyOptionExtent = CFSTR("extent");

CISampler::CISampler(const CIImage* image)
    : Object(p3dcf::kCISamplerTypeID, false), mImage(const_cast<CIImage*>(image))
{
}

CFPtr<CISampler> CISampler::samplerWithImage(const CIImage* image)
{
    if (!DIAG_CHECK(image))
        return nullptr;
    return CFPtr<CISampler>::Adopt(new CISampler(image));
}

CFTypeID CISampler::TypeID()
{
    return p3dcf::kCISamplerTypeID;
}

std::u16string CISampler::describeContents() const
{
    return mImage->describeContents();
}

CIKernel::CIKernel(std::unique_ptr<CoreImage::ColorMatrixKernel> kernel)
    : Object(p3dcf::kCIKernelTypeID, false), mKernel(std::move(kernel))
{
}

CIKernel::~CIKernel() = default;

CFTypeID CIKernel::TypeID()
{
    return p3dcf::kCIKernelTypeID;
}

std::u16string CIKernel::describeContents() const
{
    return p3dcf::WidenASCII(mKernel->name());
}

CFArrayRef CIKernel::kernelsWithString(CFStringRef text)
{
    if (!DIAG_CHECK(text))
        return nullptr;
    const CFIndex length = CFStringGetLength(text);
    const CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8);
    if (!DIAG_CHECK(size >= 0))
        return nullptr;
    std::string utf8(size_t(size) + 1, '\0');
    if (!DIAG_CHECK(
            CFStringGetCString(text, utf8.data(), CFIndex(utf8.size()), kCFStringEncodingUTF8)))
        return nullptr;
    utf8.resize(strlen(utf8.c_str()));
    std::unique_ptr<CoreImage::ColorMatrixKernel> compiled =
        CoreImage::ColorMatrixKernel::Compile(utf8);
    if (!compiled)
        return nullptr; // the compiler reported why
    CIKernel* kernel = new CIKernel(std::move(compiled));
    const void* kernels[] = {kernel};
    CFArrayRef array = CFArrayCreate(nullptr, kernels, 1, &kCFTypeArrayCallBacks);
    CFRelease(kernel);
    return array;
}

CFPtr<CIKernel> CIKernel::kernelWithText(std::string_view text, CoreImage::KernelTextError* error)
{
    std::unique_ptr<CoreImage::ColorMatrixKernel> compiled =
        CoreImage::ColorMatrixKernel::Compile(text, error);
    if (!compiled)
        return nullptr; // the compiler reported why
    return CFPtr<CIKernel>::Adopt(new CIKernel(std::move(compiled)));
}

CFPtr<CIImage> CIKernel::apply(CFArrayRef arguments, CFDictionaryRef options) const
{
    const bool fShape = CFArrayGetCount(arguments) == 3 &&
                        CFGetTypeID(CFArrayGetValueAtIndex(arguments, 0)) == CISampler::TypeID() &&
                        CFGetTypeID(CFArrayGetValueAtIndex(arguments, 1)) == CISampler::TypeID() &&
                        CFGetTypeID(CFArrayGetValueAtIndex(arguments, 2)) == CFNumberGetTypeID();
    if (!DIAG_CHECK(fShape))
        return nullptr;
    const auto* first = static_cast<const CISampler*>(CFArrayGetValueAtIndex(arguments, 0));
    const auto* second = static_cast<const CISampler*>(CFArrayGetValueAtIndex(arguments, 1));
    double argument = 0;
    CFNumberGetValue(CFNumberRef(CFArrayGetValueAtIndex(arguments, 2)), kCFNumberDoubleType,
                     &argument);

    CGRect extent = CGRectUnion(first->extent(), second->extent());
    CFTypeRef given = options ? CFDictionaryGetValue(options, kCIApplyOptionExtent) : nullptr;
    if (given) {
        double values[4] = {0, 0, 0, 0};
        bool fNumbers =
            CFGetTypeID(given) == CFArrayGetTypeID() && CFArrayGetCount(CFArrayRef(given)) == 4;
        for (CFIndex i = 0; fNumbers && i < 4; ++i) {
            CFTypeRef value = CFArrayGetValueAtIndex(CFArrayRef(given), i);
            fNumbers = CFGetTypeID(value) == CFNumberGetTypeID() &&
                       CFNumberGetValue(CFNumberRef(value), kCFNumberDoubleType, &values[i]);
        }
        if (!DIAG_CHECK(fNumbers))
            return nullptr;
        extent = CGRectMake(values[0], values[1], values[2], values[3]);
    }
    return CIImage::imageWithKernel(mKernel.get(), first->image(), second->image(), float(argument),
                                    extent);
}

bool import_CIKernel()
{
    return import_CIImage() && CoreImage::import_ColorMatrixKernel();
}
