#include "CGPixelOrder.h"

#include <climits>
#include <libyuv.h>

namespace {

// For each destination byte, the source byte it takes, four pixels at a time.
constexpr uint8_t kToRGBA[16] = {1, 2, 3, 0, 5, 6, 7, 4, 9, 10, 11, 8, 13, 14, 15, 12};
constexpr uint8_t kToBGRA[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};

bool Fits(size_t rowBytes, size_t width, size_t height)
{
    return width > 0 && height > 0 && width <= size_t(INT_MAX) / 4 && height <= size_t(INT_MAX) &&
           rowBytes <= size_t(INT_MAX) && rowBytes >= width * 4;
}

} // namespace

bool CGReorderARGBPixels(const uint8_t* src, size_t srcRowBytes, uint8_t* dst, size_t dstRowBytes,
                         size_t width, size_t height, CGPixelOrder order)
{
    if (!src || !dst || width > size_t(INT_MAX) / 4 || height > size_t(INT_MAX) ||
        srcRowBytes > size_t(INT_MAX) || dstRowBytes > size_t(INT_MAX) || srcRowBytes < width * 4 ||
        dstRowBytes < width * 4)
        return false;
    const uint8_t* shuffle = order == CGPixelOrder::kRGBA ? kToRGBA : kToBGRA;
    return libyuv::ARGBShuffle(src, int(srcRowBytes), dst, int(dstRowBytes), shuffle, int(width),
                               int(height)) == 0;
}

bool CGScaleARGBPixels(const uint8_t* src, size_t srcRowBytes, size_t srcWidth, size_t srcHeight,
                       uint8_t* dst, size_t dstRowBytes, size_t dstWidth, size_t dstHeight,
                       CGPixelOrder order)
{
    if (!src || !dst || !Fits(srcRowBytes, srcWidth, srcHeight) ||
        !Fits(dstRowBytes, dstWidth, dstHeight))
        return false;
    if (srcWidth == dstWidth && srcHeight == dstHeight)
        return CGReorderARGBPixels(src, srcRowBytes, dst, dstRowBytes, dstWidth, dstHeight, order);
    // The filters treat the four bytes of a pixel alike: the order changes afterwards, in place.
    return libyuv::ARGBScale(src, int(srcRowBytes), int(srcWidth), int(srcHeight), dst,
                             int(dstRowBytes), int(dstWidth), int(dstHeight),
                             libyuv::kFilterBox) == 0 &&
           CGReorderARGBPixels(dst, dstRowBytes, dst, dstRowBytes, dstWidth, dstHeight, order);
}
