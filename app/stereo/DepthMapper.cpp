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

// A strip along the bottom: the colours from far to near, and under it the disparity at a few
// ticks (and the distance, when the rig's size is known).
void DrawLegend(DepthSnapshot& s, double focalPx, double baselineMm)
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
    const int maxDisparity = s.histogram.maxDisparity;
    for (int k = 0; k <= ticks; ++k) {
        const int d = maxDisparity * k / ticks;
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

    // Counted and coloured in one pass, each known pixel through its bin.
    DepthHistogram& h = out.histogram;
    const int bins = maxDisparity * DepthHistogram::kBinsPerPixel;
    h.maxDisparity = maxDisparity;
    for (std::vector<uint32_t>* counts : {&h.all, &h.leftEdge, &h.rightEdge})
        counts->assign(size_t(bins), 0);
    if (mBinColours.size() != size_t(bins)) {
        mBinColours.resize(size_t(bins));
        for (int bin = 0; bin < bins; ++bin)
            mBinColours[size_t(bin)] = Turbo()[size_t(bin * 256 / bins)];
    }
    const int band = std::min(
        width / 2, std::max(1, int(std::lround(DepthHistogram::kEdgeBand * width / 640.0))));
    out.picture.resize(size_t(width) * height * 4);
    uint64_t unknown = 0;
    // A row the reduced map repeats is counted once with its weight, and its colours copied.
    const auto span = [&](const float* d, uint8_t* pixels, int count, uint32_t* edge,
                          uint32_t weight) {
        for (int x = 0; x < count; ++x, pixels += 4) {
            if (d[x] < 0) {
                unknown += weight;
                memcpy(pixels, kBlack.data(), 4);
                continue;
            }
            const size_t bin =
                size_t(std::min(bins - 1, int(d[x] * DepthHistogram::kBinsPerPixel)));
            h.all[bin] += weight;
            if (edge)
                edge[bin] += weight;
            memcpy(pixels, mBinColours[bin].data(), 4);
        }
    };
    const size_t rowBytes = size_t(width) * 4;
    for (int y = 0; y < height;) {
        const float* row = out.disparity.data() + size_t(y) * width;
        uint8_t* pixels = out.picture.data() + size_t(y) * rowBytes;
        uint32_t repeats = 1;
        while (y + int(repeats) < height &&
               memcmp(row + size_t(repeats) * width, row, width * sizeof(float)) == 0)
            ++repeats;
        span(row, pixels, band, h.leftEdge.data(), repeats);
        span(row + band, pixels + band * 4, width - 2 * band, nullptr, repeats);
        span(row + width - band, pixels + (width - band) * 4, band, h.rightEdge.data(), repeats);
        for (uint32_t r = 1; r < repeats; ++r)
            memcpy(pixels + r * rowBytes, pixels, rowBytes);
        y += int(repeats);
    }
    h.unknown = unknown;
    h.known = uint64_t(width) * height - unknown;
    DrawLegend(out, focalPx, baselineMm);
    return matched;
}
