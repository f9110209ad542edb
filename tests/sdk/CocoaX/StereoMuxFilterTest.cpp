// The stereo mux as the stereo view uses it: registered by name, fed two eyes, rendered.
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

#include "CFNumber.h"
#include "CIContext.h"
#include "CIImageCoreGraphics.h"
#include "CIORBStereoMuxFilter.h"
#include "ColorMatrixKernel.h"
#include "CoreGraphicsBitmapContext.h"
#include "DictionaryKeys.h"
#include "NSDatazer.h"
#include "RenderImage.h"
#include "TestSupport.h"

namespace {

// An opaque eye with varied colours, rows top down.
std::vector<UInt8> Eye(size_t width, size_t height, int seed)
{
    std::vector<UInt8> bytes(width * height * 4);
    for (size_t i = 0; i < width * height; ++i) {
        bytes[i * 4] = 255;
        bytes[i * 4 + 1] = UInt8((i * 7 + size_t(seed) * 31) & 0xFF);
        bytes[i * 4 + 2] = UInt8((i * 13 + size_t(seed) * 17) & 0xFF);
        bytes[i * 4 + 3] = UInt8((i * 3 + size_t(seed) * 5) & 0xFF);
    }
    return bytes;
}

CFPtr<CIFilter> Mux()
{
    EXPECT_TRUE(import_CIORBStereoMuxFilter(true));
    CFPtr<CIFilter> mux = CIFilter::filterWithName(kCIORBStereoMuxFilter_FilterName);
    if (mux)
        mux->setDefaults();
    return mux;
}

void SetSwap(CIFilter* mux, double swap)
{
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberDoubleType, &swap);
    EXPECT_TRUE(mux->setValue(number, kCIORBStereoMuxFilter_inputSwapEyes));
    CFRelease(number);
}

TEST(NSDatazer, TransformSwapsNibblesAndUndoesItself)
{
    const UInt8 bytes[] = {0x3C, 0x00, 0xFF, 0x12};
    CFMutableDataRef data = NSDatazer::dataWithNSDatazerBytes(bytes, sizeof(bytes));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(CFDataGetBytePtr(data)[0], 0xC3);
    EXPECT_EQ(CFDataGetBytePtr(data)[3], 0x21);
    EXPECT_TRUE(NSDatazer::transform(data));
    EXPECT_EQ(memcmp(CFDataGetBytePtr(data), bytes, sizeof(bytes)), 0);
    CFRelease(data);
    CFMutableDataRef empty = NSDatazer::dataWithNSDataBytes(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(NSDatazer::transform(empty));
    EXPECT_EQ(CFDataGetLength(empty), 0);
    CFRelease(empty);
    p3dtest::LogCapture log;
    EXPECT_EQ(NSDatazer::dataWithNSDataBytes(nullptr, 4), nullptr);
    EXPECT_NE(log.text().find(" code : result!=nil in "), std::string::npos);
}

TEST(CIORBStereoMuxFilter, RegistersWithItsAttributes)
{
    CFPtr<CIFilter> mux = Mux();
    ASSERT_TRUE(mux);
    ASSERT_NE(CIORBStereoMuxFilter::kernel(), nullptr);
    CFDictionaryRef attributes = mux->attributes();
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(attributes, kCIAttributeFilterName),
                        CFSTR("CIORBStereoMuxFilter")));
    CFDictionaryRef swap =
        CFDictionaryRef(CFDictionaryGetValue(attributes, CFSTR("inputSwapEyes")));
    ASSERT_NE(swap, nullptr);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(swap, kCIAttributeType), kCIAttributeTypeScalar));
    EXPECT_EQ(mux->numberForKey(CFSTR("inputSwapEyes"), -1), 0.0);
    CFArrayRef categories =
        CFArrayRef(CFDictionaryGetValue(attributes, kCIAttributeFilterCategories));
    EXPECT_EQ(CFArrayGetCount(categories), 4);

    EXPECT_FALSE(CIFilterBase::filterWithName(CFSTR("NotAClass")));
}

// Made by the registry or through its class, the filter has the same attributes, takes its
// keys and mixes two eyes.
TEST(CIORBStereoMuxFilter, AFilterMadeThroughItsClassIsAsUsable)
{
    ASSERT_TRUE(import_CIORBStereoMuxFilter(false));
    const std::pair<const char*, CFPtr<CIFilter>> filters[] = {
        {"class", CIFilterBase::filterWithName(kCIORBStereoMuxFilter_FilterName)},
        {"registry", Mux()},
    };
    std::vector<UInt8> right = Eye(64, 48, 1), left = Eye(64, 48, 2);
    CFPtr<CIImage> rightImage = CIImage::imageWithARGBMemory(right.data(), 256, 64, 48);
    CFPtr<CIImage> leftImage = CIImage::imageWithARGBMemory(left.data(), 256, 64, 48);
    for (const auto& [how, mux] : filters) {
        ASSERT_TRUE(mux) << how;
        mux->setDefaults();
        EXPECT_EQ(mux->numberForKey(kCIORBStereoMuxFilter_inputSwapEyes, -1), 0.0) << how;
        p3dtest::LogCapture log;
        EXPECT_TRUE(mux->setValue(rightImage.get(), kCIInputImageKey)) << how;
        EXPECT_TRUE(mux->setValue(leftImage.get(), kCIORBStereoMuxFilter_inputLeftImage)) << how;
        SetSwap(mux.get(), 1.0);
        const std::string text = log.text();
        EXPECT_EQ(text.find("VERIFY"), std::string::npos) << how << ": " << text;
        CFPtr<CIImage> output = mux->outputImage();
        ASSERT_TRUE(output) << how;
        EXPECT_NE(output.get(), rightImage.get()) << how;

        CFDictionaryRef custom = static_cast<CIFilterBase*>(mux.get())->customAttributes();
        // The left eye and the swap, and the encoding's kernel the stereo window chooses.
        EXPECT_EQ(p3dtest::DictionaryKeys(custom),
                  (std::set<std::string>{"CIAttributeFilterCategories", "inputKernel",
                                         "inputLeftImage", "inputSwapEyes"}))
            << how;
        if (custom)
            CFRelease(custom);
    }
}

TEST(CIORBStereoMuxFilter, OneEyeIsPassedThroughAndNoEyeGivesNothing)
{
    CFPtr<CIFilter> mux = Mux();
    std::vector<UInt8> right = Eye(64, 48, 1);
    CFPtr<CIImage> rightImage = CIImage::imageWithARGBMemory(right.data(), 256, 64, 48);
    EXPECT_FALSE(mux->outputImage());
    mux->setValue(rightImage.get(), kCIInputImageKey);
    EXPECT_EQ(mux->outputImage().get(), rightImage.get());
    mux->setValue(nullptr, kCIInputImageKey);
    mux->setValue(rightImage.get(), kCIORBStereoMuxFilter_inputLeftImage);
    EXPECT_EQ(mux->outputImage().get(), rightImage.get());
}

TEST(CIORBStereoMuxFilter, TwoEyesGiveTheAnaglyphOfTheirUnion)
{
    CFPtr<CIFilter> mux = Mux();
    std::vector<UInt8> right = Eye(640, 480, 1), left = Eye(640, 480, 2);
    CFPtr<CIImage> rightImage = CIImage::imageWithARGBMemory(right.data(), 2560, 640, 480);
    CFPtr<CIImage> leftImage = CIImage::imageWithARGBMemory(left.data(), 2560, 640, 480);
    mux->setValue(rightImage.get(), kCIInputImageKey);
    mux->setValue(leftImage.get(), kCIORBStereoMuxFilter_inputLeftImage);
    CFPtr<CIImage> stereo = mux->outputImage();
    ASSERT_TRUE(stereo);
    EXPECT_TRUE(CGRectEqualToRect(stereo->extent(), CGRectMake(0, 0, 640, 480)));

    const std::vector<UInt8> out = p3dtest::RenderImage(stereo.get(), 640, 480);
    std::vector<UInt8> expected(640 * 4);
    const auto& kernel = CIORBStereoMuxFilter::kernel()->compiled();
    for (size_t row = 0; row < 480; row += 37) {
        // The kernel's own row, exactly; and its plain double reference within one step.
        kernel.evaluateRow(&right[row * 2560], &left[row * 2560], expected.data(), 640, 0.0f);
        ASSERT_EQ(memcmp(&out[row * 2560], expected.data(), 2560), 0) << row;
        kernel.evaluateRowReference(&right[row * 2560], &left[row * 2560], expected.data(), 640,
                                    0.0f);
        for (size_t i = 0; i < 2560; ++i)
            ASSERT_LE(std::abs(int(out[row * 2560 + i]) - int(expected[i])), 1) << row << ":" << i;
    }

    // Swap 1.0 exchanges the eyes' roles inside the kernel: the same as exchanging the inputs.
    SetSwap(mux.get(), 1.0);
    const std::vector<UInt8> swapped = p3dtest::RenderImage(mux->outputImage().get(), 640, 480);
    CFPtr<CIFilter> exchanged = Mux();
    exchanged->setValue(leftImage.get(), kCIInputImageKey);
    exchanged->setValue(rightImage.get(), kCIORBStereoMuxFilter_inputLeftImage);
    EXPECT_EQ(p3dtest::RenderImage(exchanged->outputImage().get(), 640, 480), swapped);
    EXPECT_NE(swapped, out);

    // Eyes of different sizes: the union, transparent where neither eye is.
    CFPtr<CIImage> small =
        CIImage::imageWithARGBMemory(left.data(), 2560, 320, 240)
            ->imageByApplyingTransform(CGAffineTransformMakeTranslation(400, 300));
    mux->setValue(small.get(), kCIORBStereoMuxFilter_inputLeftImage);
    EXPECT_TRUE(CGRectEqualToRect(mux->outputImage()->extent(), CGRectMake(0, 0, 720, 540)));
}

// Eyes through crops, as the image controls' chain gives them, are read where they lie: the
// picture of eyes drawn out first, also where a crop reaches past its eye (transparent there).
TEST(CIORBStereoMuxFilter, CroppedEyesGiveThePictureOfTheirDrawnPixels)
{
    CFPtr<CIFilter> mux = Mux();
    CFPtr<CIFilter> crop = CIFilter::filterWithName(CFSTR("CICrop"));
    ASSERT_TRUE(crop);
    std::vector<UInt8> eyes[2] = {Eye(64, 48, 1), Eye(64, 48, 2)};
    const CFStringRef keys[2] = {kCIInputImageKey, kCIORBStereoMuxFilter_inputLeftImage};
    for (const CGSize cut : {CGSizeMake(40, 30), CGSizeMake(80, 60)}) {
        SCOPED_TRACE(cut.width);
        std::vector<UInt8> drawn[2];
        CFPtr<CIFilter> drawnMux = Mux();
        for (int eye = 0; eye < 2; ++eye) {
            crop->setValue(CIVector::vectorWithX(0, 0, cut.width, cut.height).get(),
                           CFSTR("inputRectangle"));
            crop->setValue(CIImage::imageWithARGBMemory(eyes[eye].data(), 64 * 4, 64, 48).get(),
                           kCIInputImageKey);
            const CFPtr<CIImage> cropped = crop->outputImage();
            mux->setValue(cropped.get(), keys[eye]);
            drawn[eye] = p3dtest::RenderImage(cropped.get(), size_t(cut.width), size_t(cut.height));
            drawnMux->setValue(CIImage::imageWithARGBMemory(drawn[eye].data(),
                                                            size_t(cut.width) * 4,
                                                            size_t(cut.width), size_t(cut.height))
                                   .get(),
                               keys[eye]);
        }
        EXPECT_EQ(p3dtest::RenderImage(mux->outputImage().get(), 80, 60),
                  p3dtest::RenderImage(drawnMux->outputImage().get(), 80, 60));
    }
}

// An encoding's kernel takes the stored one's place; removing it brings the default back.
TEST(CIORBStereoMuxFilter, AnEncodingsKernelReplacesTheStoredOne)
{
    CFPtr<CIFilter> mux = Mux();
    std::vector<UInt8> right = Eye(64, 48, 1), left = Eye(64, 48, 2);
    CFPtr<CIImage> rightImage = CIImage::imageWithARGBMemory(right.data(), 256, 64, 48);
    CFPtr<CIImage> leftImage = CIImage::imageWithARGBMemory(left.data(), 256, 64, 48);
    mux->setValue(rightImage.get(), kCIInputImageKey);
    mux->setValue(leftImage.get(), kCIORBStereoMuxFilter_inputLeftImage);
    const std::vector<UInt8> dubois = p3dtest::RenderImage(mux->outputImage().get(), 64, 48);

    CFPtr<CIKernel> colour = CIKernel::kernelWithText(
        "kernel vec4 c(sampler r, sampler l, float s) {"
        " l = matrix([1,0,0],[0,0,0],[0,0,0]); r = matrix([0,0,0],[0,1,0],[0,0,1]); }");
    ASSERT_TRUE(colour);
    ASSERT_TRUE(mux->setValue(colour.get(), kCIORBStereoMuxFilter_inputKernel));
    const std::vector<UInt8> out = p3dtest::RenderImage(mux->outputImage().get(), 64, 48);
    for (size_t n = 0; n < out.size(); n += 4)
        ASSERT_TRUE(out[n + 1] == left[n + 1] && out[n + 2] == right[n + 2] &&
                    out[n + 3] == right[n + 3])
            << n / 4;

    p3dtest::LogCapture log;
    double one = 1;
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberDoubleType, &one);
    EXPECT_FALSE(mux->setValue(number, kCIORBStereoMuxFilter_inputKernel)) << "not a kernel";
    CFRelease(number);
    ASSERT_TRUE(mux->setValue(nullptr, kCIORBStereoMuxFilter_inputKernel));
    EXPECT_EQ(p3dtest::RenderImage(mux->outputImage().get(), 64, 48), dubois);
}

TEST(CIFilterBase, KernelTextThatDoesNotCompileGivesNoKernel)
{
    p3dtest::LogCapture log;
    EXPECT_FALSE(CIFilterBase::kernelFromKernelCode(nullptr));
    EXPECT_FALSE(CIFilterBase::kernelFromKernelCode(CFSTR("kernel vec4 broken(")));
    EXPECT_FALSE(CIFilterBase::kernelFromKernelData(nullptr));
    EXPECT_FALSE(CIFilterBase::kernelFromBundleFile(CFSTR("NoSuchKernel")));
    const std::string text = log.text();
    EXPECT_NE(text.find(" code : kernelCode in "), std::string::npos);
    EXPECT_NE(text.find(" code : kernels in "), std::string::npos);
    EXPECT_NE(text.find("(+[CIFilterBase kernelFromKernelCode:])"), std::string::npos);
    EXPECT_NE(text.find(" code : _kernel = [self kernelFromKernelCode:kernelCode] in "),
              std::string::npos);
}

TEST(CIImageCoreGraphics, ScalesToAPixelSizeUnlessAnAxisAlreadyFits)
{
    std::vector<UInt8> eye = Eye(640, 480, 3);
    CFPtr<CIImage> image = CIImage::imageWithARGBMemory(eye.data(), 2560, 640, 480);
    EXPECT_EQ(CIImageWithSizePixels(image.get(), CGSizeMake(640, 240)).get(), image.get());
    EXPECT_EQ(CIImageWithSizePixels(image.get(), CGSizeMake(100, 480)).get(), image.get());
    CFPtr<CIImage> half = CIImageWithSizePixels(image.get(), CGSizeMake(320, 240));
    ASSERT_TRUE(half);
    EXPECT_TRUE(CGRectEqualToRect(half->extent(), CGRectMake(0, 0, 320, 240)));
    p3dtest::LogCapture log;
    EXPECT_FALSE(CIImageWithSizePixels(nullptr, CGSizeMake(1, 1)));
    EXPECT_NE(log.text().find(" code : result in "), std::string::npos);
}

TEST(CIImage, AnImageOfABitmapSeesLaterDrawing)
{
    CoreGraphics::BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(8, 8, CoreGraphics::BitmapContext::BitmapType_Device_ARGB, 0));
    CGImageRef cgImage = bitmap.ConstructCGImage();
    CFPtr<CIImage> image = CIImage::imageWithCGImage(cgImage);
    CGImageRelease(cgImage);
    ASSERT_TRUE(image);
    CGContextSetRGBFillColor(bitmap.mContext, 1, 0, 0, 1);
    CGContextFillRect(bitmap.mContext, CGRectMake(0, 0, 8, 8));
    const std::vector<UInt8> out = p3dtest::RenderImage(image.get(), 8, 8);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 0);
}

} // namespace
