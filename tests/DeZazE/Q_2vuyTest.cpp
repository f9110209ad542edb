// Q_2vuy_data: the conversion to A,R,G,B over every input on every path, where the copy into a
// bitmap puts rows and how it keeps inside both memories, and the frame operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CoreGraphicsBitmapContext.h"
#include "Q_2vuy_data.h"
#include "TestSupport.h"

namespace {

using CoreGraphics::BitmapContext;
constexpr UInt32 k2vuy = Q_2vuy_format::kFormat_2vuy;
constexpr UInt32 kYuvs = Q_2vuy_format::kFormat_yuvs;

bool Reported(const std::string& log, const std::string& code, const std::string& function)
{
    const std::string head = "VERIFY FAILED:  code : " + code + " in sdk/DeZazE/Q_2vuy_data.cpp:";
    for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        const std::string line = log.substr(at, log.find('\n', at) - at);
        if (line.size() > function.size() + 2 &&
            line.compare(line.size() - function.size() - 2, std::string::npos,
                         "(" + function + ")") == 0)
            return true;
    }
    return false;
}

// An image over bytes the test owns; every pair differs from its neighbours and rows.
struct TestImage
{
    TestImage(int width, int height, intptr_t rowBytes, UInt32 format = k2vuy)
        : bytes(size_t(height) * size_t(rowBytes))
    {
        image._width = SInt16(width);
        image._height = SInt16(height);
        image._rowBytes = rowBytes;
        image._pixelFormat = format;
        image._PixelData = bytes.data();
        image._PixelDataSize = bytes.size();
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = UInt8((i * 37 + i / size_t(rowBytes) * 11) & 0xFF);
    }
    std::vector<UInt8> bytes;
    Q_2vuy_data image;
};

std::vector<UInt8> BitmapBytes(const BitmapContext& bitmap)
{
    return std::vector<UInt8>(bitmap.mImageDataBytes,
                              bitmap.mImageDataBytes + bitmap.mImageDataSize);
}

// Row y of an image as the scalar conversion gives it.
std::vector<UInt8> ArgbRow(const Q_2vuy_data& image, int y, int width)
{
    std::vector<UInt8> row(size_t(width) * 4);
    Q_2vuy_data::ConvertScanline_to_ARGB(Q_2vuy_path::kScalar, image._pixelFormat,
                                         image._PixelData + size_t(y) * size_t(image._rowBytes),
                                         row.data(), width);
    return row;
}

int Reference(double v)
{
    const double r = std::floor(v + 0.5);
    return r < 0 ? 0 : r > 255 ? 255 : int(r);
}

TEST(Q_2vuyConvert, KnownPixels)
{
    const UInt8 pair[4] = {128, 16, 128, 235};
    UInt8 argb[8] = {};
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(pair, argb, 2);
    const UInt8 blackWhite[8] = {255, 0, 0, 0, 255, 255, 255, 255};
    EXPECT_EQ(0, std::memcmp(argb, blackWhite, 8));

    const UInt8 yuvs[4] = {16, 128, 235, 128};
    std::memset(argb, 0, 8);
    Q_2vuy_data::ConvertScanline_yuvs_to_ARGB(yuvs, argb, 2);
    EXPECT_EQ(0, std::memcmp(argb, blackWhite, 8));

    const UInt8 red[4] = {128, 235, 240, 235};
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(red, argb, 2);
    EXPECT_EQ(argb[0], 255);
    EXPECT_EQ(argb[1], 255); // 1.1643828*219 + 1.7927421*112 clamps
    EXPECT_EQ(argb[2], 195); // 255 - 0.53291017*112
    EXPECT_EQ(argb[3], 255);
}

// Every (Y', Cb, Cr): the scalar bytes within one step of the equations in double, and every
// vector path on this CPU equal to the scalar bytes, through its body and its tail.
TEST(Q_2vuyConvert, EveryInputOnEveryPath)
{
    constexpr int kPixels = 256 * 256; // one Cb: every Cr with every Y'
    std::vector<UInt8> src(size_t(kPixels) * 2), yuvs(src.size());
    std::vector<UInt8> scalar(size_t(kPixels) * 4), fast(scalar.size());
    int paths = 0;
    for (int cb = 0; cb < 256; ++cb) {
        for (int cr = 0; cr < 256; ++cr)
            for (int y = 0; y < 256; y += 2) {
                UInt8* p = &src[size_t(cr * 256 + y) * 2];
                p[0] = UInt8(cb), p[1] = UInt8(y), p[2] = UInt8(cr), p[3] = UInt8(y + 1);
            }
        ASSERT_TRUE(Q_2vuy_data::ConvertScanline_to_ARGB(Q_2vuy_path::kScalar, k2vuy, src.data(),
                                                         scalar.data(), kPixels));
        const double c = cb - 128;
        for (int cr = 0; cr < 256; ++cr) {
            const double d = cr - 128;
            for (int y = 0; y < 256; ++y) {
                const UInt8* out = &scalar[size_t(cr * 256 + y) * 4];
                const double l = 1.1643828 * (y - 16);
                const int expected[4] = {255, Reference(l + 1.7927421 * d),
                                         Reference(l - 0.21325 * c - 0.53291017 * d),
                                         Reference(l + 2.1124024 * c)};
                for (int i = 0; i < 4; ++i)
                    if (std::abs(out[i] - expected[i]) > (i == 0 ? 0 : 1))
                        FAIL() << "Y'" << y << " Cb " << cb << " Cr " << cr << " byte " << i
                               << ": " << int(out[i]) << " against " << expected[i];
            }
        }
        paths = 0;
        for (Q_2vuy_path path : {Q_2vuy_path::kAVX2, Q_2vuy_path::kAVX512}) {
            if (!Q_2vuy_data::PathSupported(path))
                continue;
            ++paths;
            // Split so that one call ends in an odd number of pairs and the next is all tail.
            constexpr int kSplit = kPixels - 6;
            std::fill(fast.begin(), fast.end(), 0);
            Q_2vuy_data::ConvertScanline_to_ARGB(path, k2vuy, src.data(), fast.data(), kSplit);
            Q_2vuy_data::ConvertScanline_to_ARGB(path, k2vuy, &src[kSplit * 2], &fast[kSplit * 4],
                                                 kPixels - kSplit);
            ASSERT_EQ(fast, scalar) << "path " << int(path) << " Cb " << cb;
            // The other byte order on a sample of Cb.
            if (cb % 15 == 0) {
                for (size_t i = 0; i < src.size(); i += 2)
                    yuvs[i] = src[i + 1], yuvs[i + 1] = src[i];
                std::fill(fast.begin(), fast.end(), 0);
                Q_2vuy_data::ConvertScanline_to_ARGB(path, kYuvs, yuvs.data(), fast.data(),
                                                     kPixels - 2);
                Q_2vuy_data::ConvertScanline_to_ARGB(path, kYuvs, &yuvs[(kPixels - 2) * 2],
                                                     &fast[(kPixels - 2) * 4], 2);
                ASSERT_EQ(fast, scalar) << "yuvs path " << int(path) << " Cb " << cb;
            }
        }
    }
    if (paths == 0)
        GTEST_SKIP() << "this CPU has no vector path; only the scalar conversion was checked";
}

TEST(Q_2vuyCopyTo, RefusesOtherBitmaps)
{
    TestImage source(16, 8, 32);
    {
        BitmapContext grey;
        ASSERT_TRUE(grey.Construct(16, 8, BitmapContext::BitmapType_Device_Gray, 0));
        std::memset(grey.mImageDataBytes, 0x33, grey.mImageDataSize);
        p3dtest::LogCapture log;
        EXPECT_FALSE(source.image.CanCopyFormat(grey));
        source.image.CopyPixelsTo(grey);
        const std::string text = log.text();
        EXPECT_EQ(BitmapBytes(grey), std::vector<UInt8>(grey.mImageDataSize, 0x33));
        EXPECT_TRUE(Reported(text,
                             "fOk = (CoreGraphics::BitmapContext::BitmapType_Device_ARGB=="
                             "in_rhs.GetImageType())",
                             "CanCopyFormat"))
            << text;
    }
    {
        BitmapContext none;
        p3dtest::LogCapture log;
        source.image.CopyPixelsTo(none);
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text, "in_rhs.IsConstructed()", "CanCopyFormat")) << text;
    }
}

// An image as tall as the bitmap fills it row for row; a shorter one lands on its bottom rows.
TEST(Q_2vuyCopyTo, RowPlacement)
{
    TestImage source(640, 480, 1280);
    for (int bitmapHeight : {480, 500}) {
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(640, bitmapHeight, BitmapContext::BitmapType_Device_ARGB, 0));
        std::memset(bitmap.mImageDataBytes, 0x5A, bitmap.mImageDataSize);
        source.image.CopyPixelsTo(bitmap);
        const int first = bitmapHeight - 480;
        for (int row = 0; row < bitmapHeight; ++row) {
            const UInt8* got = bitmap.mImageDataBytes + size_t(row) * bitmap.mImageRowBytes;
            const std::vector<UInt8> want = row < first ? std::vector<UInt8>(640 * 4, 0x5A)
                                                        : ArgbRow(source.image, row - first, 640);
            ASSERT_EQ(0, std::memcmp(got, want.data(), want.size()))
                << "bitmap height " << bitmapHeight << " row " << row;
        }
    }
}

// Nothing is written outside the bitmap's pixels and nothing read past the image's data.
TEST(Q_2vuyCopyTo, KeepsInsideBothMemories)
{
    {
        TestImage odd(15, 4, 32);
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(16, 4, BitmapContext::BitmapType_Device_ARGB, 0));
        std::memset(bitmap.mImageDataBytes, 0x5A, bitmap.mImageDataSize);
        p3dtest::LogCapture log;
        odd.image.CopyPixelsTo(bitmap);
        const std::string text = log.text();
        EXPECT_EQ(BitmapBytes(bitmap), std::vector<UInt8>(bitmap.mImageDataSize, 0x5A));
        EXPECT_NE(text.find("(_width&1)==0"), std::string::npos) << text;
    }
    // Wider than the bitmap, whose rows have room after their pixels; an odd bitmap width too.
    TestImage wide(40, 3, 80);
    for (int bitmapWidth : {10, 9}) {
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(bitmapWidth, 3, BitmapContext::BitmapType_Device_ARGB, 48));
        std::memset(bitmap.mImageDataBytes, 0x5A, bitmap.mImageDataSize);
        wide.image.CopyPixelsTo(bitmap);
        for (int row = 0; row < 3; ++row) {
            const UInt8* got = bitmap.mImageDataBytes + size_t(row) * 48;
            const std::vector<UInt8> want = ArgbRow(wide.image, row, bitmapWidth);
            EXPECT_EQ(0, std::memcmp(got, want.data(), want.size())) << "row " << row;
            for (int i = bitmapWidth * 4; i < 48; ++i)
                ASSERT_EQ(got[i], 0x5A) << "width " << bitmapWidth << " row " << row;
        }
    }
    // Data for three and a half rows of eight: three are copied, the rest is left alone. The
    // bytes are exactly that long, so a read past them is a sanitizer error.
    {
        std::vector<UInt8> data(3 * 64 + 32, 200);
        Q_2vuy_data short_;
        short_._width = 32, short_._height = 8, short_._rowBytes = 64;
        short_._PixelData = data.data(), short_._PixelDataSize = data.size();
        BitmapContext bitmap;
        ASSERT_TRUE(bitmap.Construct(32, 8, BitmapContext::BitmapType_Device_ARGB, 0));
        std::memset(bitmap.mImageDataBytes, 0x5A, bitmap.mImageDataSize);
        p3dtest::LogCapture log;
        short_.CopyPixelsTo(bitmap);
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text, "rows==_height", "CopyPixelsTo")) << text;
        for (int row = 0; row < 8; ++row) {
            const UInt8* got = bitmap.mImageDataBytes + size_t(row) * bitmap.mImageRowBytes;
            const std::vector<UInt8> want =
                row < 3 ? ArgbRow(short_, row, 32) : std::vector<UInt8>(32 * 4, 0x5A);
            EXPECT_EQ(0, std::memcmp(got, want.data(), want.size())) << "row " << row;
        }
    }
}

TEST(Q_2vuyData, FormatAndAssignment)
{
    EXPECT_TRUE(import_Q_2vuy_data());
    EXPECT_TRUE(Q_2vuy_format::IsValidPixelFormat(FourCC("2vuy")));
    EXPECT_TRUE(Q_2vuy_format::IsValidPixelFormat(FourCC("yuvs")));
    EXPECT_FALSE(Q_2vuy_format::IsValidPixelFormat(FourCC("yuv2")));
    EXPECT_FALSE(Q_2vuy_format::IsValidPixelFormat(0));

    Q_2vuy_buffer fresh;
    EXPECT_TRUE(fresh.IsEmpty());
    EXPECT_EQ(fresh._width + fresh._height + fresh._rowBytes + intptr_t(fresh._PixelDataSize), 0);
    EXPECT_EQ(fresh._pixelFormat, k2vuy);

    Q_2vuy_data data;
    EXPECT_TRUE(data.SetFormat(Q_2vuy_format{640, 480, 1408, kYuvs}));
    EXPECT_EQ(data._width, 640);
    EXPECT_EQ(data._height, 480);
    EXPECT_EQ(data._rowBytes, 1408);
    EXPECT_EQ(data._pixelFormat, kYuvs);
    EXPECT_EQ(data.FrameSizeBytes(), 480 * 1408);
    for (const Q_2vuy_format& empty :
         {Q_2vuy_format{0, 480, 1280, k2vuy}, Q_2vuy_format{640, 0, 1280, k2vuy},
          Q_2vuy_format{640, 480, 0, k2vuy}})
        EXPECT_FALSE(data.SetFormat(empty));

    Q_2vuy_data same, taller, unknown;
    same.SetFormat(Q_2vuy_format{640, 480, 1280, k2vuy});
    taller.SetFormat(Q_2vuy_format{640, 482, 1280, k2vuy});
    unknown.SetFormat(Q_2vuy_format{640, 480, 1280, FourCC("yuv2")});
    data.SetFormat(Q_2vuy_format{640, 480, 1408, kYuvs});
    EXPECT_TRUE(data.CanCopyFormat(same));
    EXPECT_FALSE(data.CanCopyFormat(taller));
    EXPECT_FALSE(data.CanCopyFormat(unknown));

    UInt8 pixels[16];
    data._PixelData = pixels;
    data._PixelDataSize = sizeof pixels;
    Q_2vuy_data copy;
    copy = data;
    EXPECT_EQ(copy._width, 640);
    EXPECT_EQ(copy._height, 480);
    EXPECT_EQ(copy._rowBytes, 1408);
    EXPECT_EQ(copy._pixelFormat, kYuvs);
    EXPECT_EQ(copy._PixelData, pixels);
    EXPECT_EQ(copy._PixelDataSize, sizeof pixels);
}

TEST(Q_2vuyData, SubImage)
{
    TestImage whole(8, 4, 20);
    Q_2vuy_data sub;
    ASSERT_TRUE(whole.image.ConstructSubImage(sub, Q_2vuy_rect{2, 1, 6, 3}));
    EXPECT_EQ(sub._width, 4);
    EXPECT_EQ(sub._height, 2);
    EXPECT_EQ(sub._rowBytes, 20);
    EXPECT_EQ(sub._PixelData, whole.bytes.data() + 20 + 4);
    EXPECT_EQ(sub._PixelDataSize, whole.bytes.size() - 24);
    sub.CopyPixelsFromColor(1, 2, 3);
    const UInt8 pattern[4] = {2, 1, 3, 1};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; x += 2) {
            const UInt8* p = &whole.bytes[size_t(y * 20 + x * 2)];
            const bool inside = y >= 1 && y < 3 && x >= 2 && x < 6;
            EXPECT_EQ(inside, std::memcmp(p, pattern, 4) == 0) << x << "," << y;
        }

    for (const Q_2vuy_rect& bad : {Q_2vuy_rect{1, 0, 5, 2}, Q_2vuy_rect{2, 0, 5, 2},
                                   Q_2vuy_rect{4, 0, 10, 2}, Q_2vuy_rect{0, 2, 4, 5},
                                   Q_2vuy_rect{-2, 0, 2, 2}, Q_2vuy_rect{0, 3, 4, 3}}) {
        p3dtest::LogCapture log;
        Q_2vuy_data out;
        EXPECT_FALSE(whole.image.ConstructSubImage(out, bad)) << bad.left << "," << bad.top;
        EXPECT_TRUE(out.IsEmpty());
        const std::string text = log.text();
        EXPECT_NE(text.find("(ConstructSubImage)"), std::string::npos) << text;
    }
}

TEST(Q_2vuyData, FillsWithColour)
{
    for (UInt32 format : {k2vuy, kYuvs}) {
        TestImage image(6, 2, 16, format);
        const std::vector<UInt8> before = image.bytes;
        image.image.CopyPixelsFromColor(200, 10, 20);
        const std::vector<UInt8> pair =
            format == k2vuy ? std::vector<UInt8>{10, 200, 20, 200} : std::vector<UInt8>{200, 10, 200, 20};
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(image.bytes[size_t(y * 16 + x)], pair[size_t(x % 4)]) << x << "," << y;
            for (int x = 12; x < 16; ++x) // the row's padding
                EXPECT_EQ(image.bytes[size_t(y * 16 + x)], before[size_t(y * 16 + x)]);
        }
    }
}

TEST(Q_2vuyData, AllocateBuffer)
{
    Q_2vuy_buffer buffer;
    ASSERT_TRUE(buffer.AllocateBuffer(Q_2vuy_format{6, 3, 14, k2vuy}));
    ASSERT_EQ(buffer._PixelDataSize, 42u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(buffer._PixelData[y * 14 + x], x % 2 ? 0 : 128) << x << "," << y;
    {
        p3dtest::LogCapture log;
        EXPECT_FALSE(buffer.AllocateBuffer(Q_2vuy_format{6, 3, 14, k2vuy}));
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text, "IsEmpty()", "AllocateBuffer")) << text;
    }
    buffer.FreeBuffer();
    EXPECT_TRUE(buffer.IsEmpty());
    {
        p3dtest::LogCapture log;
        EXPECT_FALSE(buffer.AllocateBuffer(Q_2vuy_format{6, 0, 14, k2vuy}));
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text, "in_rhs.FrameSizeBytes()", "AllocateBuffer")) << text;
        EXPECT_TRUE(buffer.IsEmpty());
    }
    ASSERT_TRUE(buffer.AllocateBuffer(Q_2vuy_format{4, 1, 8, kYuvs}));
    const UInt8 black[8] = {0, 128, 0, 128, 0, 128, 0, 128};
    EXPECT_EQ(0, std::memcmp(buffer._PixelData, black, 8));
}

TEST(Q_2vuyData, CopiesBetweenByteOrders)
{
    TestImage source(6, 3, 16);
    TestImage other(6, 3, 12, kYuvs);
    ASSERT_TRUE(other.image.CopyPixelsFrom(source.image));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(other.bytes[size_t(y * 12 + x)], source.bytes[size_t(y * 16 + (x ^ 1))]);
    TestImage back(6, 3, 16);
    ASSERT_TRUE(back.image.CopyPixelsFrom(other.image));
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(0, std::memcmp(&back.bytes[size_t(y * 16)], &source.bytes[size_t(y * 16)], 12));
    TestImage same(6, 3, 12);
    ASSERT_TRUE(same.image.CopyPixelsFrom(source.image));
    EXPECT_EQ(0, std::memcmp(same.bytes.data(), source.bytes.data(), 12));

    TestImage shorter(6, 2, 16, kYuvs);
    const std::vector<UInt8> before = shorter.bytes;
    p3dtest::LogCapture log;
    EXPECT_FALSE(shorter.image.CopyPixelsFrom(source.image));
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text, "FormatCompatible(in_source)", "CopyPixelsFrom")) << text;
    EXPECT_EQ(shorter.bytes, before);
}

// In-gamut colours go to A,R,G,B and back within two steps; a taller bitmap gives its bottom
// or top rows.
TEST(Q_2vuyData, ArgbRoundTrip)
{
    std::vector<UInt8> yuv, argb, back;
    for (int cb = 16; cb <= 240; cb += 4)
        for (int cr = 16; cr <= 240; cr += 4)
            for (int y = 16; y <= 235; y += 3) {
                const double l = 1.1643828 * (y - 16), c = cb - 128, d = cr - 128;
                const double rgb[3] = {l + 1.7927421 * d, l - 0.21325 * c - 0.53291017 * d,
                                       l + 2.1124024 * c};
                if (rgb[0] < 0 || rgb[0] > 255 || rgb[1] < 0 || rgb[1] > 255 || rgb[2] < 0 ||
                    rgb[2] > 255)
                    continue;
                yuv.insert(yuv.end(), {UInt8(cb), UInt8(y), UInt8(cr), UInt8(y)});
            }
    ASSERT_GT(yuv.size(), 4000u);
    const int width = int(yuv.size() / 2);
    argb.resize(size_t(width) * 4);
    back.resize(yuv.size());
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(yuv.data(), argb.data(), width);
    Q_2vuy_data::ConvertScanline_ARGB_to_2vuy(argb.data(), back.data(), width);
    for (size_t i = 0; i < yuv.size(); ++i)
        ASSERT_LE(std::abs(int(back[i]) - int(yuv[i])), 2)
            << "byte " << i % 4 << " of Cb " << int(yuv[i & ~size_t(3)]) << " Y' "
            << int(yuv[(i & ~size_t(3)) + 1]) << " Cr " << int(yuv[(i & ~size_t(3)) + 2]);

    BitmapContext bitmap;
    ASSERT_TRUE(bitmap.Construct(4, 3, BitmapContext::BitmapType_Device_ARGB, 0));
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 4; ++x) {
            UInt8* p = bitmap.mImageDataBytes + row * 16 + x * 4;
            p[0] = 255, p[1] = p[2] = p[3] = UInt8(row * 100); // grey: Cb, Cr 128
        }
    for (bool bottom : {true, false}) {
        TestImage image(4, 2, 8, kYuvs);
        ASSERT_TRUE(image.image.CopyPixelsFrom(bitmap, bottom));
        for (int y = 0; y < 2; ++y) {
            const int grey = (bottom ? y + 1 : y) * 100;
            const UInt8 luma = UInt8(std::lround(16 + 219.0 / 255.0 * grey));
            const UInt8 want[8] = {luma, 128, luma, 128, luma, 128, luma, 128};
            EXPECT_EQ(0, std::memcmp(&image.bytes[size_t(y * 8)], want, 8))
                << "bottom " << bottom << " row " << y;
        }
    }
}

} // namespace
