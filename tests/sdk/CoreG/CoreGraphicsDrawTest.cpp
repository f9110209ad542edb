// The Core Graphics subset: object rules, refusals, and pixels of fill, clear and scaled image
// drawing against a per-pixel reference in doubles. The reference decides coverage by pixel
// centres, a formulation independent of the edge rounding in the drawing code; test rectangles
// keep their edges off exact half pixels, where the two may differ by design.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "CoreFoundation.h"
#include "CoreGraphics.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

enum class Kind { kGray, kARGB, kXRGB, kRGBX };

size_t BytesOf(Kind kind)
{
    return kind == Kind::kGray ? 1 : 4;
}

CGBitmapInfo InfoOf(Kind kind)
{
    switch (kind) {
    case Kind::kGray:
        return kCGImageAlphaNone;
    case Kind::kARGB:
        return kCGImageAlphaPremultipliedFirst;
    case Kind::kXRGB:
        return kCGImageAlphaNoneSkipFirst;
    case Kind::kRGBX:
        return kCGImageAlphaNoneSkipLast;
    }
    return 0;
}

uint32_t gSeed = 12345;
uint8_t NextByte()
{
    gSeed = gSeed * 1103515245u + 12345u;
    return uint8_t(gSeed >> 16);
}

// A bitmap over its own memory, with a guard band after the last row and pad bytes at the
// end of every row, all filled with noise that drawing must leave alone.
struct Bitmap
{
    Bitmap(Kind inKind, size_t inWidth, size_t inHeight, size_t padding)
        : kind(inKind), width(inWidth), height(inHeight),
          rowBytes(inWidth * BytesOf(inKind) + padding), bytes(rowBytes * inHeight + 64)
    {
        for (auto& b : bytes)
            b = NextByte();
        if (kind == Kind::kARGB) // keep the pixels premultiplied
            for (size_t y = 0; y < height; ++y)
                for (size_t x = 0; x < width; ++x) {
                    uint8_t* p = at(x, y);
                    for (int c = 1; c < 4; ++c)
                        p[c] = uint8_t(p[c] * p[0] / 255);
                }
        space =
            kind == Kind::kGray ? CGColorSpaceCreateDeviceGray() : CGColorSpaceCreateDeviceRGB();
        context =
            CGBitmapContextCreate(bytes.data(), width, height, 8, rowBytes, space, InfoOf(kind));
        original = bytes;
    }
    ~Bitmap()
    {
        CGContextRelease(context);
        CGColorSpaceRelease(space);
    }
    uint8_t* at(size_t x, size_t y) { return bytes.data() + y * rowBytes + x * BytesOf(kind); }
    const uint8_t* was(size_t x, size_t y) const
    {
        return original.data() + y * rowBytes + x * BytesOf(kind);
    }
    // An image over this memory (no copy).
    CGImageRef image()
    {
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, bytes.data(), rowBytes * height, nullptr);
        CGImageRef made =
            CGImageCreate(width, height, 8, 8 * BytesOf(kind), rowBytes, space, InfoOf(kind),
                          provider, nullptr, true, kCGRenderingIntentDefault);
        CGDataProviderRelease(provider);
        return made;
    }
    // Pad bytes and the guard band are as they were.
    bool outsideUntouched() const
    {
        const size_t used = width * BytesOf(kind);
        for (size_t y = 0; y < height; ++y)
            if (std::memcmp(&bytes[y * rowBytes + used], &original[y * rowBytes + used],
                            rowBytes - used) != 0)
                return false;
        return std::memcmp(&bytes[rowBytes * height], &original[rowBytes * height], 64) == 0;
    }

    Kind kind;
    size_t width, height, rowBytes;
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> original;
    CGColorSpaceRef space;
    CGContextRef context;
};

// Premultiplied colour in [0, 1].
struct Colour
{
    double a, r, g, b;
};

Colour ReadPixel(Kind kind, const uint8_t* p)
{
    switch (kind) {
    case Kind::kGray:
        return {1, p[0] / 255.0, p[0] / 255.0, p[0] / 255.0};
    case Kind::kARGB:
        return {p[0] / 255.0, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0};
    case Kind::kXRGB:
        return {1, p[1] / 255.0, p[2] / 255.0, p[3] / 255.0};
    case Kind::kRGBX:
        return {1, p[0] / 255.0, p[1] / 255.0, p[2] / 255.0};
    }
    return {};
}

// Source-over of s onto the destination pixel as it was, into expected bytes.
void Over(Kind kind, const Colour& s, const uint8_t* d, double expected[4])
{
    const Colour dst = ReadPixel(kind, d);
    const double k = 1 - s.a;
    const double a = s.a + dst.a * k, r = s.r + dst.r * k, g = s.g + dst.g * k, b = s.b + dst.b * k;
    switch (kind) {
    case Kind::kGray:
        expected[0] = 255 * (0.299 * r + 0.587 * g + 0.114 * b);
        break;
    case Kind::kARGB:
        expected[0] = 255 * a, expected[1] = 255 * r, expected[2] = 255 * g, expected[3] = 255 * b;
        break;
    case Kind::kXRGB: // the skipped byte is left alone
        expected[0] = d[0], expected[1] = 255 * r, expected[2] = 255 * g, expected[3] = 255 * b;
        break;
    case Kind::kRGBX:
        expected[0] = 255 * r, expected[1] = 255 * g, expected[2] = 255 * b, expected[3] = d[3];
        break;
    }
}

// Whether the pixel at memory (x, row) has its centre inside the Quartz rectangle.
bool Covers(CGRect rect, size_t height, size_t x, size_t row)
{
    const double cx = x + 0.5, cy = double(height) - row - 0.5;
    return cx >= CGRectGetMinX(rect) && cx < CGRectGetMaxX(rect) && cy >= CGRectGetMinY(rect) &&
           cy < CGRectGetMaxY(rect);
}

// Counts components further than tolerance from expected; the first few are printed.
int CompareToReference(Bitmap& bitmap, CGRect rect, double tolerance,
                       const std::function<Colour(size_t, size_t)>& source)
{
    int misses = 0;
    for (size_t row = 0; row < bitmap.height; ++row)
        for (size_t x = 0; x < bitmap.width; ++x) {
            const uint8_t* now = bitmap.at(x, row);
            const uint8_t* was = bitmap.was(x, row);
            double expected[4];
            if (Covers(rect, bitmap.height, x, row))
                Over(bitmap.kind, source(x, row), was, expected);
            else
                for (size_t c = 0; c < BytesOf(bitmap.kind); ++c)
                    expected[c] = was[c];
            for (size_t c = 0; c < BytesOf(bitmap.kind); ++c)
                if (std::fabs(now[c] - expected[c]) > tolerance && misses++ < 5)
                    ADD_FAILURE() << "pixel (" << x << ", row " << row << ") byte " << c << ": "
                                  << int(now[c]) << ", expected " << expected[c];
        }
    return misses;
}

TEST(CGGeometry, IntersectionUnionAndEmptiness)
{
    const CGRect a = CGRectMake(0, 0, 10, 10);
    const CGRect b = CGRectMake(5, -5, 10, 10);
    EXPECT_TRUE(CGRectEqualToRect(CGRectIntersection(a, b), CGRectMake(5, 0, 5, 5)));
    EXPECT_TRUE(CGRectEqualToRect(CGRectUnion(a, b), CGRectMake(0, -5, 15, 15)));
    // Negative sizes measure from the other edge.
    EXPECT_TRUE(CGRectEqualToRect(CGRectIntersection(a, CGRectMake(10, 10, -4, -4)),
                                  CGRectMake(6, 6, 4, 4)));
    EXPECT_EQ(CGRectGetMinX(CGRectMake(10, 0, -4, 1)), 6);
    EXPECT_EQ(CGRectGetWidth(CGRectMake(10, 0, -4, 1)), 4);
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(a, CGRectMake(20, 20, 1, 1))));
    EXPECT_TRUE(CGRectIsEmpty(CGRectIntersection(a, CGRectMake(20, 20, 1, 1))));
    EXPECT_TRUE(CGRectIsEmpty(CGRectZero));
    EXPECT_TRUE(CGRectIsEmpty(CGRectMake(0, 0, kNaN, 1)));
    EXPECT_FALSE(CGRectIsEmpty(CGRectMake(0, 0, -1, 1)));
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(a, CGRectMake(kNaN, 0, 1, 1))));
    EXPECT_TRUE(CGRectEqualToRect(CGRectUnion(CGRectNull, b), b));
    EXPECT_EQ(CGRectGetMaxY(CGRectMake(1, 2, 3, 4)), 6);
    EXPECT_EQ(CGRectGetHeight(CGRectMake(1, 2, 3, 4)), 4);
}

TEST(CGObjects, TypesCountsAndProviderRelease)
{
    CGColorSpaceRef grey = CGColorSpaceCreateDeviceGray();
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    EXPECT_EQ(CGColorSpaceGetNumberOfComponents(grey), 1u);
    EXPECT_EQ(CGColorSpaceGetNumberOfComponents(rgb), 3u);
    EXPECT_EQ(CGColorSpaceGetNumberOfComponents(nullptr), 0u);
    EXPECT_EQ(CFGetTypeID(rgb), CGColorSpaceGetTypeID());
    CFRetain(rgb);
    EXPECT_EQ(CFGetRetainCount(rgb), 2);
    CFRelease(rgb);

    static int released = 0;
    static const void* releasedData = nullptr;
    uint8_t pixels[4 * 3 * 2] = {};
    CGDataProviderRef provider = CGDataProviderCreateWithData(
        &released, pixels, sizeof pixels, [](void* info, const void* data, size_t size) {
            ++*static_cast<int*>(info);
            releasedData = data;
            EXPECT_EQ(size, 24u);
        });
    ASSERT_NE(provider, nullptr);
    CGImageRef image = CGImageCreate(3, 2, 8, 32, 12, rgb, kCGImageAlphaPremultipliedFirst,
                                     provider, nullptr, false, kCGRenderingIntentDefault);
    ASSERT_NE(image, nullptr);
    CGDataProviderRelease(provider);
    EXPECT_EQ(released, 0); // the image keeps it
    EXPECT_EQ(CGImageGetWidth(image), 3u);
    EXPECT_EQ(CGImageGetHeight(image), 2u);
    EXPECT_EQ(CGImageGetBytesPerRow(image), 12u);
    EXPECT_EQ(CGImageGetBitmapInfo(image), CGBitmapInfo(kCGImageAlphaPremultipliedFirst));
    EXPECT_EQ(CGImageGetPixelBase(image), pixels);
    EXPECT_FALSE(CGImageGetShouldInterpolate(image));
    EXPECT_EQ(CFGetTypeID(image), CGImageGetTypeID());
    CFStringRef description = CFCopyDescription(image);
    char text[128] = {};
    ASSERT_TRUE(CFStringGetCString(description, text, sizeof text, kCFStringEncodingUTF8));
    EXPECT_EQ(std::string(text).rfind("<CGImage 0x", 0), 0u) << text;
    EXPECT_NE(std::string(text).find("3 x 2"), std::string::npos) << text;
    CFRelease(description);
    for (CFTypeID id : {CGColorSpaceGetTypeID(), CGDataProviderGetTypeID(), CGImageGetTypeID(),
                        CGContextGetTypeID()}) {
        CFStringRef name = CFCopyTypeIDDescription(id);
        EXPECT_NE(name, nullptr) << id;
        EXPECT_NE(id, CFStringGetTypeID());
        CFRelease(name);
    }
    CGImageRelease(image);
    EXPECT_EQ(released, 1);
    EXPECT_EQ(releasedData, pixels);

    // Wrong types through the getters answer nothing rather than misreading.
    EXPECT_EQ(CGImageGetWidth(reinterpret_cast<CGImageRef>(rgb)), 0u);
    EXPECT_EQ(CGBitmapContextGetData(reinterpret_cast<CGContextRef>(rgb)), nullptr);
    CGColorSpaceRelease(grey);
    CGColorSpaceRelease(rgb);
}

TEST(CGObjects, RefusedBitmapContextsAndImages)
{
    CGColorSpaceRef grey = CGColorSpaceCreateDeviceGray();
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    std::vector<uint8_t> memory(64 * 64 * 4);
    void* data = memory.data();
    const CGBitmapInfo argb = kCGImageAlphaPremultipliedFirst;

    struct Case
    {
        const char* what;
        void* data;
        size_t w, h, bpc, rowBytes;
        CGColorSpaceRef space;
        CGBitmapInfo info;
    };
    const Case refused[] = {
        {"null data", nullptr, 8, 8, 8, 0, rgb, argb},
        {"zero width", data, 0, 8, 8, 0, rgb, argb},
        {"zero height", data, 8, 0, 8, 0, rgb, argb},
        {"enormous width", data, size_t(1) << 40, 1, 8, 0, rgb, argb},
        {"16 bits", data, 8, 8, 16, 0, rgb, argb},
        {"byte order", data, 8, 8, 8, 0, rgb, argb | kCGBitmapByteOrder32Little},
        {"float", data, 8, 8, 8, 0, rgb, argb | kCGBitmapFloatComponents},
        {"alpha last", data, 8, 8, 8, 0, rgb, kCGImageAlphaPremultipliedLast},
        {"no alpha rgb", data, 8, 8, 8, 0, rgb, kCGImageAlphaNone},
        {"grey with alpha", data, 8, 8, 8, 0, grey, argb},
        {"null space", data, 8, 8, 8, 0, nullptr, argb},
        {"narrow rows", data, 8, 8, 8, 31, rgb, argb},
        {"enormous rows", data, 8, 8, 8, size_t(1) << 62, rgb, argb},
    };
    for (const Case& c : refused)
        EXPECT_EQ(CGBitmapContextCreate(c.data, c.w, c.h, c.bpc, c.rowBytes, c.space, c.info),
                  nullptr)
            << c.what;

    CGContextRef packed = CGBitmapContextCreate(data, 7, 5, 8, 0, rgb, kCGImageAlphaNoneSkipLast);
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(packed), 28u);
    EXPECT_EQ(CGBitmapContextGetWidth(packed), 7u);
    EXPECT_EQ(CGBitmapContextGetHeight(packed), 5u);
    EXPECT_EQ(CGBitmapContextGetData(packed), data);
    EXPECT_EQ(CGBitmapContextGetBitsPerPixel(packed), 32u);
    CGContextRelease(packed);
    CGContextRef grey8 = CGBitmapContextCreate(data, 7, 5, 8, 9, grey, kCGImageAlphaNone);
    ASSERT_NE(grey8, nullptr);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(grey8), 9u);
    CGContextRelease(grey8);

    // Images: a provider shorter than its rows, a decode array, odd layouts.
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, data, 4 * 8 * 7 + 31, nullptr);
    const CGFloat decode[8] = {};
    EXPECT_EQ(CGImageCreate(8, 8, 8, 32, 32, rgb, argb, provider, nullptr, true,
                            kCGRenderingIntentDefault),
              nullptr);
    EXPECT_EQ(CGImageCreate(8, 7, 8, 32, 32, rgb, argb, provider, decode, true,
                            kCGRenderingIntentDefault),
              nullptr);
    EXPECT_EQ(CGImageCreate(8, 7, 8, 24, 32, rgb, argb, provider, nullptr, true,
                            kCGRenderingIntentDefault),
              nullptr);
    EXPECT_EQ(CGImageCreate(8, 7, 8, 32, 31, rgb, argb, provider, nullptr, true,
                            kCGRenderingIntentDefault),
              nullptr);
    EXPECT_EQ(CGImageCreate(8, 7, 8, 32, 32, rgb, argb, nullptr, nullptr, true,
                            kCGRenderingIntentDefault),
              nullptr);
    // Seven rows fit: the last row needs no padding after it.
    CGImageRef seven = CGImageCreate(8, 7, 8, 32, 32, rgb, argb, provider, nullptr, true,
                                     kCGRenderingIntentDefault);
    EXPECT_NE(seven, nullptr);
    CGImageRelease(seven);
    CGDataProviderRelease(provider);
    EXPECT_EQ(CGDataProviderCreateWithData(nullptr, nullptr, 4, nullptr), nullptr);
    EXPECT_EQ(CGDataProviderCreateWithData(nullptr, data, 0, nullptr), nullptr);

    // Nothing of this crashes on null.
    CGContextFillRect(nullptr, CGRectMake(0, 0, 1, 1));
    CGContextClearRect(nullptr, CGRectMake(0, 0, 1, 1));
    CGContextDrawImage(nullptr, CGRectMake(0, 0, 1, 1), nullptr);
    CGContextSetAlpha(nullptr, 1);
    CGContextSetRGBFillColor(nullptr, 1, 1, 1, 1);
    CGImageRelease(nullptr);
    CGContextRelease(nullptr);
    EXPECT_EQ(CGImageCreateCopy(nullptr), nullptr);
    CGColorSpaceRelease(grey);
    CGColorSpaceRelease(rgb);
}

TEST(CGDraw, FillBlendsOverEveryLayoutWithGlobalAlphaAndClips)
{
    // Odd sizes, padded rows, rectangles partly outside and fractional edges.
    const CGRect rects[] = {CGRectMake(-4.3, 2.2, 12.6, 30.1), CGRectMake(3.7, -2.4, 50, 6.3),
                            CGRectMake(20.2, 16.1, -9.4, -7.7)};
    for (Kind kind : {Kind::kARGB, Kind::kXRGB, Kind::kRGBX, Kind::kGray})
        for (const CGRect& rect : rects) {
            Bitmap bitmap(kind, 23, 17, 5);
            ASSERT_NE(bitmap.context, nullptr);
            CGContextSetRGBFillColor(bitmap.context, 0.9, 0.25, 0.6, 0.7);
            CGContextSetAlpha(bitmap.context, 0.5);
            CGContextFillRect(bitmap.context, rect);
            const double a = 0.7 * 0.5;
            // Two roundings of at most half a step each, plus 8-bit alpha.
            EXPECT_EQ(CompareToReference(bitmap, rect, 1.5,
                                         [&](size_t, size_t) {
                                             return Colour{a, 0.9 * a, 0.25 * a, 0.6 * a};
                                         }),
                      0)
                << "layout " << int(kind);
            EXPECT_TRUE(bitmap.outsideUntouched());
        }
}

TEST(CGDraw, OpaqueFillAndClearAndOutOfRangeColours)
{
    Bitmap bitmap(Kind::kARGB, 9, 7, 0);
    CGContextSetGrayFillColor(bitmap.context, 2.0, kNaN); // clamps to white, alpha 0
    CGContextFillRect(bitmap.context, CGRectMake(0, 0, 9, 7));
    EXPECT_EQ(bitmap.bytes, bitmap.original);

    CGContextSetGrayFillColor(bitmap.context, 2.0, 1);
    CGContextFillRect(bitmap.context, CGRectMake(1, 1, 3, 2));       // rows 4 and 5, columns 1..3
    CGContextClearRect(bitmap.context, CGRectMake(3, -10, 100, 12)); // rows 5 and 6 from x 3
    for (size_t row = 0; row < 7; ++row)
        for (size_t x = 0; x < 9; ++x) {
            const uint8_t* p = bitmap.at(x, row);
            const uint32_t value = uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
            const uint8_t* w = bitmap.was(x, row);
            const uint32_t was = uint32_t(w[0]) << 24 | w[1] << 16 | w[2] << 8 | w[3];
            uint32_t expected = was;
            if ((row == 4 || row == 5) && x >= 1 && x <= 3)
                expected = 0xFFFFFFFF;
            if ((row == 5 || row == 6) && x >= 3)
                expected = 0;
            EXPECT_EQ(value, expected) << "pixel " << x << ", row " << row;
        }
}

TEST(CGDraw, BadRectanglesDrawNothingOrClipToTheBitmap)
{
    Bitmap bitmap(Kind::kARGB, 6, 4, 8);
    CGContextSetRGBFillColor(bitmap.context, 1, 0, 0, 1);
    for (const CGRect& rect : {CGRectMake(kNaN, 0, 3, 3), CGRectMake(0, 0, kNaN, 3),
                               CGRectMake(0, 0, 0, 3), CGRectMake(100, 100, 3, 3),
                               CGRectMake(-100, 0, 50, 3), CGRectNull, CGRectMake(0, 0, 0.3, 0.3)})
        CGContextFillRect(bitmap.context, rect);
    EXPECT_EQ(bitmap.bytes, bitmap.original);
    // Infinite and enormous rectangles cover the whole bitmap and nothing beyond it.
    CGContextFillRect(bitmap.context, CGRectMake(-1e300, -1e300, kInf, kInf));
    for (size_t row = 0; row < 4; ++row)
        for (size_t x = 0; x < 6; ++x)
            EXPECT_EQ(bitmap.at(x, row)[1], 255);
    EXPECT_TRUE(bitmap.outsideUntouched());

    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    uint32_t pixels[6] = {};
    CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, pixels, 24, nullptr);
    CGImageRef image = CGImageCreate(3, 2, 8, 32, 12, rgb, kCGImageAlphaNoneSkipFirst, provider,
                                     nullptr, true, kCGRenderingIntentDefault);
    Bitmap target(Kind::kRGBX, 5, 5, 3);
    for (const CGRect& rect : {CGRectMake(kNaN, 0, 3, 3), CGRectMake(-1e300, -1e300, 2e300, 2e300),
                               CGRectMake(4.9, 4.9, 1e-9, 1e-9), CGRectMake(-3, -3, 1e9, 2)}) {
        CGContextDrawImage(target.context, rect, image);
        EXPECT_TRUE(target.outsideUntouched());
    }
    CGContextSetAlpha(target.context, 0);
    target.original = target.bytes;
    CGContextDrawImage(target.context, CGRectMake(0, 0, 5, 5), image);
    EXPECT_EQ(target.bytes, target.original);
    CGImageRelease(image);
    CGDataProviderRelease(provider);
    CGColorSpaceRelease(rgb);
}

// A source with distinct, premultiplied pixels of every kind of alpha.
std::vector<uint8_t> Source(size_t width, size_t height, size_t rowBytes, bool smooth)
{
    std::vector<uint8_t> bytes(rowBytes * height, 0xEE);
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x) {
            uint8_t* p = &bytes[y * rowBytes + x * 4];
            if (smooth) {
                p[0] = 255;
                p[1] = uint8_t(x * 255 / (width - 1));
                p[2] = uint8_t(y * 255 / (height - 1));
                p[3] = uint8_t((x + y) * 255 / (width + height - 2));
            } else {
                const uint8_t alphas[] = {255, 0, 128, 255, 30, 255, 200};
                p[0] = alphas[(x + 3 * y) % 7];
                p[1] = uint8_t((x * 37 + y * 11) % 256 * p[0] / 255);
                p[2] = uint8_t((x * 5 + y * 71) % 256 * p[0] / 255);
                p[3] = uint8_t((x * 101 + y * 3) % 256 * p[0] / 255);
            }
        }
    return bytes;
}

struct SourceImage
{
    SourceImage(size_t inWidth, size_t inHeight, bool smooth)
        : width(inWidth), height(inHeight), rowBytes(inWidth * 4 + 8),
          bytes(Source(width, height, rowBytes, smooth))
    {
        CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, bytes.data(), bytes.size(), nullptr);
        image = CGImageCreate(width, height, 8, 32, rowBytes, rgb, kCGImageAlphaPremultipliedFirst,
                              provider, nullptr, true, kCGRenderingIntentDefault);
        CGDataProviderRelease(provider);
        CGColorSpaceRelease(rgb);
    }
    ~SourceImage() { CGImageRelease(image); }
    Colour pixel(long x, long y) const
    {
        x = std::clamp(x, 0L, long(width) - 1);
        y = std::clamp(y, 0L, long(height) - 1);
        return ReadPixel(Kind::kARGB, &bytes[y * rowBytes + x * 4]);
    }
    size_t width, height, rowBytes;
    std::vector<uint8_t> bytes;
    CGImageRef image;
};

Colour Scale(const Colour& c, double k)
{
    return {c.a * k, c.r * k, c.g * k, c.b * k};
}

TEST(CGDraw, NearestScalingPlacesTheImageUprightAndBlendsWithGlobalAlpha)
{
    SourceImage source(7, 5, false);
    // Enlarged, shrunk, partly outside on every side.
    const CGRect rects[] = {CGRectMake(2, 3, 19, 13), CGRectMake(-6, -4, 40, 31),
                            CGRectMake(5, 1, 4, 3), CGRectMake(-3, 9, 11, 23)};
    for (const CGRect& rect : rects) {
        Bitmap bitmap(Kind::kARGB, 29, 21, 12);
        CGContextSetInterpolationQuality(bitmap.context, kCGInterpolationNone);
        CGContextSetAlpha(bitmap.context, 0.75);
        CGContextDrawImage(bitmap.context, rect, source.image);
        // Nearest source pixel of a destination pixel: its centre mapped into the image, whose
        // top row lies at the rectangle's top (max y). Where that centre falls within a hair of
        // a source pixel boundary either neighbour is accepted.
        int misses = 0;
        for (size_t row = 0; row < bitmap.height; ++row)
            for (size_t x = 0; x < bitmap.width; ++x) {
                if (!Covers(rect, bitmap.height, x, row)) {
                    misses += std::memcmp(bitmap.at(x, row), bitmap.was(x, row), 4) != 0;
                    continue;
                }
                const double u = (x + 0.5 - rect.origin.x) * source.width / rect.size.width;
                const double topY = rect.origin.y + rect.size.height;
                const double v =
                    (topY - (double(bitmap.height) - row - 0.5)) * source.height / rect.size.height;
                bool matched = false;
                for (double du : {0.0, -1e-3, 1e-3})
                    for (double dv : {0.0, -1e-3, 1e-3}) {
                        double expected[4];
                        Over(Kind::kARGB,
                             Scale(source.pixel(long(std::floor(u + du)), long(std::floor(v + dv))),
                                   0.75),
                             bitmap.was(x, row), expected);
                        bool same = true;
                        for (int c = 0; c < 4; ++c)
                            same = same && std::fabs(bitmap.at(x, row)[c] - expected[c]) <= 1.5;
                        matched = matched || same;
                    }
                if (!matched && misses++ < 5)
                    ADD_FAILURE() << "pixel " << x << ", row " << row;
            }
        EXPECT_EQ(misses, 0) << "rect " << rect.origin.x << ", " << rect.origin.y;
        EXPECT_TRUE(bitmap.outsideUntouched());
    }
}

TEST(CGDraw, BilinearScalingFollowsTheSamplingGrid)
{
    // Shrinking samples at centres, (i + 0.5) * s / d - 0.5; enlarging maps corner pixel to
    // corner pixel, i * (s - 1) / (d - 1). A smooth opaque source keeps fixed-point rounding
    // within two steps.
    struct Case
    {
        size_t sw, sh;
        CGRect rect;
    };
    const Case cases[] = {{64, 48, CGRectMake(3, 2, 25, 17)},
                          {64, 48, CGRectMake(-5, 10, 32, 24)},
                          {9, 7, CGRectMake(1, 2, 26, 15)}};
    for (const Case& test : cases) {
        SourceImage source(test.sw, test.sh, true);
        Bitmap bitmap(Kind::kARGB, 31, 23, 4);
        CGContextSetInterpolationQuality(bitmap.context, kCGInterpolationHigh);
        CGContextDrawImage(bitmap.context, test.rect, source.image);
        const double dw = test.rect.size.width, dh = test.rect.size.height;
        const auto at = [&](size_t i, double s, double d) {
            return d <= s ? (i + 0.5) * s / d - 0.5 : i * (s - 1) / (d - 1);
        };
        EXPECT_EQ(CompareToReference(bitmap, test.rect, 2.0,
                                     [&](size_t x, size_t row) {
                                         const size_t i = size_t(x - test.rect.origin.x);
                                         const size_t j =
                                             size_t(double(row) - (double(bitmap.height) -
                                                                   test.rect.origin.y - dh));
                                         const double u = std::max(0.0, at(i, double(test.sw), dw));
                                         const double v = std::max(0.0, at(j, double(test.sh), dh));
                                         const long x0 = long(u), y0 = long(v);
                                         const double fx = u - x0, fy = v - y0;
                                         const Colour p00 = source.pixel(x0, y0),
                                                      p10 = source.pixel(x0 + 1, y0);
                                         const Colour p01 = source.pixel(x0, y0 + 1);
                                         const Colour p11 = source.pixel(x0 + 1, y0 + 1);
                                         const auto mix = [&](double Colour::*m) {
                                             return (1 - fy) * ((1 - fx) * p00.*m + fx * p10.*m) +
                                                    fy * ((1 - fx) * p01.*m + fx * p11.*m);
                                         };
                                         return Colour{mix(&Colour::a), mix(&Colour::r),
                                                       mix(&Colour::g), mix(&Colour::b)};
                                     }),
                  0)
            << test.sw << "x" << test.sh << " into " << dw << "x" << dh;
        EXPECT_TRUE(bitmap.outsideUntouched());
    }
}

TEST(CGDraw, QuartzPlacementIsYUp)
{
    // A 1 x 2 image, red on top, blue below, into the bottom-left 2 x 2 of a 4 x 4 bitmap.
    uint8_t pixels[8] = {255, 255, 0, 0, 255, 0, 0, 255};
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, pixels, 8, nullptr);
    CGImageRef image = CGImageCreate(1, 2, 8, 32, 4, rgb, kCGImageAlphaPremultipliedFirst, provider,
                                     nullptr, true, kCGRenderingIntentDefault);
    uint32_t memory[16] = {};
    CGContextRef context =
        CGBitmapContextCreate(memory, 4, 4, 8, 16, rgb, kCGImageAlphaPremultipliedFirst);
    CGContextSetInterpolationQuality(context, kCGInterpolationNone);
    CGContextDrawImage(context, CGRectMake(0, 0, 2, 2), image);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(memory);
    for (size_t row = 0; row < 4; ++row)
        for (size_t x = 0; x < 4; ++x) {
            const uint8_t* p = bytes + row * 16 + x * 4;
            const char* what = row < 2 || x >= 2 ? "empty" : row == 2 ? "red" : "blue";
            EXPECT_EQ(p[0], std::strcmp(what, "empty") ? 255 : 0) << x << ", " << row;
            EXPECT_EQ(p[1], std::strcmp(what, "red") ? 0 : 255) << x << ", " << row;
            EXPECT_EQ(p[3], std::strcmp(what, "blue") ? 0 : 255) << x << ", " << row;
        }
    CGContextRelease(context);
    CGImageRelease(image);
    CGDataProviderRelease(provider);
    CGColorSpaceRelease(rgb);
}

TEST(CGDraw, LayoutsConvertBetweenGreyAndColour)
{
    // Grey image into a colour bitmap: R = G = B = grey, opaque.
    uint8_t grey[3 * 2 + 2] = {0, 100, 255, 9, 9, 10, 20, 30};
    CGColorSpaceRef greySpace = CGColorSpaceCreateDeviceGray();
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, grey, 8, nullptr);
    CGImageRef greyImage = CGImageCreate(3, 2, 8, 8, 5, greySpace, kCGImageAlphaNone, provider,
                                         nullptr, true, kCGRenderingIntentDefault);
    ASSERT_NE(greyImage, nullptr);
    Bitmap colour(Kind::kXRGB, 3, 2, 0);
    CGContextDrawImage(colour.context, CGRectMake(0, 0, 3, 2), greyImage);
    const uint8_t expected[6] = {0, 100, 255, 10, 20, 30};
    for (size_t i = 0; i < 6; ++i) {
        const uint8_t* p = colour.at(i % 3, i / 3);
        EXPECT_EQ(p[0], colour.was(i % 3, i / 3)[0]); // the skipped byte stays
        EXPECT_EQ(p[1], expected[i]);
        EXPECT_EQ(p[2], expected[i]);
        EXPECT_EQ(p[3], expected[i]);
    }

    // Colour image (R, G, B, x) into a grey bitmap: luma of the colour.
    uint8_t rgbx[8] = {255, 0, 0, 7, 40, 200, 90, 7};
    CGDataProviderRef provider2 = CGDataProviderCreateWithData(nullptr, rgbx, 8, nullptr);
    CGImageRef colourImage = CGImageCreate(2, 1, 8, 32, 8, rgb, kCGImageAlphaNoneSkipLast,
                                           provider2, nullptr, true, kCGRenderingIntentDefault);
    Bitmap greyBitmap(Kind::kGray, 2, 1, 3);
    CGContextDrawImage(greyBitmap.context, CGRectMake(0, 0, 2, 1), colourImage);
    EXPECT_NEAR(greyBitmap.at(0, 0)[0], 0.299 * 255, 1.0);
    EXPECT_NEAR(greyBitmap.at(1, 0)[0], 0.299 * 40 + 0.587 * 200 + 0.114 * 90, 1.0);
    EXPECT_TRUE(greyBitmap.outsideUntouched());

    CGImageRelease(colourImage);
    CGDataProviderRelease(provider2);
    CGImageRelease(greyImage);
    CGDataProviderRelease(provider);
    CGColorSpaceRelease(rgb);
    CGColorSpaceRelease(greySpace);
}

TEST(CGDraw, ImagesBorrowTheirPixelsAndCopiesDoNot)
{
    Bitmap bitmap(Kind::kARGB, 4, 3, 4);
    CGImageRef image = bitmap.image();
    CGImageRef copy = CGImageCreateCopy(image);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CGImageGetPixelBase(image), bitmap.bytes.data());
    EXPECT_NE(CGImageGetPixelBase(copy), bitmap.bytes.data());
    EXPECT_EQ(CGImageGetBytesPerRow(copy), bitmap.rowBytes);
    CGContextSetRGBFillColor(bitmap.context, 0, 1, 0, 1);
    CGContextFillRect(bitmap.context, CGRectMake(0, 0, 4, 3));
    const uint8_t* borrowed = static_cast<const uint8_t*>(CGImageGetPixelBase(image));
    const uint8_t* copied = static_cast<const uint8_t*>(CGImageGetPixelBase(copy));
    EXPECT_EQ(borrowed[2], 255);
    EXPECT_EQ(std::memcmp(copied, bitmap.original.data(), bitmap.rowBytes * 2 + 16), 0);
    CGImageRelease(copy);
    CGImageRelease(image);
}

TEST(CGDraw, AnImageOfTheBitmapDrawnIntoItselfReadsThePixelsBeforeTheDraw)
{
    Bitmap bitmap(Kind::kARGB, 8, 6, 4);
    // Make every pixel opaque so the draw replaces rather than blends.
    for (size_t row = 0; row < 6; ++row)
        for (size_t x = 0; x < 8; ++x)
            bitmap.at(x, row)[0] = 255;
    const std::vector<uint8_t> before = bitmap.bytes;
    CGImageRef image = bitmap.image();
    // Same size, one pixel to the right and one up.
    CGContextDrawImage(bitmap.context, CGRectMake(1, 1, 8, 6), image);
    for (size_t row = 0; row < 5; ++row)
        for (size_t x = 1; x < 8; ++x)
            EXPECT_EQ(std::memcmp(bitmap.at(x, row),
                                  &before[(row + 1) * bitmap.rowBytes + (x - 1) * 4], 4),
                      0)
                << x << ", " << row;
    CGImageRelease(image);
}

} // namespace
