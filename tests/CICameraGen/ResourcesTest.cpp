// The resources the camera plug-in carries inside itself, read back through the image engine
// that will use them.
#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "CIKernel.h"
#include "CIParallax3DInputResources.h"
#include "PNGDecoder.h"
#include "TestSupport.h"

namespace {

TEST(CICameraGenResources, SpyglassPictureIsAnOpaqueReadablePicture)
{
    const CIParallax3DInputResource png = CIParallax3DInputFindResource("CISpyglassInput", "png");
    ASSERT_NE(png.bytes, nullptr);
    CoreImage::DecodedImage image;
    ASSERT_TRUE(CoreImage::DecodePNG(png.bytes, png.size, image));
    ASSERT_EQ(image.width, 640u);
    ASSERT_EQ(image.height, 480u);

    // Dark ground with light lettering and glyph: many distinct colours, both ends of the range.
    std::set<UInt32> colours;
    size_t light = 0, dark = 0, translucent = 0;
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        const UInt8* p = &image.pixels[i];
        translucent += p[0] != 255;
        colours.insert(UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3]);
        const int luma = (p[1] * 3 + p[2] * 6 + p[3]) / 10;
        light += luma > 200;
        dark += luma < 60;
    }
    EXPECT_EQ(translucent, 0u);
    EXPECT_GT(colours.size(), 100u);
    const size_t pixels = image.width * image.height;
    EXPECT_GT(light, pixels / 100);
    EXPECT_GT(dark, pixels / 2);
}

TEST(CICameraGenResources, KernelTextIsTheSourceFileAndCompiles)
{
    const CIParallax3DInputResource text = CIParallax3DInputFindResource("CIKernel", "cikernel");
    ASSERT_NE(text.bytes, nullptr);
    const std::string source =
        p3dtest::ReadFile(P3D_SOURCE_DIR "/CICameraGen/resources/CIKernel.cikernel");
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(text.bytes), text.size), source);
    // The zero byte after the counted size lets the text be read as a C string.
    EXPECT_EQ(text.bytes[text.size], 0);

    CFStringRef string = CFStringCreateWithBytes(nullptr, text.bytes, CFIndex(text.size),
                                                 kCFStringEncodingUTF8, false);
    ASSERT_NE(string, nullptr);
    CFArrayRef kernels = CIKernel::kernelsWithString(string);
    CFRelease(string);
    ASSERT_NE(kernels, nullptr);
    EXPECT_GE(CFArrayGetCount(kernels), 1);
    CFRelease(kernels);
}

TEST(CICameraGenResources, LookupMatchesNameAndTypeExactly)
{
    const auto none = [](const char* name, const char* type) {
        const CIParallax3DInputResource found = CIParallax3DInputFindResource(name, type);
        return found.bytes == nullptr && found.size == 0;
    };
    EXPECT_TRUE(none("CINoSuchThing", "png"));
    EXPECT_TRUE(none("CISpyglassInput", "cikernel"));
    EXPECT_TRUE(none("CIKernel", "png"));
    EXPECT_TRUE(none("cispyglassinput", "png"));
    EXPECT_TRUE(none("CISpyglassInput", "PNG"));
    EXPECT_TRUE(none("CISpyglassInput", ""));
    EXPECT_TRUE(none("", ""));
    EXPECT_TRUE(none(nullptr, "png"));
    EXPECT_TRUE(none("CISpyglassInput", nullptr));
    // The two resources are distinct data, not one array served twice.
    EXPECT_NE(CIParallax3DInputFindResource("CISpyglassInput", "png").bytes,
              CIParallax3DInputFindResource("CIKernel", "cikernel").bytes);
}

} // namespace
