// MJPEG frames as ffmpeg's encoder writes them (both samplings, odd sizes, standard Huffman
// tables left out as webcams do), decoded here and by ffmpeg's own decoder.
#include <cstdlib>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "FrameDecompressor.h"
#include "ReferenceConversion.h"
#include "TestSupport.h"

namespace {

bool HaveFfmpeg()
{
    return p3dtest::HaveFfmpeg(P3D_FFMPEG);
}

bool RunFfmpeg(std::vector<std::string> args)
{
    return p3dtest::RunFfmpeg(P3D_FFMPEG, std::move(args));
}

// Webcams leave out the Huffman tables when they are the standard ones.
std::string WithoutHuffmanTables(const std::string& jpeg)
{
    std::string out = jpeg.substr(0, 2);
    size_t at = 2;
    while (at + 4 <= jpeg.size() && UInt8(jpeg[at]) == 0xff && UInt8(jpeg[at + 1]) != 0xda) {
        const size_t length = size_t(UInt8(jpeg[at + 2])) << 8 | UInt8(jpeg[at + 3]);
        if (UInt8(jpeg[at + 1]) != 0xc4)
            out += jpeg.substr(at, 2 + length);
        at += 2 + length;
    }
    return out + jpeg.substr(at);
}

struct Case
{
    int width, height;
    const char* pixelFormat;
    bool standardTablesLeftOut;
};

// The oracle is ffmpeg's decode to A,R,G,B with each pixel taking its own chroma sample and
// exact rounding, as ours does. At odd widths swscale spreads the chroma samples over the row
// instead, so there the oracle is ffmpeg's decoded planes through the reference conversion.
std::vector<UInt8> FfmpegDecode(const std::string& jpeg, const Case& c, const std::string& raw)
{
    const bool planes = c.width % 2 != 0;
    if (!RunFfmpeg({"-i", jpeg, "-sws_flags", "neighbor+accurate_rnd", "-f", "rawvideo", "-pix_fmt",
                    planes ? c.pixelFormat : "argb", raw}))
        return {};
    const std::string bytes = p3dtest::ReadFile(raw);
    const std::vector<UInt8> decoded(bytes.begin(), bytes.end());
    if (!planes)
        return decoded;
    const size_t w = size_t(c.width), h = size_t(c.height), cw = (w + 1) / 2;
    const bool is420 = std::string(c.pixelFormat) == "yuvj420p";
    const size_t ch = is420 ? (h + 1) / 2 : h;
    if (decoded.size() != w * h + 2 * cw * ch)
        return {};
    std::vector<UInt8> argb;
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) {
            const size_t chroma = (is420 ? y / 2 : y) * cw + x / 2;
            const auto pixel = p3dtest::ReferenceARGB(decoded[y * w + x], decoded[w * h + chroma],
                                                      decoded[w * h + cw * ch + chroma], true);
            argb.insert(argb.end(), pixel.begin(), pixel.end());
        }
    return argb;
}

void CompareWithFfmpeg(const Case& c)
{
    p3dtest::TempDir dir;
    // The test source keeps sizes even; an exact crop makes odd ones.
    std::vector<std::string> encode = {
        "-f",
        "lavfi",
        "-i",
        "testsrc2=size=" + std::to_string(c.width + 1) + "x" + std::to_string(c.height + 1),
        "-vf",
        "crop=w=" + std::to_string(c.width) + ":h=" + std::to_string(c.height) + ":x=0:y=0:exact=1",
        "-frames:v",
        "1",
        "-pix_fmt",
        c.pixelFormat};
    if (c.standardTablesLeftOut)
        encode.insert(encode.end(), {"-huffman", "default"});
    encode.insert(encode.end(), {"-f", "mjpeg", dir.file("frame.jpg")});
    ASSERT_TRUE(RunFfmpeg(encode));
    const std::vector<UInt8> oracle = FfmpegDecode(dir.file("frame.jpg"), c, dir.file("frame.raw"));
    ASSERT_EQ(oracle.size(), size_t(c.width) * size_t(c.height) * 4);
    std::string jpeg = p3dtest::ReadFile(dir.file("frame.jpg"));
    if (c.standardTablesLeftOut) {
        const size_t full = jpeg.size();
        jpeg = WithoutHuffmanTables(jpeg);
        ASSERT_LT(jpeg.size(), full);
    }

    std::vector<UInt8> bitmap(oracle.size(), 0);
    Capture::FrameDecompressor decompressor;
    ASSERT_TRUE(decompressor.configure({c.width, c.height, V4L2_PIX_FMT_MJPEG, 0},
                                       {bitmap.data(), size_t(c.width) * 4, c.width, c.height}));
    ASSERT_TRUE(decompressor.decompress(reinterpret_cast<const UInt8*>(jpeg.data()), jpeg.size()));
    int worst = 0;
    for (size_t i = 0; i < bitmap.size(); ++i) {
        if (i % 4 == 0) {
            ASSERT_EQ(bitmap[i], 255) << "pixel " << i / 4;
        }
        worst = std::max(worst, std::abs(int(bitmap[i]) - int(oracle[i])));
    }
    // The two decoders' inverse transforms round differently.
    EXPECT_LE(worst, 4);
}

} // namespace

TEST(FrameDecompressorFfmpeg, MJPEGFramesMatchFfmpegsDecode)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed at " << P3D_FFMPEG;
    for (const Case& c : {Case{640, 480, "yuvj422p", false}, Case{640, 480, "yuvj420p", false},
                          Case{321, 241, "yuvj422p", false}, Case{175, 99, "yuvj420p", false},
                          Case{640, 480, "yuvj422p", true}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                     c.pixelFormat + (c.standardTablesLeftOut ? " without tables" : ""));
        CompareWithFfmpeg(c);
    }
}
