#include "artwork/raster.h"

#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace tamsrove::artwork {
namespace {

double Cross(Point a, Point b) {
    return a.x * b.y - a.y * b.x;
}

Point ScaledTo(Point direction, double radius) {
    const double len = Length(direction);
    return {direction.x * radius / len, direction.y * radius / len};
}

// A channel in its range to 8 bits, rounded half up; `per_unit` is 255 for ChannelRange::Unit and
// 1 for ChannelRange::Byte, so that either range keeps its exact arithmetic.
uint8_t ToByte(double value, double per_unit) {
    const double v = std::floor(value * per_unit + 0.5);
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

uint8_t OverWhite(uint8_t c, uint8_t a) {
    return static_cast<uint8_t>((unsigned(c) * a + 255U * (255U - a) + 127U) / 255U);
}

void CheckDrawableDpi(int32_t dpi, const char* what) {
    if (dpi < kMinDrawableDpi || dpi > kMaxDrawableDpi) {
        throw std::invalid_argument(what);
    }
}

const Rgba8& Image::At(int32_t x, int32_t y) const {
    return pixels.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x));
}

Rgb PixelBuffer::Pixel(int32_t x, int32_t y) const {
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                           static_cast<std::size_t>(x) * 3;
    return {bytes.at(at + 2), bytes.at(at + 1), bytes.at(at)};
}

PixelBuffer ToPixelBuffer(const Image& image) {
    PixelBuffer out;
    out.width = image.width;
    out.height = image.height;
    out.stride = (image.width * 3 + 3) / 4 * 4;
    out.bytes.assign(static_cast<std::size_t>(out.stride) * static_cast<std::size_t>(image.height),
                     0);
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* row = out.bytes.data() + static_cast<std::size_t>(y) * out.stride;
        for (int32_t x = 0; x < image.width; ++x) {
            const Rgba8 c = image.At(x, y);
            uint8_t* px = row + static_cast<std::size_t>(x) * 3;
            px[0] = OverWhite(c.b, c.a);
            px[1] = OverWhite(c.g, c.a);
            px[2] = OverWhite(c.r, c.a);
        }
    }
    return out;
}

Colour Opaque(uint8_t r, uint8_t g, uint8_t b) {
    return {r / 255.0, g / 255.0, b / 255.0, 1.0};
}

Colour Faded(Colour c, double alpha) {
    return {c.r * alpha, c.g * alpha, c.b * alpha, c.a * alpha};
}

Colour Mix(Colour from, Colour to, double t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

Colour Over(Colour top, Colour bottom) {
    const double keep = 1.0 - top.a;
    return {top.r + bottom.r * keep, top.g + bottom.g * keep, top.b + bottom.b * keep,
            top.a + bottom.a * keep};
}

double Length(Point v) {
    return std::sqrt(v.x * v.x + v.y * v.y);
}

double DistanceToSegment(Point p, Point a, Point b) {
    const Point ab{b.x - a.x, b.y - a.y};
    const Point ap{p.x - a.x, p.y - a.y};
    const double span = ab.x * ab.x + ab.y * ab.y;
    double t = span > 0 ? (ap.x * ab.x + ap.y * ab.y) / span : 0.0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return Length({ap.x - ab.x * t, ap.y - ab.y * t});
}

double DistanceToArc(Point p, const Arc& arc) {
    const Point d{p.x - arc.centre.x, p.y - arc.centre.y};
    // Within the arc's angle when the point lies turned past `from` and not yet past `to`.
    if (Cross(arc.from, d) >= 0 && Cross(d, arc.to) >= 0) {
        return std::abs(Length(d) - arc.radius);
    }
    const Point start = ScaledTo(arc.from, arc.radius);
    const Point end = ScaledTo(arc.to, arc.radius);
    return std::fmin(Length({d.x - start.x, d.y - start.y}), Length({d.x - end.x, d.y - end.y}));
}

Image Render(int32_t width, int32_t height, const Sampling& sampling, const Scene& scene) {
    const int n = sampling.samples_per_axis;
    if (width <= 0 || height <= 0 || n <= 0) {
        throw std::invalid_argument("render: empty picture or no samples");
    }
    const double per_unit = sampling.range == ChannelRange::Unit ? 255.0 : 1.0;
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const double all_samples = double(n) * n;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            Colour sum;
            double count = all_samples;
            if (sampling.flat && sampling.flat(x, y)) {
                sum = scene({x + 0.5, y + 0.5});
                count = 1.0;
            } else {
                for (int sy = 0; sy < n; ++sy) {
                    for (int sx = 0; sx < n; ++sx) {
                        const Colour c = scene({x + (sx + 0.5) / n, y + (sy + 0.5) / n});
                        sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b, sum.a + c.a};
                    }
                }
            }
            Rgba8& out = image.pixels[static_cast<std::size_t>(y) * width + x];
            const double a = sum.a / count;
            out.a = ToByte(a, 255.0);
            if (out.a != 0) {
                // Back from premultiplied to straight colour.
                out.r = ToByte(sum.r / count / a, per_unit);
                out.g = ToByte(sum.g / count / a, per_unit);
                out.b = ToByte(sum.b / count / a, per_unit);
            }
        }
    }
    return image;
}

} // namespace tamsrove::artwork
