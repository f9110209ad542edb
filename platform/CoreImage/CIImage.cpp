#include "CIImage.h"

#include <cmath>

#include "Diagnostics.h"
#include "Frei0rPlugIn.h"
#include "PNGDecoder.h"

namespace {

// Extents beyond this are refused: nothing here is that large, and the renderer's integer
// pixel arithmetic stays far from overflow.
constexpr CGFloat kMaxCoordinate = 1 << 24;

bool SaneRect(CGRect rect)
{
    return std::isfinite(rect.origin.x) && std::isfinite(rect.origin.y) &&
           std::isfinite(rect.size.width) && std::isfinite(rect.size.height) &&
           rect.size.width >= 0 && rect.size.height >= 0 &&
           std::fabs(rect.origin.x) <= kMaxCoordinate &&
           std::fabs(rect.origin.y) <= kMaxCoordinate && rect.size.width <= kMaxCoordinate &&
           rect.size.height <= kMaxCoordinate;
}

} // namespace

CIImage::CIImage(Kind kind, CGRect extent)
    : Object(p3dcf::kCIImageTypeID, false), mKind(kind), mExtent(extent)
{
}

CIImage::~CIImage()
{
    if (mOwner)
        CFRelease(mOwner);
}

CFTypeID CIImage::TypeID()
{
    return p3dcf::kCIImageTypeID;
}

std::u16string CIImage::describeContents() const
{
    char text[128];
    snprintf(text, sizeof(text), "kind %d, extent (%g, %g, %g, %g)", int(mKind), mExtent.origin.x,
             mExtent.origin.y, mExtent.size.width, mExtent.size.height);
    return p3dcf::WidenASCII(text);
}

CFPtr<CIImage> CIImage::imageWithARGBMemory(const void* base, size_t rowBytes, size_t width,
                                            size_t height, CFTypeRef owner)
{
    if (!DIAG_CHECK(base && width > 0 && height > 0 && width <= size_t(kMaxCoordinate) &&
                    height <= size_t(kMaxCoordinate) && rowBytes / 4 >= width))
        return nullptr;
    auto image = CFPtr<CIImage>::Adopt(
        new CIImage(Kind::kSource, CGRectMake(0, 0, CGFloat(width), CGFloat(height))));
    image->mBase = static_cast<const UInt8*>(base);
    image->mRowBytes = rowBytes;
    image->mOwner = owner ? CFRetain(owner) : nullptr;
    return image;
}

CFPtr<CIImage> CIImage::imageWithCGImage(CGImageRef cgImage)
{
    if (!DIAG_CHECK(cgImage))
        return nullptr;
    // Only the system's own layout is taken as it is: A,R,G,B bytes, alpha premultiplied.
    const bool argb = CGImageGetBitsPerComponent(cgImage) == 8 &&
                      CGImageGetBitsPerPixel(cgImage) == 32 &&
                      CGImageGetBitmapInfo(cgImage) == kCGImageAlphaPremultipliedFirst;
    if (!DIAG_CHECK(argb))
        return nullptr;
    return imageWithARGBMemory(CGImageGetPixelBase(cgImage), CGImageGetBytesPerRow(cgImage),
                               CGImageGetWidth(cgImage), CGImageGetHeight(cgImage), cgImage);
}

CFPtr<CIImage> CIImage::imageWithBitmapData(CFDataRef data, size_t bytesPerRow, CGSize size)
{
    if (!DIAG_CHECK(data) ||
        !DIAG_CHECK(size.width >= 1 && size.height >= 1 && size.width <= kMaxCoordinate &&
                    size.height <= kMaxCoordinate))
        return nullptr;
    const size_t width = size_t(size.width), height = size_t(size.height);
    if (!DIAG_CHECK(bytesPerRow / 4 >= width &&
                    size_t(CFDataGetLength(data)) / bytesPerRow >= height))
        return nullptr;
    // A copy: the caller may go on changing a mutable data object it passed.
    CFDataRef copy = CFDataCreate(nullptr, CFDataGetBytePtr(data), CFIndex(bytesPerRow * height));
    if (!DIAG_CHECK(copy))
        return nullptr;
    CFPtr<CIImage> image =
        imageWithARGBMemory(CFDataGetBytePtr(copy), bytesPerRow, width, height, copy);
    CFRelease(copy);
    return image;
}

CFPtr<CIImage> CIImage::imageWithData(CFDataRef pngData)
{
    if (!DIAG_CHECK(pngData))
        return nullptr;
    CoreImage::DecodedImage decoded;
    if (!CoreImage::DecodePNG(CFDataGetBytePtr(pngData), size_t(CFDataGetLength(pngData)), decoded))
        return nullptr; // the decoder reported why
    CFDataRef pixels = CFDataCreate(nullptr, decoded.pixels.data(), CFIndex(decoded.pixels.size()));
    if (!DIAG_CHECK(pixels))
        return nullptr;
    CFPtr<CIImage> image = imageWithARGBMemory(CFDataGetBytePtr(pixels), decoded.bytesPerRow,
                                               decoded.width, decoded.height, pixels);
    CFRelease(pixels);
    return image;
}

CFPtr<CIImage> CIImage::imageWithCVPixelBuffer(CVPixelBufferRef pixelBuffer)
{
    if (!DIAG_CHECK(pixelBuffer))
        return nullptr;
    // 2vuy frames are converted by whoever reads them; the engine takes A,R,G,B only.
    if (!DIAG_CHECK(CVPixelBufferGetPixelFormatType(pixelBuffer) == kCVPixelFormatType_32ARGB))
        return nullptr;
    return imageWithARGBMemory(
        CVPixelBufferGetBaseAddress(pixelBuffer), CVPixelBufferGetBytesPerRow(pixelBuffer),
        CVPixelBufferGetWidth(pixelBuffer), CVPixelBufferGetHeight(pixelBuffer), pixelBuffer);
}

CFPtr<CIImage> CIImage::imageWithPlugIn(std::shared_ptr<CoreImage::Frei0rPlugIn> plugIn,
                                        std::vector<CIPlugInValue> values, const CIImage* input)
{
    if (!DIAG_CHECK(plugIn) || !input)
        return CFPtr<CIImage>(const_cast<CIImage*>(input));
    auto image = CFPtr<CIImage>::Adopt(new CIImage(Kind::kPlugIn, input->mExtent));
    image->mInputs[0] = CFPtr<CIImage>(const_cast<CIImage*>(input));
    image->mPlugIn = std::move(plugIn);
    image->mPlugInValues = std::move(values);
    return image;
}

CFPtr<CIImage> CIImage::imageByApplyingTransform(const CGAffineTransform& transform) const
{
    const CGFloat values[] = {transform.a, transform.b,  transform.c,
                              transform.d, transform.tx, transform.ty};
    for (CGFloat value : values)
        if (!std::isfinite(value))
            return nullptr;
    const CGRect extent = CGRectApplyAffineTransform(mExtent, transform);
    if (!DIAG_CHECK(SaneRect(extent)))
        return nullptr;
    if (CGAffineTransformIsIdentity(transform))
        return CFPtr<CIImage>(const_cast<CIImage*>(this));
    auto image = CFPtr<CIImage>::Adopt(new CIImage(Kind::kTransform, extent));
    image->mInputs[0] = CFPtr<CIImage>(const_cast<CIImage*>(this));
    image->mTransform = transform;
    return image;
}

CFPtr<CIImage> CIImage::imageByCroppingToRect(CGRect rect) const
{
    if (!DIAG_CHECK(SaneRect(CGRectStandardize(rect))))
        return nullptr;
    CGRect extent = CGRectIntersection(mExtent, CGRectStandardize(rect));
    if (CGRectIsNull(extent))
        extent = CGRectMake(0, 0, 0, 0);
    auto image = CFPtr<CIImage>::Adopt(new CIImage(Kind::kCrop, extent));
    image->mInputs[0] = CFPtr<CIImage>(const_cast<CIImage*>(this));
    return image;
}

CFPtr<CIImage> CIImage::imageByApplyingColorStep(const CIColorStep& step) const
{
    auto image = CFPtr<CIImage>::Adopt(new CIImage(Kind::kColor, mExtent));
    image->mInputs[0] = CFPtr<CIImage>(const_cast<CIImage*>(this));
    image->mStep = step;
    return image;
}

CFPtr<CIImage> CIImage::imageWithKernel(const CoreImage::ColorMatrixKernel* kernel,
                                        const CIImage* first, const CIImage* second, float argument,
                                        CGRect extent)
{
    if (!DIAG_CHECK(kernel) || !DIAG_CHECK(SaneRect(CGRectStandardize(extent))))
        return nullptr;
    auto image = CFPtr<CIImage>::Adopt(new CIImage(Kind::kKernel, CGRectStandardize(extent)));
    image->mInputs[0] = CFPtr<CIImage>(const_cast<CIImage*>(first));
    image->mInputs[1] = CFPtr<CIImage>(const_cast<CIImage*>(second));
    image->mKernel = kernel;
    image->mArgument = argument;
    return image;
}

bool import_CIImage()
{
    return true;
}
