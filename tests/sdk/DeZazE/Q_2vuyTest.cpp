// Q_2vuy_data: the conversion to A,R,G,B over every input on every path, where the copy into a
// bitmap puts rows and how it keeps inside both memories, and the frame operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "CoreGraphicsBitmapContext.h"
#include "CoreGraphicsMaskContext.h"
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
    ASSERT_TRUE(whole.image.ConstructSubImage(sub, p3dqd::QRect(1, 2, 3, 6)));
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
    for (const p3dqd::QRect& bad :
         {p3dqd::QRect(0, 1, 2, 5), p3dqd::QRect(0, 2, 2, 5), p3dqd::QRect(0, 4, 2, 10),
          p3dqd::QRect(2, 0, 5, 4), p3dqd::QRect(0, -2, 2, 2), p3dqd::QRect(3, 0, 3, 4)}) {
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

// ---- the frame operations: luma tables and histograms, mixes and transitions

// Luma and chroma of pixel (x, y) whatever the byte order; chroma is Cb for even x, Cr for odd.
std::pair<int, int> At(const Q_2vuy_data& image, int x, int y)
{
    const UInt8* p = image._PixelData + size_t(y) * size_t(image._rowBytes) + 2 * size_t(x);
    return image._pixelFormat == kYuvs ? std::pair(int(p[0]), int(p[1]))
                                       : std::pair(int(p[1]), int(p[0]));
}

// Lumas that name their pixel, and two flat ones.
int Place(int x, int y)
{
    return 10 * x + 60 * y;
}
int Level50(int, int)
{
    return 50;
}
int Level200(int, int)
{
    return 200;
}

// Every pixel's luma from its place, Cb and Cr from its pair's.
void Paint(TestImage& image, int (*luma)(int x, int y), UInt8 cb, UInt8 cr)
{
    const int yuvs = image.image._pixelFormat == kYuvs;
    for (int y = 0; y < image.image._height; ++y)
        for (int x = 0; x < image.image._width; ++x) {
            UInt8* p = &image.bytes[size_t(y) * size_t(image.image._rowBytes) + 2 * size_t(x)];
            p[1 - yuvs] = UInt8(luma(x, y));
            p[yuvs] = x % 2 ? cr : cb;
        }
}

TEST(Q_2vuyOperations, LumaTablesAndHistograms)
{
    RasterGraphics::CLUT_BASE invert;
    EXPECT_TRUE(invert.IsIdentity());
    for (int i = 0; i < 256; ++i)
        invert.mTable[i] = UInt8(255 - i);
    for (auto [from, to] :
         {std::pair(k2vuy, k2vuy), std::pair(k2vuy, kYuvs), std::pair(kYuvs, k2vuy)}) {
        TestImage source(6, 3, 16, from), table(6, 3, 12, to), counted(6, 3, 12, to);
        RasterGraphics::T_HISTOGRAM<> histogram, both;
        histogram.Count(7); // cleared by the copy
        ASSERT_TRUE(table.image.CopyPixelsFrom(source.image, invert));
        ASSERT_TRUE(counted.image.CopyPixelsFrom(source.image, histogram));
        ASSERT_TRUE(source.image.CopyPixelsFrom(source.image, invert, both)); // in place
        RasterGraphics::T_HISTOGRAM<> expected;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x) {
                const auto [luma, chroma] = At(counted.image, x, y);
                expected.Count(UInt8(luma));
                EXPECT_EQ(At(table.image, x, y), std::pair(255 - luma, chroma)) << x << "," << y;
                EXPECT_EQ(At(source.image, x, y), std::pair(255 - luma, chroma)) << x << "," << y;
            }
        EXPECT_EQ(0, std::memcmp(histogram.mBins, expected.mBins, sizeof expected.mBins));
        EXPECT_EQ(0, std::memcmp(both.mBins, expected.mBins, sizeof expected.mBins));
    }
    TestImage source(6, 3, 12), taller(6, 4, 12);
    const std::vector<UInt8> before = taller.bytes;
    p3dtest::LogCapture log;
    EXPECT_FALSE(taller.image.CopyPixelsFrom(source.image, invert));
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text, "FormatCompatible(in_source)", "CopyPixelsFrom")) << text;
    EXPECT_EQ(taller.bytes, before);
}

TEST(Q_2vuyOperations, SwizzleAddsToItsHistogram)
{
    const UInt8 yuvs[6] = {10, 20, 30, 40, 50, 60}; // three pixels: half a pair at the end
    UInt8 row[7] = {0, 0, 0, 0, 0, 0, 0xEE};
    RasterGraphics::CLUT_BASE identity;
    RasterGraphics::T_HISTOGRAM<> histogram;
    for (int pass = 1; pass <= 2; ++pass)
        ASSERT_TRUE(
            Q_2vuy_data::SwizzleScanline_XXXX_to_2vuy(yuvs, kYuvs, row, 3, identity, histogram));
    const UInt8 want[7] = {20, 10, 40, 30, 60, 50, 0xEE};
    EXPECT_EQ(0, std::memcmp(row, want, 7));
    EXPECT_EQ(histogram[10] + histogram[30] + histogram[50], 6u);
    EXPECT_EQ(histogram.Total(), 6u);
    EXPECT_FALSE(Q_2vuy_data::SwizzleScanline_XXXX_to_2vuy(yuvs, FourCC("yuv2"), row, 3, identity,
                                                           histogram));
}

TEST(RasterGraphics, EqualizedTables)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<int, UInt32>> bins;
        UInt8 low, high;
        std::vector<std::pair<int, int>> map; // value, table entry
    };
    std::vector<std::pair<int, UInt32>> flat;
    for (int v = 0; v < 256; ++v)
        flat.emplace_back(v, 1);
    const Case cases[] = {
        {"empty: identity", {}, 16, 235, {{0, 0}, {100, 100}, {255, 255}}},
        {"one value: identity", {{90, 50}}, 16, 235, {{0, 0}, {90, 90}, {255, 255}}},
        {"two values", {{50, 10}, {200, 10}}, 16, 235, {{0, 16}, {199, 16}, {200, 235}}},
        {"by their share", {{0, 1}, {1, 1}, {2, 2}}, 0, 255, {{0, 0}, {1, 85}, {2, 255}}},
        {"halves round up", {{0, 1}, {1, 1}, {2, 1}}, 0, 255, {{1, 128}}},
        {"flat, full range: identity", flat, 0, 255, {{0, 0}, {1, 1}, {128, 128}, {255, 255}}},
        {"flat, studio range", flat, 16, 235, {{0, 16}, {1, 17}, {128, 126}, {255, 235}}},
    };
    for (const Case& c : cases) {
        RasterGraphics::T_HISTOGRAM<> histogram;
        for (auto [value, count] : c.bins)
            histogram.mBins[value] = count;
        RasterGraphics::CLUT_BASE table;
        table.mTable[0] = 99;
        ASSERT_TRUE(histogram.GetEqualized(table, c.low, c.high)) << c.what;
        for (auto [value, entry] : c.map)
            EXPECT_EQ(table.Map(UInt8(value)), entry) << c.what << ": " << value;
    }
    RasterGraphics::T_HISTOGRAM<> histogram;
    RasterGraphics::CLUT_BASE table;
    table.mTable[5] = 1;
    EXPECT_FALSE(histogram.GetEqualized(table, 200, 100));
    EXPECT_EQ(table.mTable[5], 1);
}

TEST(Q_2vuyOperations, MixesTwoImages)
{
    // A in the other byte order, B in this one's.
    TestImage a(4, 2, 8, kYuvs), b(4, 2, 10), out(4, 2, 8);
    Paint(a, Place, 100, 110);
    Paint(b, Level200, 7, 10);
    // The mix and the weight of B it stands for.
    for (auto [mix, w] :
         {std::pair(0.0f, 0), std::pair(1.0f, 256), std::pair(0.5f, 128), std::pair(0.25f, 64),
          std::pair(-1.0f, 0), std::pair(2.0f, 256), std::pair(std::nanf(""), 0)}) {
        ASSERT_TRUE(out.image.CopyPixelsFrom(a.image, b.image, mix)) << mix;
        auto mixed = [w = w](int p, int q) { return (p * (256 - w) + q * w + 128) >> 8; };
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) {
                const auto [la, ca] = At(a.image, x, y);
                const auto [lb, cb] = At(b.image, x, y);
                EXPECT_EQ(At(out.image, x, y), std::pair(mixed(la, lb), mixed(ca, cb))) << mix;
            }
    }
    // One byte order throughout, in place: the scanline mix.
    TestImage same(4, 2, 8);
    const std::vector<UInt8> original = same.bytes;
    ASSERT_TRUE(same.image.CopyPixelsFrom(same.image, out.image, 0.5f));
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(same.bytes[i], (original[i] + out.bytes[i] + 1) >> 1) << i;

    TestImage wide(6, 2, 12);
    for (auto [first, second, code] :
         {std::tuple(&wide.image, &b.image, "FormatCompatible(in_sourceA)"),
          std::tuple(&a.image, &wide.image, "FormatCompatible(in_sourceB)")}) {
        p3dtest::LogCapture log;
        EXPECT_FALSE(out.image.CopyPixelsFrom(*first, *second, 0.5f)) << code;
        const std::string text = log.text();
        EXPECT_TRUE(Reported(text, code, "CopyPixelsFrom")) << text;
    }
}

// A: luma 50, Cb 60, Cr 70; B: luma 200, Cb 210, Cr 220; or each pixel's luma from its place.
struct WipeImages
{
    WipeImages(int width, int height)
        : a(width, height, 2 * width), b(width, height, 2 * width, kYuvs),
          out(width, height, 2 * width)
    {
        Paint(a, Level50, 60, 70);
        Paint(b, Level200, 210, 220);
    }
    // "A" or "B" per pixel, "?" for anything else.
    std::string Map() const
    {
        std::string map;
        for (int y = 0; y < out.image._height; ++y, map += '|')
            for (int x = 0; x < out.image._width; ++x) {
                const auto pixel = At(out.image, x, y);
                map += pixel == At(a.image, x, y) ? 'A' : pixel == At(b.image, x, y) ? 'B' : '?';
            }
        return map;
    }
    TestImage a, b, out;
};

TEST(Q_2vuyOperations, WipesByRectangle)
{
    struct Case
    {
        p3dqd::QRect rect;
        const char* map;
    };
    for (const Case& c : {Case{p3dqd::QRect(1, 3, 3, 7), "AAAAAAAA|AABBBBAA|AABBBBAA|AAAAAAAA|"},
                          Case{p3dqd::QRect(-5, -3, 2, 3), "BBAAAAAA|BBAAAAAA|AAAAAAAA|AAAAAAAA|"},
                          Case{p3dqd::QRect(0, 0, 9, 99), "BBBBBBBB|BBBBBBBB|BBBBBBBB|BBBBBBBB|"},
                          Case{p3dqd::QRect(2, 4, 2, 9), "AAAAAAAA|AAAAAAAA|AAAAAAAA|AAAAAAAA|"}}) {
        WipeImages images(8, 4);
        ASSERT_TRUE(images.out.image.WipePixelsFrom(images.a.image, images.b.image, c.rect));
        EXPECT_EQ(images.Map(), c.map) << c.rect.top << "," << c.rect.left;
    }
}

TEST(Q_2vuyOperations, WipesByMask)
{
    WipeImages images(4, 1);
    CoreGraphics::MaskContext mask;
    ASSERT_TRUE(mask.Construct(4, 1));
    const UInt8 coverage[4] = {0, 255, 128, 128};
    std::memcpy(mask.mImageDataBytes, coverage, 4);
    ASSERT_TRUE(images.out.image.WipePixelsFrom(images.a.image, images.b.image, mask));
    // Luma by each pixel's byte; a pair's chroma by their mean, 128 in both pairs here:
    // (50·127 + 200·128 + 127) / 255 = 125, (60·127 + 210·128 + 127) / 255 = 135.
    const std::pair<int, int> want[4] = {{50, 135}, {200, 145}, {125, 135}, {125, 145}};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(At(images.out.image, x, 0), want[x]) << x;

    CoreGraphics::MaskContext small;
    ASSERT_TRUE(small.Construct(2, 1));
    p3dtest::LogCapture log;
    EXPECT_FALSE(images.out.image.WipePixelsFrom(images.a.image, images.b.image, small));
    const std::string text = log.text();
    EXPECT_NE(text.find("in_mask.IsMask()"), std::string::npos) << text;
}

// B's luma names its pixel, and its chroma its pair, so each output pixel shows which source
// pixel it took.
TEST(Q_2vuyOperations, PictureInPictureAndTwoUp)
{
    TestImage b(4, 4, 8, kYuvs);
    Paint(b, Place, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) // Cb 1, 2 and Cr 101, 102 for pairs 0, 1
            b.bytes[size_t(y * 8 + 2 * x + 1)] = UInt8((x % 2 ? 101 : 1) + x / 2);
    struct Case
    {
        const char* what;
        p3dqd::QRect rect;
        int x, y;   // an output pixel, the first of its pair
        int sx, sy; // the source pixel it shows
    };
    for (const Case& c : {Case{"same size", p3dqd::QRect(0, 4, 4, 8), 6, 3, 2, 3},
                          Case{"twice as wide", p3dqd::QRect(0, 0, 4, 8), 2, 1, 1, 1},
                          Case{"twice as wide", p3dqd::QRect(0, 0, 4, 8), 6, 2, 3, 2},
                          Case{"half as high", p3dqd::QRect(0, 0, 2, 4), 2, 1, 2, 2},
                          Case{"half as wide", p3dqd::QRect(0, 0, 4, 2), 0, 3, 0, 3},
                          Case{"cut at the image's edge", p3dqd::QRect(-2, -2, 2, 2), 0, 1, 2, 3},
                          Case{"left taken down to 4", p3dqd::QRect(0, 5, 4, 9), 4, 0, 0, 0}}) {
        WipeImages images(8, 4);
        ASSERT_TRUE(images.out.image.WipePIPPixelsFrom(images.a.image, b.image, c.rect));
        const auto [luma, cb] = At(images.out.image, c.x, c.y);
        EXPECT_EQ(luma, Place(c.sx, c.sy)) << c.what;
        EXPECT_EQ(cb, At(b.image, c.sx & ~1, c.sy).second) << c.what;
        EXPECT_EQ(At(images.out.image, c.x + 1, c.y).second, At(b.image, c.sx | 1, c.sy).second)
            << c.what << ": the pair's Cr";
    }
    WipeImages images(8, 4);
    ASSERT_TRUE(
        images.out.image.WipePIPPixelsFrom(images.a.image, b.image, p3dqd::QRect(1, 2, 3, 6)));
    EXPECT_EQ(images.Map().substr(0, 18), "AAAAAAAA|AA????AA|") << "A outside the picture";

    // Two up: each source squeezed into its half at full height.
    Paint(images.a, Place, 60, 70);
    ASSERT_TRUE(images.out.image.WipeTwoUpPixelsFrom(images.a.image, b.image));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(At(images.out.image, x, y).first, Place(x < 4 ? 2 * x : x - 4, y))
                << x << "," << y;
    // The core: black outside both rectangles, B over A where they meet.
    ASSERT_TRUE(images.out.image.WipeTwoUpPixelsFromCore(
        images.a.image, b.image, p3dqd::QRect(0, 0, 2, 4), p3dqd::QRect(0, 2, 2, 6)));
    EXPECT_EQ(At(images.out.image, 0, 0), At(images.a.image, 0, 0));
    EXPECT_EQ(At(images.out.image, 2, 0).first, Place(0, 0));
    EXPECT_EQ(At(images.out.image, 6, 0), std::pair(0, 128));
    EXPECT_EQ(At(images.out.image, 0, 3), std::pair(0, 128));

    // A scaled source over the destination's own pixels is refused.
    Q_2vuy_data inside;
    ASSERT_TRUE(images.out.image.ConstructSubImage(inside, p3dqd::QRect(0, 0, 2, 4)));
    p3dtest::LogCapture log;
    EXPECT_FALSE(
        images.out.image.WipePIPPixelsFrom(images.a.image, inside, p3dqd::QRect(0, 0, 2, 2)));
    const std::string text = log.text();
    EXPECT_TRUE(Reported(text, "!Overlaps(in_sourceB)", "WipePIPPixelsFrom")) << text;
}
