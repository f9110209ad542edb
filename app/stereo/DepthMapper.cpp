#include "DepthMapper.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "BitmapFont5x7.h"

namespace {

using Argb = std::array<uint8_t, 4>;
constexpr Argb kBlack = {255, 0, 0, 0};
constexpr Argb kInk = {255, 255, 255, 255};

// Turbo from its published polynomial fit: dark blue at 0 (far), dark red at 255 (near).
const std::array<Argb, 256>& Turbo()
{
    static const std::array<Argb, 256> table = [] {
        std::array<Argb, 256> colours;
        const auto channel = [](double v) {
            return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
        };
        for (int i = 0; i < 256; ++i) {
            const double t = i / 255.0;
            colours[size_t(i)] = {
                255,
                channel(0.13572138 +
                        t * (4.61539260 +
                             t * (-42.66032258 +
                                  t * (132.13108234 + t * (-152.94239396 + t * 59.28637943))))),
                channel(0.09140261 +
                        t * (2.19418839 +
                             t * (4.84296658 +
                                  t * (-14.18503333 + t * (4.27729857 + t * 2.82956604))))),
                channel(0.10667330 +
                        t * (12.64194608 +
                             t * (-60.58204836 +
                                  t * (110.36276771 + t * (-89.90310912 + t * 27.34824973)))))};
        }
        return colours;
    }();
    return table;
}

void FillRect(DepthSnapshot& s, int x0, int y0, int width, int height, const Argb& colour)
{
    const int x1 = std::min(s.width, x0 + width), y1 = std::min(s.height, y0 + height);
    for (int y = std::max(0, y0); y < y1; ++y)
        for (int x = std::max(0, x0); x < x1; ++x)
            memcpy(&s.picture[(size_t(y) * s.width + x) * 4], colour.data(), 4);
}

constexpr int kAdvance = BitmapFont5x7::kWidth + 1;

int TextWidth(const char* text, int scale)
{
    return std::max(0, int(strlen(text)) * kAdvance - 1) * scale;
}

void DrawText(DepthSnapshot& s, int x, int y, int scale, const char* text)
{
    for (int i = 0; text[i]; ++i) {
        const BitmapFont5x7::Glyph* glyph = BitmapFont5x7::Find(text[i]);
        if (!glyph)
            continue;
        for (int row = 0; row < BitmapFont5x7::kHeight; ++row)
            for (int column = 0; column < BitmapFont5x7::kWidth; ++column)
                if (glyph->rows[row] & (0x10 >> column))
                    FillRect(s, x + (i * kAdvance + column) * scale, y + row * scale, scale, scale,
                             kInk);
    }
}

// A strip along the bottom: the colours from far to near (0 to warmest), and under it the disparity
// at a few ticks (and the distance, when the rig's size is known).
void DrawLegend(DepthSnapshot& s, int warmest, double focalPx, double baselineMm)
{
    const int scale = std::max(1, s.width / 640), pad = 2 * scale;
    const int barHeight = 6 * scale, textHeight = BitmapFont5x7::kHeight * scale;
    const bool metric = focalPx > 0 && baselineMm > 0;
    const int height = pad + barHeight + pad + textHeight + (metric ? pad + textHeight : 0) + pad;
    const int x0 = 4 * scale, length = s.width - 2 * x0;
    if (height * 4 > s.height || length < 64 * scale)
        return;
    const int top = s.height - height;
    FillRect(s, 0, top, s.width, height, kBlack);
    const std::array<Argb, 256>& turbo = Turbo();
    for (int x = 0; x < length; ++x)
        FillRect(s, x0 + x, top + pad, 1, barHeight, turbo[size_t(x * 255 / (length - 1))]);
    // Ends only where five labels would run together.
    const int ticks = length >= 240 * scale ? 4 : 1;
    for (int k = 0; k <= ticks; ++k) {
        const int d = warmest * k / ticks;
        const int x = x0 + (length - 1) * k / ticks;
        char label[32];
        snprintf(label, sizeof label, k == ticks ? "%d PX" : "%d", d);
        const auto place = [&](const char* text) {
            return std::clamp(x - TextWidth(text, scale) / 2, 0, s.width - TextWidth(text, scale));
        };
        const int textTop = top + pad + barHeight + pad;
        DrawText(s, place(label), textTop, scale, label);
        if (!metric)
            continue;
        if (d == 0)
            snprintf(label, sizeof label, "FAR");
        else
            snprintf(label, sizeof label, k == ticks ? "%.0f MM" : "%.0f",
                     focalPx * baselineMm / d);
        DrawText(s, place(label), textTop + textHeight + pad, scale, label);
    }
}

} // namespace

void DepthMapper::FitColourRange(const DepthHistogram& h)
{
    // The nearest percent is left out: a few stray matches would otherwise decide the range.
    uint64_t nearest = 0;
    int bin = int(h.all.size());
    while (bin > 0 && nearest * 100 < h.known)
        nearest += h.all[size_t(--bin)];
    const int top = std::clamp((bin * 11 / 10 / DepthHistogram::kBinsPerPixel + kColourStep) /
                                   kColourStep * kColourStep,
                               kColourStep, h.maxDisparity);
    // Grown at once, so that nothing near is beyond the warm end; shrunk only when the scene has
    // moved well back, so that a steady scene keeps its colours.
    if (mColourTop <= 0 || top > mColourTop || top * 3 < mColourTop * 2 ||
        mColourTop > h.maxDisparity)
        mColourTop = top;
    const size_t bins = h.all.size();
    if (mBinColours.size() != bins || mBinColoursTop != mColourTop) {
        mBinColours.resize(bins);
        const int topBin = mColourTop * DepthHistogram::kBinsPerPixel;
        for (size_t b = 0; b < bins; ++b)
            mBinColours[b] = Turbo()[size_t(std::min(255, int(b) * 255 / topBin))];
        mBinColoursTop = mColourTop;
    }
}

int DepthMapper::DefaultMaxDisparity(int width)
{
    return std::max(16, (width / 10 + 15) / 16 * 16);
}

bool DepthMapper::Map(const ArgbView& left, const ArgbView& right, double focalPx,
                      double baselineMm, DepthSnapshot& out, std::string& out_reason)
{
    const int width = std::max(0, left.width), height = std::max(0, left.height);
    const int maxDisparity = DefaultMaxDisparity(width);
    out.width = width;
    out.height = height;
    const bool matched =
        mMatcher.Match(left, right, maxDisparity, kScale, out.disparity, out_reason);
    if (!matched)
        out.disparity.assign(size_t(width) * height, DisparityMatcher::kUnknown);

    // Counted first, then coloured over the range this scene fills.
    DepthHistogram& h = out.histogram;
    const int bins = maxDisparity * DepthHistogram::kBinsPerPixel;
    h.maxDisparity = maxDisparity;
    for (std::vector<uint32_t>* counts : {&h.all, &h.leftEdge, &h.rightEdge})
        counts->assign(size_t(bins), 0);
    const int band = std::min(
        width / 2, std::max(1, int(std::lround(DepthHistogram::kEdgeBand * width / 640.0))));
    // A row the reduced map repeats is counted once with its weight, and its colours copied.
    mRepeats.clear();
    for (int y = 0; y < height;) {
        const float* row = out.disparity.data() + size_t(y) * width;
        uint32_t repeats = 1;
        while (y + int(repeats) < height &&
               memcmp(row + size_t(repeats) * width, row, width * sizeof(float)) == 0)
            ++repeats;
        mRepeats.push_back(repeats);
        y += int(repeats);
    }
    uint64_t unknown = 0;
    const auto count = [&](const float* d, int from, int to, uint32_t* edge, uint32_t weight) {
        for (int x = from; x < to; ++x) {
            if (d[x] < 0) {
                unknown += weight;
                continue;
            }
            const size_t bin =
                size_t(std::min(bins - 1, int(d[x] * DepthHistogram::kBinsPerPixel)));
            h.all[bin] += weight;
            if (edge)
                edge[bin] += weight;
        }
    };
    int y = 0;
    for (const uint32_t repeats : mRepeats) {
        const float* row = out.disparity.data() + size_t(y) * width;
        count(row, 0, band, h.leftEdge.data(), repeats);
        count(row, band, width - band, nullptr, repeats);
        count(row, width - band, width, h.rightEdge.data(), repeats);
        y += int(repeats);
    }
    h.unknown = unknown;
    h.known = uint64_t(width) * height - unknown;
    FitColourRange(h);

    out.picture.resize(size_t(width) * height * 4);
    const size_t rowBytes = size_t(width) * 4;
    y = 0;
    for (const uint32_t repeats : mRepeats) {
        const float* d = out.disparity.data() + size_t(y) * width;
        uint8_t* pixels = out.picture.data() + size_t(y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const Argb& colour =
                d[x] < 0 ? kBlack
                         : mBinColours[size_t(
                               std::min(bins - 1, int(d[x] * DepthHistogram::kBinsPerPixel)))];
            memcpy(pixels + x * 4, colour.data(), 4);
        }
        for (uint32_t r = 1; r < repeats; ++r)
            memcpy(pixels + r * rowBytes, pixels, rowBytes);
        y += int(repeats);
    }
    DrawLegend(out, mColourTop, focalPx, baselineMm);
    return matched;
}
