#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

#include "AffineResample.h"
#include "AllocationCounter.h"

using CoreImage::AffineSampling;
using CoreImage::PixelExtent;
using CoreImage::RGBAf;
using CoreImage::SourceRows;

namespace {

// An image with padded rows whose pixels are all different and include translucent ones.
struct Image
{
    PixelExtent extent;
    size_t rowBytes;
    std::vector<UInt8> bytes;

    Image(PixelExtent e, size_t padding = 12) : extent(e), rowBytes(size_t(e.width) * 4 + padding)
    {
        bytes.assign(rowBytes * size_t(e.height), 0xCD); // padding that must never be read
        for (int64_t j = 0; j < e.height; ++j)
            for (int64_t i = 0; i < e.width; ++i) {
                UInt8* p = at(i, j);
                p[0] = UInt8((i * 37 + j * 11) % 4 == 0 ? 128 + (i + j) % 100 : 255);
                p[1] = UInt8((i * 7 + j * 3) % (p[0] + 1));
                p[2] = UInt8((i * 13 + j * 29) % (p[0] + 1));
                p[3] = UInt8((i + j * 5) % (p[0] + 1));
            }
    }

    // Pixel (i, j) counted from the extent's lower-left corner.
    UInt8* at(int64_t i, int64_t j)
    {
        return bytes.data() + size_t(extent.height - 1 - j) * rowBytes + size_t(i) * 4;
    }
    const UInt8* at(int64_t i, int64_t j) const { return const_cast<Image*>(this)->at(i, j); }
    SourceRows rows() const { return {bytes.data(), rowBytes, extent}; }
};

CGAffineTransform BothMirrors()
{
    // As the camera controls build it: x becomes 640 - x, then y becomes 480 - y.
    CGAffineTransform t = CGAffineTransformIdentity;
    t = CGAffineTransformScale(CGAffineTransformTranslate(t, 640, 0), -1, 1);
    t = CGAffineTransformScale(CGAffineTransformTranslate(t, 0, 480), 1, -1);
    return t;
}

// The value at output pixel (X, Y) by definition: solve T(p) = centre for p, then the sum
// over every source pixel of its tent weight (1 - |dx|)(1 - |dy|) around p.
void ReferencePixel(const Image& image, const CGAffineTransform& t, int64_t X, int64_t Y,
                    double out[4])
{
    const double cx = X + 0.5 - t.tx, cy = Y + 0.5 - t.ty;
    const double det = t.a * t.d - t.b * t.c;
    const double px = (t.d * cx - t.c * cy) / det, py = (t.a * cy - t.b * cx) / det;
    std::fill(out, out + 4, 0.0);
    const PixelExtent& e = image.extent;
    for (int64_t j = 0; j < e.height; ++j)
        for (int64_t i = 0; i < e.width; ++i) {
            const double wx = 1 - std::fabs(e.x + i + 0.5 - px);
            const double wy = 1 - std::fabs(e.y + j + 0.5 - py);
            if (wx <= 0 || wy <= 0)
                continue;
            const UInt8* p = image.at(i, j);
            for (int c = 0; c < 4; ++c)
                out[c] += wx * wy * p[c];
        }
}

TEST(AffineResample, BothMirrorsTurnTheFrameExactly)
{
    const CGAffineTransform t = BothMirrors();
    const CGPoint corner = CGPointApplyAffineTransform(CGPoint{10, 20}, t);
    EXPECT_EQ(corner.x, 630);
    EXPECT_EQ(corner.y, 460);

    const Image source({0, 0, 640, 480});
    const AffineSampling sampling(t);
    ASSERT_EQ(sampling.kind(), AffineSampling::Kind::Copy);
    std::vector<UInt8> row(640 * 4);
    std::vector<RGBAf> floats(640);
    std::vector<UInt8> packed(640 * 4);
    const Image& s = source;
    for (int64_t y = 0; y < 480; ++y) {
        ASSERT_TRUE(sampling.resampleRow(source.rows(), y, 0, 640, row.data()));
        ASSERT_TRUE(sampling.resampleRow(source.rows(), y, 0, 640, floats.data()));
        CoreImage::PackARGB8Row(floats.data(), 640, packed.data());
        for (int64_t x = 0; x < 640; ++x) {
            ASSERT_EQ(std::memcmp(&row[4 * x], s.at(639 - x, 479 - y), 4), 0) << x << "," << y;
            ASSERT_EQ(std::memcmp(&packed[4 * x], s.at(639 - x, 479 - y), 4), 0) << x << "," << y;
        }
    }
    // The pixel whose lower-left corner is (10, 20) ends with its upper-right corner at
    // (630, 460): output pixel (629, 459).
    ASSERT_TRUE(CoreImage::ResampleAffine(source.rows(), t, 459, 629, 1, row.data()));
    EXPECT_EQ(std::memcmp(row.data(), s.at(10, 20), 4), 0);
}

TEST(AffineResample, CopiesTranslationsAndMirrorsOfExtentsAwayFromTheOrigin)
{
    Image source({-3, 5, 7, 9});
    const CGAffineTransform transforms[] = {
        CGAffineTransformMakeTranslation(4, -2),
        CGAffineTransformMakeScale(-1, 1),
        CGAffineTransformScale(CGAffineTransformMakeTranslation(10, 3), 1, -1),
        CGAffineTransformMakeScale(-1, -1),
    };
    for (const CGAffineTransform& t : transforms) {
        SCOPED_TRACE(testing::Message() << t.a << " " << t.d << " " << t.tx << " " << t.ty);
        const AffineSampling sampling(t);
        ASSERT_EQ(sampling.kind(), AffineSampling::Kind::Copy);
        // Spans wider than the image on both sides, some rows missing it entirely.
        for (int64_t y = -15; y < 20; ++y) {
            for (int64_t x0 : {int64_t(-20), int64_t(-1), int64_t(2)}) {
                constexpr size_t kSpan = 31;
                std::vector<UInt8> row(4 * kSpan + 4, 0xAB);
                ASSERT_TRUE(sampling.resampleRow(source.rows(), y, x0, kSpan, row.data()));
                ASSERT_EQ(row[4 * kSpan], 0xAB) << "wrote past the span";
                for (size_t k = 0; k < kSpan; ++k) {
                    double expected[4];
                    ReferencePixel(source, t, x0 + int64_t(k), y, expected);
                    for (int c = 0; c < 4; ++c)
                        ASSERT_EQ(row[4 * k + c], expected[c])
                            << "x " << x0 + int64_t(k) << " y " << y;
                }
            }
        }
    }
}

TEST(AffineResample, BilinearMatchesTheTentSum)
{
    Image source({5, -7, 13, 11}, 20);
    const double angle = 0.5;
    CGAffineTransform t =
        CGAffineTransformMake(1.3 * std::cos(angle), 1.3 * std::sin(angle), -1.3 * std::sin(angle),
                              1.3 * std::cos(angle), 7.25, -3.5);
    const CGAffineTransform others[] = {
        t, CGAffineTransformMakeTranslation(0.5, 0),    // between two columns
        CGAffineTransformMakeScale(2.5, 0.75),          // enlarged across, reduced up
        CGAffineTransformMake(1, 0, 0.4, 1, -2.2, 0.3), // sheared
    };
    for (const CGAffineTransform& transform : others) {
        const AffineSampling sampling(transform);
        ASSERT_EQ(sampling.kind(), AffineSampling::Kind::Bilinear);
        constexpr size_t kSpan = 61;
        std::vector<UInt8> bytes(4 * kSpan);
        std::vector<RGBAf> floats(kSpan);
        int covered = 0;
        for (int64_t y = -30; y < 30; ++y) {
            ASSERT_TRUE(sampling.resampleRow(source.rows(), y, -20, kSpan, bytes.data()));
            ASSERT_TRUE(sampling.resampleRow(source.rows(), y, -20, kSpan, floats.data()));
            for (size_t k = 0; k < kSpan; ++k) {
                double expected[4];
                ReferencePixel(source, transform, -20 + int64_t(k), y, expected);
                covered += expected[0] > 0;
                const float got[4] = {floats[k].a, floats[k].r, floats[k].g, floats[k].b};
                for (int c = 0; c < 4; ++c) {
                    ASSERT_NEAR(got[c] * 255, expected[c], 1e-3) << k << "," << y << " " << c;
                    ASSERT_LE(std::fabs(bytes[4 * k + c] - expected[c]), 0.5 + 1e-3);
                }
                for (int c = 1; c < 4; ++c)
                    ASSERT_LE(bytes[4 * k + c], bytes[4 * k]) << "colour above alpha";
            }
        }
        EXPECT_GT(covered, 100);
    }

    // A half-pixel shift averages neighbours, and the picture's edge fades over half a pixel.
    const AffineSampling half(CGAffineTransformMakeTranslation(0.5, 0));
    UInt8 out[8];
    ASSERT_TRUE(half.resampleRow(source.rows(), -7, 5, 2, out));
    EXPECT_EQ(out[0], (source.at(0, 0)[0] + 1) / 2);
    EXPECT_EQ(out[4 + 1], (source.at(0, 0)[1] + source.at(1, 0)[1] + 1) / 2);
}

TEST(AffineResample, BadTransformsAndSourcesGiveTransparentSpans)
{
    Image source({0, 0, 8, 8});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const CGAffineTransform hopeless[] = {
        CGAffineTransformMakeScale(0, 1),           CGAffineTransformMake(1, 2, 2, 4, 0, 0),
        CGAffineTransformMakeTranslation(nan, 0),   CGAffineTransformMakeScale(inf, 1),
        CGAffineTransformMakeScale(1e-300, 1e-300), // no finite inverse
    };
    std::vector<UInt8> row(4 * 9, 0xAB);
    for (const CGAffineTransform& t : hopeless) {
        const AffineSampling sampling(t);
        EXPECT_EQ(sampling.kind(), AffineSampling::Kind::Nothing);
        std::fill(row.begin(), row.end(), 0xAB);
        EXPECT_TRUE(sampling.resampleRow(source.rows(), 3, 0, 8, row.data()));
        EXPECT_TRUE(std::all_of(row.begin(), row.begin() + 32, [](UInt8 b) { return b == 0; }));
        EXPECT_EQ(row[32], 0xAB);
    }

    // Far-off translations and coordinates read nothing and never overflow.
    for (double far : {1e300, -1e300, 9.2e18, 4e15}) {
        const AffineSampling sampling(CGAffineTransformMakeTranslation(far, far));
        std::fill(row.begin(), row.end(), 0xAB);
        EXPECT_TRUE(sampling.resampleRow(source.rows(), 0, 0, 8, row.data()));
        EXPECT_TRUE(std::all_of(row.begin(), row.begin() + 32, [](UInt8 b) { return b == 0; }));
    }
    const AffineSampling identity;
    const AffineSampling rotated(CGAffineTransformMake(0, 1, -1, 0, 0, 0));
    for (const AffineSampling* sampling : {&identity, &rotated})
        for (int64_t big : {std::numeric_limits<int64_t>::max(),
                            std::numeric_limits<int64_t>::min(), int64_t(1) << 53}) {
            std::fill(row.begin(), row.end(), 0xAB);
            EXPECT_TRUE(sampling->resampleRow(source.rows(), big, big, 8, row.data()));
            EXPECT_TRUE(std::all_of(row.begin(), row.begin() + 32, [](UInt8 b) { return b == 0; }));
            EXPECT_TRUE(sampling->resampleRow(source.rows(), 0, big, 8, row.data()));
            EXPECT_TRUE(sampling->resampleRow(source.rows(), big, 0, 8, row.data()));
        }

    // Sources that cannot be read: the span is transparent and the call says so.
    SourceRows unusable[] = {
        {nullptr, 32, {0, 0, 8, 8}},
        {source.bytes.data(), 28, {0, 0, 8, 8}}, // rows shorter than the width
        {source.bytes.data(), 44, {0, 0, -8, 8}},
        {source.bytes.data(), 44, {0, 0, 8, -1}},
        {source.bytes.data(), 44, {int64_t(1) << 40, 0, 8, 8}},
        {source.bytes.data(), 44, {0, 0, int64_t(1) << 40, 8}},
        {source.bytes.data(), std::numeric_limits<size_t>::max(), {0, 0, 8, 8}},
    };
    for (const SourceRows& rows : unusable) {
        for (const AffineSampling* sampling : {&identity, &rotated}) {
            std::fill(row.begin(), row.end(), 0xAB);
            EXPECT_FALSE(sampling->resampleRow(rows, 3, 0, 8, row.data()));
            EXPECT_TRUE(std::all_of(row.begin(), row.begin() + 32, [](UInt8 b) { return b == 0; }));
            EXPECT_EQ(row[32], 0xAB);
        }
    }
    // An empty source is valid and shows nothing; a null destination is refused.
    EXPECT_TRUE(identity.resampleRow({nullptr, 0, {0, 0, 0, 0}}, 0, 0, 8, row.data()));
    EXPECT_FALSE(identity.resampleRow(source.rows(), 0, 0, 8, static_cast<UInt8*>(nullptr)));
    EXPECT_FALSE(identity.resampleRow(source.rows(), 0, 0, 8, static_cast<RGBAf*>(nullptr)));
    EXPECT_TRUE(identity.resampleRow(source.rows(), 0, 0, 0, row.data()));
}

TEST(AffineResample, RowsAllocateNothing)
{
    const Image source({0, 0, 640, 480});
    const AffineSampling mirror(BothMirrors());
    const AffineSampling rotated(CGAffineTransformMake(0.8, 0.6, -0.6, 0.8, 100, -50));
    std::vector<RGBAf> floats(640);
    std::vector<UInt8> bytes(640 * 4);
    const long before = p3dtest::AllocationCount();
    for (int64_t y = 0; y < 480; ++y) {
        mirror.resampleRow(source.rows(), y, 0, 640, floats.data());
        mirror.resampleRow(source.rows(), y, 0, 640, bytes.data());
        rotated.resampleRow(source.rows(), y, 0, 640, floats.data());
    }
    EXPECT_EQ(p3dtest::AllocationCount() - before, 0);
}

} // namespace
