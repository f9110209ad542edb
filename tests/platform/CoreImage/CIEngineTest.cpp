// The engine through plain filter chains: recipes render what their steps say, at whole-pixel
// accuracy where nothing filters, and a warm context allocates nothing.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "AllocationCounter.h"
#include "CFNumber.h"
#include "CIContext.h"
#include "CIFilter.h"
#include "TestSupport.h"

namespace {

// A frame whose every pixel tells where it is: R = x, G = y, B = x ^ y, opaque; rows top down.
struct Frame
{
    size_t width, height, rowBytes;
    std::vector<UInt8> bytes;

    Frame(size_t w, size_t h, size_t padding = 0)
        : width(w), height(h), rowBytes(w * 4 + padding), bytes(rowBytes * h, 0xEE)
    {
        for (size_t row = 0; row < h; ++row)
            for (size_t x = 0; x < w; ++x) {
                const size_t y = h - 1 - row; // y up
                UInt8* p = &bytes[row * rowBytes + x * 4];
                p[0] = 255;
                p[1] = UInt8(x);
                p[2] = UInt8(y);
                p[3] = UInt8(x ^ y);
            }
    }
    // The pixel at (x, y), y up.
    const UInt8* at(size_t x, size_t y) const
    {
        return &bytes[(height - 1 - y) * rowBytes + x * 4];
    }
    CFPtr<CIImage> image() const
    {
        return CIImage::imageWithARGBMemory(bytes.data(), rowBytes, width, height);
    }
};

struct Canvas
{
    size_t width, height;
    std::vector<UInt8> bytes;
    CFPtr<CIContext> context;

    Canvas(size_t w, size_t h) : width(w), height(h), bytes(w * h * 4, 0x77)
    {
        context = CIContext::contextWithARGBMemory(bytes.data(), w * 4, w, h);
    }
    const UInt8* at(size_t x, size_t y) const { return &bytes[((height - 1 - y) * width + x) * 4]; }
};

CFPtr<CIFilter> Filter(const char* name)
{
    CFStringRef text = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
    CFPtr<CIFilter> filter = CIFilter::filterWithName(text);
    CFRelease(text);
    if (filter)
        filter->setDefaults();
    return filter;
}

CFPtr<CIImage> Through(CIFilter* filter, const CIImage* image)
{
    filter->setValue(image, kCIInputImageKey);
    return filter->outputImage();
}

CFPtr<const __CFNumber> Number(double value)
{
    return CFPtr<const __CFNumber>::Adopt(CFNumberCreate(nullptr, kCFNumberDoubleType, &value));
}

// The camera chain: white point, exposure, colour controls, mirror transform, crop to the frame.
struct Chain
{
    CFPtr<CIFilter> whitePoint = Filter("CIWhitePointAdjust");
    CFPtr<CIFilter> exposure = Filter("CIExposureAdjust");
    CFPtr<CIFilter> color = Filter("CIColorControls");
    CFPtr<CIFilter> crop = Filter("CICrop");
    CGAffineTransform transform = CGAffineTransformIdentity;

    Chain()
    {
        crop->setValue(CIVector::vectorWithX(0, 0, 640, 480).get(), CFSTR("inputRectangle"));
    }
    void mirror(bool x, bool y)
    {
        transform = CGAffineTransformIdentity;
        if (x)
            transform =
                CGAffineTransformScale(CGAffineTransformTranslate(transform, 640, 0), -1, 1);
        if (y)
            transform =
                CGAffineTransformScale(CGAffineTransformTranslate(transform, 0, 480), 1, -1);
    }
    CFPtr<CIImage> apply(const CIImage* image) const
    {
        CFPtr<CIImage> out = Through(whitePoint.get(), image);
        out = Through(exposure.get(), out.get());
        out = Through(color.get(), out.get());
        out = out->imageByApplyingTransform(transform);
        return Through(crop.get(), out.get());
    }
};

TEST(CIFilter, RegistryAttributesAndValues)
{
    CFPtr<CIFilter> controls = Filter("CIColorControls");
    ASSERT_TRUE(controls);
    CFDictionaryRef attributes = controls->attributes();
    CFDictionaryRef saturation =
        CFDictionaryRef(CFDictionaryGetValue(attributes, CFSTR("inputSaturation")));
    ASSERT_NE(saturation, nullptr);
    double identity = 0;
    ASSERT_TRUE(
        CFNumberGetValue(CFNumberRef(CFDictionaryGetValue(saturation, kCIAttributeIdentity)),
                         kCFNumberDoubleType, &identity));
    EXPECT_EQ(identity, 1.0);
    EXPECT_EQ(controls->numberForKey(CFSTR("inputContrast"), -1), 1.0);

    p3dtest::LogCapture log;
    EXPECT_FALSE(CIFilter::filterWithName(CFSTR("CINoSuchFilter")));
    EXPECT_FALSE(CIFilter::filterWithName(nullptr));
    EXPECT_FALSE(controls->setValue(CFSTR("text"), CFSTR("inputSaturation"))); // wrong kind
    EXPECT_FALSE(controls->setValue(Number(2).get(), CFSTR("inputNoSuchKey")));
    EXPECT_FALSE(controls->setValue(Number(2).get(), kCIOutputImageKey));
    EXPECT_EQ(controls->numberForKey(CFSTR("inputSaturation"), -1), 1.0); // unchanged
    const std::string text = log.text();
    EXPECT_NE(text.find("no filter named \"CINoSuchFilter\""), std::string::npos);
    EXPECT_NE(text.find("\"inputSaturation\" of CIColorControls takes a NSNumber"),
              std::string::npos);
    EXPECT_NE(text.find("has no input \"inputNoSuchKey\""), std::string::npos);
}

TEST(CIEngine, AFreshChainGivesTheInputCroppedToTheFrame)
{
    Frame frame(700, 500, 12); // larger than the frame, padded rows
    Chain chain;
    CFPtr<CIImage> out = chain.apply(frame.image().get());
    ASSERT_TRUE(out);
    EXPECT_TRUE(CGRectEqualToRect(out->extent(), CGRectMake(0, 0, 640, 480)));
    Canvas canvas(640, 480);
    ASSERT_TRUE(canvas.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
    // The lower-left 640 x 480 of the input, bit for bit.
    for (size_t y = 0; y < 480; y += 7)
        for (size_t x = 0; x < 640; x += 3)
            ASSERT_EQ(memcmp(canvas.at(x, y), frame.at(x, y), 4), 0) << x << "," << y;
}

TEST(CIEngine, BothMirrorsTurnTheFrameAHalfTurn)
{
    Frame frame(640, 480);
    Chain chain;
    chain.mirror(true, true);
    const CGPoint mapped = CGPointApplyAffineTransform(CGPointMake(10, 20), chain.transform);
    EXPECT_EQ(mapped.x, 630);
    EXPECT_EQ(mapped.y, 460);
    CFPtr<CIImage> out = chain.apply(frame.image().get());
    Canvas canvas(640, 480);
    ASSERT_TRUE(canvas.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
    // The pixel whose lower-left corner is (10, 20) ends with its upper-right corner at
    // (630, 460): pixel (629, 459), unfiltered.
    EXPECT_EQ(memcmp(canvas.at(629, 459), frame.at(10, 20), 4), 0);
    EXPECT_EQ(memcmp(canvas.at(0, 0), frame.at(639, 479), 4), 0);
    chain.mirror(true, false);
    out = chain.apply(frame.image().get());
    ASSERT_TRUE(canvas.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
    EXPECT_EQ(memcmp(canvas.at(629, 20), frame.at(10, 20), 4), 0);
}

TEST(CIEngine, WhiteBalanceOffIgnoresTheColourAndOnDividesByIt)
{
    Frame frame(64, 48);
    Chain chain;
    CFPtr<CIImage> source = frame.image();
    // Off: the white point stays at its identity, whatever colour the well holds.
    CFPtr<CIImage> off = chain.apply(source.get());
    Canvas canvas(64, 48);
    ASSERT_TRUE(canvas.context->drawImage(off.get(), CGPointMake(0, 0), off->extent()));
    EXPECT_EQ(memcmp(canvas.at(33, 17), frame.at(33, 17), 4), 0);

    chain.whitePoint->setValue(CIColor::colorWithRed(0.5, 1, 1).get(), CFSTR("inputColor"));
    CFPtr<CIImage> on = chain.apply(source.get());
    ASSERT_TRUE(canvas.context->drawImage(on.get(), CGPointMake(0, 0), on->extent()));
    EXPECT_EQ(canvas.at(33, 17)[1], std::min(255, 2 * 33)); // red doubled
    EXPECT_EQ(canvas.at(33, 17)[2], 17);                    // green as it was
}

TEST(CIEngine, ColourStepsMatchAPlainReference)
{
    Frame frame(37, 23, 8); // odd sizes, padded rows
    CFPtr<CIFilter> controls = Filter("CIColorControls");
    controls->setValue(Number(0.0).get(), CFSTR("inputSaturation"));
    CFPtr<CIImage> out = Through(controls.get(), frame.image().get());
    Canvas canvas(37, 23);
    ASSERT_TRUE(canvas.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
    for (size_t y = 0; y < 23; ++y)
        for (size_t x = 0; x < 37; ++x) {
            // Saturation 0: every channel becomes the Rec. 709 luma.
            const UInt8* in = frame.at(x, y);
            const double luma = (0.2126 * in[1] + 0.7152 * in[2] + 0.0722 * in[3]);
            for (int c = 1; c < 4; ++c)
                ASSERT_NEAR(canvas.at(x, y)[c], luma, 1.0) << x << "," << y;
        }
}

// The colour steps drawn under a mirror read the source backwards in the same pass: the same
// bytes as the steps drawn first and mirrored after, whatever part of the result is drawn.
TEST(CIEngine, MirroredColourStepsMatchTheStepsThenTheMirror)
{
    Frame frame(100, 70, 8);
    // Translucent pixels take the exact path, inside a vector block and in the row's tail.
    for (size_t x : {5, 70, 99}) {
        UInt8* p = &frame.bytes[3 * frame.rowBytes + x * 4];
        p[0] = 128, p[1] = std::min<UInt8>(p[1], 128), p[2] = 0, p[3] = 127;
    }
    CFPtr<CIFilter> white = Filter("CIWhitePointAdjust");
    white->setValue(CIColor::colorWithRed(0.95, 1.0, 0.9).get(), CFSTR("inputColor"));
    CFPtr<CIFilter> exposure = Filter("CIExposureAdjust");
    exposure->setValue(Number(0.3).get(), CFSTR("inputEV"));
    CFPtr<CIFilter> controls = Filter("CIColorControls");
    controls->setValue(Number(1.3).get(), CFSTR("inputSaturation"));
    controls->setValue(Number(0.05).get(), CFSTR("inputBrightness"));
    CFPtr<CIImage> colored =
        Through(controls.get(),
                Through(exposure.get(), Through(white.get(), frame.image().get()).get()).get());
    Canvas steps(100, 70);
    ASSERT_TRUE(steps.context->drawImage(colored.get(), CGPointMake(0, 0), colored->extent()));
    const CFPtr<CIImage> drawn = CIImage::imageWithARGBMemory(steps.bytes.data(), 100 * 4, 100, 70);

    struct Case
    {
        CGAffineTransform mirror;
        CGRect from;
    };
    const Case cases[] = {
        {CGAffineTransformMake(-1, 0, 0, -1, 100, 70), CGRectMake(0, 0, 100, 70)},
        {CGAffineTransformMake(-1, 0, 0, 1, 100, 0), CGRectMake(13, 5, 50, 40)},
        {CGAffineTransformMake(1, 0, 0, -1, 0, 70), CGRectMake(0, 0, 100, 70)},
        // Partly off the image: the rest is transparent.
        {CGAffineTransformMake(-1, 0, 0, -1, 130, 60), CGRectMake(0, 0, 120, 80)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.mirror.tx << " " << c.mirror.ty << " " << c.from.origin.x);
        Canvas fused(120, 80), reference(120, 80);
        const CFPtr<CIImage> once = colored->imageByApplyingTransform(c.mirror);
        const CFPtr<CIImage> after = drawn->imageByApplyingTransform(c.mirror);
        ASSERT_TRUE(fused.context->drawImage(once.get(), CGPointMake(2, 3), c.from));
        ASSERT_TRUE(reference.context->drawImage(after.get(), CGPointMake(2, 3), c.from));
        EXPECT_EQ(fused.bytes, reference.bytes);
    }
}

// A context keeps the last steps' tables; new steps, even ones the fixed-point kernel refuses,
// draw as a fresh context draws them.
TEST(CIEngine, ChangedStepsDrawAsAFreshContextDraws)
{
    Frame frame(80, 10);
    CFPtr<CIFilter> controls = Filter("CIColorControls");
    Canvas warm(80, 10);
    for (double saturation : {1.3, 4.0, 0.5}) {
        SCOPED_TRACE(saturation);
        controls->setValue(Number(saturation).get(), CFSTR("inputSaturation"));
        controls->setValue(Number(saturation > 2 ? 4 : 1.2).get(), CFSTR("inputContrast"));
        const CFPtr<CIImage> out = Through(controls.get(), frame.image().get());
        Canvas fresh(80, 10);
        ASSERT_TRUE(warm.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
        ASSERT_TRUE(fresh.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
        EXPECT_EQ(warm.bytes, fresh.bytes);
    }
}

TEST(CIEngine, ImagesAwayFromTheOriginAndPartialDraws)
{
    Frame frame(20, 10);
    CFPtr<CIImage> moved =
        frame.image()->imageByApplyingTransform(CGAffineTransformMakeTranslation(5, 3));
    EXPECT_TRUE(CGRectEqualToRect(moved->extent(), CGRectMake(5, 3, 20, 10)));
    Canvas canvas(30, 20);
    ASSERT_TRUE(
        canvas.context->drawImage(moved.get(), CGPointMake(0, 0), CGRectMake(0, 0, 30, 20)));
    EXPECT_EQ(memcmp(canvas.at(5, 3), frame.at(0, 0), 4), 0);
    EXPECT_EQ(memcmp(canvas.at(24, 12), frame.at(19, 9), 4), 0);
    const UInt8 clear[4] = {0, 0, 0, 0};
    EXPECT_EQ(memcmp(canvas.at(4, 3), clear, 4), 0); // outside the image: transparent
    EXPECT_EQ(memcmp(canvas.at(25, 13), clear, 4), 0);

    // Only the part of the destination that the rect covers is written.
    Canvas partial(30, 20);
    ASSERT_TRUE(
        partial.context->drawImage(moved.get(), CGPointMake(10, 10), CGRectMake(5, 3, 4, 4)));
    EXPECT_EQ(memcmp(partial.at(10, 10), frame.at(0, 0), 4), 0);
    EXPECT_EQ(partial.at(9, 10)[0], 0x77);
    EXPECT_EQ(partial.at(14, 10)[0], 0x77);
}

TEST(CIEngine, BitmapDataIsCopiedAndMemoryIsBorrowed)
{
    Frame frame(4, 4);
    CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
    CFDataAppendBytes(data, frame.bytes.data(), CFIndex(frame.bytes.size()));
    CFPtr<CIImage> copied = CIImage::imageWithBitmapData(data, 16, CGSizeMake(4, 4));
    CFPtr<CIImage> borrowed = frame.image();
    ASSERT_TRUE(copied);
    CFDataGetMutableBytePtr(data)[1] = 99; // the copy does not see it
    frame.bytes[1] = 99;                   // the borrowed memory does
    CFRelease(data);
    Canvas canvas(4, 4);
    ASSERT_TRUE(canvas.context->drawImage(copied.get(), CGPointMake(0, 0), copied->extent()));
    EXPECT_EQ(canvas.at(0, 3)[1], 0);
    ASSERT_TRUE(canvas.context->drawImage(borrowed.get(), CGPointMake(0, 0), borrowed->extent()));
    EXPECT_EQ(canvas.at(0, 3)[1], 99);
    EXPECT_EQ(canvas.bytes, frame.bytes) << "rows without padding, copied as one block";
}

TEST(CIEngine, BadInputGivesNothingAndReports)
{
    p3dtest::LogCapture log;
    Frame frame(4, 4);
    EXPECT_FALSE(CIImage::imageWithARGBMemory(nullptr, 16, 4, 4));
    EXPECT_FALSE(CIImage::imageWithARGBMemory(frame.bytes.data(), 8, 4, 4)); // rows too short
    EXPECT_FALSE(CIImage::imageWithARGBMemory(frame.bytes.data(), 16, 0, 4));
    EXPECT_FALSE(CIImage::imageWithARGBMemory(frame.bytes.data(), 1u << 30, 1u << 28, 4));
    CFPtr<CIImage> image = frame.image();
    EXPECT_FALSE(image->imageByApplyingTransform(CGAffineTransformMakeScale(NAN, 1)));
    EXPECT_FALSE(image->imageByApplyingTransform(CGAffineTransformMakeScale(1e30, 1)));
    EXPECT_FALSE(image->imageByCroppingToRect(CGRectMake(0, 0, 1e30, 4)));
    CFPtr<CIImage> none = image->imageByCroppingToRect(CGRectMake(100, 100, 4, 4));
    ASSERT_TRUE(none);
    EXPECT_TRUE(CGRectIsEmpty(none->extent()));
    // Drawing an empty image, or from an empty rect, writes nothing.
    Canvas canvas(4, 4);
    EXPECT_TRUE(canvas.context->drawImage(none.get(), CGPointMake(0, 0), CGRectMake(0, 0, 4, 4)));
    EXPECT_EQ(canvas.at(0, 0)[1], 0);
    EXPECT_FALSE(canvas.context->drawImage(nullptr, CGPointMake(0, 0), CGRectMake(0, 0, 4, 4)));
    // Absurd rects draw what lies inside the destination, or nothing.
    EXPECT_TRUE(
        canvas.context->drawImage(image.get(), CGPointMake(0, 0), CGRectMake(0, 0, 1e300, 1e300)));
    EXPECT_TRUE(
        canvas.context->drawImage(image.get(), CGPointMake(0, 0), CGRectMake(NAN, 0, 4, 4)));
    EXPECT_FALSE(
        canvas.context->drawImage(image.get(), CGPointMake(INFINITY, 0), CGRectMake(0, 0, 4, 4)));
    EXPECT_TRUE(
        canvas.context->drawImage(image.get(), CGPointMake(-1e18, 0), CGRectMake(0, 0, 4, 4)));
    EXPECT_FALSE(CIContext::contextWithARGBMemory(nullptr, 16, 4, 4));
    EXPECT_FALSE(CIContext::contextWithARGBMemory(canvas.bytes.data(), 8, 4, 4));
    EXPECT_NE(log.text().find("VERIFY FAILED"), std::string::npos);
}

TEST(CIEngine, AWarmContextRendersTheChainWithoutAllocating)
{
    Frame frame(640, 480);
    Chain chain;
    chain.mirror(true, false);
    chain.exposure->setValue(Number(0.5).get(), CFSTR("inputEV"));
    chain.color->setValue(Number(1.2).get(), CFSTR("inputSaturation"));
    CFPtr<CIImage> out = chain.apply(frame.image().get());
    Canvas canvas(640, 480);
    ASSERT_TRUE(canvas.context->drawImage(out.get(), CGPointMake(0, 0), out->extent()));
    const long before = p3dtest::AllocationCount();
    for (int i = 0; i < 3; ++i)
        canvas.context->drawImage(out.get(), CGPointMake(0, 0), out->extent());
    EXPECT_EQ(p3dtest::AllocationCount(), before);
}

} // namespace
