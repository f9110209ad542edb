// PNG data from two independent writers: bytes built here chunk by chunk, and ffmpeg's encoder
// with its own decoder as the oracle. Pixels are checked exactly.
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "PNGDecoder.h"
#include "TestSupport.h"

using CoreImage::DecodedImage;
using CoreImage::DecodePNG;

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(v >> shift));
}

void Chunk(Bytes& png, const char* type, const Bytes& data)
{
    Put32(png, uint32_t(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Put32(png, uint32_t(crc32(0, &png[start], uInt(png.size() - start))));
}

struct Layout
{
    uint32_t width, height;
    uint8_t bitDepth, colorType;
    Bytes palette, transparency;
};

// filtered: the scanlines with their filter bytes.
Bytes MakePNG(const Layout& layout, const Bytes& filtered)
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes header;
    Put32(header, layout.width);
    Put32(header, layout.height);
    header.insert(header.end(), {layout.bitDepth, layout.colorType, 0, 0, 0});
    Chunk(png, "IHDR", header);
    if (!layout.palette.empty())
        Chunk(png, "PLTE", layout.palette);
    if (!layout.transparency.empty())
        Chunk(png, "tRNS", layout.transparency);
    uLongf size = compressBound(uLong(filtered.size()));
    Bytes deflated(size);
    EXPECT_EQ(compress(deflated.data(), &size, filtered.data(), uLong(filtered.size())), Z_OK);
    deflated.resize(size);
    Chunk(png, "IDAT", deflated);
    Chunk(png, "IEND", {});
    return png;
}

// Unfiltered scanlines: filter byte 0 before each row of packed samples.
Bytes Scanlines(const std::vector<Bytes>& rows)
{
    Bytes out;
    for (const Bytes& row : rows) {
        out.push_back(0);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

using ARGB = std::array<int, 4>;

ARGB At(const DecodedImage& image, size_t x, size_t y)
{
    const uint8_t* p = &image.pixels[y * image.bytesPerRow + x * 4];
    return {p[0], p[1], p[2], p[3]};
}

// Premultiplied the slow way, for comparison.
ARGB Expect(int r, int g, int b, int a)
{
    auto pm = [a](int c) { return int(std::lround(c * a / 255.0)); };
    return {a, pm(r), pm(g), pm(b)};
}

#define EXPECT_PIXEL(image, x, y, expected)                                                        \
    EXPECT_EQ(At(image, x, y), (expected)) << "A,R,G,B at " << (x) << "," << (y)

bool Decode(const Bytes& png, DecodedImage& image)
{
    return DecodePNG(png.data(), png.size(), image);
}

TEST(PNGDecoder, GreyDepthsExpandToFullRange)
{
    DecodedImage image;
    // 1 bit, 10 pixels: the row spills into a second, padded byte.
    ASSERT_TRUE(
        Decode(MakePNG({10, 2, 1, 0, {}, {}}, Scanlines({{0xA5, 0x80}, {0x00, 0x40}})), image));
    EXPECT_EQ(image.width, 10u);
    EXPECT_EQ(image.bytesPerRow, 40u);
    ASSERT_EQ(image.pixels.size(), 80u);
    const int bits[2][10] = {{1, 0, 1, 0, 0, 1, 0, 1, 1, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_PIXEL(image, x, y,
                         Expect(255 * bits[y][x], 255 * bits[y][x], 255 * bits[y][x], 255));

    // 4 bits scale by 17; 16 bits are rounded to nearest.
    ASSERT_TRUE(Decode(MakePNG({3, 1, 4, 0, {}, {}}, Scanlines({{0x1F, 0x70}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(17, 17, 17, 255));
    EXPECT_PIXEL(image, 1, 0, Expect(255, 255, 255, 255));
    EXPECT_PIXEL(image, 2, 0, Expect(119, 119, 119, 255));

    const int samples16[3] = {0x0080, 0x7F80, 0xFFFF};
    ASSERT_TRUE(Decode(
        MakePNG({3, 1, 16, 0, {}, {}}, Scanlines({{0x00, 0x80, 0x7F, 0x80, 0xFF, 0xFF}})), image));
    for (int x = 0; x < 3; ++x) {
        const int v = int(std::lround(samples16[x] * 255.0 / 65535.0));
        EXPECT_PIXEL(image, x, 0, Expect(v, v, v, 255));
    }
}

TEST(PNGDecoder, ColourAndAlphaTypesArePremultiplied)
{
    DecodedImage image;
    ASSERT_TRUE(
        Decode(MakePNG({2, 1, 8, 2, {}, {}}, Scanlines({{10, 20, 30, 250, 128, 1}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(10, 20, 30, 255));
    EXPECT_PIXEL(image, 1, 0, Expect(250, 128, 1, 255));

    ASSERT_TRUE(Decode(MakePNG({3, 1, 8, 6, {}, {}},
                               Scanlines({{200, 100, 50, 128, 255, 255, 255, 0, 9, 99, 199, 1}})),
                       image));
    EXPECT_PIXEL(image, 0, 0, Expect(200, 100, 50, 128));
    EXPECT_PIXEL(image, 1, 0, Expect(0, 0, 0, 0));
    EXPECT_PIXEL(image, 2, 0, Expect(9, 99, 199, 1));

    // Grey with alpha.
    ASSERT_TRUE(Decode(MakePNG({2, 1, 8, 4, {}, {}}, Scanlines({{77, 64, 255, 255}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(77, 77, 77, 64));
    EXPECT_PIXEL(image, 1, 0, Expect(255, 255, 255, 255));

    // 16-bit R,G,B,A: each sample rounded before premultiplying.
    ASSERT_TRUE(Decode(MakePNG({1, 1, 16, 6, {}, {}},
                               Scanlines({{0xC8, 0xC8, 0x64, 0x64, 0x32, 0x32, 0x80, 0x80}})),
                       image));
    EXPECT_PIXEL(image, 0, 0, Expect(200, 100, 50, 128));
}

TEST(PNGDecoder, PaletteAndTransparencyChunks)
{
    DecodedImage image;
    // 2-bit palette of three colours, the second half transparent, the third without an
    // entry in tRNS and so opaque.
    const Bytes palette = {255, 0, 0, 0, 255, 0, 10, 20, 30};
    ASSERT_TRUE(Decode(
        MakePNG({5, 1, 2, 3, palette, {255, 128}}, Scanlines({{0b00011000, 0b01000000}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(255, 0, 0, 255));
    EXPECT_PIXEL(image, 1, 0, Expect(0, 255, 0, 128));
    EXPECT_PIXEL(image, 2, 0, Expect(10, 20, 30, 255));
    EXPECT_PIXEL(image, 3, 0, Expect(255, 0, 0, 255));
    EXPECT_PIXEL(image, 4, 0, Expect(0, 255, 0, 128));

    // A colour key on R,G,B: exactly that colour becomes transparent.
    ASSERT_TRUE(Decode(
        MakePNG({2, 1, 8, 2, {}, {0, 1, 0, 2, 0, 3}}, Scanlines({{1, 2, 3, 1, 2, 4}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(0, 0, 0, 0));
    EXPECT_PIXEL(image, 1, 0, Expect(1, 2, 4, 255));

    // And on grey.
    ASSERT_TRUE(Decode(MakePNG({2, 1, 8, 0, {}, {0, 7}}, Scanlines({{7, 8}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(0, 0, 0, 0));
    EXPECT_PIXEL(image, 1, 0, Expect(8, 8, 8, 255));

    // An index past the end of the palette reads as opaque black, never past the table.
    ASSERT_TRUE(Decode(MakePNG({2, 1, 8, 3, {1, 2, 3}, {}}, Scanlines({{5, 0}})), image));
    EXPECT_PIXEL(image, 0, 0, Expect(0, 0, 0, 255));
    EXPECT_PIXEL(image, 1, 0, Expect(1, 2, 3, 255));
}

// ---- ffmpeg as an independent writer and reader

bool HaveFfmpeg()
{
    return p3dtest::HaveFfmpeg(P3D_FFMPEG);
}

bool RunFfmpeg(std::vector<std::string> args)
{
    return p3dtest::RunFfmpeg(P3D_FFMPEG, std::move(args));
}

TEST(PNGDecoder, MatchesFfmpegForEveryPixelFormatItWrites)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed at " << P3D_FFMPEG;
    p3dtest::TempDir dir;
    // 13 x 7 straight R,G,B,A with every alpha kind: opaque, clear, partial.
    constexpr int kW = 13, kH = 7;
    std::string source;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            source += char(x * 19);
            source += char(y * 36);
            source += char((x * 7 + y * 31) & 0xff);
            source += char(x == 0 ? 255 : y == 0 ? 0 : (x * 17 + y * 3) & 0xff);
        }
    p3dtest::WriteFile(dir.file("in.rgba"), source);

    struct Case
    {
        const char* pixelFormat;
        bool interlaced;
    };
    for (const Case& c :
         {Case{"rgba", false}, Case{"rgba", true}, Case{"rgb24", false}, Case{"rgb48be", false},
          Case{"rgba64be", true}, Case{"gray", false}, Case{"ya8", false}, Case{"gray16be", false},
          Case{"pal8", false}, Case{"monob", false}}) {
        SCOPED_TRACE(std::string(c.pixelFormat) + (c.interlaced ? " interlaced" : ""));
        const std::string png = dir.file(std::string(c.pixelFormat) + ".png");
        std::vector<std::string> encode = {
            "-f",   "rawvideo", "-pix_fmt",          "rgba",     "-s",
            "13x7", "-i",       dir.file("in.rgba"), "-pix_fmt", c.pixelFormat};
        if (c.interlaced)
            encode.insert(encode.end(), {"-flags", "+ildct"});
        encode.insert(encode.end(), {"-frames:v", "1", png});
        ASSERT_TRUE(RunFfmpeg(encode));
        // 16-bit samples are read back whole and rounded here: ffmpeg's own reduction to 8 bits
        // truncates.
        const bool deep = std::string(c.pixelFormat).find("16") != std::string::npos ||
                          std::string(c.pixelFormat).find("48") != std::string::npos ||
                          std::string(c.pixelFormat).find("64") != std::string::npos;
        const size_t sampleBytes = deep ? 2 : 1;
        ASSERT_TRUE(RunFfmpeg(
            {"-i", png, "-f", "rawvideo", "-pix_fmt", deep ? "rgba64be" : "rgba", png + ".raw"}));

        const std::string data = p3dtest::ReadFile(png);
        ASSERT_GT(data.size(), 28u);
        EXPECT_EQ(data[28], char(c.interlaced)) << "the header's interlace method";
        const std::string oracle = p3dtest::ReadFile(png + ".raw");
        ASSERT_EQ(oracle.size(), size_t(kW * kH * 4) * sampleBytes);
        auto sample = [&](size_t index) {
            const auto* o = reinterpret_cast<const uint8_t*>(oracle.data()) + index * sampleBytes;
            return deep ? int(std::lround(((o[0] << 8) | o[1]) * 255.0 / 65535.0)) : int(o[0]);
        };
        DecodedImage image;
        ASSERT_TRUE(DecodePNG(reinterpret_cast<const UInt8*>(data.data()), data.size(), image));
        ASSERT_EQ(image.width, size_t(kW));
        ASSERT_EQ(image.height, size_t(kH));
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const size_t n = size_t(y * kW + x) * 4;
                EXPECT_PIXEL(image, x, y,
                             Expect(sample(n), sample(n + 1), sample(n + 2), sample(n + 3)));
            }
    }
}

// ---- bad data

Bytes SmallRGBA()
{
    return MakePNG({4, 3, 8, 6, {}, {}},
                   Scanlines({Bytes(16, 0x40), Bytes(16, 0x80), Bytes(16, 0xC0)}));
}

TEST(PNGDecoder, TruncatedOrDamagedDataIsRefusedWithAReport)
{
    const Bytes good = SmallRGBA();
    DecodedImage image;
    ASSERT_TRUE(Decode(good, image));

    {
        p3dtest::LogCapture quiet; // a report per prefix
        // Every prefix short of the image data's end fails, and leaves nothing behind. IEND itself
        // (the last 12 bytes) is not needed for the pixels.
        for (size_t length = 0; length + 12 < good.size(); ++length) {
            const Bytes cut(good.begin(), good.begin() + std::ptrdiff_t(length));
            EXPECT_FALSE(DecodePNG(cut.data(), cut.size(), image)) << length << " bytes";
            EXPECT_TRUE(image.pixels.empty());
            EXPECT_EQ(image.width, 0u);
        }

        // A flipped byte in each chunk is caught by its CRC or by inflating.
        for (size_t offset : {size_t(17), size_t(40), good.size() - 20}) {
            Bytes damaged = good;
            damaged[offset] ^= 0x10;
            EXPECT_FALSE(Decode(damaged, image)) << "byte " << offset;
        }
    }

    p3dtest::LogCapture log;
    EXPECT_FALSE(DecodePNG(nullptr, 100, image));
    Bytes notPNG = good;
    notPNG[1] = 'J';
    EXPECT_FALSE(Decode(notPNG, image));
    Bytes cut(good.begin(), good.begin() + 60);
    EXPECT_FALSE(Decode(cut, image));
    const std::string text = log.text();
    EXPECT_NE(text.find("are not PNG data"), std::string::npos) << text;
    EXPECT_NE(text.find("refused"), std::string::npos) << text;
}

TEST(PNGDecoder, SizesBeyondTheBoundOrTheDataAreRefused)
{
    DecodedImage image;
    const uint32_t bound = uint32_t(CoreImage::kMaxPNGDimension);
    // Headers alone: nothing may be allocated for them.
    for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{bound + 1, 1},
                               {1, bound + 1},
                               {0, 5},
                               {5, 0},
                               {0x7fffffff, 0x7fffffff},
                               {0xffffffff, 1}}) {
        EXPECT_FALSE(Decode(MakePNG({w, h, 8, 6, {}, {}}, Scanlines({Bytes(16, 0)})), image))
            << w << " x " << h;
        EXPECT_TRUE(image.pixels.empty());
    }
    // Within the bound, but claiming far more pixels than the few data bytes can inflate to.
    p3dtest::LogCapture log;
    EXPECT_FALSE(Decode(MakePNG({bound, bound, 16, 6, {}, {}}, Scanlines({Bytes(16, 0)})), image));
    EXPECT_NE(log.text().find("needs more data"), std::string::npos);

    // A bad bit depth for the colour type.
    EXPECT_FALSE(Decode(MakePNG({1, 1, 4, 2, {}, {}}, Scanlines({{0}})), image));
    // Too few scanlines.
    EXPECT_FALSE(Decode(MakePNG({2, 3, 8, 0, {}, {}}, Scanlines({{1, 2}})), image));
}

} // namespace
