// CoreGraphics::BitmapContext: layout numbers, the three views of one memory, reports, and
// what a failed Construct gives back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CoreGraphicsBitmapContext.h"
#include "CoreMachDebugLog.h"
#include "TestSupport.h"

namespace {

using CoreGraphics::BitmapContext;

// Whether the log holds the report of code in function, from the bitmap context's source.
bool Reported(const std::string& log, const std::string& code, const std::string& function)
{
    const std::string head =
        "VERIFY FAILED:  code : " + code + " in sdk/CoreG/CoreGraphicsBitmapContext.cpp:";
    for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        const size_t end = log.find('\n', at);
        const std::string line = log.substr(at, end - at);
        if (line.size() > function.size() + 2 &&
            line.compare(line.size() - function.size() - 2, std::string::npos,
                         "(" + function + ")") == 0)
            return true;
    }
    return false;
}

// Counts and can refuse its pixel memory.
class CountingBitmap : public BitmapContext
{
public:
    ~CountingBitmap() override { Destruct(); }
    unsigned char* CreateImageData(unsigned long size) const override
    {
        ++creates;
        lastSize = size;
        if (refuseMemory)
            return nullptr;
        return BitmapContext::CreateImageData(size);
    }
    void DeleteImageData(unsigned char* bytes) const override
    {
        if (bytes)
            ++deletes;
        BitmapContext::DeleteImageData(bytes);
    }
    bool ConstructGWorld() override
    {
        return refuseGWorld ? false : BitmapContext::ConstructGWorld();
    }

    mutable int creates = 0;
    mutable int deletes = 0;
    mutable unsigned long lastSize = 0;
    bool refuseMemory = false;
    bool refuseGWorld = false;
};

TEST(BitmapContext, StartsEmpty)
{
    BitmapContext bitmap;
    EXPECT_FALSE(bitmap.IsConstructed());
    EXPECT_EQ(bitmap.mContext, nullptr);
    EXPECT_EQ(bitmap.mImageDataBytes, nullptr);
    EXPECT_EQ(bitmap.mImageColorspace, nullptr);
    EXPECT_EQ(bitmap.mGWorld.mGWorld, nullptr);
    EXPECT_EQ(bitmap.mImageWidth + bitmap.mImageHeight + bitmap.mImageRowBytes +
                  bitmap.mImageDataSize + bitmap.mImageChannels + bitmap.mImageBitsPerPixel +
                  bitmap.mImageBitmapInfo,
              0u);
    EXPECT_TRUE(import_CoreGraphicsBitmapContext());
    EXPECT_TRUE(import_QGWorld());
}

TEST(BitmapContext, CameraFrameLayoutAndItsThreeViews)
{
    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(640, 480, BitmapContext::BitmapType_Device_ARGB, 0));
    EXPECT_TRUE(bitmap.IsConstructed());
    EXPECT_EQ(bitmap.GetImageType(), BitmapContext::BitmapType_Device_ARGB);
    EXPECT_EQ(bitmap.mImageRowBytes, 2560u);
    EXPECT_EQ(bitmap.mImageBitsPerPixel, 32u);
    EXPECT_EQ(bitmap.mImageChannels, 4u);
    EXPECT_EQ(bitmap.mImageBitmapInfo, 2u);
    EXPECT_EQ(bitmap.mImageDataSize, 1228800u);
    EXPECT_EQ(CGColorSpaceGetNumberOfComponents(bitmap.mImageColorspace), 3u);

    // The context, the port and an image all address the same bytes.
    EXPECT_EQ(CGBitmapContextGetData(bitmap.mContext), bitmap.mImageDataBytes);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(bitmap.mContext), 2560u);
    PixMapHandle pixMap = GetGWorldPixMap(bitmap.mGWorld.mGWorld);
    EXPECT_EQ(GetPixBaseAddr(pixMap), reinterpret_cast<char*>(bitmap.mImageDataBytes));
    EXPECT_EQ(GetPixRowBytes(pixMap), 2560);
    EXPECT_EQ(bitmap.mGWorld.GetPixelFormat(), 32u);
    const QRect bounds = bitmap.mGWorld.Bounds();
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.bottom, 480);
    EXPECT_EQ(bounds.right, 640);
    CGImageRef image = bitmap.ConstructCGImage();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetPixelBase(image), bitmap.mImageDataBytes);
    EXPECT_EQ(CGImageGetWidth(image), 640u);
    EXPECT_EQ(CGImageGetHeight(image), 480u);
    EXPECT_EQ(CGImageGetBytesPerRow(image), 2560u);
    EXPECT_EQ(CGImageGetBitmapInfo(image), 2u);
    EXPECT_TRUE(CGImageGetShouldInterpolate(image));
    CGImageRelease(image);
}

TEST(BitmapContext, RowBytesAskedForAreUsedWhenWideEnough)
{
    BitmapContext wide;
    ASSERT_TRUE(wide.Construct(640, 480, BitmapContext::BitmapType_Device_ARGB, 3000));
    EXPECT_EQ(wide.mImageRowBytes, 3000u);
    EXPECT_EQ(wide.mImageDataSize, 3000u * 480);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(wide.mContext), 3000u);
    EXPECT_EQ(GetPixRowBytes(GetGWorldPixMap(wide.mGWorld.mGWorld)), 3000);

    p3dtest::LogCapture log;
    BitmapContext narrow;
    const bool fOk = narrow.Construct(640, 480, BitmapContext::BitmapType_Device_ARGB, 1000);
    const std::string text = log.text();
    EXPECT_TRUE(fOk);
    EXPECT_EQ(narrow.mImageRowBytes, 2560u);
    EXPECT_TRUE(Reported(text, "inUseRowBytes>=mImageRowBytes", "Construct")) << text;
}

TEST(BitmapContext, EveryTypeHasItsChannelsAndPortFormat)
{
    struct Case
    {
        BitmapContext::BitmapType type;
        UInt32 channels, info, format, rowBytes;
    };
    const Case cases[] = {
        {BitmapContext::BitmapType_Device_Gray, 1, 0, 40, 7},
        {BitmapContext::BitmapType_Device_ARGB, 4, 2, 32, 28},
        {BitmapContext::BitmapType_Device_XRGB, 4, 6, 32, 28},
        {BitmapContext::BitmapType_Device_RGBX, 4, 5, FourCC("RGBA"), 28},
    };
    for (const Case& c : cases) {
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(7, 3, c.type, 0)) << c.type;
        EXPECT_EQ(bitmap.mImageChannels, c.channels);
        EXPECT_EQ(bitmap.mImageBitsPerPixel, 8 * c.channels);
        EXPECT_EQ(bitmap.mImageBitmapInfo, c.info);
        EXPECT_EQ(bitmap.mImageRowBytes, c.rowBytes);
        EXPECT_EQ(bitmap.mGWorld.GetPixelFormat(), c.format);
        EXPECT_EQ(CGColorSpaceGetNumberOfComponents(bitmap.mImageColorspace),
                  c.channels == 1 ? 1u : 3u);
        CGImageRef image = bitmap.ConstructCGImage();
        EXPECT_NE(image, nullptr);
        CGImageRelease(image);
    }
}

TEST(BitmapContext, TypesOutsideTheTableAllocateNothing)
{
    for (int type : {0, 5, -1}) {
        CountingBitmap bitmap;
        EXPECT_FALSE(bitmap.Construct(64, 32, BitmapContext::BitmapType(type), 0));
        EXPECT_EQ(bitmap.creates, 0);
        EXPECT_EQ(bitmap.mImageColorspace, nullptr);
        EXPECT_FALSE(bitmap.IsConstructed());
        EXPECT_EQ(bitmap.mImageWidth, 64u);
        EXPECT_EQ(bitmap.mImageHeight, 32u);
        EXPECT_EQ(bitmap.GetImageType(), type);
    }
}

TEST(BitmapContext, FailedConstructGivesEverythingBack)
{
    {
        p3dtest::LogCapture log;
        CountingBitmap bitmap;
        bitmap.refuseMemory = true;
        EXPECT_FALSE(bitmap.Construct(16, 8, BitmapContext::BitmapType_Device_ARGB, 0));
        const std::string text = log.text();
        EXPECT_EQ(bitmap.lastSize, 16u * 4 * 8);
        EXPECT_TRUE(
            Reported(text, "mImageDataBytes = CreateImageData(mImageDataSize)", "Construct"))
            << text;
        EXPECT_FALSE(bitmap.IsConstructed());
        EXPECT_EQ(bitmap.mImageColorspace, nullptr);
    }
    {
        // Too wide for a bitmap context, small enough to allocate.
        p3dtest::LogCapture log;
        CountingBitmap bitmap;
        EXPECT_FALSE(bitmap.Construct(40000, 1, BitmapContext::BitmapType_Device_Gray, 0));
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text,
                             "newContextRef = ::CGBitmapContextCreate(mImageDataBytes, "
                             "mImageWidth, mImageHeight, kImageBitsPerComponent, mImageRowBytes, "
                             "mImageColorspace, mImageBitmapInfo )",
                             "Construct"))
            << text;
        EXPECT_EQ(bitmap.creates, 1);
        EXPECT_EQ(bitmap.deletes, 1);
        EXPECT_EQ(bitmap.mImageDataBytes, nullptr);
        EXPECT_EQ(bitmap.mContext, nullptr);
        EXPECT_EQ(bitmap.mImageColorspace, nullptr);
    }
    {
        p3dtest::LogCapture log;
        CountingBitmap bitmap;
        bitmap.refuseGWorld = true;
        EXPECT_FALSE(bitmap.Construct(16, 8, BitmapContext::BitmapType_Device_ARGB, 0));
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text, "ConstructGWorld()", "Construct")) << text;
        EXPECT_TRUE(Reported(text, "fOk = VERIFIED(ConstructGWorld())", "Construct")) << text;
        EXPECT_LT(text.find(" code : ConstructGWorld()"), text.find("fOk = VERIFIED"));
        EXPECT_FALSE(bitmap.IsConstructed());
        EXPECT_EQ(bitmap.deletes, 1);
        EXPECT_EQ(bitmap.mContext, nullptr);
        EXPECT_EQ(bitmap.mImageDataBytes, nullptr);
        // And the bitmap can be built again afterwards.
        bitmap.refuseGWorld = false;
        EXPECT_TRUE(bitmap.Construct(16, 8, BitmapContext::BitmapType_Device_ARGB, 0));
    }
}

TEST(BitmapContext, PortSizeThatDoesNotFitSixteenBitsFailsTheAlias)
{
    p3dtest::LogCapture log;
    BitmapContext bitmap;
    EXPECT_FALSE(bitmap.Construct(32768, 1, BitmapContext::BitmapType_Device_Gray, 0));
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text,
                         "mGWorld.ConstructAlias((char*)mImageDataBytes, mImageRowBytes, "
                         "QPoint(mImageWidth,mImageHeight), pixelFormat)",
                         "ConstructGWorld"))
        << text;
    EXPECT_FALSE(bitmap.IsConstructed());
}

TEST(BitmapContext, BadSizesNeverReachAnAllocation)
{
    struct Case
    {
        int width, height;
        unsigned long rowBytes;
    };
    const Case cases[] = {{0, 10, 0},         {10, 0, 0},          {-5, 10, 0},         {10, -5, 0},
                          {0x7fffffff, 2, 0}, {10, 10, 1ul << 33}, {1000, 70000, 70000}};
    for (const Case& c : cases) {
        p3dtest::LogCapture log;
        CountingBitmap bitmap;
        EXPECT_FALSE(
            bitmap.Construct(c.width, c.height, BitmapContext::BitmapType_Device_ARGB, c.rowBytes))
            << c.width << " x " << c.height;
        EXPECT_EQ(bitmap.creates, 0) << c.width << " x " << c.height;
        EXPECT_EQ(bitmap.mImageColorspace, nullptr);
        EXPECT_TRUE(Reported(log.text(), "fSizeOk", "Construct"));
    }
}

TEST(BitmapContext, ImagesSeeLaterDrawing)
{
    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(5, 3, BitmapContext::BitmapType_Device_ARGB, 24));
    CGContextClearRect(bitmap.mContext, CGRectMake(0, 0, 5, 3));
    CGImageRef image = bitmap.ConstructCGImage();
    ASSERT_NE(image, nullptr);
    CGContextSetRGBFillColor(bitmap.mContext, 0, 0, 1, 1);
    CGContextFillRect(bitmap.mContext, CGRectMake(0, 0, 5, 3));

    // Drawn after the fill, the image shows blue, not the cleared pixels it was made over.
    std::vector<uint8_t> target(5 * 3 * 4, 0);
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGContextRef other =
        CGBitmapContextCreate(target.data(), 5, 3, 8, 20, rgb, kCGImageAlphaPremultipliedFirst);
    CGContextDrawImage(other, CGRectMake(0, 0, 5, 3), image);
    for (size_t i = 0; i < target.size(); i += 4) {
        EXPECT_EQ(target[i], 255);
        EXPECT_EQ(target[i + 3], 255);
        EXPECT_EQ(target[i + 1], 0);
    }
    CGContextRelease(other);
    CGColorSpaceRelease(rgb);
    CGImageRelease(image);
}

TEST(BitmapContext, DrawScalesIntoAnotherContextAndReportsItsFailures)
{
    BitmapContext source;
    ASSERT_TRUE(source.Construct(4, 2, BitmapContext::BitmapType_Device_ARGB, 0));
    CGContextSetRGBFillColor(source.mContext, 1, 0, 0, 1);
    CGContextFillRect(source.mContext, CGRectMake(0, 0, 4, 2));
    BitmapContext target;
    ASSERT_TRUE(target.Construct(8, 8, BitmapContext::BitmapType_Device_ARGB, 0));
    CGContextClearRect(target.mContext, CGRectMake(0, 0, 8, 8));
    source.Draw(target.mContext, CGRectMake(0, 0, 8, 4)); // stretched, the lower half
    for (UInt32 row = 0; row < 8; ++row) {
        const uint8_t* p = target.mImageDataBytes + row * target.mImageRowBytes;
        EXPECT_EQ(p[0], row >= 4 ? 255 : 0) << row;
        EXPECT_EQ(p[1], row >= 4 ? 255 : 0) << row;
        EXPECT_EQ(p[7 * 4 + 1], row >= 4 ? 255 : 0) << row;
    }

    const std::vector<uint8_t> before(target.mImageDataBytes,
                                      target.mImageDataBytes + target.mImageDataSize);
    p3dtest::LogCapture log;
    BitmapContext empty;
    empty.Draw(target.mContext, CGRectMake(0, 0, 8, 8));
    source.Draw(nullptr, CGRectMake(0, 0, 8, 8));
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text, "IsConstructed()", "Draw")) << text;
    EXPECT_TRUE(Reported(text, "inContext", "Draw")) << text;
    EXPECT_EQ(std::memcmp(before.data(), target.mImageDataBytes, before.size()), 0);
}

TEST(BitmapContext, DestructReturnsToEmptyAndIsHarmlessTwice)
{
    CountingBitmap bitmap;
    bitmap.Destruct();
    EXPECT_FALSE(bitmap.IsConstructed());
    ASSERT_TRUE(bitmap.Construct(9, 9, BitmapContext::BitmapType_Device_Gray, 12));
    bitmap.Destruct();
    bitmap.Destruct();
    EXPECT_EQ(bitmap.deletes, 1);
    EXPECT_FALSE(bitmap.IsConstructed());
    EXPECT_EQ(bitmap.mContext, nullptr);
    EXPECT_EQ(bitmap.mGWorld.mGWorld, nullptr);
    EXPECT_EQ(bitmap.mImageColorspace, nullptr);
    EXPECT_EQ(bitmap.mImageDataBytes, nullptr);
    EXPECT_EQ(bitmap.GetImageType(), 0);
    EXPECT_EQ(bitmap.mImageWidth + bitmap.mImageHeight + bitmap.mImageRowBytes +
                  bitmap.mImageDataSize + bitmap.mImageChannels + bitmap.mImageBitsPerPixel +
                  bitmap.mImageBitmapInfo,
              0u);
    // Reused, frame after frame, without leaking the earlier memory.
    ASSERT_TRUE(bitmap.Construct(9, 9, BitmapContext::BitmapType_Device_ARGB, 0));
    ASSERT_TRUE(bitmap.Construct(3, 3, BitmapContext::BitmapType_Device_ARGB, 0));
    EXPECT_EQ(bitmap.deletes, 2);
}

} // namespace

namespace {

TEST(BitmapContext, ImageFailuresReportAndDrawNothing)
{
    p3dtest::LogCapture log;
    BitmapContext empty;
    EXPECT_EQ(empty.ConstructCGImage(), nullptr);

    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(4, 4, BitmapContext::BitmapType_Device_ARGB, 0));
    BitmapContext target;
    ASSERT_TRUE(target.Construct(4, 4, BitmapContext::BitmapType_Device_ARGB, 0));
    CGContextClearRect(target.mContext, CGRectMake(0, 0, 4, 4));
    bitmap.mImageBitsPerPixel = 24; // a layout no image takes
    EXPECT_EQ(bitmap.ConstructCGImage(), nullptr);
    bitmap.Draw(target.mContext, CGRectMake(0, 0, 4, 4));
    bitmap.mImageBitsPerPixel = 32;
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text,
                         "dataProvider=::CGDataProviderCreateWithData(refcon_unused, "
                         "mImageDataBytes, mImageDataSize, NULL)",
                         "ConstructCGImage"))
        << text;
    EXPECT_TRUE(Reported(text,
                         "imageRef = CGImageCreate(mImageWidth, mImageHeight, "
                         "kImageBitsPerComponent, mImageBitsPerPixel, mImageRowBytes, "
                         "mImageColorspace, mImageBitmapInfo, dataProvider, NULL, "
                         "fShouldInterpolate, renderingIntent)",
                         "ConstructCGImage"))
        << text;
    EXPECT_TRUE(Reported(text, "tempImageRef", "Draw")) << text;
    for (UInt32 i = 0; i < target.mImageDataSize; ++i)
        ASSERT_EQ(target.mImageDataBytes[i], 0) << i;
}

} // namespace
