// Affine resampling of A,R,G,B images, one destination row span at a time.
//
// Coordinates are the engine's: y up, in pixels. A source covers its extent; its pixel (i, j)
// is the unit square with lower-left corner (extent.x + i, extent.y + j) and centre half a
// pixel in from there. Memory row 0 is the extent's top row, j = height - 1.
//
// Output pixel (X, Y) takes the value at the point T^-1(X + 0.5, Y + 0.5), so a transform T
// moves the picture forward: the source pixel with lower-left corner p lands on the square
// T(p) .. T(p + (1, 1)). Between source centres the value is bilinear in premultiplied
// colour: with u = px - extent.x - 0.5, v = py - extent.y - 0.5, i = floor(u), j = floor(v),
// the four pixels (i, j), (i + 1, j), (i, j + 1), (i + 1, j + 1) weighted by the fractions of
// u and v. Pixels outside the extent read as transparent zero, so an edge fades out over half
// a pixel and nothing is sampled beyond it.
//
// When T^-1 maps pixel centres exactly onto pixel centres (an integer translation, possibly
// with x or y negated: the camera mirrors x -> 640 - x, y -> 480 - y), pixels are copied as
// they are, without filtering: a mirrored pixel stays bit-identical.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CGAffineTransform.h"
#include "ColorMatrixKernel.h"
#include "ColorOps.h"
#include "MacTypes.h"

namespace CoreImage {

// Rows of A,R,G,B bytes, premultiplied, memory row 0 at the top of the extent.
struct SourceRows
{
    const UInt8* base = nullptr;
    size_t rowBytes = 0;
    PixelExtent extent;
};

// A transform prepared for sampling: its inverse, and whether pixels can be copied.
class AffineSampling
{
public:
    enum class Kind {
        Nothing, // T cannot be inverted, or is not finite: the output is transparent
        Copy,    // integer translation with optional mirrors: exact copy
        Bilinear,
    };

    AffineSampling() : AffineSampling(CGAffineTransformIdentity) {}
    // T maps source coordinates to output coordinates.
    explicit AffineSampling(const CGAffineTransform& t);

    Kind kind() const { return mKind; }
    const CGAffineTransform& inverse() const { return mInverse; }

    // Fills out[0 .. n) with output pixels (x0 .. x0 + n, y), each named by its lower-left
    // corner in the engine's y-up coordinates; memory row 0 of a W x H output at the origin is
    // y = H - 1. Returns false, with the span transparent, when the source is unusable (null
    // memory for a non-empty extent, rows shorter than the width, extent beyond +-2^30);
    // nothing is written when out is null.
    // Every instruction set gives the same bytes.
    bool resampleRow(const SourceRows& source, int64_t y, int64_t x0, size_t n, RGBAf* out,
                     Processor::InstructionSet set = Processor::Chosen()) const;
    // The same into A,R,G,B bytes: copies stay exact, filtered pixels are rounded to nearest.
    bool resampleRow(const SourceRows& source, int64_t y, int64_t x0, size_t n, UInt8* out,
                     Processor::InstructionSet set = Processor::Chosen()) const;

private:
    template <typename Writer>
    bool resample(const SourceRows& source, int64_t y, int64_t x0, size_t n, Writer& out) const;

    Kind mKind = Kind::Nothing;
    CGAffineTransform mInverse{};
    // Copy: source pixel column = mColumnSign * X + mColumnOffset for output column X, rows
    // likewise; both in the engine's pixel coordinates, not counted from the extent.
    int64_t mColumnSign = 1;
    int64_t mColumnOffset = 0;
    int64_t mRowSign = 1;
    int64_t mRowOffset = 0;
};

// One span through T without keeping the prepared sampling: the engine's call for "fill output
// row y, columns x0 .. x0 + n, with the source sampled through the inverse of T". Preparing
// costs an inverse and a few tests, nothing per pixel.
bool ResampleAffine(const SourceRows& source, const CGAffineTransform& t, int64_t y, int64_t x0,
                    size_t n, RGBAf* out);
bool ResampleAffine(const SourceRows& source, const CGAffineTransform& t, int64_t y, int64_t x0,
                    size_t n, UInt8* out);

bool import_AffineResample();

} // namespace CoreImage
