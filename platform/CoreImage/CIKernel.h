// Kernels compiled from kernel text, samplers over images, and applying a kernel.
#pragma once

#include <memory>
#include <string_view>

#include "CIImage.h"

namespace CoreImage {
class ColorMatrixKernel;
struct KernelTextError;
} // namespace CoreImage

class CISampler final : public p3dcf::Object
{
public:
    static CFPtr<CISampler> samplerWithImage(const CIImage* image);
    const CIImage* image() const { return mImage.get(); }
    CGRect extent() const { return mImage->extent(); }
    // The area the sampler can give values for: its image's extent.
    CGRect definition() const { return mImage->extent(); }

    static CFTypeID TypeID();
    std::u16string describeContents() const override;

private:
    explicit CISampler(const CIImage* image);
    CFPtr<CIImage> mImage;
};

extern const CFStringRef kCIApplyOptionDefinition;
extern const CFStringRef kCIApplyOptionExtent;

class CIKernel final : public p3dcf::Object
{
public:
    // The kernels the text defines (one here), or null with a report when it does not compile.
    static CFArrayRef kernelsWithString(CFStringRef text);
    // The kernel of a text as it was read (a user's file: any bytes), or null with where and
    // why it stopped in *error when given.
    static CFPtr<CIKernel> kernelWithText(std::string_view text,
                                          CoreImage::KernelTextError* error = nullptr);

    // Arguments in the kernel's parameter order: sampler, sampler, number. The extent option is
    // an array of four numbers x, y, width, height; without it, the union of the samplers'
    // extents. Null with a report for arguments of the wrong kind or number.
    CFPtr<CIImage> apply(CFArrayRef arguments, CFDictionaryRef options) const;

    const CoreImage::ColorMatrixKernel& compiled() const { return *mKernel; }
    static CFTypeID TypeID();
    std::u16string describeContents() const override;
    ~CIKernel() override;

private:
    explicit CIKernel(std::unique_ptr<CoreImage::ColorMatrixKernel> kernel);
    std::unique_ptr<CoreImage::ColorMatrixKernel> mKernel;
};

bool import_CIKernel();
