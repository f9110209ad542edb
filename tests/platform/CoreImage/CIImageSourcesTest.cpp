// Images from PNG data, from pixel buffers, and through installed filter plug-ins.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zlib.h>

#include "CIContext.h"
#include "CIPlugIn.h"
#include "RenderImage.h"
#include "TestSupport.h"

namespace {

void Chunk(std::string& png, const char* type, const std::string& data)
{
    auto be32 = [&](UInt32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png += char((v >> shift) & 0xFF);
    };
    be32(UInt32(data.size()));
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    be32(UInt32(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), uInt(typed.size()))));
}

// An 8-bit RGBA PNG of straight (not premultiplied) pixels, rows top down.
std::string MakePNG(UInt32 width, UInt32 height, const std::vector<UInt8>& rgba)
{
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    for (UInt32 v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            header += char((v >> shift) & 0xFF);
    header += std::string("\x08\x06\x00\x00\x00", 5);
    Chunk(png, "IHDR", header);
    std::string raw;
    for (UInt32 y = 0; y < height; ++y) {
        raw += '\0'; // no row filter
        raw.append(reinterpret_cast<const char*>(&rgba[y * width * 4]), width * 4);
    }
    uLongf size = compressBound(uLong(raw.size()));
    std::string deflated(size, '\0');
    compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
              reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), 9);
    deflated.resize(size);
    Chunk(png, "IDAT", deflated);
    Chunk(png, "IEND", "");
    return png;
}

TEST(CIImageSources, PNGDataDecodesToPremultipliedPixels)
{
    // Top row: opaque red, half-transparent white; bottom row: transparent, opaque blue-green.
    const std::vector<UInt8> rgba = {255, 0,  0,  255, 255, 255, 255, 128,
                                     10,  20, 30, 0,   0,   100, 200, 255};
    const std::string png = MakePNG(2, 2, rgba);
    CFDataRef data =
        CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(png.data()), CFIndex(png.size()));
    CFPtr<CIImage> image = CIImage::imageWithData(data);
    CFRelease(data);
    ASSERT_TRUE(image);
    EXPECT_TRUE(CGRectEqualToRect(image->extent(), CGRectMake(0, 0, 2, 2)));
    const std::vector<UInt8> out = p3dtest::RenderImage(image.get(), 2, 2);
    const std::vector<UInt8> expected = {255, 255, 0, 0, 128, 128, 128, 128,
                                         0,   0,   0, 0, 255, 0,   100, 200};
    EXPECT_EQ(out, expected);

    p3dtest::LogCapture log;
    const std::string corrupt = png.substr(0, png.size() - 20);
    CFDataRef bad = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(corrupt.data()),
                                 CFIndex(corrupt.size()));
    EXPECT_FALSE(CIImage::imageWithData(bad));
    CFRelease(bad);
    EXPECT_FALSE(CIImage::imageWithData(nullptr));
    EXPECT_NE(log.text(), "");
}

TEST(CIImageSources, PixelBuffersAreReadInPlace)
{
    std::vector<UInt8> bytes(4 * 3 * 4, 0);
    CVPixelBufferRef buffer = nullptr;
    ASSERT_EQ(CVPixelBufferCreateWithBytes(nullptr, 4, 3, kCVPixelFormatType_32ARGB, bytes.data(),
                                           16, nullptr, nullptr, nullptr, &buffer),
              kCVReturnSuccess);
    CFPtr<CIImage> image = CIImage::imageWithCVPixelBuffer(buffer);
    CVPixelBufferRelease(buffer); // the image keeps it
    ASSERT_TRUE(image);
    bytes[0] = 255; // written after the image was made: still seen
    bytes[1] = 77;
    const std::vector<UInt8> out = p3dtest::RenderImage(image.get(), 4, 3);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 77);

    CVPixelBufferRef yuv = nullptr;
    ASSERT_EQ(CVPixelBufferCreateWithBytes(nullptr, 4, 3, kCVPixelFormatType_422YpCbCr8,
                                           bytes.data(), 16, nullptr, nullptr, nullptr, &yuv),
              kCVReturnSuccess);
    p3dtest::LogCapture log;
    EXPECT_FALSE(CIImage::imageWithCVPixelBuffer(yuv));
    CVPixelBufferRelease(yuv);
}

TEST(CIPlugIn, InstalledFilterPlugInsBecomeNamedFilters)
{
    EXPECT_EQ(CIPlugIn::inputKeyForParameter("Brightness"), "inputBrightness");
    EXPECT_EQ(CIPlugIn::inputKeyForParameter("split screen"), "inputSplitScreen");
    CIPlugIn::loadAllPlugIns();
    if (!CIFilter::isRegistered(CFSTR("Invert0r")))
        GTEST_SKIP() << "frei0r plug-ins are not installed";
    CFPtr<CIFilter> invert = CIFilter::filterWithName(CFSTR("Invert0r"));
    ASSERT_TRUE(invert);
    std::vector<UInt8> bytes = {255, 10, 200, 30, 255, 0, 0, 0, 255, 255, 255, 255};
    CFPtr<CIImage> image = CIImage::imageWithARGBMemory(bytes.data(), 12, 3, 1);
    invert->setValue(image.get(), kCIInputImageKey);
    CFPtr<CIImage> inverted = invert->outputImage();
    ASSERT_TRUE(inverted);
    const std::vector<UInt8> out = p3dtest::RenderImage(inverted.get(), 3, 1);
    EXPECT_EQ(out, (std::vector<UInt8>{255, 245, 55, 225, 255, 255, 255, 255, 255, 0, 0, 0}));
}

} // namespace
