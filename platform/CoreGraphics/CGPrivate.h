// Private to the Core Graphics subset: the objects behind the references.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CFRuntime.h"
#include "CGImage.h"

namespace p3dcg {

// Pixel layouts the subset reads and writes; 8 bits per component throughout.
enum class Layout {
    kGray, // one byte
    kARGB, // A,R,G,B premultiplied
    kXRGB, // ignored byte, R,G,B; opaque
    kRGBX, // R,G,B, ignored byte; opaque
};

constexpr size_t BytesPerPixel(Layout layout)
{
    return layout == Layout::kGray ? 1 : 4;
}

// The layout of a supported combination; false for anything else.
bool LayoutFor(CGColorSpaceRef space, size_t bitsPerComponent, size_t bitsPerPixel,
               CGBitmapInfo bitmapInfo, Layout* layout);

// Sizes beyond this are refused: the scaler takes at most this many pixels a side.
constexpr size_t kMaxDimension = 1u << 15;

} // namespace p3dcg

struct CGColorSpace final : p3dcf::Object
{
    explicit CGColorSpace(CGColorSpaceModel spaceModel);
    std::u16string describeContents() const override;
    const CGColorSpaceModel model;
};

struct CGDataProvider final : p3dcf::Object
{
    CGDataProvider(void* info, const void* data, size_t size,
                   CGDataProviderReleaseDataCallback releaseData);
    ~CGDataProvider() override;
    std::u16string describeContents() const override;
    void* const info;
    const void* const data;
    const size_t size;
    const CGDataProviderReleaseDataCallback releaseData;
};

struct CGImage final : p3dcf::Object
{
    CGImage();
    ~CGImage() override;
    std::u16string describeContents() const override;
    const uint8_t* base() const { return static_cast<const uint8_t*>(provider->data); }

    size_t width = 0;
    size_t height = 0;
    size_t bitsPerPixel = 0;
    size_t bytesPerRow = 0;
    CGBitmapInfo bitmapInfo = 0;
    bool shouldInterpolate = false;
    CGColorRenderingIntent intent = kCGRenderingIntentDefault;
    p3dcg::Layout layout = p3dcg::Layout::kARGB;
    CGColorSpaceRef space = nullptr;      // one reference
    CGDataProviderRef provider = nullptr; // one reference
};
