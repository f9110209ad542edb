// PNG data arrives from files and the network: any bytes give an image or a report, and an
// image is exactly as large as it says, with colours no brighter than their alpha.
#include <cstddef>
#include <cstdint>

#include "PNGDecoder.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CoreImage::DecodedImage image;
    if (!CoreImage::DecodePNG(data, size, image)) {
        Check(image.pixels.empty() && image.width == 0 && image.height == 0);
        return 0;
    }
    Check(image.width >= 1 && image.width <= CoreImage::kMaxPNGDimension);
    Check(image.height >= 1 && image.height <= CoreImage::kMaxPNGDimension);
    Check(image.bytesPerRow == image.width * 4);
    Check(image.pixels.size() == image.bytesPerRow * image.height);
    for (size_t n = 0; n < image.pixels.size(); n += 4)
        for (int c = 1; c < 4; ++c)
            Check(image.pixels[n + size_t(c)] <= image.pixels[n]);
    return 0;
}
