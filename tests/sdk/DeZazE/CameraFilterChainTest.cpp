// The camera image chain without its panel: what a fresh chain gives, where the mirrors send a
// pixel, and each control's arithmetic against an independent double-precision reference.
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include "CICameraFilterChain.h"
#include "ColorByteKernel.h"
#include "RenderImage.h"
#include "TestSupport.h"

namespace {

// Opaque pixels that say where they are and spread over every byte value; y up.
struct Frame
{
    size_t width, height, rowBytes;
    std::vector<UInt8> bytes;

    Frame(size_t w, size_t h) : width(w), height(h), rowBytes(w * 4 + 8), bytes(rowBytes * h, 0)
    {
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x) {
                UInt8* p = at(x, y);
                p[0] = 255;
                p[1] = UInt8(x * 7 + y);
                p[2] = UInt8(y * 3 + x / 3);
                p[3] = UInt8((x ^ y) * 5);
            }
    }
    UInt8* at(size_t x, size_t y) { return &bytes[(height - 1 - y) * rowBytes + x * 4]; }
    CFPtr<CIImage> image() const
    {
        return CIImage::imageWithARGBMemory(bytes.data(), rowBytes, width, height);
    }
};

const UInt8* Pixel(const std::vector<UInt8>& canvas, size_t x, size_t y)
{
    return &canvas[((480 - 1 - y) * 640 + x) * 4];
}

// The filters' arithmetic on one un-premultiplied channel value, in double.
double Clamp01(double v)
{
    return std::fmin(std::fmax(v, 0.0), 1.0);
}
double Decode(double u)
{
    return u <= 0.04045 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
}
double Encode(double l)
{
    return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

struct Settings
{
    double white[3] = {1, 1, 1};
    double ev = 0;
    double saturation = 1, brightness = 0, contrast = 1;
};

void Reference(const Settings& s, const UInt8* in, double out[3])
{
    double u[3];
    for (int c = 0; c < 3; ++c) {
        u[c] = Clamp01(in[1 + c] / 255.0 / s.white[c]);
        u[c] = Clamp01(Encode(std::fmin(1.0, Decode(u[c]) * std::exp2(s.ev))));
    }
    const double luma = 0.2126 * u[0] + 0.7152 * u[1] + 0.0722 * u[2];
    for (int c = 0; c < 3; ++c) {
        const double v = luma + s.saturation * (u[c] - luma) + s.brightness;
        out[c] = Clamp01((v - 0.5) * s.contrast + 0.5) * 255.0;
    }
}

class CameraFilterChain : public testing::Test
{
protected:
    std::vector<UInt8> Render() { return p3dtest::RenderImage(Filtered().get(), 640, 480); }
    CFPtr<CIImage> Filtered() { return mChain.filteredImage(mSource.get()); }
    // A chain at rest hands the source to the crop with no step between.
    bool IsCropOfSource()
    {
        const CFPtr<CIImage> out = Filtered();
        return out && out->kind() == CIImage::Kind::kCrop && out->input(0) == mSource.get();
    }

    Frame mFrame{640, 480};
    CFPtr<CIImage> mSource = mFrame.image();
    CICameraFilterChain mChain;
};

TEST_F(CameraFilterChain, AFreshChainGivesTheInputCroppedToTheFrameBitForBit)
{
    ASSERT_TRUE(mChain.isComplete());
    EXPECT_TRUE(IsCropOfSource()) << "no pixel step beyond the crop at rest";

    Frame large(700, 500);
    const CFPtr<CIImage> out = mChain.filteredImage(large.image().get());
    ASSERT_TRUE(out);
    EXPECT_TRUE(CGRectEqualToRect(out->extent(), CGRectMake(0, 0, 640, 480)));
    const std::vector<UInt8> canvas = p3dtest::RenderImage(out.get(), 640, 480);
    for (size_t y = 0; y < 480; ++y)
        ASSERT_EQ(memcmp(Pixel(canvas, 0, y), large.at(0, y), 640 * 4), 0) << "row " << y;
}

TEST_F(CameraFilterChain, MirrorsSendAPixelToTheOtherSide)
{
    struct Case
    {
        bool x, y;
        size_t toX, toY;
    };
    for (const Case& c : {Case{true, true, 629, 459}, Case{true, false, 629, 20},
                          Case{false, true, 10, 459}, Case{false, false, 10, 20}}) {
        SCOPED_TRACE(testing::Message() << "mirror x " << c.x << " y " << c.y);
        mChain.setMirror(c.x, c.y);
        const std::vector<UInt8> canvas = Render();
        EXPECT_EQ(memcmp(Pixel(canvas, c.toX, c.toY), mFrame.at(10, 20), 4), 0);
    }
    mChain.setMirror(true, true);
    const CGPoint corner = CGPointApplyAffineTransform(CGPointMake(10, 20), mChain.transform());
    EXPECT_EQ(corner.x, 630);
    EXPECT_EQ(corner.y, 460);
    // At another frame size they turn about its middle, still set.
    mChain.setFrameSize(1280, 720);
    const CGPoint hd = CGPointApplyAffineTransform(CGPointMake(10, 20), mChain.transform());
    EXPECT_EQ(hd.x, 1270);
    EXPECT_EQ(hd.y, 700);
}

TEST_F(CameraFilterChain, EachControlMovesPixelsAsItsArithmeticSays)
{
    struct Case
    {
        const char* what;
        Settings settings;
    };
    const Case cases[] = {
        {"white point", {{0.8, 1.0, 0.6}, 0, 1, 0, 1}},
        {"exposure up", {{1, 1, 1}, 0.7, 1, 0, 1}},
        {"exposure down", {{1, 1, 1}, -1.5, 1, 0, 1}},
        {"saturation", {{1, 1, 1}, 0, 1.6, 0, 1}},
        {"greyscale", {{1, 1, 1}, 0, 0, 0, 1}},
        {"brightness", {{1, 1, 1}, 0, 1, -0.2, 1}},
        {"contrast", {{1, 1, 1}, 0, 1, 0, 1.8}},
        {"everything at once", {{0.9, 0.95, 1.0}, 0.4, 1.3, 0.05, 1.2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Settings& s = c.settings;
        const CFPtr<CIColor> white = CIColor::colorWithRed(s.white[0], s.white[1], s.white[2]);
        mChain.setWhitePoint(white.get());
        mChain.setExposure(float(s.ev));
        mChain.setColorControls(float(s.saturation), float(s.brightness), float(s.contrast));
        const std::vector<UInt8> canvas = Render();
        for (size_t y = 3; y < 480; y += 37)
            for (size_t x = 1; x < 640; x += 29) {
                double expected[3];
                Reference(s, mFrame.at(x, y), expected);
                const UInt8* got = Pixel(canvas, x, y);
                ASSERT_EQ(got[0], 255);
                for (int k = 0; k < 3; ++k)
                    ASSERT_NEAR(got[1 + k], expected[k], 1.0) << x << "," << y << " channel " << k;
            }
    }
}

// The controls' frame is the fixed-point kernel's, the same bytes on each of its paths; the suite
// runs again under PARALLAX3D_CPU=avx2, sse2 and scalar.
TEST_F(CameraFilterChain, EveryPathGivesTheSameFrame)
{
    using CoreImage::ColorByteKernel;
    mChain.setWhitePoint(CIColor::colorWithRed(0.95, 1.0, 0.9).get());
    mChain.setExposure(0.3f);
    mChain.setColorControls(1.3f, 0.05f, 1.2f);
    mChain.setMirror(true, true);
    const std::vector<UInt8> canvas = Render();
    CoreImage::ColorProgram program;
    program.setWhitePoint(true, 0.95f, 1.0f, 0.9f);
    program.setExposure(true, 0.3f);
    program.setColorControls(true, 1.3f, 0.05f, 1.2f);
    ColorByteKernel kernel;
    ASSERT_TRUE(kernel.set(program));
    std::vector<UInt8> row(640 * 4);
    for (auto path : {ColorByteKernel::Path::kScalar, ColorByteKernel::Path::kAVX2,
                      ColorByteKernel::Path::kAVX512}) {
        if (!ColorByteKernel::Supported(path))
            continue;
        // Mirrored both ways: row y is the frame's row 479 - y, last pixel first.
        for (size_t y = 0; y < 480; ++y) {
            kernel.applyOnPath(path, mFrame.at(0, 479 - y), 640, row.data(), true);
            ASSERT_EQ(memcmp(Pixel(canvas, 0, y), row.data(), row.size()), 0)
                << "path " << int(path) << " row " << y;
        }
    }
}

TEST_F(CameraFilterChain, MeaninglessValuesNeverReachAFilter)
{
    const float kNaN = std::nanf("");
    mChain.setExposure(kNaN);
    mChain.setColorControls(kNaN, kNaN, kNaN);
    const CFPtr<CIColor> white = CIColor::colorWithRed(kNaN, kNaN, kNaN);
    mChain.setWhitePoint(white.get());
    EXPECT_TRUE(IsCropOfSource()) << "NaN counts as the identity";
    EXPECT_EQ(mChain.exposure()->numberForKey(CFSTR("inputEV"), -1), 0.0);

    // Far out of range: held to the filters' limits, so every pixel is still a pixel.
    mChain.setExposure(1e30f);
    mChain.setColorControls(-5, 1e30f, -5);
    EXPECT_EQ(mChain.exposure()->numberForKey(CFSTR("inputEV"), 0), 10.0);
    EXPECT_EQ(mChain.color()->numberForKey(CFSTR("inputSaturation"), -1), 0.0);
    EXPECT_EQ(mChain.color()->numberForKey(CFSTR("inputBrightness"), 0), 1.0);
    const std::vector<UInt8> canvas = Render();
    // Contrast 0 about middle grey: every channel 128.
    EXPECT_EQ(Pixel(canvas, 5, 5)[1], 128);

    p3dtest::LogCapture log;
    EXPECT_FALSE(mChain.filteredImage(nullptr));
    EXPECT_NE(log.text().find(" code : in_image in "), std::string::npos);
}

} // namespace
