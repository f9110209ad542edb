// The decompressor against a plain BT.601 conversion written here in double, with frames built
// byte by byte from known Y, Cb, Cr samples (MJPEG through the TurboJPEG encoder), and against
// frames that are short, corrupt or of the wrong size.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <string>
#include <turbojpeg.h>
#include <vector>

#include "AllocationCounter.h"
#include "FrameDecompressor.h"
#include "ReferenceConversion.h"
#include "TestSupport.h"

using Capture::FrameDecompressor;
using Capture::FrameDestination;
using Capture::FrameSource;

namespace {

using Bytes = std::vector<UInt8>;

// Known samples of a 4:2:2 or 4:2:0 image.
struct YCbCr
{
    int width, height;
    bool is420;
    Bytes y, u, v;
    int cw() const { return (width + 1) / 2; }
    int ch() const { return is420 ? (height + 1) / 2 : height; }
    UInt8 Y(int x, int r) const { return y[size_t(r * width + x)]; }
    UInt8 U(int x, int r) const { return u[size_t((is420 ? r / 2 : r) * cw() + x / 2)]; }
    UInt8 V(int x, int r) const { return v[size_t((is420 ? r / 2 : r) * cw() + x / 2)]; }
};

// smooth: gentle gradients that survive JPEG and scaling; otherwise every sample differs.
YCbCr MakeSamples(int width, int height, bool is420, bool smooth, bool fullRange = false)
{
    YCbCr s{width, height, is420, {}, {}, {}};
    unsigned seed = 12345;
    auto next = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return UInt8(lo + int((seed >> 16) % unsigned(hi - lo + 1)));
    };
    const int lo = fullRange ? 0 : 16, hiY = fullRange ? 255 : 235, hiC = fullRange ? 255 : 240;
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x)
            s.y.push_back(smooth ? UInt8(lo + (hiY - lo) * (x + r) / (width + height))
                                 : next(lo, hiY));
    for (int r = 0; r < s.ch(); ++r)
        for (int x = 0; x < s.cw(); ++x) {
            s.u.push_back(smooth ? UInt8(64 + 128 * x / s.cw()) : next(lo, hiC));
            s.v.push_back(smooth ? UInt8(192 - 128 * r / s.ch()) : next(lo, hiC));
        }
    return s;
}

Bytes Pack(const YCbCr& s, UInt32 fourcc, size_t line)
{
    Bytes frame;
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        frame.assign(line * size_t(s.height), 0x5a);
        for (int r = 0; r < s.height; ++r)
            for (int x = 0; x < s.width; x += 2) {
                UInt8* p = &frame[size_t(r) * line + size_t(x) * 2];
                const UInt8 quad[4] = {s.Y(x, r), s.U(x, r), s.Y(x + 1, r), s.V(x, r)};
                if (fourcc == V4L2_PIX_FMT_YUYV)
                    std::memcpy(p, quad, 4);
                else
                    p[0] = quad[1], p[1] = quad[0], p[2] = quad[3], p[3] = quad[2];
            }
        break;
    case V4L2_PIX_FMT_NV12:
        frame.assign(line * size_t(s.height + s.ch()), 0x5a);
        for (int r = 0; r < s.height; ++r)
            std::memcpy(&frame[size_t(r) * line], &s.y[size_t(r * s.width)], size_t(s.width));
        for (int r = 0; r < s.ch(); ++r)
            for (int x = 0; x < s.cw(); ++x) {
                frame[line * size_t(s.height + r) + size_t(2 * x)] = s.u[size_t(r * s.cw() + x)];
                frame[line * size_t(s.height + r) + size_t(2 * x + 1)] =
                    s.v[size_t(r * s.cw() + x)];
            }
        break;
    case V4L2_PIX_FMT_YUV420: {
        const size_t half = (line + 1) / 2;
        frame.assign(line * size_t(s.height) + 2 * half * size_t(s.ch()), 0x5a);
        for (int r = 0; r < s.height; ++r)
            std::memcpy(&frame[size_t(r) * line], &s.y[size_t(r * s.width)], size_t(s.width));
        for (int r = 0; r < s.ch(); ++r) {
            const size_t u = line * size_t(s.height) + half * size_t(r);
            std::memcpy(&frame[u], &s.u[size_t(r * s.cw())], size_t(s.cw()));
            std::memcpy(&frame[u + half * size_t(s.ch())], &s.v[size_t(r * s.cw())],
                        size_t(s.cw()));
        }
        break;
    }
    }
    return frame;
}

Bytes EncodeJPEG(const YCbCr& s, int quality = 100)
{
    tjhandle encoder = tjInitCompress();
    const unsigned char* planes[3] = {s.y.data(), s.u.data(), s.v.data()};
    const int strides[3] = {s.width, s.cw(), s.cw()};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int result =
        tjCompressFromYUVPlanes(encoder, planes, s.width, strides, s.height,
                                s.is420 ? TJSAMP_420 : TJSAMP_422, &jpeg, &size, quality, 0);
    EXPECT_EQ(result, 0) << tjGetErrorStr2(encoder);
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return out;
}

// The bitmap with a guard band around it and padding at the end of every row.
struct Bitmap
{
    static constexpr size_t kGuard = 256;
    static constexpr UInt8 kFill = 0xcd;
    int width, height;
    size_t rowBytes;
    Bytes memory;

    Bitmap(int w, int h, size_t padding = 20)
        : width(w), height(h), rowBytes(size_t(w) * 4 + padding),
          memory(rowBytes * size_t(h) + 2 * kGuard, kFill)
    {
    }
    UInt8* base() { return memory.data() + kGuard; }
    const UInt8* pixel(int x, int y) const
    {
        return &memory[kGuard + size_t(y) * rowBytes + size_t(x) * 4];
    }
    FrameDestination destination() { return {base(), rowBytes, width, height}; }
    // Everything but the pixels still holds the fill.
    bool outsideUntouched() const
    {
        for (size_t i = 0; i < memory.size(); ++i) {
            const bool inside = i >= kGuard && i < kGuard + rowBytes * size_t(height) &&
                                (i - kGuard) % rowBytes < size_t(width) * 4;
            if (!inside && memory[i] != kFill)
                return false;
        }
        return true;
    }
    bool untouched() const
    {
        for (UInt8 b : memory)
            if (b != kFill)
                return false;
        return true;
    }
};

// Largest difference of any channel from the reference, the destination mapped onto the samples
// by nearest position.
int WorstDifference(const Bitmap& bitmap, const YCbCr& s, bool fullRange)
{
    int worst = 0;
    for (int r = 0; r < bitmap.height; ++r)
        for (int x = 0; x < bitmap.width; ++x) {
            const int sx = x * s.width / bitmap.width, sy = r * s.height / bitmap.height;
            const auto want =
                p3dtest::ReferenceARGB(s.Y(sx, sy), s.U(sx, sy), s.V(sx, sy), fullRange);
            const UInt8* got = bitmap.pixel(x, r);
            if (got[0] != 255)
                return 1000;
            for (int c = 1; c < 4; ++c)
                worst = std::max(worst, std::abs(int(got[c]) - int(want[size_t(c)])));
        }
    return worst;
}

const UInt32 kUncompressed[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY, V4L2_PIX_FMT_NV12,
                                V4L2_PIX_FMT_YUV420};

bool Is420(UInt32 fourcc)
{
    return fourcc == V4L2_PIX_FMT_NV12 || fourcc == V4L2_PIX_FMT_YUV420;
}

std::string Name(UInt32 fourcc)
{
    return std::string(reinterpret_cast<const char*>(&fourcc), 4);
}

} // namespace

TEST(FrameDecompressor, UncompressedFormatsMatchTheReferenceConversion)
{
    struct Size
    {
        int width, height;
        size_t padding;
    };
    // Padded lines, tight lines, odd sizes for the 4:2:0 formats.
    for (const Size size : {Size{64, 48, 24}, Size{32, 8, 0}, Size{33, 17, 6}, Size{1, 1, 0}})
        for (const UInt32 fourcc : kUncompressed) {
            if (!Is420(fourcc) && size.width % 2)
                continue;
            SCOPED_TRACE(Name(fourcc) + " " + std::to_string(size.width) + "x" +
                         std::to_string(size.height));
            const YCbCr samples = MakeSamples(size.width, size.height, Is420(fourcc), false);
            // NV12's chroma rows hold two bytes per chroma sample, so odd widths round up.
            const size_t line =
                (fourcc == V4L2_PIX_FMT_YUYV || fourcc == V4L2_PIX_FMT_UYVY ? size_t(size.width) * 2
                 : fourcc == V4L2_PIX_FMT_NV12 ? size_t(samples.cw()) * 2
                                               : size_t(size.width)) +
                size.padding;
            const Bytes frame = Pack(samples, fourcc, line);
            Bitmap bitmap(size.width, size.height);
            FrameDecompressor decompressor;
            ASSERT_TRUE(decompressor.configure(
                {size.width, size.height, fourcc, size.padding ? line : 0}, bitmap.destination()));
            ASSERT_TRUE(decompressor.decompress(frame.data(), frame.size()));
            EXPECT_LE(WorstDifference(bitmap, samples, false), 2);
            EXPECT_TRUE(bitmap.outsideUntouched());
        }
}

TEST(FrameDecompressor, MJPEGFramesOfBothSamplingsMatchTheReferenceConversion)
{
    for (const bool is420 : {false, true})
        for (const auto& [width, height] : {std::pair{64, 48}, std::pair{37, 21}}) {
            SCOPED_TRACE(std::string(is420 ? "4:2:0 " : "4:2:2 ") + std::to_string(width));
            const YCbCr samples = MakeSamples(width, height, is420, true, true);
            const Bytes jpeg = EncodeJPEG(samples);
            Bitmap bitmap(width, height);
            FrameDecompressor decompressor;
            ASSERT_TRUE(decompressor.configure({width, height, V4L2_PIX_FMT_MJPEG, 0},
                                               bitmap.destination()));
            ASSERT_TRUE(decompressor.decompress(jpeg.data(), jpeg.size()));
            // Quality 100 still rounds the DCT coefficients.
            EXPECT_LE(WorstDifference(bitmap, samples, true), 4);
            EXPECT_TRUE(bitmap.outsideUntouched());
        }
}

TEST(FrameDecompressor, MJPEGWithoutHuffmanTablesDecodesWithTheStandardOnes)
{
    const YCbCr samples = MakeSamples(64, 48, false, true, true);
    const Bytes jpeg = EncodeJPEG(samples, 85);
    // Webcams leave out the DHT segments; the encoder used the standard tables.
    Bytes stripped(jpeg.begin(), jpeg.begin() + 2);
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xff && jpeg[at + 1] != 0xda) {
        const size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (jpeg[at + 1] != 0xc4)
            stripped.insert(stripped.end(), jpeg.begin() + long(at),
                            jpeg.begin() + long(at + 2 + length));
        at += 2 + length;
    }
    ASSERT_LT(at, jpeg.size());
    stripped.insert(stripped.end(), jpeg.begin() + long(at), jpeg.end());
    ASSERT_LT(stripped.size(), jpeg.size());

    // Separate decompressors: a decoder keeps the tables of the frame before.
    Bitmap with(64, 48), without(64, 48);
    FrameDecompressor first, second;
    ASSERT_TRUE(first.configure({64, 48, V4L2_PIX_FMT_MJPEG, 0}, with.destination()));
    ASSERT_TRUE(first.decompress(jpeg.data(), jpeg.size()));
    ASSERT_TRUE(second.configure({64, 48, V4L2_PIX_FMT_MJPEG, 0}, without.destination()));
    ASSERT_TRUE(second.decompress(stripped.data(), stripped.size()));
    EXPECT_EQ(with.memory, without.memory);
}

TEST(FrameDecompressor, OtherSizesAreScaledIntoTheWholeDestination)
{
    // A 320 x 240 camera fills a 640 x 480 frame buffer; a larger one is scaled down.
    for (const auto& [from, to] : {std::pair{320, 640}, std::pair{640, 320}, std::pair{320, 200}})
        for (const UInt32 fourcc : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_MJPEG}) {
            SCOPED_TRACE(Name(fourcc) + " " + std::to_string(from) + " to " + std::to_string(to));
            const bool jpeg = fourcc == V4L2_PIX_FMT_MJPEG;
            const YCbCr samples = MakeSamples(from, from * 3 / 4, Is420(fourcc), true, jpeg);
            const Bytes frame = jpeg
                                    ? EncodeJPEG(samples)
                                    : Pack(samples, fourcc, size_t(from) * (Is420(fourcc) ? 1 : 2));
            Bitmap bitmap(to, to * 3 / 4);
            FrameDecompressor decompressor;
            ASSERT_TRUE(
                decompressor.configure({from, from * 3 / 4, fourcc, 0}, bitmap.destination()));
            ASSERT_TRUE(decompressor.decompress(frame.data(), frame.size()));
            // Bilinear between neighbours of a gentle gradient, against the nearest sample.
            EXPECT_LE(WorstDifference(bitmap, samples, jpeg), 6);
            EXPECT_TRUE(bitmap.outsideUntouched());
        }
}

TEST(FrameDecompressor, NonsenseDescriptionsAreRefused)
{
    Bitmap bitmap(64, 48);
    const FrameDestination good = bitmap.destination();
    struct Case
    {
        FrameSource source;
        FrameDestination destination;
        const char* why;
    };
    const Case cases[] = {
        {{0, 48, V4L2_PIX_FMT_YUYV, 0}, good, "frame size is out of bounds"},
        {{64, -1, V4L2_PIX_FMT_NV12, 0}, good, "frame size is out of bounds"},
        {{100000, 48, V4L2_PIX_FMT_MJPEG, 0}, good, "frame size is out of bounds"},
        {{63, 48, V4L2_PIX_FMT_YUYV, 0}, good, "odd width"},
        {{63, 48, V4L2_PIX_FMT_UYVY, 0}, good, "odd width"},
        {{64, 48, V4L2_PIX_FMT_YUYV, 100}, good, "bytes per line"},
        {{64, 48, V4L2_PIX_FMT_NV12, size_t(1) << 40}, good, "bytes per line"},
        {{64, 48, V4L2_PIX_FMT_RGB24, 0}, good, "pixel format"},
        {{64, 48, V4L2_PIX_FMT_YUYV, 0}, {nullptr, 256, 64, 48}, "destination size"},
        {{64, 48, V4L2_PIX_FMT_YUYV, 0}, {bitmap.base(), 256, 0, 48}, "destination size"},
        {{64, 48, V4L2_PIX_FMT_YUYV, 0}, {bitmap.base(), 255, 64, 48}, "destination rows"},
    };
    const Bytes frame(64 * 48 * 2, 0x80);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        p3dtest::LogCapture log;
        FrameDecompressor decompressor;
        EXPECT_FALSE(decompressor.configure(c.source, c.destination));
        EXPECT_FALSE(decompressor.decompress(frame.data(), frame.size()));
        const std::string text = log.text();
        EXPECT_NE(text.find(c.why), std::string::npos) << text;
    }
    // A refused description also stops a decompressor that was working.
    FrameDecompressor decompressor;
    ASSERT_TRUE(decompressor.configure({64, 48, V4L2_PIX_FMT_YUYV, 0}, good));
    EXPECT_FALSE(decompressor.configure({63, 48, V4L2_PIX_FMT_YUYV, 0}, good));
    EXPECT_FALSE(decompressor.decompress(frame.data(), frame.size()));
    EXPECT_TRUE(bitmap.untouched());
}

TEST(FrameDecompressor, ShortAndEmptyFramesAreDroppedWithoutWriting)
{
    for (const UInt32 fourcc : kUncompressed)
        for (const int width : {64, 33}) {
            if (!Is420(fourcc) && width % 2)
                continue;
            SCOPED_TRACE(Name(fourcc) + " " + std::to_string(width));
            const YCbCr samples = MakeSamples(width, 17, Is420(fourcc), false);
            const size_t line = size_t(width) * (Is420(fourcc) ? 1 : 2) + 8;
            Bytes frame = Pack(samples, fourcc, line);
            // Frames end after the last pixel they need: padding of the last row may be missing.
            const size_t cw = size_t(samples.cw());
            const size_t needed =
                frame.size() - (fourcc == V4L2_PIX_FMT_YUV420 ? (line + 1) / 2 - cw
                                : fourcc == V4L2_PIX_FMT_NV12 ? line - 2 * cw
                                                              : 8);
            Bitmap bitmap(width, 17), scaled(2 * width, 34);
            FrameDecompressor same, scaling;
            ASSERT_TRUE(same.configure({width, 17, fourcc, line}, bitmap.destination()));
            ASSERT_TRUE(scaling.configure({width, 17, fourcc, line}, scaled.destination()));
            p3dtest::LogCapture log;
            for (FrameDecompressor* decompressor : {&same, &scaling}) {
                EXPECT_FALSE(decompressor->decompress(frame.data(), needed - 1));
                EXPECT_FALSE(decompressor->decompress(frame.data(), 0));
                EXPECT_FALSE(decompressor->decompress(nullptr, frame.size()));
            }
            const std::string text = log.text();
            EXPECT_NE(text.find("needs " + std::to_string(needed)), std::string::npos) << text;
            EXPECT_NE(text.find("empty"), std::string::npos);
            EXPECT_TRUE(bitmap.untouched());
            EXPECT_TRUE(scaled.untouched());
            frame.resize(needed);
            EXPECT_TRUE(same.decompress(frame.data(), frame.size()));
            EXPECT_TRUE(scaling.decompress(frame.data(), frame.size()));
        }
}

TEST(FrameDecompressor, BadMJPEGFramesAreDroppedWithoutWriting)
{
    const YCbCr samples = MakeSamples(64, 48, false, false, true);
    const Bytes jpeg = EncodeJPEG(samples, 90);
    Bytes flipped = jpeg;
    for (size_t i = jpeg.size() / 3; i < jpeg.size() / 2; i += 7)
        flipped[i] = UInt8(~flipped[i]);
    const Bytes other = EncodeJPEG(MakeSamples(48, 48, false, true, true));
    const Bytes noise(5000, 0x37);
    // Grey and 4:4:4 images are not camera frames.
    tjhandle encoder = tjInitCompress();
    unsigned char* grey = nullptr;
    unsigned long greySize = 0;
    const Bytes rgb(size_t(64 * 48 * 3), 0x80);
    ASSERT_EQ(
        tjCompress2(encoder, rgb.data(), 64, 0, 48, TJPF_RGB, &grey, &greySize, TJSAMP_GRAY, 90, 0),
        0);
    const Bytes greyJPEG(grey, grey + greySize);
    tjFree(grey);
    tjDestroy(encoder);

    struct Case
    {
        Bytes frame;
        const char* why;
    };
    const Case cases[] = {
        {Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)), "corrupt JPEG data"},
        {Bytes(jpeg.begin(), jpeg.begin() + 20), "not a JPEG image"},
        {Bytes(jpeg.begin(), jpeg.end() - 2), "corrupt JPEG data"},
        {flipped, "corrupt JPEG data"},
        {other, "the JPEG image is 48 x 48, the camera agreed on 64 x 48"},
        {noise, "not a JPEG image"},
        {greyJPEG, "4:2:2 or 4:2:0"},
        {Bytes(), "empty"},
    };
    for (const bool scale : {false, true}) {
        Bitmap bitmap(scale ? 128 : 64, scale ? 96 : 48);
        FrameDecompressor decompressor;
        ASSERT_TRUE(decompressor.configure({64, 48, V4L2_PIX_FMT_MJPEG, 0}, bitmap.destination()));
        for (const Case& c : cases) {
            SCOPED_TRACE(c.why);
            p3dtest::LogCapture log;
            EXPECT_FALSE(decompressor.decompress(c.frame.data(), c.frame.size()));
            const std::string text = log.text();
            EXPECT_NE(text.find(c.why), std::string::npos) << text;
            EXPECT_TRUE(bitmap.untouched());
        }
        // The next good frame comes through.
        EXPECT_TRUE(decompressor.decompress(jpeg.data(), jpeg.size()));
        EXPECT_TRUE(bitmap.outsideUntouched());
    }
}

TEST(FrameDecompressor, WarmFramesAllocateNothing)
{
    const YCbCr packed = MakeSamples(640, 480, false, false);
    const YCbCr jpegSamples = MakeSamples(640, 480, true, true, true);
    const Bytes yuyv = Pack(packed, V4L2_PIX_FMT_YUYV, 1280);
    const Bytes jpeg = EncodeJPEG(jpegSamples, 80);
    Bitmap big(640, 480), small(320, 240);
    FrameDecompressor decompressor;
    struct Step
    {
        FrameSource source;
        Bitmap* bitmap;
        const Bytes* frame;
    };
    const Step steps[] = {
        {{640, 480, V4L2_PIX_FMT_MJPEG, 0}, &big, &jpeg},
        {{640, 480, V4L2_PIX_FMT_MJPEG, 0}, &small, &jpeg},
        {{640, 480, V4L2_PIX_FMT_YUYV, 0}, &big, &yuyv},
        {{640, 480, V4L2_PIX_FMT_YUYV, 0}, &small, &yuyv},
    };
    // Warm: scratch for every geometry below has been grown once.
    for (const Step& step : steps) {
        ASSERT_TRUE(decompressor.configure(step.source, step.bitmap->destination()));
        ASSERT_TRUE(decompressor.decompress(step.frame->data(), step.frame->size()));
    }
    const long before = p3dtest::AllocationCount();
    for (const Step& step : steps) {
        // Reopening at a known size keeps the memory.
        EXPECT_TRUE(decompressor.configure(step.source, step.bitmap->destination()));
        for (int frame = 0; frame < 5; ++frame)
            EXPECT_TRUE(decompressor.decompress(step.frame->data(), step.frame->size()));
    }
    EXPECT_EQ(p3dtest::AllocationCount() - before, 0);
}
