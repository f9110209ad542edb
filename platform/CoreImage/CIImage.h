// Images of the engine: immutable, reference-counted recipes with an extent. Coordinates have
// their origin at the lower left, y up; memory row 0 of any pixel source is its top row.
#pragma once

#include <array>
#include <cstddef>

#include "CFCollections.h"
#include "CFPtr.h"
#include "CFRuntime.h"
#include "CFString.h"
#include "CGAffineTransform.h"
#include "CGImage.h"

#include <memory>
#include <vector>

#include "CVPixelBuffer.h"

namespace CoreImage {
class ColorMatrixKernel;
class Frei0rPlugIn;
} // namespace CoreImage

// One parameter value of a plug-in filter, by the plug-in's parameter index.
struct CIPlugInValue
{
    int index;
    int type; // CoreImage::Frei0rParameter::Type
    double values[3];
};

// One per-pixel colour step; consecutive steps are fused into one pass when rendered.
struct CIColorStep
{
    enum Op { kWhitePoint, kExposure, kColorControls } op;
    float parameters[3]; // white point r, g, b | EV | saturation, brightness, contrast
};

class CIImage final : public p3dcf::Object
{
public:
    enum class Kind { kSource, kTransform, kCrop, kColor, kKernel, kPlugIn };

    // Borrows the image's pixels (and keeps the image); only A,R,G,B 8-bit images are taken.
    static CFPtr<CIImage> imageWithCGImage(CGImageRef image);
    // A,R,G,B premultiplied bytes; the data object is kept, its bytes are not copied.
    static CFPtr<CIImage> imageWithBitmapData(CFDataRef data, size_t bytesPerRow, CGSize size);
    // Borrowed A,R,G,B memory; owner (may be null) is retained as long as the image lives.
    static CFPtr<CIImage> imageWithARGBMemory(const void* base, size_t rowBytes, size_t width,
                                              size_t height, CFTypeRef owner = nullptr);
    // Decoded PNG data, held as an owned copy; null with a report for data that does not decode.
    static CFPtr<CIImage> imageWithData(CFDataRef pngData);
    // The pixel buffer's memory without a copy (the buffer is kept); A,R,G,B buffers only.
    static CFPtr<CIImage> imageWithCVPixelBuffer(CVPixelBufferRef pixelBuffer);
    // A frei0r filter plug-in over the input, with its parameter values.
    static CFPtr<CIImage> imageWithPlugIn(std::shared_ptr<CoreImage::Frei0rPlugIn> plugIn,
                                          std::vector<CIPlugInValue> values, const CIImage* input);

    CFPtr<CIImage> imageByApplyingTransform(const CGAffineTransform& transform) const;
    CFPtr<CIImage> imageByCroppingToRect(CGRect rect) const;
    CFPtr<CIImage> imageByApplyingColorStep(const CIColorStep& step) const;
    // The kernel's output over extent from two inputs (either may be null).
    static CFPtr<CIImage> imageWithKernel(const CoreImage::ColorMatrixKernel* kernel,
                                          const CIImage* first, const CIImage* second,
                                          float argument, CGRect extent);

    CGRect extent() const { return mExtent; }
    Kind kind() const { return mKind; }

    // The recipe, for the renderer.
    const CIImage* input(int index) const { return mInputs[size_t(index)].get(); }
    const UInt8* sourceBase() const { return mBase; }
    size_t sourceRowBytes() const { return mRowBytes; }
    const CGAffineTransform& transform() const { return mTransform; }
    const CIColorStep& colorStep() const { return mStep; }
    const CoreImage::ColorMatrixKernel* kernel() const { return mKernel; }
    float kernelArgument() const { return mArgument; }
    const std::shared_ptr<CoreImage::Frei0rPlugIn>& plugIn() const { return mPlugIn; }
    const std::vector<CIPlugInValue>& plugInValues() const { return mPlugInValues; }

    static CFTypeID TypeID();
    std::u16string describeContents() const override;
    ~CIImage() override;

private:
    CIImage(Kind kind, CGRect extent);

    Kind mKind;
    CGRect mExtent;
    std::array<CFPtr<CIImage>, 2> mInputs;
    CFTypeRef mOwner = nullptr; // keeps borrowed pixels alive
    const UInt8* mBase = nullptr;
    size_t mRowBytes = 0;
    CGAffineTransform mTransform = CGAffineTransformIdentity;
    CIColorStep mStep{};
    const CoreImage::ColorMatrixKernel* mKernel = nullptr;
    float mArgument = 0;
    std::shared_ptr<CoreImage::Frei0rPlugIn> mPlugIn;
    std::vector<CIPlugInValue> mPlugInValues;
};

bool import_CIImage();
