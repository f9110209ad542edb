// The per-pixel colour filters of the image engine, as row functions over float pixels.
//
// The engine renders row by row: it unpacks a row of A,R,G,B bytes (premultiplied) into
// RGBAf, runs every per-pixel step on it in one pass, and packs it again; when the colour
// filters are the only per-pixel steps, ColorProgram::applyARGB8Row does all three on the bytes
// directly. Values are 0..1, colour premultiplied by alpha. Nothing here allocates.
//
// Each filter works on un-premultiplied colour u = c / a (a pixel with a = 0 has no colour
// and stays all zero), in the order white point, exposure, colour controls, and the result is
// premultiplied again: c' = u' a. Per channel of u, clamped to 0..1 after each filter:
//
//   white point     u' = u / w         w: the colour that should become white
//   exposure        u' = E(min(1, D(u) 2^EV))
//                   D, E: the sRGB curve, decoding to linear light and encoding back:
//                     D(u) = u / 12.92                      for u <= 0.04045
//                            ((u + 0.055) / 1.055)^2.4      otherwise
//                     E(l) = 12.92 l                        for l <= 0.0031308
//                            1.055 l^(1 / 2.4) - 0.055      otherwise
//   colour controls Y  = 0.2126 R + 0.7152 G + 0.0722 B     (Rec. 709 luma of gamma-encoded u)
//                   u1 = Y + s (u - Y)                      saturation s
//                   u2 = u1 + b                             brightness b
//                   u' = (u2 - 0.5) k + 0.5                 contrast k about middle grey
//
// The colour controls' three steps are one affine map, applied as such:
//   u' = clamp(k s u + k (1 - s) Y + k (b - 0.5) + 0.5)
// A filter whose parameters are its identity (white (1, 1, 1), EV 0, s 1 b 0 k 1) is skipped,
// so it leaves every value exactly as it was.
//
// White point and exposure act on each channel alone, so they are worked out exactly (in
// double) for the 256 values u = i / 255 when their parameters are set, and read from that
// table per pixel: exact for opaque pixels from bytes, linear interpolation between entries
// otherwise (within half a byte step of the exact curve, where the clamp bends it).
#pragma once

#include <cstddef>

#include "MacTypes.h"
#include "Processor/InstructionSet.h"

namespace CoreImage {

// One pixel: colour premultiplied by alpha, all 0..1.
struct RGBAf
{
    float r;
    float g;
    float b;
    float a;
};

// Every row function here takes the instruction set it may use; each gives the same bytes on
// every set, and tests compare them.

// Bytes A, R, G, B to 0..1 (v / 255). Values are taken as they are, even colour above alpha.
void UnpackARGB8Row(const UInt8* src, size_t n, RGBAf* out,
                    Processor::InstructionSet set = Processor::Chosen());
// 0..1 to bytes, rounded to nearest: alpha clamped to 0..1, colour to 0..alpha, NaN to 0.
// Unpacking then packing gives back every valid premultiplied pixel bit for bit.
void PackARGB8Row(const RGBAf* in, size_t n, UInt8* dst,
                  Processor::InstructionSet set = Processor::Chosen());

// The three filters' parameters, checked once when set, applied to a row in a single pass.
// A plain value of about 3 KB (the byte path's tables): copy it freely, set it when the
// filters' values change, not per frame.
//
// Parameters are made safe as they are set:
//   white point: a channel of w that is NaN or <= 0 counts as 1 (no change to that channel);
//                the others are held to kMinWhite..kMaxWhite.
//   exposure:    NaN EV counts as 0; EV is held to -kMaxEV..kMaxEV.
//   controls:    NaN counts as the identity (s 1, b 0, k 1); s is held to 0..kMaxSaturation,
//                b to -kMaxBrightness..kMaxBrightness, k to 0..kMaxContrast.
class ColorProgram
{
public:
    static constexpr float kMinWhite = 1.0f / 4096;
    static constexpr float kMaxWhite = 4096;
    static constexpr float kMaxEV = 16;
    static constexpr float kMaxSaturation = 4;
    static constexpr float kMaxBrightness = 1;
    static constexpr float kMaxContrast = 4;

    ColorProgram();

    // Disabled filters change nothing, whatever their parameters. Setting one again with the
    // same values costs nothing; a change of white point or exposure refills the tables.
    void setWhitePoint(bool enabled, float r, float g, float b);
    void setExposure(bool enabled, float ev);
    void setColorControls(bool enabled, float saturation, float brightness, float contrast);

    // The parameters as they are applied, after the checks above.
    bool whitePointActive() const { return mWhitePoint; }
    bool exposureActive() const { return mExposure; }
    bool colorControlsActive() const { return mControls; }
    // True when applyRow leaves every value as it is.
    bool isIdentity() const { return !mWhitePoint && !mExposure && !mControls; }
    const float* white() const { return mWhite; }
    float ev() const { return mEV; }
    float saturation() const { return mSaturation; }
    float brightness() const { return mBrightness; }
    float contrast() const { return mContrast; }
    // u after white point and exposure at u = byte / 255 of channel 0 (R), 1 (G) or 2 (B).
    float curve(int channel, UInt8 byte) const { return mByteTable[channel][byte]; }
    // The colour controls' map v = M u + offset; the identity when they are off.
    float matrix(int out, int in) const { return mMatrix[out][in]; }
    float offset() const { return mOffset; }

    // Applies the active filters to n pixels in place.
    void applyRow(RGBAf* row, size_t n, Processor::InstructionSet set = Processor::Chosen()) const;
    // The same from A,R,G,B bytes to bytes (src may be dst), without the float row: results
    // are rounded to nearest, alpha is kept. reversed reads src from its last pixel back, as a
    // left-right mirror does (src and dst may not overlap then).
    void applyARGB8Row(const UInt8* src, size_t n, UInt8* dst, bool reversed = false,
                       Processor::InstructionSet set = Processor::Chosen()) const;

private:
    void rebuildTables();

    bool mWhitePoint = false;
    bool mExposure = false;
    bool mControls = false;
    float mWhite[3] = {1, 1, 1};
    float mEV = 0;
    float mSaturation = 1;
    float mBrightness = 0;
    float mContrast = 1;
    // Colour controls as one affine map of un-premultiplied colour: v = M u + offset; the
    // identity when they are off.
    float mMatrix[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    float mOffset = 0;
    // u after white point and exposure at u = i / 255 per channel, the last entry repeated.
    float mByteTable[3][257];
};

bool import_ColorOps();

} // namespace CoreImage
