// Draws the picture the camera plug-in shows before any broadcast frame arrives, and writes it
// as a PNG for the build to carry inside the plug-in.
//   make_spyglass_picture <out.png>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "BitmapFont5x7.h"
#include "shared_camera_buffer.h"

namespace {

constexpr int kWidth = kSharedCameraFrameWidth;
constexpr int kHeight = kSharedCameraFrameHeight;

struct Color
{
    double r, g, b;
};

Color Mix(Color a, Color b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Color Scale(Color c, double k)
{
    return {c.r * k, c.g * k, c.b * k};
}

struct Point
{
    double x, y;
};

// Opaque colour in double precision, rounded once at the end so blends do not band.
class Canvas
{
public:
    Canvas() : mPixels(size_t(kWidth) * kHeight) {}

    Color& at(int x, int y) { return mPixels[size_t(y) * kWidth + size_t(x)]; }

    // Blends paint(x, y) over the pixels inside bounds by the shape's coverage, counted on a
    // 4 x 4 grid per pixel so edges come out smooth.
    template <typename Inside, typename Paint>
    void fill(double left, double top, double right, double bottom, Inside inside, Paint paint,
              double opacity = 1.0)
    {
        const int x0 = std::max(0, int(std::floor(left))), x1 = std::min(kWidth, int(right) + 1);
        const int y0 = std::max(0, int(std::floor(top))), y1 = std::min(kHeight, int(bottom) + 1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                int hits = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx)
                        hits += inside(Point{x + (sx + 0.5) / 4, y + (sy + 0.5) / 4}) ? 1 : 0;
                if (hits)
                    at(x, y) = Mix(at(x, y), paint(Point{x + 0.5, y + 0.5}), opacity * hits / 16.0);
            }
    }

    bool writePNG(const char* path) const;

private:
    std::vector<Color> mPixels;
};

bool Canvas::writePNG(const char* path) const
{
    FILE* file = fopen(path, "wbe");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(size_t(kWidth) * 3);
    bool ok = png && info && setjmp(png_jmpbuf(png)) == 0;
    if (ok) {
        png_init_io(png, file);
        // The plug-in carries these bytes, so they are worth packing tightly.
        png_set_compression_level(png, 9);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const Color& c = mPixels[size_t(y) * kWidth + size_t(x)];
                const double channels[3] = {c.r, c.g, c.b};
                for (int i = 0; i < 3; ++i)
                    row[size_t(x) * 3 + size_t(i)] =
                        png_byte(std::clamp(std::lround(channels[i]), 0L, 255L));
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0 && ok;
}

double SegmentDistance(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double t =
        std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// The telescope is drawn in its own frame: u along the tube towards the lens, v across it,
// positive v below the tube.
struct TubeFrame
{
    Point centre;
    double angle; // radians, anticlockwise on screen

    Point toScreen(double u, double v) const
    {
        const double c = std::cos(angle), s = std::sin(angle);
        return {centre.x + u * c + v * s, centre.y - u * s + v * c};
    }
    Point toTube(Point p) const
    {
        const double c = std::cos(angle), s = std::sin(angle);
        const double dx = p.x - centre.x, dy = p.y - centre.y;
        return {dx * c - dy * s, dx * s + dy * c};
    }
};

// A section of the tube from u0 to u1, halfWidth either side of the axis, lit from above so it
// reads as a cylinder rather than a flat bar.
void DrawSection(Canvas& canvas, const TubeFrame& frame, double u0, double u1, double halfWidth,
                 Color base)
{
    const auto inside = [&](Point p) {
        const Point t = frame.toTube(p);
        return t.x >= u0 && t.x <= u1 && std::fabs(t.y) <= halfWidth;
    };
    const auto paint = [&](Point p) {
        const double v = frame.toTube(p).y / halfWidth; // -1 top edge .. 1 bottom edge
        const double light = 0.62 + 0.38 * std::cos((v + 0.35) * 1.35);
        return Scale(base, light);
    };
    const double reach = std::hypot(std::max(std::fabs(u0), std::fabs(u1)), halfWidth);
    canvas.fill(frame.centre.x - reach, frame.centre.y - reach, frame.centre.x + reach,
                frame.centre.y + reach, inside, paint);
}

void DrawDisc(Canvas& canvas, Point centre, double radius, Color color)
{
    canvas.fill(
        centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius,
        [&](Point p) { return std::hypot(p.x - centre.x, p.y - centre.y) <= radius; },
        [&](Point) { return color; });
}

void DrawStroke(Canvas& canvas, Point a, Point b, double radius, Color color)
{
    canvas.fill(
        std::min(a.x, b.x) - radius, std::min(a.y, b.y) - radius, std::max(a.x, b.x) + radius,
        std::max(a.y, b.y) + radius, [&](Point p) { return SegmentDistance(p, a, b) <= radius; },
        [&](Point) { return color; });
}

void DrawTelescope(Canvas& canvas)
{
    const TubeFrame frame{{318, 160}, 20 * std::numbers::pi / 180};
    const Color body{200, 211, 226};
    const Color band{112, 128, 152};
    const Color legs{128, 142, 164};

    // Tripod first, so the tube sits on top of it.
    const Point mount = frame.toScreen(8, 30);
    const Point feet[] = {{250, 278}, {334, 284}, {414, 276}};
    for (const Point& foot : feet)
        DrawStroke(canvas, mount, foot, 4.5, legs);
    DrawDisc(canvas, mount, 11, band);

    DrawSection(canvas, frame, -152, -92, 13, body); // eyepiece
    DrawSection(canvas, frame, -100, -6, 21, body);
    DrawSection(canvas, frame, -14, 118, 31, body); // main tube
    DrawSection(canvas, frame, 112, 140, 37, body); // dew shield
    // Collars where the sections meet.
    DrawSection(canvas, frame, -100, -90, 24, band);
    DrawSection(canvas, frame, -14, -2, 34, band);
    DrawSection(canvas, frame, 108, 116, 38, band);

    // The lens seen edge-on, with a highlight so it reads as glass.
    const auto ellipse = [&frame](double u, double v, double radiusU, double radiusV) {
        return [=](Point p) {
            const Point t = frame.toTube(p);
            const double du = (t.x - u) / radiusU, dv = (t.y - v) / radiusV;
            return du * du + dv * dv <= 1;
        };
    };
    const Point tip = frame.toScreen(140, 0);
    canvas.fill(tip.x - 40, tip.y - 40, tip.x + 40, tip.y + 40, ellipse(140, 0, 9, 35), [](Point) {
        return Color{70, 128, 178};
    });
    canvas.fill(
        tip.x - 40, tip.y - 40, tip.x + 40, tip.y + 40, ellipse(141, -16, 4, 10),
        [](Point) {
            return Color{225, 238, 250};
        },
        0.85);
}

using BitmapFont5x7::Glyph;
constexpr int kGlyphWidth = BitmapFont5x7::kWidth;
constexpr int kGlyphHeight = BitmapFont5x7::kHeight;

// Centred on the picture's width; a letter the font lacks leaves a blank.
void DrawText(Canvas& canvas, const char* text, int top, int scale, Color color)
{
    const int advance = (kGlyphWidth + 1) * scale;
    const int length = int(std::char_traits<char>::length(text));
    const int left = (kWidth - (length * advance - scale)) / 2;
    // A soft shadow first keeps the letters legible once a host scales the picture down.
    for (int pass = 0; pass < 2; ++pass) {
        const double offset = pass == 0 ? std::max(1, scale / 3) : 0;
        const Color colour = pass == 0 ? Color{6, 9, 14} : color;
        const double opacity = pass == 0 ? 0.7 : 1.0;
        for (int i = 0; i < length; ++i) {
            const Glyph* glyph = BitmapFont5x7::Find(text[i]);
            if (!glyph)
                continue;
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int col = 0; col < kGlyphWidth; ++col) {
                    if (!(glyph->rows[row] & (0x10 >> col)))
                        continue;
                    const double x = left + i * advance + col * scale + offset;
                    const double y = top + row * scale + offset;
                    canvas.fill(
                        x, y, x + scale, y + scale,
                        [&](Point p) {
                            return p.x >= x && p.x < x + scale && p.y >= y && p.y < y + scale;
                        },
                        [&](Point) { return colour; }, opacity);
                }
        }
    }
}

void DrawBackground(Canvas& canvas)
{
    // Dark blue-grey, lighter behind the telescope so the glyph stands out.
    const Color top{40, 50, 64}, bottom{15, 19, 27};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double glow = std::max(0.0, 1 - std::hypot((x - 320) / 330.0, (y - 180) / 250.0));
            canvas.at(x, y) = Mix(Mix(top, bottom, y / double(kHeight - 1)), Color{66, 80, 100},
                                  0.55 * glow * glow);
        }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <out.png>\n", argv[0]);
        return 2;
    }
    Canvas canvas;
    DrawBackground(canvas);
    DrawTelescope(canvas);
    // Sizes chosen so both lines still read when a host shows the picture at 320 x 240.
    DrawText(canvas, "NO CAMERA", 312, 7, {236, 241, 247});
    DrawText(canvas, "WAITING FOR PARALLAX3D", 388, 3, {164, 182, 206});
    if (!canvas.writePNG(argv[1])) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
