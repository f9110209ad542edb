#include "NoBroadcastPicture.h"

#include <algorithm>
#include <cstddef>

#include "BitmapFont5x7.h"

namespace {

using BitmapFont5x7::Glyph;
constexpr int kGlyphWidth = BitmapFont5x7::kWidth;
constexpr int kGlyphHeight = BitmapFont5x7::kHeight;
constexpr int kAdvance = kGlyphWidth + 1; // one blank column between letters

struct Color
{
    uint8_t r, g, b;
};

struct Canvas
{
    uint8_t* pixels;
    int width;
    int height;

    // Clipped, so text that does not fit is cut at the picture's edges.
    void Fill(long x, long y, long w, long h, Color color) const
    {
        const long x0 = std::max(x, 0L), x1 = std::min(x + w, long(width));
        const long y0 = std::max(y, 0L), y1 = std::min(y + h, long(height));
        for (long row = y0; row < y1; ++row) {
            uint8_t* p = pixels + (size_t(row) * size_t(width) + size_t(x0)) * 4;
            for (long col = x0; col < x1; ++col, p += 4) {
                p[0] = 255;
                p[1] = color.r;
                p[2] = color.g;
                p[3] = color.b;
            }
        }
    }
};

// ASCII only: the locale must not change what the picture shows. A UTF-8 sequence becomes one
// blank, as the font has no glyph for it.
std::string Upper(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 && u < 0xC0)
            continue;
        out += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : u >= 0x80 ? ' ' : c;
    }
    return out;
}

long TextWidth(size_t chars, int scale)
{
    return chars ? (long(chars) * kAdvance - 1) * scale : 0;
}

void DrawLine(const Canvas& canvas, const std::string& text, long top, int scale, Color color)
{
    long x = (long(canvas.width) - TextWidth(text.size(), scale)) / 2;
    for (char c : text) {
        if (const Glyph* glyph = BitmapFont5x7::Find(c))
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int col = 0; col < kGlyphWidth; ++col)
                    if (glyph->rows[row] & (0x10 >> col))
                        canvas.Fill(x + long(col) * scale, top + long(row) * scale, scale, scale,
                                    color);
        x += long(kAdvance) * scale;
    }
}

} // namespace

void DrawNoBroadcastPicture(uint8_t* out_argb, int in_width, int in_height,
                            const std::string& in_deviceName)
{
    if (!out_argb || in_width <= 0 || in_height <= 0)
        return;
    const Canvas canvas{out_argb, in_width, in_height};

    // A dark ground, a little lighter at the top, so the picture does not look like a dead feed.
    for (int y = 0; y < in_height; ++y) {
        const int shade = in_height > 1 ? 18 * (in_height - 1 - y) / (in_height - 1) : 0;
        canvas.Fill(0, y, in_width, 1,
                    {uint8_t(12 + shade), uint8_t(14 + shade), uint8_t(20 + shade)});
    }

    const std::string title = "NO BROADCAST";
    // The title takes up to three quarters of the width and a third of the height.
    const int titleScale =
        std::max(1L, std::min(long(in_width) * 3 / 4 / TextWidth(title.size(), 1),
                              long(in_height) / 3 / kGlyphHeight));
    const int nameScale = std::max(1, titleScale / 2);

    std::string name = Upper(in_deviceName);
    const size_t nameFits = size_t((long(in_width) + nameScale) / (long(kAdvance) * nameScale));
    if (name.size() > nameFits)
        name.resize(nameFits);

    const long nameHeight = name.empty() ? 0 : long(kGlyphHeight) * nameScale;
    const long gap = name.empty() ? 0 : long(kGlyphHeight) * nameScale;
    const long titleHeight = long(kGlyphHeight) * titleScale;
    const long top = (long(in_height) - nameHeight - gap - titleHeight) / 2;

    DrawLine(canvas, name, top, nameScale, {150, 162, 180});
    DrawLine(canvas, title, top + nameHeight + gap, titleScale, {235, 235, 240});
}
