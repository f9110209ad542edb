#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

#include "AffineResample.h"
#include "AllocationCounter.h"
#include "ColorByteKernel.h"
#include "ColorOps.h"

using CoreImage::ColorByteKernel;
using CoreImage::ColorProgram;
using CoreImage::RGBAf;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Opaque, translucent and transparent pixels, valid premultiplied data.
std::vector<UInt8> Pixels(size_t count, unsigned seed)
{
    std::vector<UInt8> bytes(count * 4);
    unsigned state = seed * 2654435761u + 7;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return UInt8(state >> 16);
    };
    for (size_t n = 0; n < count; ++n) {
        UInt8* p = &bytes[n * 4];
        p[0] = n % 3 == 0 ? 255 : n % 7 == 0 ? 0 : next();
        for (int c = 1; c < 4; ++c)
            p[c] = p[0] == 0 ? 0 : UInt8(next() % (p[0] + 1));
    }
    return bytes;
}

// The filters computed plainly, one pixel at a time in double arithmetic with the exact curve.
struct Params
{
    bool white = false;
    double w[3] = {1, 1, 1};
    bool exposure = false;
    double ev = 0;
    bool controls = false;
    double s = 1, b = 0, k = 1;
};

double Decode(double u)
{
    return u <= 0.04045 ? u / 12.92 : std::pow((u + 0.055) / 1.055, 2.4);
}

double Encode(double l)
{
    return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

// Premultiplied 0..1 results for one pixel of bytes.
void Reference(const UInt8* p, const Params& q, double out[4])
{
    const double a = p[0] / 255.0;
    out[3] = a;
    if (a == 0) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    double u[3];
    for (int c = 0; c < 3; ++c)
        u[c] = std::min(1.0, p[1 + c] / 255.0 / a);
    for (int c = 0; c < 3 && q.white; ++c)
        u[c] = std::clamp(u[c] / q.w[c], 0.0, 1.0);
    for (int c = 0; c < 3 && q.exposure; ++c)
        u[c] = Encode(std::min(1.0, Decode(u[c]) * std::pow(2.0, q.ev)));
    if (q.controls) {
        const double y = 0.2126 * u[0] + 0.7152 * u[1] + 0.0722 * u[2];
        for (double& v : u) {
            const double saturated = y + q.s * (v - y);
            v = std::clamp((saturated + q.b - 0.5) * q.k + 0.5, 0.0, 1.0);
        }
    }
    for (int c = 0; c < 3; ++c)
        out[c] = u[c] * a;
}

ColorProgram Program(const Params& q)
{
    ColorProgram program;
    program.setWhitePoint(q.white, float(q.w[0]), float(q.w[1]), float(q.w[2]));
    program.setExposure(q.exposure, float(q.ev));
    program.setColorControls(q.controls, float(q.s), float(q.b), float(q.k));
    return program;
}

// Runs the program over pixels of every kind on a row of odd length and checks each value
// against the reference: opaque pixels exactly but for float rounding, translucent ones (whose
// colour falls between the curve table's entries) within a byte step; bytes within 1.
void ExpectMatchesReference(const Params& q)
{
    constexpr size_t kCount = 1001;
    const std::vector<UInt8> bytes = Pixels(kCount, 11);
    std::vector<RGBAf> row(kCount);
    CoreImage::UnpackARGB8Row(bytes.data(), kCount, row.data());
    Program(q).applyRow(row.data(), kCount);
    std::vector<UInt8> packed(kCount * 4);
    CoreImage::PackARGB8Row(row.data(), kCount, packed.data());
    // The byte path, in place and not.
    std::vector<UInt8> direct(kCount * 4 + 4, 0xEE);
    Program(q).applyARGB8Row(bytes.data(), kCount, direct.data());
    EXPECT_EQ(direct[4 * kCount], 0xEE) << "wrote past the row";
    std::vector<UInt8> inPlace = bytes;
    Program(q).applyARGB8Row(inPlace.data(), kCount, inPlace.data());
    EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.end(), direct.begin()));
    // Mirrored: the source read last pixel first.
    std::vector<UInt8> mirrored(bytes.size()), back(bytes.size());
    for (size_t n = 0; n < kCount; ++n)
        std::copy_n(&bytes[4 * (kCount - 1 - n)], 4, &mirrored[4 * n]);
    Program(q).applyARGB8Row(mirrored.data(), kCount, back.data(), true);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), direct.begin()));

    double worst[2] = {0, 0}; // translucent, opaque
    for (size_t n = 0; n < kCount; ++n) {
        double expected[4];
        Reference(&bytes[4 * n], q, expected);
        const float got[4] = {row[n].r, row[n].g, row[n].b, row[n].a};
        double& most = worst[bytes[4 * n] == 255];
        for (int c = 0; c < 4; ++c) {
            most = std::max(most, std::fabs(got[c] - expected[c]));
            const int byte = int(std::lround(expected[c] * 255));
            const int channel = c == 3 ? 0 : c + 1;
            ASSERT_LE(std::abs(packed[4 * n + channel] - byte), 1)
                << "pixel " << n << " channel " << c;
            ASSERT_LE(std::abs(direct[4 * n + channel] - byte), 1)
                << "pixel " << n << " channel " << c;
            if (bytes[4 * n] == 255) { // the tables are exact: only rounding differs
                ASSERT_LE(std::fabs(direct[4 * n + channel] - expected[c] * 255), 0.5 + 1e-3);
            }
        }
    }
    EXPECT_LE(worst[1], 1e-5);
    EXPECT_LE(worst[0], 1.0 / 255);
}

// Opaque pixels over every byte value of each channel, beside others.
std::vector<UInt8> OpaqueSweep()
{
    std::vector<UInt8> bytes;
    for (int v = 0; v < 256; ++v)
        for (int other : {0, 37, 128, 200, 255})
            for (int c = 1; c < 4; ++c) {
                UInt8 p[4] = {255, UInt8(other), UInt8(255 - other), UInt8(other / 2)};
                p[c] = UInt8(v);
                bytes.insert(bytes.end(), p, p + 4);
            }
    return bytes;
}

std::vector<ColorByteKernel::Path> Paths()
{
    std::vector<ColorByteKernel::Path> paths;
    for (auto path : {ColorByteKernel::Path::kScalar, ColorByteKernel::Path::kAVX2,
                      ColorByteKernel::Path::kAVX512})
        if (ColorByteKernel::Supported(path))
            paths.push_back(path);
    return paths;
}

// The fixed-point kernel on every path: opaque pixels within 0.5 + 6.5 / S of the exact value,
// every other pixel as the program's exact byte path has it, and every path the same bytes.
void ExpectKernelMatchesReference(const Params& q)
{
    ColorByteKernel kernel;
    const ColorProgram program = Program(q);
    ASSERT_TRUE(kernel.set(program));
    std::vector<UInt8> bytes = OpaqueSweep();
    const std::vector<UInt8> mixed = Pixels(1001, 17);
    bytes.insert(bytes.end(), mixed.begin(), mixed.end());
    const size_t count = bytes.size() / 4;
    std::vector<UInt8> exact(bytes.size());
    program.applyARGB8Row(bytes.data(), count, exact.data());
    const double slack = 0.5 + 6.5 / (1 << kernel.fractionBits());

    std::vector<UInt8> first;
    for (ColorByteKernel::Path path : Paths()) {
        SCOPED_TRACE(int(path));
        std::vector<UInt8> out(bytes.size() + 4, 0xEE);
        kernel.applyOnPath(path, bytes.data(), count, out.data(), false);
        EXPECT_EQ(out[4 * count], 0xEE) << "wrote past the row";
        out.resize(bytes.size());
        for (size_t n = 0; n < count; ++n) {
            if (bytes[4 * n] != 255) {
                ASSERT_EQ(memcmp(&out[4 * n], &exact[4 * n], 4), 0) << "pixel " << n;
                continue;
            }
            double expected[4];
            Reference(&bytes[4 * n], q, expected);
            ASSERT_EQ(out[4 * n], 255);
            for (int c = 0; c < 3; ++c)
                ASSERT_LE(std::fabs(out[4 * n + 1 + c] - expected[c] * 255), slack)
                    << "pixel " << n << " channel " << c;
        }
        if (first.empty())
            first = out;
        EXPECT_EQ(out, first) << "the paths disagree";
    }
}

TEST(ColorByteKernel, OpaquePixelsLandWithinAFractionOfALevel)
{
    struct Case
    {
        const char* what;
        Params q;
    };
    auto make = [](std::array<double, 3> w, double ev, double s, double b, double k) {
        Params q;
        q.white = w != std::array<double, 3>{1, 1, 1};
        std::copy(w.begin(), w.end(), q.w);
        q.exposure = ev != 0, q.ev = ev;
        q.controls = s != 1 || b != 0 || k != 1;
        q.s = s, q.b = b, q.k = k;
        return q;
    };
    const Case cases[] = {
        {"white point", make({0.8, 1.25, 0.5}, 0, 1, 0, 1)},
        {"exposure up", make({1, 1, 1}, 0.7, 1, 0, 1)},
        {"exposure down", make({1, 1, 1}, -2.5, 1, 0, 1)},
        {"camera controls", make({0.95, 1.0, 0.9}, 0.3, 1.3, 0.05, 1.2)},
        {"greyscale", make({1, 1, 1}, 0, 0, 0, 1)},
        {"no contrast", make({1, 1, 1}, 0, 1, 0.2, 0)},
        {"brightness at its ends", make({1, 1, 1}, 0, 1, -1, 1)},
        {"strong saturation", make({0.9, 0.7, 1.1}, 0.7, 2.5, -0.1, 1.4)},
        {"large gains", make({1, 1, 1}, 1, 2.5, 0, 1.6)},
        {"the panel's extremes", make({1, 1, 1}, 2, 2, -0.5, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectKernelMatchesReference(c.q);
    }
}

TEST(ColorByteKernel, MirroredRowsReadTheSourceLastPixelFirst)
{
    Params q;
    q.white = q.exposure = q.controls = true;
    q.w[2] = 0.8, q.ev = 0.4, q.s = 1.3, q.b = 0.05, q.k = 1.2;
    ColorByteKernel kernel;
    ASSERT_TRUE(kernel.set(Program(q)));
    // Lengths around the vector blocks, with a translucent pixel inside a block.
    for (size_t count : {1, 31, 33, 63, 64, 65, 97, 130, 640}) {
        SCOPED_TRACE(count);
        std::vector<UInt8> bytes = Pixels(count, unsigned(count));
        for (size_t n = 0; n < count; ++n)
            bytes[4 * n] = 255, bytes[4 * n + 1] |= 0x80; // opaque, top bit set and not
        if (count > 70)
            bytes[4 * 70] = 128, bytes[4 * 70 + 1] = 100, bytes[4 * 70 + 2] = 3;
        std::vector<UInt8> mirrored(bytes.size());
        for (size_t n = 0; n < count; ++n)
            memcpy(&mirrored[4 * n], &bytes[4 * (count - 1 - n)], 4);
        for (ColorByteKernel::Path path : Paths()) {
            std::vector<UInt8> forward(bytes.size()), backward(bytes.size());
            kernel.applyOnPath(path, mirrored.data(), count, forward.data(), false);
            kernel.applyOnPath(path, bytes.data(), count, backward.data(), true);
            EXPECT_EQ(backward, forward) << "path " << int(path);
            std::vector<UInt8> inPlace = mirrored;
            kernel.applyOnPath(path, inPlace.data(), count, inPlace.data(), false);
            EXPECT_EQ(inPlace, forward) << "path " << int(path);
        }
    }
}

TEST(ColorByteKernel, GainsBeyondSixteenBitsAreRefused)
{
    Params q;
    q.controls = true;
    q.s = 4, q.k = 4;
    ColorByteKernel kernel;
    EXPECT_FALSE(kernel.set(Program(q)));
    EXPECT_FALSE(kernel.ready());
    UInt8 pixel[4] = {255, 10, 20, 30};
    UInt8 out[4] = {1, 2, 3, 4};
    kernel.apply(pixel, 1, out, false);
    EXPECT_EQ(out[0], 1) << "a kernel that is not ready writes nothing";
    // Plain colours need no fraction bits beyond the most.
    EXPECT_TRUE(kernel.set(ColorProgram()));
    EXPECT_EQ(kernel.fractionBits(), 7);
    kernel.apply(nullptr, 1, out, false);
    kernel.apply(pixel, 1, nullptr, false);
}

TEST(ColorOps, UnpackThenPackGivesBackEveryPremultipliedPixel)
{
    std::vector<UInt8> bytes;
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c <= a; ++c)
            bytes.insert(bytes.end(), {UInt8(a), UInt8(c), UInt8(a - c), UInt8(c / 2)});
    const size_t count = bytes.size() / 4;
    std::vector<RGBAf> row(count);
    std::vector<UInt8> back(bytes.size());
    CoreImage::UnpackARGB8Row(bytes.data(), count, row.data());
    EXPECT_FLOAT_EQ(row[count - 1].a, 1.0f);
    EXPECT_FLOAT_EQ(row[count - 1].r, 1.0f);
    CoreImage::PackARGB8Row(row.data(), count, back.data());
    EXPECT_EQ(back, bytes);
}

TEST(ColorOps, PackClampsRoundsAndKeepsColourWithinAlpha)
{
    const RGBAf in[] = {
        {0.5f, 0.9f, -0.2f, 0.6f},                 // colour above alpha, negative
        {kNaN, kInf, -kInf, 2.0f},                 // alpha above 1
        {0.3f, 0.3f, 0.3f, kNaN},                  // no alpha: nothing
        {1.6f / 255, 1.4f / 255, 254.6f / 255, 1}, // round to nearest
    };
    UInt8 out[4 * 4 + 4];
    std::fill(std::begin(out), std::end(out), 0xEE);
    CoreImage::PackARGB8Row(in, 4, out);
    const UInt8 expected[4 * 4] = {153, 128, 153, 0, 255, 0, 255, 0, 0, 0, 0, 0, 255, 2, 1, 255};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), out));
    EXPECT_EQ(out[16], 0xEE) << "wrote past the row";

    CoreImage::PackARGB8Row(nullptr, 4, out);
    CoreImage::PackARGB8Row(in, 4, nullptr);
    CoreImage::UnpackARGB8Row(nullptr, 4, nullptr);
}

TEST(ColorOps, EachFilterMatchesThePlainArithmetic)
{
    Params white;
    white.white = true;
    white.w[0] = 0.8, white.w[1] = 1.25, white.w[2] = 0.5;
    ExpectMatchesReference(white);

    for (double ev : {-3.0, -0.5, 0.25, 1.0, 2.5}) {
        SCOPED_TRACE(ev);
        Params exposure;
        exposure.exposure = true;
        exposure.ev = ev;
        ExpectMatchesReference(exposure);
    }

    const double settings[][3] = {{0.0, 0.0, 1.0}, {1.7, 0.0, 1.0}, {1.0, -0.3, 1.0},
                                  {1.0, 0.0, 0.4}, {1.0, 0.0, 2.2}, {0.6, 0.15, 1.3}};
    for (const auto& [s, b, k] : settings) {
        SCOPED_TRACE(testing::Message() << s << " " << b << " " << k);
        Params controls;
        controls.controls = true;
        controls.s = s, controls.b = b, controls.k = k;
        ExpectMatchesReference(controls);
    }
}

TEST(ColorOps, TheThreeFiltersRunInOrderInOnePass)
{
    Params all;
    all.white = all.exposure = all.controls = true;
    all.w[0] = 0.9, all.w[1] = 0.7, all.w[2] = 1.1;
    all.ev = 0.7;
    all.s = 1.4, all.b = -0.1, all.k = 1.2;
    ExpectMatchesReference(all);

    // Values worked by hand, one opaque pixel each, so that the reference's reading of the
    // formulas is checked too.
    auto one = [](const ColorProgram& program, RGBAf pixel) {
        program.applyRow(&pixel, 1);
        return pixel;
    };
    ColorProgram program;
    program.setWhitePoint(true, 0.5f, 1, 0.8f);
    RGBAf p = one(program, {0.25f, 0.25f, 0.9f, 1});
    EXPECT_FLOAT_EQ(p.r, 0.5f);
    EXPECT_FLOAT_EQ(p.g, 0.25f);
    EXPECT_FLOAT_EQ(p.b, 1.0f) << "clamped";

    program = ColorProgram();
    program.setExposure(true, 1);
    // 0.5 is 0.21404 in linear light; doubled, 0.42808, which encodes to 0.68584.
    EXPECT_NEAR(one(program, {0.5f, 0.5f, 0.5f, 1}).r, 0.68584f, 1e-4);
    // A half-covered pixel of the same colour keeps its coverage.
    p = one(program, {0.25f, 0.25f, 0.25f, 0.5f});
    EXPECT_NEAR(p.r, 0.68584f / 2, 1e-4);
    EXPECT_EQ(p.a, 0.5f);

    program = ColorProgram();
    program.setColorControls(true, 0, 0.1f, 2);
    // Grey at the luma 0.2126: brightened to 0.3126, then 0.5 + 2 (0.3126 - 0.5) = 0.1252.
    p = one(program, {1, 0, 0, 1});
    EXPECT_NEAR(p.r, 0.1252f, 1e-5);
    EXPECT_NEAR(p.g, 0.1252f, 1e-5);
    EXPECT_NEAR(p.b, 0.1252f, 1e-5);
}

// The vector code and the scalar code give the same bytes and floats, bad values and row ends
// included. (Copies and mirrors are exact, which other tests see on every set.)
TEST(ColorOps, EveryInstructionSetGivesTheSameResults)
{
    using Processor::InstructionSet;
    constexpr size_t kCount = 131;
    const std::vector<UInt8> bytes = Pixels(kCount, 11);
    std::vector<RGBAf> floats(kCount);
    CoreImage::UnpackARGB8Row(bytes.data(), kCount, floats.data(), InstructionSet::kScalar);
    floats[5] = {kNaN, 2.0f, -1.0f, kInf};
    ColorProgram program;
    program.setWhitePoint(true, 0.9f, 0.7f, 1.1f);
    program.setExposure(true, 0.7f);
    program.setColorControls(true, 1.4f, -0.1f, 1.2f);
    const CoreImage::SourceRows source{bytes.data(), 4 * 13, {5, -7, 13, 10}};
    const CoreImage::AffineSampling rotated(CGAffineTransformMake(1.1, 0.6, -0.6, 1.1, 7.2, -3.5));
    auto results = [&](InstructionSet set) {
        std::vector<RGBAf> applied = floats, sampled(kCount);
        std::vector<UInt8> out(3 * 4 * kCount);
        program.applyRow(applied.data(), kCount, set);
        CoreImage::PackARGB8Row(applied.data(), kCount, out.data(), set);
        program.applyARGB8Row(bytes.data(), kCount, &out[4 * kCount], false, set);
        rotated.resampleRow(source, 1, -20, kCount, &out[8 * kCount], set);
        rotated.resampleRow(source, 1, -20, kCount, sampled.data(), set);
        for (const std::vector<RGBAf>* row : {&applied, &sampled}) {
            const UInt8* start = reinterpret_cast<const UInt8*>(row->data());
            out.insert(out.end(), start, start + row->size() * sizeof(RGBAf));
        }
        return out;
    };
    EXPECT_EQ(results(InstructionSet::kSSE2), results(InstructionSet::kScalar));
}

TEST(ColorOps, IdentityValuesLeaveImagesBitIdentical)
{
    constexpr size_t kCount = 333;
    const std::vector<UInt8> bytes = Pixels(kCount, 3);
    std::vector<RGBAf> row(kCount);
    std::vector<UInt8> back(bytes.size());

    ColorProgram identity;
    identity.setWhitePoint(true, 1, 1, 1);
    identity.setExposure(true, 0);
    identity.setColorControls(true, 1, 0, 1);
    // Disabled filters ignore their values, as white balance switched off ignores the colour.
    ColorProgram disabled;
    disabled.setWhitePoint(false, 0.2f, 0.5f, 0.9f);
    disabled.setExposure(false, 3);
    disabled.setColorControls(false, 0, 0.5f, 3);
    // A value with no meaning counts as no change.
    ColorProgram meaningless;
    meaningless.setWhitePoint(true, kNaN, -1, 0);
    meaningless.setExposure(true, kNaN);
    meaningless.setColorControls(true, kNaN, kNaN, kNaN);

    for (const ColorProgram* program : {&identity, &disabled, &meaningless}) {
        EXPECT_TRUE(program->isIdentity());
        CoreImage::UnpackARGB8Row(bytes.data(), kCount, row.data());
        program->applyRow(row.data(), kCount);
        CoreImage::PackARGB8Row(row.data(), kCount, back.data());
        EXPECT_EQ(back, bytes);
        std::fill(back.begin(), back.end(), 0);
        program->applyARGB8Row(bytes.data(), kCount, back.data());
        EXPECT_EQ(back, bytes);
        std::vector<UInt8> twice(bytes.size());
        program->applyARGB8Row(bytes.data(), kCount, back.data(), true);
        program->applyARGB8Row(back.data(), kCount, twice.data(), true);
        EXPECT_EQ(twice, bytes) << "mirrored twice";
        EXPECT_EQ(memcmp(&back[0], &bytes[4 * (kCount - 1)], 4), 0);
    }

    // Identity in one filter while another works: only the working one changes anything.
    Params onlyWhite;
    onlyWhite.white = true;
    onlyWhite.w[1] = 0.5;
    ColorProgram mixed = Program(onlyWhite);
    mixed.setExposure(true, 0);
    mixed.setColorControls(true, 1, 0, 1);
    EXPECT_FALSE(mixed.exposureActive());
    EXPECT_FALSE(mixed.colorControlsActive());
    EXPECT_TRUE(mixed.whitePointActive());
}

TEST(ColorOps, ParametersAreHeldToTheirRanges)
{
    ColorProgram program;
    program.setWhitePoint(true, kInf, 1e-30f, kNaN);
    EXPECT_EQ(program.white()[0], ColorProgram::kMaxWhite);
    EXPECT_EQ(program.white()[1], ColorProgram::kMinWhite);
    EXPECT_EQ(program.white()[2], 1.0f);
    program.setExposure(true, 1e30f);
    EXPECT_EQ(program.ev(), ColorProgram::kMaxEV);
    program.setExposure(true, -kInf);
    EXPECT_EQ(program.ev(), -ColorProgram::kMaxEV);
    program.setColorControls(true, 1e9f, -1e9f, kInf);
    EXPECT_EQ(program.saturation(), ColorProgram::kMaxSaturation);
    EXPECT_EQ(program.brightness(), -ColorProgram::kMaxBrightness);
    EXPECT_EQ(program.contrast(), ColorProgram::kMaxContrast);
    program.setColorControls(true, -5, 1e9f, -kInf);
    EXPECT_EQ(program.saturation(), 0.0f);
    EXPECT_EQ(program.brightness(), ColorProgram::kMaxBrightness);
    EXPECT_EQ(program.contrast(), 0.0f);
}

TEST(ColorOps, ExtremeParametersAndBadPixelsGiveValidPixels)
{
    constexpr size_t kCount = 257;
    std::vector<UInt8> bytes = Pixels(kCount, 5);
    const float extremes[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 1e-30f, 0.0f};
    for (float x : extremes) {
        ColorProgram program;
        program.setWhitePoint(true, x, 1e-30f, x);
        program.setExposure(true, x);
        program.setColorControls(true, x, x, -x);
        std::vector<RGBAf> row(kCount + 1);
        CoreImage::UnpackARGB8Row(bytes.data(), kCount, row.data());
        row[1] = {kNaN, 1, 1, 1};
        row[2] = {2, -1, kInf, 0.5f};
        row[3] = {0.5f, 0.5f, 0.5f, kNaN};
        row[kCount - 1] = {kNaN, -kInf, 3, kInf}; // the row's tail runs one pixel at a time
        row[kCount] = {-7, -7, -7, -7};           // past the end
        program.applyRow(row.data(), kCount);
        for (size_t n = 0; n < kCount; ++n) {
            const RGBAf& p = row[n];
            ASSERT_TRUE(p.a >= 0 && p.a <= 1) << x << " pixel " << n;
            for (float c : {p.r, p.g, p.b})
                ASSERT_TRUE(c >= 0 && c <= p.a) << x << " pixel " << n;
        }
        EXPECT_EQ(row[kCount].a, -7.0f);

        // Bytes whose colour is above alpha are not premultiplied data; they still give it.
        bytes[4] = 0, bytes[5] = 255, bytes[8] = 3, bytes[9] = 200;
        std::vector<UInt8> out(bytes.size());
        program.applyARGB8Row(bytes.data(), kCount, out.data());
        for (size_t n = 0; n < kCount; ++n)
            for (int c = 1; c < 4; ++c)
                ASSERT_LE(out[4 * n + c], out[4 * n]) << x << " pixel " << n;
    }
    ColorProgram().applyRow(nullptr, 10);
    UInt8 pixel[4] = {255, 1, 2, 3};
    ColorProgram darker;
    darker.setExposure(true, -1);
    darker.applyARGB8Row(nullptr, 1, pixel);
    darker.applyARGB8Row(pixel, 1, nullptr);
    EXPECT_EQ(pixel[1], 1);
}

TEST(ColorOps, RowsAllocateNothing)
{
    constexpr size_t kCount = 640;
    const std::vector<UInt8> bytes = Pixels(kCount, 9);
    std::vector<RGBAf> row(kCount);
    std::vector<UInt8> out(bytes.size());
    Params all;
    all.white = all.exposure = all.controls = true;
    all.w[0] = 0.9, all.ev = 0.5, all.s = 1.2;
    const ColorProgram program = Program(all);
    program.applyRow(row.data(), kCount); // warm: the curve tables
    ColorByteKernel kernel;
    ASSERT_TRUE(kernel.set(program));

    const long before = p3dtest::AllocationCount();
    for (int y = 0; y < 480; ++y) {
        CoreImage::UnpackARGB8Row(bytes.data(), kCount, row.data());
        program.applyRow(row.data(), kCount);
        CoreImage::PackARGB8Row(row.data(), kCount, out.data());
        program.applyARGB8Row(bytes.data(), kCount, out.data());
        kernel.apply(bytes.data(), kCount, out.data(), true);
    }
    EXPECT_EQ(p3dtest::AllocationCount() - before, 0);
}

} // namespace
