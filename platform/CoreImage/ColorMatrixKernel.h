// The stereo kernel: a small colour-matrix language, its compiler and the native evaluator
// the image engine applies.
//
// A kernel text states how two eyes combine into one picture: one 3 x 3 matrix per eye over
// un-premultiplied, gamma-encoded R, G, B, the two products summed and clamped to 0..255.
//
//   kernel vec4 colourAnaglyph(sampler rightEye, sampler leftEye, float swapEyes)
//   {
//       // Rows are output R, G, B; columns are input R, G, B.
//       leftEye  = matrix([1, 0, 0],
//                         [0, 0, 0],
//                         [0, 0, 0]);
//       rightEye = matrix([0, 0, 0],
//                         [0, 1, 0],
//                         [0, 0, 1]);
//   }
//
// Grammar (whitespace and comments, "// ..." to the end of a line or "/* ... */", may stand
// between any two tokens):
//
//   kernel     = "kernel" "vec4" name "(" "sampler" name "," "sampler" name ","
//                "float" name ")" "{" binding binding "}"
//   binding    = name "=" "matrix" "(" row { "," row } ")" ";"
//   row        = "[" number { "," number } "]"
//   number     = [ "+" | "-" ] ( digits [ "." [ digits ] ] | "." digits )
//                [ ( "e" | "E" ) [ "+" | "-" ] digits ]
//   name       = ( letter | "_" ) { letter | digit | "_" }
//
// The three parameters come in the order the filter passes its arguments: a sampler of the
// first eye (the filter's input image, the right eye), a sampler of the second eye and the
// swap float. Each binding names one of the two samplers; both must be bound, each once, by a
// matrix of exactly 3 rows of 3 finite coefficients within +-kMaxCoefficient. The parameter
// names are the author's; the three must differ. Only ASCII text is accepted: a byte outside
// printable ASCII and whitespace refuses the text wherever it stands, comments included (a
// binary file), as do an empty text and one longer than kMaxTextBytes.
//
// Evaluation, per pixel of A,R,G,B bytes with premultiplied alpha:
//   - each eye is un-premultiplied to bytes: c' = round(255 c / a), at most 255; 0 when a = 0;
//   - out = clamp(round(Msecond . second' + Mfirst . first')) per channel, 0..255;
//     with swap the matrices trade places: Msecond . first' + Mfirst . second';
//   - alpha = max(a first, a second), so two opaque eyes give an opaque pixel and a pixel that
//     only one eye covers keeps that eye's coverage;
//   - the colour is premultiplied again: round(out a / 255).
// The fast path computes this in fixed point (coefficients in units of 1/8192); the reference
// path in double arithmetic. They agree within 1 per channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Processor/InstructionSet.h"

namespace CoreImage {

// Where a kernel text stopped compiling, and why.
struct KernelTextError
{
    size_t offset = 0; // byte offset into the text
    unsigned line = 0; // 1-based
    unsigned column = 0;
    std::string reason;
};

// A rectangle of whole pixels, origin at the lower left as the image engine counts.
struct PixelExtent
{
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelExtent&) const = default;
};

// The smallest rectangle that holds both; an empty one adds nothing.
PixelExtent UnionExtent(const PixelExtent& a, const PixelExtent& b);

// Rows of A,R,G,B bytes, premultiplied, row 0 at the top of the extent.
struct KernelImage
{
    const uint8_t* base = nullptr;
    size_t rowBytes = 0;
    PixelExtent extent;
};

struct KernelImageOut
{
    uint8_t* base = nullptr;
    size_t rowBytes = 0;
    PixelExtent extent;
};

class ColorMatrixKernel
{
public:
    // Largest magnitude of a coefficient: a colour matrix beyond it saturates nearly every
    // pixel, so such a text is a mistake, and the bound keeps the fixed point in 16 bits.
    static constexpr double kMaxCoefficient = 3.0;
    static constexpr int kFractionBits = 13;
    // A kernel text is under a kilobyte; anything this long is not one.
    static constexpr size_t kMaxTextBytes = 64 * 1024;

    using Matrix = std::array<std::array<double, 3>, 3>; // [output channel][input channel]

    // A kernel, or nullptr with a report through the debug log (and in *error when given).
    static std::unique_ptr<ColorMatrixKernel> Compile(std::string_view text,
                                                      KernelTextError* error = nullptr);

    const std::string& name() const { return mName; }
    const std::array<std::string, 3>& parameterNames() const { return mParameters; }
    // The matrix applied to the first sampler's pixels, and to the second's, when not swapped.
    const Matrix& firstMatrix() const { return mFirst; }
    const Matrix& secondMatrix() const { return mSecond; }

    // True when swap exchanges the eyes' roles: 1.0 does, 0.0 and NaN do not.
    static bool Swaps(float swap) { return swap > 0.5f; }

    // One output row of count pixels from the two eyes' rows at the same place. A null eye
    // reads as transparent zero. Never allocates.
    // Every instruction set gives the same bytes.
    void evaluateRow(const uint8_t* first, const uint8_t* second, uint8_t* out, size_t count,
                     float swap, Processor::InstructionSet set = Processor::Chosen()) const;
    // The same pixels computed plainly in double arithmetic, for checking the fast path.
    void evaluateRowReference(const uint8_t* first, const uint8_t* second, uint8_t* out,
                              size_t count, float swap) const;

    // Renders out.extent (usually the union of the two inputs' extents): each output pixel
    // combines the eyes' pixels at the same place, reading transparent zero outside an eye.
    // False, with a report and nothing written, when a description is unusable (negative or
    // overflowing extent, rows shorter than their width, null memory for a non-empty extent).
    bool apply(const KernelImage& first, const KernelImage& second, float swap,
               const KernelImageOut& out) const;

private:
    ColorMatrixKernel() = default;
    void prepare();

    std::string mName;
    std::array<std::string, 3> mParameters;
    Matrix mFirst{};
    Matrix mSecond{};
    // Fixed-point coefficients, pairs of (second eye, first eye) per output and input channel
    // for the multiply-add of two 16-bit lanes; [swapped][output][input][eye].
    alignas(16) int16_t mFixed[2][3][3][2] = {};
};

bool import_ColorMatrixKernel();

} // namespace CoreImage
