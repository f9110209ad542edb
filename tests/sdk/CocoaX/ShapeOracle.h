// Expectations for drawn shapes worked out from geometry alone: a signed distance (negative
// inside) per shape, and a comparison of every pixel whose centre lies more than one pixel from
// the outline. Within that pixel the rasteriser anti-aliases, which is all the tolerance in
// position; in value, 2 of 255 covers the rounding of premultiplied 8-bit components.
#pragma once

#include <QImage>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace shapeoracle {

// y up, as the drawing code sees it.
using Distance = std::function<double(double x, double y)>;

inline Distance RoundRect(double x, double y, double w, double h, double r)
{
    return [=](double px, double py) {
        const double qx = std::fabs(px - (x + w / 2)) - (w / 2 - r);
        const double qy = std::fabs(py - (y + h / 2)) - (h / 2 - r);
        return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) -
               r;
    };
}

inline Distance Circle(double cx, double cy, double radius)
{
    return [=](double px, double py) { return std::hypot(px - cx, py - cy) - radius; };
}

// A pill: every point within radius of the segment.
inline Distance Capsule(double x0, double y0, double x1, double y1, double radius)
{
    return [=](double px, double py) {
        const double dx = x1 - x0, dy = y1 - y0;
        const double len2 = dx * dx + dy * dy;
        const double t =
            len2 > 0 ? std::clamp(((px - x0) * dx + (py - y0) * dy) / len2, 0.0, 1.0) : 0;
        return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy)) - radius;
    };
}

struct Colour
{
    double grey; // un-premultiplied, 0..1
    double alpha;
};

inline bool Near(int value, double expected)
{
    return std::abs(value - std::lround(expected * 255)) <= 2;
}

// Checks every pixel clear of the outline: inside has the colour, outside the background;
// answers the number of pixels checked inside, so a caller sees the shape was there at all.
inline int ExpectShape(const QImage& image, const Distance& distance, Colour inside,
                       Colour outside = {0, 0}, const std::string& what = "")
{
    int checkedInside = 0, failures = 0;
    for (int row = 0; row < image.height(); ++row) {
        for (int col = 0; col < image.width(); ++col) {
            const double d = distance(col + 0.5, image.height() - row - 0.5);
            if (std::fabs(d) <= 1.0)
                continue;
            const Colour want = d < 0 ? inside : outside;
            const QColor got = image.pixelColor(col, row);
            const bool ok =
                Near(got.alpha(), want.alpha) &&
                (want.alpha == 0 || (Near(got.red(), want.grey) && Near(got.green(), want.grey) &&
                                     Near(got.blue(), want.grey)));
            if (!ok && ++failures <= 3)
                ADD_FAILURE() << what << " pixel (" << col << ", " << row << ") "
                              << (d < 0 ? "inside" : "outside") << ": got rgba(" << got.red()
                              << ", " << got.green() << ", " << got.blue() << ", " << got.alpha()
                              << ")";
            checkedInside += d < 0;
        }
    }
    return checkedInside;
}

} // namespace shapeoracle
