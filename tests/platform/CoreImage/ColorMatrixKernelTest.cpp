#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include <new>
#include <string>
#include <vector>

#include "ColorMatrixKernel.h"
#include "DuboisAnaglyph.h"
#include "TestSupport.h"

using CoreImage::ColorMatrixKernel;
using CoreImage::KernelImage;
using CoreImage::KernelImageOut;
using CoreImage::KernelTextError;
using CoreImage::PixelExtent;
using p3dtest::kDuboisLeft;
using p3dtest::kDuboisRight;
using p3dtest::kDuboisText;

namespace {

std::string Kernel(const std::string& body,
                   const std::string& head = "kernel vec4 mux(sampler a, sampler b, float s)")
{
    return head + "\n{\n" + body + "\n}\n";
}

const char* kIdentity = "matrix([1,0,0],[0,1,0],[0,0,1]);";

// A kernel whose first sampler has the matrix of these arguments.
std::string MatrixA(const std::string& arguments)
{
    return Kernel("a = matrix(" + arguments + "); b = " + kIdentity);
}

// Pixels of every kind: opaque, translucent, transparent, and colour above alpha (not valid
// premultiplied data, but memory can hold it).
std::vector<uint8_t> Pixels(size_t count, unsigned seed, bool opaque)
{
    std::vector<uint8_t> bytes(count * 4);
    unsigned state = seed * 2654435761u + 1;
    for (size_t n = 0; n < count; ++n) {
        uint8_t* p = &bytes[n * 4];
        for (int c = 0; c < 4; ++c) {
            state = state * 1103515245u + 12345u;
            p[c] = uint8_t(state >> 16);
        }
        if (opaque || n % 5 == 0)
            p[0] = 255;
        else if (n % 7 == 0)
            p[0] = 0;
        else if (n % 3 != 0)
            for (int c = 1; c < 4; ++c)
                p[c] = std::min(p[c], p[0]);
    }
    return bytes;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    int most = a.size() == b.size() ? 0 : 256;
    for (size_t n = 0; n < std::min(a.size(), b.size()); ++n)
        most = std::max(most, std::abs(int(a[n]) - int(b[n])));
    return most;
}

// ---------------------------------------------------------------------------------------------
// The language

TEST(KernelLanguage, AcceptsCommentsNumberFormsAndEitherBindingOrder)
{
    const std::string text = "/* header */ kernel vec4 k_2 ( sampler first , sampler second,"
                             "float swap ) // parameters\n{\n"
                             "second = matrix([+1, .5, 2.], [0e0, -0.25E+1, 1e-1], [3, -3, 0]);\n"
                             "first=matrix([0,0,0],[0,0,0],[0,0,0.125]);}\n// end\n";
    std::unique_ptr<ColorMatrixKernel> kernel = ColorMatrixKernel::Compile(text);
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(kernel->name(), "k_2");
    const ColorMatrixKernel::Matrix second = {{{1, 0.5, 2}, {0, -2.5, 0.1}, {3, -3, 0}}};
    EXPECT_EQ(kernel->secondMatrix(), second);
    EXPECT_EQ(kernel->firstMatrix()[2][2], 0.125);
    EXPECT_EQ(kernel->firstMatrix()[0][0], 0.0);
}

struct BadText
{
    std::string text;
    const char* reason;
};

TEST(KernelLanguage, RejectsBadTextsSayingWhy)
{
    const std::string head = "kernel vec4 mux(sampler a, sampler b, float s)";
    const std::string good = std::string("a = ") + kIdentity + " b = " + kIdentity;
    const std::vector<BadText> cases = {
        {"", "the text is empty"},
        {"/* \x01 */ " + Kernel(good), "unexpected byte 0x01: not a text"},
        {Kernel(good) + "// caf\xc3\xa9", "unexpected byte 0xc3"},
        {Kernel(good) + std::string(ColorMatrixKernel::kMaxTextBytes, ' '), "text longer than"},
        {"/* open", "comment not closed"},
        {"kernel vec3 mux(sampler a, sampler b, float s) {}", "expected \"vec4\""},
        {Kernel(good, "kernel vec4 mux(float s, sampler a, sampler b)"), "expected \"sampler\""},
        {Kernel(good, "kernel vec4 mux(sampler a, sampler b)"), "expected ','"},
        {Kernel(good, "kernel vec4 mux(sampler a, sampler a, float s)"), "repeated"},
        {Kernel(std::string("a = ") + kIdentity), "no matrix for \"b\""},
        {Kernel(good + " a = " + kIdentity), "second matrix for \"a\""},
        {Kernel(good + " s = " + kIdentity), "\"s\" is not a sampler"},
        {MatrixA("[1,0,0],[0,1,0]"), "has 2 rows; 3 needed"},
        {MatrixA("[1,0,0],[0,1,0],[0,0,1],[0,0,0]"), "more than 3 rows"},
        {MatrixA("[1,0],[0,1,0],[0,0,1]"), "row 1 of \"a\" has 2 coefficients; 3 needed"},
        {MatrixA("[1,0,0],[0,1,0,0],[0,0,1]"), "row 2 of \"a\" has more than 3"},
        {MatrixA("[nan,0,0],[0,1,0],[0,0,1]"), "expected a coefficient"},
        {MatrixA("[inf,0,0],[0,1,0],[0,0,1]"), "expected a coefficient"},
        {MatrixA("[1e999,0,0],[0,1,0],[0,0,1]"), "out of range"},
        {MatrixA("[1e300,0,0],[0,1,0],[0,0,1]"), "outside -3..3"},
        {MatrixA("[1,0,0],[0,1,0],[0,0,-3.001]"), "coefficient -3.001 is outside"},
        {MatrixA("[1e,0,0],[0,1,0],[0,0,1]"), "exponent without digits"},
        {MatrixA("[--1,0,0],[0,1,0],[0,0,1]"), "expected a number"},
        {MatrixA("[1.2.3,0,0],[0,1,0],[0,0,1]"), "expected ',' or ']'"},
        {Kernel("a = matrix([1,0,0],[0,1,0],[0,0,1]) b = matrix([1,0,0],[0,1,0],[0,0,1]);"),
         "expected ';'"},
        {Kernel(good) + "extra", "text after the kernel's end"},
        {Kernel(good) + std::string("\0", 1), "unexpected byte 0x00"},
        {Kernel(good, head + "\xff"), "unexpected byte 0xff"},
    };
    for (const BadText& bad : cases) {
        KernelTextError error;
        EXPECT_EQ(ColorMatrixKernel::Compile(bad.text, &error), nullptr) << bad.text;
        EXPECT_NE(error.reason.find(bad.reason), std::string::npos)
            << bad.text << "\ngave: " << error.reason;
    }
}

TEST(KernelLanguage, CompilesTheDuboisAnaglyphToItsMatrices)
{
    std::unique_ptr<ColorMatrixKernel> kernel = ColorMatrixKernel::Compile(kDuboisText);
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(kernel->parameterNames()[0], "rightEye");
    EXPECT_EQ(kernel->parameterNames()[1], "leftEye");
    EXPECT_EQ(kernel->parameterNames()[2], "swapEyes");
    EXPECT_EQ(kernel->firstMatrix(), kDuboisRight);
    EXPECT_EQ(kernel->secondMatrix(), kDuboisLeft);
}

TEST(KernelLanguage, EveryTruncationOfAWholeTextFails)
{
    const std::string text = kDuboisText;
    const size_t end = text.rfind('}');
    ASSERT_NE(end, std::string::npos);
    for (size_t length = 0; length <= end; ++length) {
        KernelTextError error;
        EXPECT_EQ(ColorMatrixKernel::Compile(text.substr(0, length), &error), nullptr) << length;
        EXPECT_FALSE(error.reason.empty()) << length;
    }
    EXPECT_NE(ColorMatrixKernel::Compile(text.substr(0, end + 1)), nullptr);
}

TEST(KernelLanguage, ReportsLineAndColumnThroughTheLog)
{
    p3dtest::LogCapture log;
    KernelTextError error;
    const std::string text = "kernel vec4 mux(sampler a, sampler b, float s)\n{\n"
                             "  a = matrix([1,0,0],[0,1,0],[0,0,1]);\n"
                             "  b = matrix([1,0,0],[0,1,0],[0,0,9]);\n}";
    EXPECT_EQ(ColorMatrixKernel::Compile(text, &error), nullptr);
    EXPECT_EQ(error.line, 4u);
    EXPECT_EQ(error.column, 35u);
    EXPECT_EQ(error.offset, text.find('9'));
    const std::string reported = log.text();
    EXPECT_NE(reported.find("line 4 column 35: coefficient 9 is outside -3..3"), std::string::npos)
        << reported;
}

// ---------------------------------------------------------------------------------------------
// Evaluation

class KernelEvaluation : public testing::Test
{
protected:
    void SetUp() override
    {
        mKernel = ColorMatrixKernel::Compile(kDuboisText);
        ASSERT_NE(mKernel, nullptr);
    }

    std::vector<uint8_t> Fast(const uint8_t* first, const uint8_t* second, size_t count, float swap,
                              Processor::InstructionSet set = Processor::Chosen())
    {
        std::vector<uint8_t> out(count * 4, 0xAA);
        mKernel->evaluateRow(first, second, out.data(), count, swap, set);
        return out;
    }

    std::vector<uint8_t> Reference(const uint8_t* first, const uint8_t* second, size_t count,
                                   float swap)
    {
        std::vector<uint8_t> out(count * 4, 0x55);
        mKernel->evaluateRowReference(first, second, out.data(), count, swap);
        return out;
    }

    std::unique_ptr<ColorMatrixKernel> mKernel;
};

// Values worked out by hand from the Dubois coefficients.
TEST_F(KernelEvaluation, HandComputedPixels)
{
    // first (right eye), second (left eye): A,R,G,B each.
    const uint8_t right[] = {255, 0, 0, 0, 255, 0, 0, 255, 255, 128, 128, 128, 255, 255, 255, 255};
    const uint8_t left[] = {255, 255, 0, 0, 255, 0, 0, 0, 255, 128, 128, 128, 255, 255, 255, 255};
    const std::vector<uint8_t> expected = {
        255, 116, 0,   0,   // red left eye: .456 * 255 = 116.28; G and B below zero
        255, 0,   0,   255, // blue right eye: 1.226 * 255 clamps; R -.51 and G -4.6 clamp to 0
        255, 128, 128, 128, // grey: the rows sum to .999, 1.0 and 1.0
        255, 255, 255, 255, // white: .999 * 255 = 254.7
    };
    EXPECT_EQ(Fast(right, left, 4, 0.0f), expected);
    EXPECT_EQ(Reference(right, left, 4, 0.0f), expected);
}

TEST_F(KernelEvaluation, FastPathMatchesReferenceOnEveryKindOfPixel)
{
    for (size_t count :
         {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(31), size_t(640)}) {
        for (bool opaque : {true, false}) {
            const std::vector<uint8_t> first = Pixels(count, 1 + count, opaque);
            const std::vector<uint8_t> second = Pixels(count, 2 + count, opaque);
            for (float swap : {0.0f, 1.0f}) {
                EXPECT_LE(MaxDifference(Fast(first.data(), second.data(), count, swap),
                                        Reference(first.data(), second.data(), count, swap)),
                          1)
                    << count << " opaque " << opaque << " swap " << swap;
                EXPECT_LE(MaxDifference(Fast(first.data(), nullptr, count, swap),
                                        Reference(first.data(), nullptr, count, swap)),
                          1);
                EXPECT_LE(MaxDifference(Fast(nullptr, second.data(), count, swap),
                                        Reference(nullptr, second.data(), count, swap)),
                          1);
            }
        }
    }
}

// Opaque runs of sixteen or eight take the vector code, the rest the scalar code: the same bytes,
// also around a translucent pixel.
TEST_F(KernelEvaluation, EveryInstructionSetGivesTheSameBytes)
{
    std::vector<uint8_t> first = Pixels(67, 3, true), second = Pixels(67, 4, true);
    for (bool translucent : {false, true}) {
        if (translucent)
            second[4 * 21] = 200;
        const std::vector<uint8_t> scalar =
            Fast(first.data(), second.data(), 67, 0.0f, Processor::InstructionSet::kScalar);
        for (auto set : {Processor::InstructionSet::kSSE2, Processor::InstructionSet::kAVX2}) {
            if (!Processor::Runs(set))
                continue;
            EXPECT_EQ(Fast(first.data(), second.data(), 67, 0.0f, set), scalar)
                << int(set) << " translucent " << translucent;
        }
    }
}

TEST_F(KernelEvaluation, SwapExchangesTheEyesRolesInsideTheKernel)
{
    const size_t count = 67;
    const std::vector<uint8_t> right = Pixels(count, 11, false);
    const std::vector<uint8_t> left = Pixels(count, 12, false);
    const std::vector<uint8_t> swapped = Fast(right.data(), left.data(), count, 1.0f);
    EXPECT_EQ(swapped, Fast(left.data(), right.data(), count, 0.0f));
    EXPECT_NE(swapped, Fast(right.data(), left.data(), count, 0.0f));
    EXPECT_EQ(Reference(right.data(), left.data(), count, 1.0f),
              Reference(left.data(), right.data(), count, 0.0f));
}

TEST_F(KernelEvaluation, AlphaIsTheLargerEyesAndColourStaysPremultiplied)
{
    const size_t count = 300;
    const std::vector<uint8_t> first = Pixels(count, 21, false);
    const std::vector<uint8_t> second = Pixels(count, 22, false);
    const std::vector<uint8_t> out = Fast(first.data(), second.data(), count, 0.0f);
    for (size_t n = 0; n < count; ++n) {
        const uint8_t* o = &out[n * 4];
        EXPECT_EQ(o[0], std::max(first[n * 4], second[n * 4])) << n;
        for (int c = 1; c < 4; ++c)
            EXPECT_LE(o[c], o[0]) << n;
    }
    const std::vector<uint8_t> opaque = Pixels(count, 23, true);
    const std::vector<uint8_t> opaqueOut = Fast(opaque.data(), opaque.data(), count, 0.0f);
    for (size_t n = 0; n < count; ++n)
        EXPECT_EQ(opaqueOut[n * 4], 255) << n;
    const std::vector<uint8_t> nothing(count * 4, 0);
    EXPECT_EQ(Fast(nullptr, nullptr, count, 0.0f), nothing);
    EXPECT_EQ(Fast(nothing.data(), nothing.data(), count, 1.0f), nothing);
}

// A half-covered pixel of a half-grey eye is the half-covered result of the full-grey one.
TEST_F(KernelEvaluation, TranslucentEyesAreUnpremultipliedFirst)
{
    const uint8_t opaque[] = {255, 200, 100, 40};
    const uint8_t half[] = {128, 100, 50, 20}; // 200, 100, 40 at alpha 128, rounded
    const std::vector<uint8_t> full = Fast(opaque, nullptr, 1, 0.0f);
    const std::vector<uint8_t> partial = Fast(half, nullptr, 1, 0.0f);
    EXPECT_EQ(partial[0], 128);
    for (int c = 1; c < 4; ++c)
        EXPECT_NEAR(partial[c], full[c] * 128 / 255.0, 1.0) << c;
}

// ---------------------------------------------------------------------------------------------
// Whole images

struct Image
{
    Image(PixelExtent extent, size_t padding, unsigned seed, bool opaque)
        : extent(extent), rowBytes(size_t(extent.width) * 4 + padding)
    {
        bytes.assign(rowBytes * size_t(extent.height), 0xEE);
        for (int64_t row = 0; row < extent.height; ++row) {
            const std::vector<uint8_t> pixels =
                Pixels(size_t(extent.width), seed * 1000 + unsigned(row), opaque);
            std::copy(pixels.begin(), pixels.end(), bytes.begin() + long(size_t(row) * rowBytes));
        }
    }
    KernelImage in() const { return {bytes.data(), rowBytes, extent}; }
    // The pixel at (x, y), y counted up from the bottom; null outside.
    const uint8_t* at(int64_t x, int64_t y) const
    {
        if (x < extent.x || x >= extent.x + extent.width || y < extent.y ||
            y >= extent.y + extent.height)
            return nullptr;
        const int64_t rowFromTop = extent.height - 1 - (y - extent.y);
        return &bytes[size_t(rowFromTop) * rowBytes + size_t(x - extent.x) * 4];
    }

    PixelExtent extent;
    size_t rowBytes;
    std::vector<uint8_t> bytes;
};

TEST(KernelExtent, UnionOfTwoExtents)
{
    EXPECT_EQ(CoreImage::UnionExtent({0, 0, 640, 480}, {0, 0, 640, 480}),
              (PixelExtent{0, 0, 640, 480}));
    EXPECT_EQ(CoreImage::UnionExtent({-3, 5, 10, 10}, {4, -2, 9, 4}),
              (PixelExtent{-3, -2, 16, 17}));
    EXPECT_EQ(CoreImage::UnionExtent({}, {7, 8, 2, 3}), (PixelExtent{7, 8, 2, 3}));
    EXPECT_EQ(CoreImage::UnionExtent({7, 8, 2, 3}, {1, 1, 0, 5}), (PixelExtent{7, 8, 2, 3}));
    EXPECT_TRUE(CoreImage::UnionExtent({1, 1, -4, 5}, {}).empty());
}

TEST_F(KernelEvaluation, ApplyCoversTheUnionAndReadsZeroOutsideAnEye)
{
    // Odd sizes, padded rows, extents that start away from the origin and overlap in part.
    const Image right({-5, 3, 37, 21}, 12, 31, false);
    const Image left({4, -2, 29, 17}, 4, 32, false);
    const PixelExtent all = CoreImage::UnionExtent(right.extent, left.extent);
    const size_t rowBytes = size_t(all.width) * 4 + 8;
    std::vector<uint8_t> out(rowBytes * size_t(all.height), 0x77);
    for (float swap : {0.0f, 1.0f}) {
        ASSERT_TRUE(mKernel->apply(right.in(), left.in(), swap, {out.data(), rowBytes, all}));
        int most = 0;
        for (int64_t y = all.y; y < all.y + all.height; ++y)
            for (int64_t x = all.x; x < all.x + all.width; ++x) {
                uint8_t expected[4];
                mKernel->evaluateRowReference(right.at(x, y), left.at(x, y), expected, 1, swap);
                const uint8_t* got =
                    &out[size_t(all.y + all.height - 1 - y) * rowBytes + size_t(x - all.x) * 4];
                for (int c = 0; c < 4; ++c)
                    most = std::max(most, std::abs(int(got[c]) - int(expected[c])));
                if (!right.at(x, y) && !left.at(x, y)) {
                    EXPECT_EQ(got[0] | got[1] | got[2] | got[3], 0) << x << "," << y;
                }
            }
        EXPECT_LE(most, 1) << swap;
        // The padding after each row is left alone.
        for (int64_t row = 0; row < all.height; ++row)
            EXPECT_EQ(out[size_t(row) * rowBytes + size_t(all.width) * 4], 0x77) << row;
    }
}

TEST_F(KernelEvaluation, ApplyRejectsUnusableDescriptionsWithoutWriting)
{
    const Image eye({0, 0, 8, 8}, 0, 41, true);
    std::vector<uint8_t> out(8 * 8 * 4, 0x77);
    const KernelImageOut good = {out.data(), 32, {0, 0, 8, 8}};
    const std::vector<std::pair<KernelImage, KernelImageOut>> cases = {
        {{eye.bytes.data(), 32, {0, 0, -8, 8}}, good},
        {{eye.bytes.data(), 32, {0, 0, 8, -1}}, good},
        {{nullptr, 32, {0, 0, 8, 8}}, good},
        {{eye.bytes.data(), 31, {0, 0, 8, 8}}, good},
        {{eye.bytes.data(), 32, {0, 0, int64_t(1) << 40, 8}}, good},
        {{eye.bytes.data(), 32, {INT64_MAX, 0, 8, 8}}, good},
        {eye.in(), {nullptr, 32, {0, 0, 8, 8}}},
        {eye.in(), {out.data(), 0, {0, 0, 8, 8}}},
        {eye.in(), {out.data(), SIZE_MAX, {0, 0, 8, 8}}},
        {eye.in(), {out.data(), 32, {INT64_MIN, 0, 8, 8}}},
    };
    for (size_t n = 0; n < cases.size(); ++n) {
        p3dtest::LogCapture log;
        EXPECT_FALSE(mKernel->apply(cases[n].first, eye.in(), 0.0f, cases[n].second)) << n;
        EXPECT_FALSE(log.text().empty()) << n;
    }
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0x77; }));
    // Nothing to draw is no fault, and an empty eye is transparent.
    EXPECT_TRUE(mKernel->apply(eye.in(), eye.in(), 0.0f, {nullptr, 0, {3, 3, 0, 0}}));
    EXPECT_TRUE(mKernel->apply(eye.in(), {nullptr, 0, {}}, 0.0f, good));
    EXPECT_EQ(out[0], 255);
}

TEST_F(KernelEvaluation, RenderingAllocatesNothing)
{
    const Image right({0, 0, 640, 480}, 0, 51, true);
    const Image left({0, 0, 640, 480}, 0, 52, false);
    std::vector<uint8_t> out(640 * 480 * 4);
    const long before = p3dtest::AllocationCount();
    EXPECT_TRUE(mKernel->apply(right.in(), left.in(), 0.0f, {out.data(), 640 * 4, right.extent}));
    EXPECT_TRUE(mKernel->apply(right.in(), left.in(), 1.0f, {out.data(), 640 * 4, right.extent}));
    EXPECT_EQ(p3dtest::AllocationCount(), before);
    // The counter does see allocations.
    std::unique_ptr<int> probe(new int(1));
    EXPECT_GT(p3dtest::AllocationCount(), before);
}

} // namespace
