#include "raster.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace tamsrove::artgen {
namespace {

double cross(Point a, Point b) {
    return a.x * b.y - a.y * b.x;
}

Point scaled_to(Point direction, double radius) {
    const double len = length(direction);
    return {direction.x * radius / len, direction.y * radius / len};
}

uint8_t to_byte(double unit) {
    const double v = std::floor(unit * 255.0 + 0.5);
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

const Rgba8& Image::at(int32_t x, int32_t y) const {
    return pixels.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x));
}

Colour opaque(uint8_t r, uint8_t g, uint8_t b) {
    return {r / 255.0, g / 255.0, b / 255.0, 1.0};
}

Colour faded(Colour c, double alpha) {
    return {c.r * alpha, c.g * alpha, c.b * alpha, c.a * alpha};
}

Colour mix(Colour from, Colour to, double t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

Colour over(Colour top, Colour bottom) {
    const double keep = 1.0 - top.a;
    return {top.r + bottom.r * keep, top.g + bottom.g * keep, top.b + bottom.b * keep,
            top.a + bottom.a * keep};
}

double length(Point v) {
    return std::sqrt(v.x * v.x + v.y * v.y);
}

double distance_to_segment(Point p, Point a, Point b) {
    const Point ab{b.x - a.x, b.y - a.y};
    const Point ap{p.x - a.x, p.y - a.y};
    const double span = ab.x * ab.x + ab.y * ab.y;
    double t = span > 0 ? (ap.x * ab.x + ap.y * ab.y) / span : 0.0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return length({ap.x - ab.x * t, ap.y - ab.y * t});
}

double distance_to_arc(Point p, const Arc& arc) {
    const Point d{p.x - arc.centre.x, p.y - arc.centre.y};
    // Within the arc's angle when the point lies turned past `from` and not yet past `to`.
    if (cross(arc.from, d) >= 0 && cross(d, arc.to) >= 0) {
        return std::abs(length(d) - arc.radius);
    }
    const Point start = scaled_to(arc.from, arc.radius);
    const Point end = scaled_to(arc.to, arc.radius);
    return std::fmin(length({d.x - start.x, d.y - start.y}), length({d.x - end.x, d.y - end.y}));
}

Image render(int32_t width, int32_t height, int samples_per_axis, const Scene& scene) {
    if (width <= 0 || height <= 0 || samples_per_axis <= 0) {
        throw std::invalid_argument("render: empty picture or no samples");
    }
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const double count = double(samples_per_axis) * samples_per_axis;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            Colour sum;
            for (int sy = 0; sy < samples_per_axis; ++sy) {
                for (int sx = 0; sx < samples_per_axis; ++sx) {
                    const Colour c = scene(
                        {x + (sx + 0.5) / samples_per_axis, y + (sy + 0.5) / samples_per_axis});
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b, sum.a + c.a};
                }
            }
            Rgba8& out = image.pixels[static_cast<std::size_t>(y) * width + x];
            const double a = sum.a / count;
            out.a = to_byte(a);
            if (out.a != 0) {
                // Back from premultiplied to straight colour.
                out.r = to_byte(sum.r / count / a);
                out.g = to_byte(sum.g / count / a);
                out.b = to_byte(sum.b / count / a);
            }
        }
    }
    return image;
}

} // namespace tamsrove::artgen
