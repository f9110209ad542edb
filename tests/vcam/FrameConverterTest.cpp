// Conversions of broadcast frames (A, R, G, B bytes) into the output formats, and the picture
// shown before anything was broadcast.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <libyuv.h>
#include <linux/videodev2.h>
#include <string>
#include <tuple>
#include <vector>

#include "FrameConverter.h"
#include "NoBroadcastPicture.h"

namespace {

// Many-coloured pixels, rows rowBytes apart; the padding holds a marker never to be copied.
struct TestFrame
{
    int w, h;
    size_t rowBytes;
    std::vector<uint8_t> bytes;

    TestFrame(int width, int height, size_t padding = 0)
        : w(width), h(height), rowBytes(size_t(w) * 4 + padding), bytes(rowBytes * h, 0xEE)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = at(x, y);
                p[0] = uint8_t(255 - (x + y) % 7);
                p[1] = uint8_t(x * 37 + y * 11);
                p[2] = uint8_t(x * 5 + y * 71 + 13);
                p[3] = uint8_t((x ^ y) * 29 + 101);
            }
    }
    uint8_t* at(int x, int y) { return &bytes[size_t(y) * rowBytes + size_t(x) * 4]; }

    std::vector<uint8_t> Convert(OutputFormat format)
    {
        FrameConverter converter(format, w, h);
        EXPECT_TRUE(converter.IsValid());
        std::vector<uint8_t> out(converter.OutputBytes() + 8, 0x5A);
        converter.Convert(bytes.data(), rowBytes, out.data());
        EXPECT_EQ(std::vector<uint8_t>(out.end() - 8, out.end()), std::vector<uint8_t>(8, 0x5A));
        out.resize(converter.OutputBytes());
        return out;
    }
};

} // namespace

TEST(FrameConverterTest, FormatsByNameCodeAndSize)
{
    OutputFormat format = OutputFormat::kARGB;
    EXPECT_TRUE(ParseOutputFormat("rgba", &format) && format == OutputFormat::kRGBA);
    EXPECT_TRUE(ParseOutputFormat("yuyv", &format) && format == OutputFormat::kYUYV);
    EXPECT_TRUE(ParseOutputFormat("i420", &format) && format == OutputFormat::kI420);
    EXPECT_STREQ(OutputFormatName(OutputFormat::kARGB), "argb");
    for (const char* wrong : {"YUYV", "", "rgb", "bgra", "yuy2", "nv12", "I420"})
        EXPECT_FALSE(ParseOutputFormat(wrong, &format)) << wrong;
    // 'BA24' is a, r, g, b in memory and 'AB24' r, g, b, a; the ABGR/XRGB codes look alike.
    EXPECT_EQ(OutputFormatFourcc(OutputFormat::kARGB), v4l2_fourcc('B', 'A', '2', '4'));
    EXPECT_EQ(OutputFormatFourcc(OutputFormat::kRGBA), v4l2_fourcc('A', 'B', '2', '4'));
    EXPECT_EQ(OutputFormatFourcc(OutputFormat::kBGRA), v4l2_fourcc('A', 'R', '2', '4'));
    EXPECT_EQ(OutputFormatFourcc(OutputFormat::kI420), v4l2_fourcc('Y', 'U', '1', '2'));
    EXPECT_EQ(OutputFrameBytes(OutputFormat::kYUYV, 640, 480), 614400u);
    EXPECT_EQ(OutputFrameBytes(OutputFormat::kI420, 1280, 720), 1382400u);
    EXPECT_EQ(OutputRowBytes(OutputFormat::kI420, 1280), 1280u);
    EXPECT_EQ(OutputFrameBytes(OutputFormat::kARGB, INT_MAX, INT_MAX),
              size_t(INT_MAX) * 4 * size_t(INT_MAX));
    EXPECT_EQ(OutputFrameBytes(OutputFormat::kRGBA, 640, 0), 0u);
    EXPECT_EQ(OutputFrameBytes(OutputFormat::kRGBA, -640, -480), 0u);
}

TEST(FrameConverterTest, ARGBRGBAAndBGRAKeepEveryByteOfEveryPixel)
{
    // Odd widths and padded rows take libyuv's remainder paths as well as its wide ones.
    for (const auto& [w, h, padding] : {std::tuple{640, 4, 0}, {37, 5, 20}, {1, 3, 4}}) {
        TestFrame frame(w, h, size_t(padding));
        const std::vector<uint8_t> argb = frame.Convert(OutputFormat::kARGB);
        const std::vector<uint8_t> rgba = frame.Convert(OutputFormat::kRGBA);
        const std::vector<uint8_t> bgra = frame.Convert(OutputFormat::kBGRA);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* in = frame.at(x, y);
                const size_t i = (size_t(y) * w + x) * 4;
                ASSERT_EQ(0, std::memcmp(&argb[i], in, 4)) << w << " wide, at " << x << "," << y;
                const uint8_t moved[4] = {in[1], in[2], in[3], in[0]};
                ASSERT_EQ(0, std::memcmp(&rgba[i], moved, 4)) << w << " wide, at " << x << "," << y;
                const uint8_t reversed[4] = {in[3], in[2], in[1], in[0]};
                ASSERT_EQ(0, std::memcmp(&bgra[i], reversed, 4))
                    << w << " wide, at " << x << "," << y;
            }
    }
}

TEST(FrameConverterTest, YUYVAndI420AreBT601LimitedRangeAsLibyuvComputesThem)
{
    // I420 reads the last two rows apart from the others: heights of 2 and more, padded rows.
    for (const auto& [w, h, padding] :
         {std::tuple{640, 48, 0}, {18, 8, 8}, {1280, 2, 0}, {66, 6, 3}}) {
        TestFrame frame(w, h, size_t(padding));

        // libyuv over the same pixels in the order it takes, B, G, R, A.
        std::vector<uint8_t> bgra(size_t(w) * h * 4), yuy2(size_t(w) * h * 2);
        std::vector<uint8_t> i420(size_t(w) * h * 3 / 2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    bgra[(size_t(y) * w + x) * 4 + c] = frame.at(x, y)[3 - c];
        libyuv::ARGBToYUY2(bgra.data(), w * 4, yuy2.data(), w * 2, w, h);
        uint8_t* const u = i420.data() + size_t(w) * h;
        uint8_t* const v = u + size_t(w / 2) * (h / 2);
        libyuv::ARGBToI420(bgra.data(), w * 4, i420.data(), w, u, w / 2, v, w / 2, w, h);
        ASSERT_EQ(frame.Convert(OutputFormat::kYUYV), yuy2) << w << " x " << h;
        ASSERT_EQ(frame.Convert(OutputFormat::kI420), i420) << w << " x " << h;
    }
}

TEST(FrameConverterTest, PureColoursGiveTheirBT601Values)
{
    // Red and blue tell a swapped channel order apart. libyuv's x86 rows truncate full chroma
    // to 239 where its ARM rows round to 240: chroma within one step.
    const std::tuple<uint8_t, uint8_t, uint8_t, int, int, int> colours[] = {
        {255, 255, 255, 235, 128, 128},
        {0, 0, 0, 16, 128, 128},
        {128, 128, 128, 126, 128, 128},
        {255, 0, 0, 82, 90, 240},
        {0, 0, 255, 41, 240, 110}};
    // Where the first Y, U and V of a 4 x 2 frame lie in each format.
    const std::tuple<OutputFormat, size_t, size_t, size_t> layouts[] = {
        {OutputFormat::kYUYV, 0, 1, 3}, {OutputFormat::kI420, 0, 8, 10}};
    for (const auto& [format, atY, atU, atV] : layouts)
        for (const auto& [r, g, b, y, u, v] : colours) {
            TestFrame frame(4, 2);
            for (size_t i = 0; i < frame.bytes.size(); i += 4)
                std::tie(frame.bytes[i], frame.bytes[i + 1], frame.bytes[i + 2],
                         frame.bytes[i + 3]) = std::tuple{uint8_t(255), r, g, b};
            const std::vector<uint8_t> out = frame.Convert(format);
            const std::string colour = std::string(OutputFormatName(format)) + " " +
                                       std::to_string(r) + "," + std::to_string(g) + "," +
                                       std::to_string(b);
            EXPECT_EQ(out[atY], y) << colour;
            EXPECT_NEAR(out[atU], u, 1) << colour;
            EXPECT_NEAR(out[atV], v, 1) << colour;
        }
}

TEST(FrameConverterTest, SizesItCannotConvertAreNotValidAndWriteNothing)
{
    EXPECT_TRUE(FrameConverter(OutputFormat::kRGBA, 7, 3).IsValid());
    TestFrame frame(8, 3);
    const std::tuple<OutputFormat, int, int, size_t> bad[] = {
        {OutputFormat::kYUYV, 7, 3, 32},  {OutputFormat::kI420, 7, 4, 32},
        {OutputFormat::kI420, 8, 3, 32},  {OutputFormat::kARGB, 0, 3, 32},
        {OutputFormat::kRGBA, 8, -3, 32}, {OutputFormat::kARGB, INT_MAX, 1, 32},
        {OutputFormat::kARGB, 8, 3, 31}}; // rows closer together than a row of pixels
    for (const auto& [format, w, h, rowBytes] : bad) {
        FrameConverter converter(format, w, h);
        std::vector<uint8_t> out(256, 0x5A);
        converter.Convert(frame.bytes.data(), rowBytes, out.data());
        EXPECT_EQ(out, std::vector<uint8_t>(256, 0x5A)) << w << " x " << h << " / " << rowBytes;
        if (rowBytes == 32) {
            EXPECT_FALSE(converter.IsValid() || converter.OutputBytes()) << w << " x " << h;
        }
    }
}

namespace {

// Drawn into a buffer with guard bytes after it, which must stay as they were.
std::vector<uint8_t> Picture(int w, int h, const std::string& name)
{
    std::vector<uint8_t> buffer(size_t(w) * h * 4 + 64, 0xA5);
    DrawNoBroadcastPicture(buffer.data(), w, h, name);
    EXPECT_EQ(std::vector<uint8_t>(buffer.end() - 64, buffer.end()), std::vector<uint8_t>(64, 0xA5))
        << "written past " << w << " x " << h;
    buffer.resize(buffer.size() - 64);
    size_t seeThrough = 0;
    for (size_t i = 0; i < buffer.size(); i += 4)
        seeThrough += buffer[i] != 255;
    EXPECT_EQ(seeThrough, 0u) << "pixels not opaque at " << w << " x " << h;
    return buffer;
}

size_t LightPixels(const std::vector<uint8_t>& argb)
{
    size_t n = 0;
    for (size_t i = 0; i < argb.size(); i += 4)
        n += argb[i + 1] > 120 && argb[i + 2] > 120 && argb[i + 3] > 120;
    return n;
}

} // namespace

TEST(NoBroadcastPictureTest, ShowsTheNameInCapitalsAndTheMessageOnADarkGround)
{
    const std::vector<uint8_t> picture = Picture(640, 480, "Parallax3D");
    const size_t light = LightPixels(picture);
    EXPECT_GT(light, 640u * 480 / 100) << "no text to be seen";
    EXPECT_LT(light, 640u * 480 / 3) << "the ground is not dark";
    EXPECT_GT(light, LightPixels(Picture(640, 480, "")));
    EXPECT_NE(picture, Picture(640, 480, "Other Camera"));
    EXPECT_EQ(picture, Picture(640, 480, "PARALLAX3D"));
}

TEST(NoBroadcastPictureTest, AnySizeAndNameStaysWithinTheBuffer)
{
    const std::string longName(1000, 'W');
    for (const auto& [w, h] :
         {std::pair{1, 1}, {3, 2}, {2, 1000}, {1000, 2}, {71, 7}, {1920, 1080}})
        for (const std::string& name : {longName, std::string("caf\xc3\xa9 \xe2\x9c\x93 ~{}")})
            Picture(w, h, name);
    EXPECT_GT(LightPixels(Picture(320, 240, longName)), 0u) << "a long name hides the message";
}
