// Decompression sequences into a port: where a frame may land, and the life of a sequence's id.
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <vector>

#include "ImageCompression.h"

namespace {

constexpr SInt16 kPortWidth = 8, kPortHeight = 4;
constexpr UInt8 kUntouched = 0x11;

// A port of kPortWidth x kPortHeight over memory of kUntouched bytes, and a 4 x 2 YUYV frame of
// limited-range white.
struct DecompressionSequence : ::testing::Test
{
    std::vector<UInt8> pixels = std::vector<UInt8>(kPortWidth * kPortHeight * 4, kUntouched);
    const Rect bounds = {0, 0, kPortHeight, kPortWidth};
    const std::vector<UInt8> white = {235, 128, 235, 128, 235, 128, 235, 128,
                                      235, 128, 235, 128, 235, 128, 235, 128};
    ImageDescription description = {V4L2_PIX_FMT_YUYV, 4, 2, 0, false, 0};
    ImageDescriptionPtr descriptionPtr = &description;

    GWorldPtr Port(OSType pixelFormat)
    {
        GWorldPtr port = nullptr;
        EXPECT_EQ(QTNewGWorldFromPtr(&port, pixelFormat, &bounds, nullptr, nullptr, 0,
                                     pixels.data(), kPortWidth * 4),
                  0);
        return port;
    }

    // The frame's whole rectangle mapped onto destination.
    OSErr Begin(GWorldPtr port, const Rect& destination, ImageSequence* id)
    {
        const Rect frame = {0, 0, 2, 4};
        MatrixRecord matrix;
        RectMatrix(&matrix, &frame, &destination);
        return DecompressSequenceBegin(id, &descriptionPtr, port, nullptr, nullptr, &matrix,
                                       srcCopy, nullptr, 0, codecNormalQuality, bestSpeedCodec);
    }
};

TEST_F(DecompressionSequence, NoFrameLandsOutsideAnARGBPort)
{
    struct Case
    {
        OSType pixelFormat;
        Rect destination;
        const char* why;
    };
    const Case cases[] = {
        {k32RGBAPixelFormat, {0, 0, 2, 4}, "another byte order"},
        {k8IndexedGrayPixelFormat, {0, 0, 2, 4}, "grey"},
        {k32ARGBPixelFormat, {-1, 0, 1, 4}, "above"},
        {k32ARGBPixelFormat, {0, -1, 2, 3}, "left of it"},
        {k32ARGBPixelFormat, {3, 0, 5, 4}, "below"},
        {k32ARGBPixelFormat, {0, 5, 2, 9}, "right of it"},
        {k32ARGBPixelFormat, {1, 1, 1, 5}, "empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        GWorldPtr port = Port(c.pixelFormat);
        ImageSequence id = -1;
        EXPECT_EQ(Begin(port, c.destination, &id), paramErr);
        EXPECT_EQ(id, 0);
        DisposeGWorld(port);
    }
    GWorldPtr port = Port(k32ARGBPixelFormat);
    EXPECT_EQ(Begin(port, bounds, nullptr), paramErr);
    ImageSequence id = -1;
    description.cType = V4L2_PIX_FMT_RGB24;
    EXPECT_EQ(Begin(port, bounds, &id), paramErr) << "a format the decompressor refuses";
    EXPECT_EQ(id, 0);
    DisposeGWorld(port);
}

TEST_F(DecompressionSequence, AFrameFillsItsRectangleOnlyUntilTheSequenceEnds)
{
    GWorldPtr port = Port(k32ARGBPixelFormat);
    ImageSequence id = 0;
    ASSERT_EQ(Begin(port, {1, 2, 3, 6}, &id), 0);
    ASSERT_NE(id, 0);
    const char* frame = reinterpret_cast<const char*>(white.data());
    ASSERT_EQ(DecompressSequenceFrameS(id, frame, long(white.size()), 0, nullptr, nullptr), 0);
    for (int y = 0; y < kPortHeight; ++y)
        for (int x = 0; x < kPortWidth; ++x) {
            const bool inside = y >= 1 && y < 3 && x >= 2 && x < 6;
            EXPECT_EQ(pixels[size_t(y * kPortWidth + x) * 4 + 1], inside ? 255 : kUntouched)
                << x << ", " << y;
        }

    EXPECT_EQ(CDSequenceEnd(id), 0);
    EXPECT_EQ(CDSequenceEnd(id), paramErr);
    EXPECT_EQ(DecompressSequenceFrameS(id, frame, long(white.size()), 0, nullptr, nullptr),
              paramErr);
    DisposeGWorld(port);
}

} // namespace
