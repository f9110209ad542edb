// PNG data to A,R,G,B memory, for images made from PNG data.
#pragma once

#include <cstddef>
#include <vector>

#include "MacTypes.h"

namespace CoreImage {

// Images wider or taller than this are refused, so that a few header bytes cannot ask for
// gigabytes.
constexpr size_t kMaxPNGDimension = 16384;

// Bytes A, R, G, B per pixel, alpha premultiplied; row 0 is the top row; rows are packed.
struct DecodedImage
{
    size_t width = 0;
    size_t height = 0;
    size_t bytesPerRow = 0; // width * 4
    std::vector<UInt8> pixels;
};

// Every colour type and bit depth, transparency chunks and interlacing. 16-bit samples are
// rounded to 8 bits, then colours premultiplied with rounding to nearest. Gamma and colour
// profile chunks are ignored: the bytes are taken as they are stored.
// Corrupt, truncated or oversized data: false with a report, and out left empty.
bool DecodePNG(const UInt8* data, size_t size, DecodedImage& out);

} // namespace CoreImage

bool import_PNGDecoder();
