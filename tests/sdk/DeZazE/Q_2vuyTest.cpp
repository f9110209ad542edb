// Q_2vuy_data: the conversion to A,R,G,B over every input on every path, where the copy into a
// bitmap puts rows and how it keeps inside both memories, and the frame operations.
#include <gtest/gtest.h>

#include <algorithm>
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

// An image over bytes the test owns, exactly height*rowBytes long, each row different.
struct TestImage
{
    TestImage(int width, int height, intptr_t rowBytes, UInt32 format = k2vuy)
        : bytes(size_t(height) * size_t(rowBytes))
    {
        image.SetFormat(Q_2vuy_format{SInt16(width), SInt16(height), rowBytes, format});
        image._PixelData = bytes.data();
        image._PixelDataSize = bytes.size();
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = UInt8((i * 37 + i / size_t(rowBytes) * 11) & 0xFF);
    }
    std::vector<UInt8> bytes;
    Q_2vuy_data image;
};

// A bitmap whose every byte is 0x5A.
void Construct(BitmapContext& bitmap, int width, int height, unsigned long rowBytes = 0,
               BitmapContext::BitmapType type = BitmapContext::BitmapType_Device_ARGB)
{
    ASSERT_TRUE(bitmap.Construct(width, height, type, rowBytes));
    std::memset(bitmap.mImageDataBytes, 0x5A, bitmap.mImageDataSize);
}

bool Untouched(const BitmapContext& bitmap)
{
    for (UInt32 i = 0; i < bitmap.mImageDataSize; ++i)
        if (bitmap.mImageDataBytes[i] != 0x5A)
            return false;
    return true;
}

// The first width pixels of row y as the scalar conversion gives them.
std::vector<UInt8> ArgbRow(const Q_2vuy_data& image, int y, int width)
{
    std::vector<UInt8> row(size_t(width + 1) * 4); // an odd width converts its whole last pair
    Q_2vuy_data::ConvertScanline_to_ARGB(Q_2vuy_path::kScalar, image._pixelFormat,
                                         image._PixelData + size_t(y) * size_t(image._rowBytes),
                                         row.data(), width);
    row.resize(size_t(width) * 4);
    return row;
}

bool RowIs(const BitmapContext& bitmap, int row, const std::vector<UInt8>& want)
{
    return std::memcmp(bitmap.mImageDataBytes + size_t(row) * bitmap.mImageRowBytes, want.data(),
                       want.size()) == 0;
}

// The conversion's own rounding: a single-precision value widened, 0.49999999 added, truncated
// toward zero and clamped.
int Exact(float v)
{
    const int r = int(double(v) + 0.49999999);
    return r < 0 ? 0 : r > 255 ? 255 : r;
}

TEST(Q_2vuyConvert, KnownPixels)
{
    const UInt8 blackWhite[8] = {255, 0, 0, 0, 255, 255, 255, 255};
    const UInt8 pair[4] = {128, 16, 128, 235};
    UInt8 argb[8] = {};
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(pair, argb, 2);
    EXPECT_EQ(0, std::memcmp(argb, blackWhite, 8));

    const UInt8 red[4] = {128, 235, 240, 235};
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(red, argb, 2);
    const UInt8 clamped[4] = {255, 255, 195, 255}; // red 255 + 1.7927421*112, green 255 - 59.7
    EXPECT_EQ(0, std::memcmp(argb, clamped, 4));
}

// Every (Y', Cb, Cr): the scalar bytes exactly those of the equations in single precision, each
// product and sum rounded on its own, and every vector path on this CPU equal to them, through
// its body and its tail.
TEST(Q_2vuyConvert, EveryInputOnEveryPath)
{
    constexpr int kPixels = 256 * 256;  // one Cb: every Cr with every Y'
    constexpr int kSplit = kPixels - 6; // one call ends in an odd count of pairs, one is all tail
    std::vector<UInt8> src(size_t(kPixels) * 2), yuvs(src.size());
    std::vector<UInt8> scalar(size_t(kPixels) * 4), fast(scalar.size());
    int paths = 0;
    for (int cb = 0; cb < 256; ++cb) {
        for (int cr = 0; cr < 256; ++cr)
            for (int y = 0; y < 256; y += 2) {
                UInt8* p = &src[size_t(cr * 256 + y) * 2];
                p[0] = UInt8(cb), p[1] = UInt8(y), p[2] = UInt8(cr), p[3] = UInt8(y + 1);
            }
        Q_2vuy_data::ConvertScanline_to_ARGB(Q_2vuy_path::kScalar, k2vuy, src.data(), scalar.data(),
                                             kPixels);
        for (int cr = 0; cr < 256; ++cr)
            for (int y = 0; y < 256; ++y) {
                const UInt8* out = &scalar[size_t(cr * 256 + y) * 4];
                const float l = 1.1643828f * float(y - 16), c = float(cb - 128),
                            d = float(cr - 128);
                const int want[4] = {255, Exact(l + 1.7927421f * d),
                                     Exact(l - 0.21325f * c - 0.53291017f * d),
                                     Exact(l + 2.1124024f * c)};
                for (int i = 0; i < 4; ++i)
                    if (out[i] != want[i])
                        FAIL() << "Y' " << y << " Cb " << cb << " Cr " << cr << " byte " << i
                               << ": " << int(out[i]) << " against " << want[i];
            }
        for (size_t i = 0; i < src.size(); i += 2)
            yuvs[i] = src[i + 1], yuvs[i + 1] = src[i];
        paths = 0;
        for (Q_2vuy_path path : {Q_2vuy_path::kAVX2, Q_2vuy_path::kAVX512})
            // The other byte order on a sample of Cb.
            for (UInt32 format : cb % 15 ? std::vector{k2vuy} : std::vector{k2vuy, kYuvs}) {
                if (!Q_2vuy_data::PathSupported(path))
                    continue;
                paths += format == k2vuy;
                const UInt8* in = format == k2vuy ? src.data() : yuvs.data();
                std::fill(fast.begin(), fast.end(), 0);
                Q_2vuy_data::ConvertScanline_to_ARGB(path, format, in, fast.data(), kSplit);
                Q_2vuy_data::ConvertScanline_to_ARGB(path, format, in + kSplit * 2,
                                                     &fast[kSplit * 4], kPixels - kSplit);
                ASSERT_EQ(fast, scalar)
                    << "path " << int(path) << " format " << format << " Cb " << cb;
            }
    }
    if (paths == 0)
        GTEST_SKIP() << "this CPU has no vector path; only the scalar conversion was checked";
}

TEST(Q_2vuyCopyTo, RefusesOtherBitmaps)
{
    TestImage source(16, 8, 32);
    BitmapContext grey, none;
    Construct(grey, 16, 8, 0, BitmapContext::BitmapType_Device_Gray);
    p3dtest::LogCapture log;
    EXPECT_FALSE(source.image.CanCopyFormat(grey));
    source.image.CopyPixelsTo(grey);
    source.image.CopyPixelsTo(none);
    const std::string text = log.text();
    EXPECT_TRUE(Untouched(grey));
    EXPECT_TRUE(Reported(text,
                         "fOk = (CoreGraphics::BitmapContext::BitmapType_Device_ARGB=="
                         "in_rhs.GetImageType())",
                         "CanCopyFormat"))
        << text;
    EXPECT_TRUE(Reported(text, "in_rhs.IsConstructed()", "CanCopyFormat")) << text;
}

// An image as tall as the bitmap fills it row for row; a shorter one lands on its bottom rows.
TEST(Q_2vuyCopyTo, RowPlacement)
{
    TestImage source(640, 480, 1280);
    for (int height : {480, 500}) {
        BitmapContext bitmap;
        Construct(bitmap, 640, height);
        source.image.CopyPixelsTo(bitmap);
        const int first = height - 480;
        for (int row = 0; row < height; ++row)
            ASSERT_TRUE(RowIs(bitmap, row,
                              row < first ? std::vector<UInt8>(640 * 4, 0x5A)
                                          : ArgbRow(source.image, row - first, 640)))
                << "bitmap height " << height << " row " << row;
    }
}

// Nothing is written outside the bitmap's pixels and nothing read past the image's data.
TEST(Q_2vuyCopyTo, KeepsInsideBothMemories)
{
    {
        TestImage odd(15, 4, 32);
        BitmapContext bitmap;
        Construct(bitmap, 16, 4);
        p3dtest::LogCapture log;
        odd.image.CopyPixelsTo(bitmap);
        const std::string text = log.text();
        EXPECT_TRUE(Untouched(bitmap));
        EXPECT_NE(text.find("(_width&1)==0"), std::string::npos) << text;
    }
    // Wider than the bitmap, whose rows have room after their pixels; an odd bitmap width too.
    TestImage wide(40, 3, 80);
    for (int width : {10, 9}) {
        BitmapContext bitmap;
        Construct(bitmap, width, 3, 48);
        wide.image.CopyPixelsTo(bitmap);
        for (int row = 0; row < 3; ++row) {
            EXPECT_TRUE(RowIs(bitmap, row, ArgbRow(wide.image, row, width))) << "row " << row;
            for (int i = width * 4; i < 48; ++i)
                ASSERT_EQ(bitmap.mImageDataBytes[row * 48 + i], 0x5A) << width << "," << row;
        }
    }
    // Data for three and a half rows of eight: three are copied, the rest left alone. The bytes
    // end exactly there, so a read past them is a sanitizer error.
    TestImage shortData(32, 8, 64);
    shortData.bytes.resize(3 * 64 + 32);
    shortData.bytes.shrink_to_fit();
    shortData.image._PixelData = shortData.bytes.data();
    shortData.image._PixelDataSize = shortData.bytes.size();
    BitmapContext bitmap;
    Construct(bitmap, 32, 8);
    p3dtest::LogCapture log;
    shortData.image.CopyPixelsTo(bitmap);
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text, "rows==_height", "CopyPixelsTo")) << text;
    for (int row = 0; row < 8; ++row)
        EXPECT_TRUE(
            RowIs(bitmap, row,
                  row < 3 ? ArgbRow(shortData.image, row, 32) : std::vector<UInt8>(32 * 4, 0x5A)))
            << "row " << row;
}

TEST(Q_2vuyData, FormatAndAssignment)
{
    EXPECT_TRUE(import_Q_2vuy_data());
    Q_2vuy_buffer fresh;
    EXPECT_TRUE(fresh.IsEmpty());
    EXPECT_EQ(fresh._width + fresh._height + fresh._rowBytes + intptr_t(fresh._PixelDataSize), 0);
    EXPECT_EQ(fresh._pixelFormat, FourCC("2vuy"));

    Q_2vuy_data data, same, taller, unknown;
    EXPECT_TRUE(data.SetFormat(Q_2vuy_format{640, 480, 1408, kYuvs}));
    for (const Q_2vuy_format& empty :
         {Q_2vuy_format{0, 480, 1280, k2vuy}, Q_2vuy_format{640, 0, 1280, k2vuy},
          Q_2vuy_format{640, 480, 0, k2vuy}})
        EXPECT_FALSE(same.SetFormat(empty));
    same.SetFormat(Q_2vuy_format{640, 480, 1280, k2vuy});
    taller.SetFormat(Q_2vuy_format{640, 482, 1280, k2vuy});
    unknown.SetFormat(Q_2vuy_format{640, 480, 1280, FourCC("yuv2")});
    EXPECT_TRUE(data.CanCopyFormat(same));
    EXPECT_FALSE(data.CanCopyFormat(taller));
    EXPECT_FALSE(data.CanCopyFormat(unknown));

    UInt8 pixels[16];
    data._PixelData = pixels;
    data._PixelDataSize = sizeof pixels;
    Q_2vuy_data copy;
    copy = data;
    EXPECT_EQ(std::vector<intptr_t>(
                  {copy._width, copy._height, copy._rowBytes, intptr_t(copy._PixelDataSize)}),
              std::vector<intptr_t>({640, 480, 1408, 16}));
    EXPECT_EQ(copy._pixelFormat, kYuvs);
    EXPECT_EQ(copy._PixelData, pixels);
}

TEST(Q_2vuyData, SubImage)
{
    TestImage whole(8, 4, 20);
    Q_2vuy_data sub;
    ASSERT_TRUE(whole.image.ConstructSubImage(sub, Q_2vuy_rect{2, 1, 6, 3}));
    EXPECT_EQ(sub._width, 4);
    EXPECT_EQ(sub._height, 2);
    EXPECT_EQ(sub._PixelData, whole.bytes.data() + 20 + 4);
    EXPECT_EQ(sub._PixelDataSize, whole.bytes.size() - 24);
    sub.CopyPixelsFromColor(1, 2, 3); // lands in the whole image's pixels, only inside the rect
    const UInt8 pattern[4] = {2, 1, 3, 1};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; x += 2)
            EXPECT_EQ(y >= 1 && y < 3 && x >= 2 && x < 6,
                      std::memcmp(&whole.bytes[size_t(y * 20 + x * 2)], pattern, 4) == 0)
                << x << "," << y;

    // Odd left, odd width, past the right, past the bottom, left of the image, empty.
    for (const Q_2vuy_rect& bad :
         {Q_2vuy_rect{1, 0, 5, 2}, Q_2vuy_rect{2, 0, 5, 2}, Q_2vuy_rect{4, 0, 10, 2},
          Q_2vuy_rect{0, 2, 4, 5}, Q_2vuy_rect{-2, 0, 2, 2}, Q_2vuy_rect{0, 3, 4, 3}}) {
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
        const UInt8 pair2vuy[4] = {10, 200, 20, 200}, pairYuvs[4] = {200, 10, 200, 20};
        const UInt8* pair = format == k2vuy ? pair2vuy : pairYuvs;
        for (int i = 0; i < 32; ++i) // each row's last four bytes are padding
            EXPECT_EQ(image.bytes[size_t(i)], i % 16 < 12 ? pair[i % 4] : before[size_t(i)]) << i;
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
    TestImage source(6, 3, 16), back(6, 3, 16), same(6, 3, 12);
    TestImage other(6, 3, 12, kYuvs);
    ASSERT_TRUE(other.image.CopyPixelsFrom(source.image));
    ASSERT_TRUE(back.image.CopyPixelsFrom(other.image));
    ASSERT_TRUE(same.image.CopyPixelsFrom(source.image));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 12; ++x) {
            const UInt8 want = source.bytes[size_t(y * 16 + x)];
            EXPECT_EQ(other.bytes[size_t(y * 12 + (x ^ 1))], want) << x << "," << y;
            EXPECT_EQ(back.bytes[size_t(y * 16 + x)], want) << x << "," << y;
            EXPECT_EQ(same.bytes[size_t(y * 12 + x)], want) << x << "," << y;
        }

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
    std::vector<UInt8> yuv;
    for (int cb = 16; cb <= 240; cb += 4)
        for (int cr = 16; cr <= 240; cr += 4)
            for (int y = 16; y <= 235; y += 3) {
                const double l = 1.1643828 * (y - 16), c = cb - 128, d = cr - 128;
                const double rgb[3] = {l + 1.7927421 * d, l - 0.21325 * c - 0.53291017 * d,
                                       l + 2.1124024 * c};
                if (std::all_of(rgb, rgb + 3, [](double v) { return v >= 0 && v <= 255; }))
                    yuv.insert(yuv.end(), {UInt8(cb), UInt8(y), UInt8(cr), UInt8(y)});
            }
    ASSERT_GT(yuv.size(), 4000u);
    const int width = int(yuv.size() / 2);
    std::vector<UInt8> argb(size_t(width) * 4), back(yuv.size());
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(yuv.data(), argb.data(), width);
    Q_2vuy_data::ConvertScanline_ARGB_to_2vuy(argb.data(), back.data(), width);
    for (size_t i = 0; i < yuv.size(); ++i) {
        const UInt8* pair = &yuv[i & ~size_t(3)];
        ASSERT_LE(std::abs(int(back[i]) - int(yuv[i])), 2)
            << "byte " << i % 4 << " of Cb " << int(pair[0]) << " Y' " << int(pair[1]) << " Cr "
            << int(pair[2]);
    }

    BitmapContext bitmap;
    Construct(bitmap, 4, 3);
    for (int i = 0; i < 48; ++i) // grey rows 0, 100, 200: Cb and Cr 128
        bitmap.mImageDataBytes[i] = i % 4 ? UInt8(i / 16 * 100) : 255;
    for (bool bottom : {true, false}) {
        TestImage image(4, 2, 8, kYuvs);
        ASSERT_TRUE(image.image.CopyPixelsFrom(bitmap, bottom));
        for (int y = 0; y < 2; ++y) {
            const UInt8 luma = UInt8(std::lround(16 + 219.0 / 255.0 * (bottom + y) * 100));
            const UInt8 want[8] = {luma, 128, luma, 128, luma, 128, luma, 128};
            EXPECT_EQ(0, std::memcmp(&image.bytes[size_t(y * 8)], want, 8))
                << "bottom " << bottom << " row " << y;
        }
    }
}

} // namespace
