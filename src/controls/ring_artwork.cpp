// Draws the working ring's frames. Every pixel averages an 8 x 8 grid of samples of the ideal
// picture, so edges are anti-aliased while pixels wholly inside one shape keep its exact colour.
#include "controls/ring_artwork.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace tamsrove {
namespace {

constexpr Rgb white{255, 255, 255};
constexpr Rgb ring_blue{110, 207, 241};
constexpr Rgb outline_grey{192, 192, 192};
constexpr Rgb paler_blue{161, 224, 246};
constexpr Rgb palest_blue{229, 247, 253};

// Design sizes at 96 DPI, in pixels.
constexpr int32_t design_width = 51;
constexpr int32_t design_height = 49;
constexpr double ring_stroke = 2.0;
// The circle's inner edge fades into the white over this distance.
constexpr double ring_fade = 0.75;
constexpr double dot_radius = 3.5;
constexpr double dot_outline = 1.0;

struct Offset {
    double dx;
    double dy;
};

// Dot centres relative to the ring's centre, position 0 at the top and then clockwise; the
// diagonal ones sit on whole pixels (12, 12) so that at 96 DPI every dot is centred on a pixel.
constexpr std::array<Offset, ring_frame_count> dot_offsets{{
    {0, -17},
    {12, -12},
    {17, 0},
    {12, 12},
    {0, 17},
    {-12, 12},
    {-17, 0},
    {-12, -12},
}};

constexpr int samples_per_axis = 8;

struct Colour {
    double r = 0;
    double g = 0;
    double b = 0;
};

Colour to_colour(Rgb c) {
    return {double(c.r), double(c.g), double(c.b)};
}

Colour mix(Colour from, Colour to, double t) {
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t};
}

// Every length of one frame, in pixels of the target DPI. The ring's centre is the centre of the
// picture, whose sides are odd so that it is a pixel's centre; the circle touches the left and
// right edges and runs just past the top and bottom ones. Dots sit on pixel centres with whole
// pixels of outline, so they stay crisp and symmetric at every scale.
struct Geometry {
    double cx = 0;
    double cy = 0;
    double ring_outer = 0;
    double ring_inner = 0;
    double ring_fade = 0;
    double dot_outer = 0;
    double dot_fill = 0;
    std::array<Offset, ring_frame_count> dots{};
};

Geometry geometry_for(PixelSize size, double scale) {
    Geometry g;
    g.cx = size.width / 2.0;
    g.cy = size.height / 2.0;
    g.ring_outer = g.cx;
    g.ring_inner = g.ring_outer - ring_stroke * scale;
    g.ring_fade = ring_fade * scale;
    g.dot_outer = std::floor(dot_radius * scale) + 0.5;
    g.dot_fill = g.dot_outer - std::max(1.0, std::floor(dot_outline * scale + 0.5));
    for (std::size_t i = 0; i < g.dots.size(); ++i) {
        g.dots[i] = {std::floor(g.cx + dot_offsets[i].dx * scale) + 0.5,
                     std::floor(g.cy + dot_offsets[i].dy * scale) + 0.5};
    }
    return g;
}

// Fill colour of each dot position in frame k: k lit, the two behind it paler and palest.
std::array<Colour, ring_frame_count> dot_fills(int32_t k) {
    std::array<Colour, ring_frame_count> fills{};
    fills.fill(to_colour(white));
    const auto at = [](int32_t position) {
        return static_cast<std::size_t>((position + ring_frame_count) % ring_frame_count);
    };
    fills[at(k)] = to_colour(ring_blue);
    fills[at(k - 1)] = to_colour(paler_blue);
    fills[at(k - 2)] = to_colour(palest_blue);
    return fills;
}

// How strongly the circle's blue covers a point at distance d from the centre.
double ring_strength(const Geometry& g, double d) {
    if (d > g.ring_outer) {
        return 0.0;
    }
    if (d >= g.ring_inner) {
        return 1.0;
    }
    const double fade_start = g.ring_inner - g.ring_fade;
    return d > fade_start ? (d - fade_start) / g.ring_fade : 0.0;
}

Colour colour_at(const Geometry& g, const std::array<Colour, ring_frame_count>& fills, double x,
                 double y) {
    const double outer2 = g.dot_outer * g.dot_outer;
    for (std::size_t i = 0; i < g.dots.size(); ++i) {
        const double dx = x - g.dots[i].dx;
        const double dy = y - g.dots[i].dy;
        const double d2 = dx * dx + dy * dy;
        if (d2 < outer2) {
            return d2 < g.dot_fill * g.dot_fill ? fills[i] : to_colour(outline_grey);
        }
    }
    const double dx = x - g.cx;
    const double dy = y - g.cy;
    const double d = std::sqrt(dx * dx + dy * dy);
    return mix(to_colour(white), to_colour(ring_blue), ring_strength(g, d));
}

uint8_t to_byte(double v) {
    const long rounded = std::lround(v);
    return static_cast<uint8_t>(rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded));
}

// True when a pixel may straddle an edge of the picture (or lie in the circle's fade), so that
// its samples can differ. Any other pixel lies wholly in one flat area, and one sample at its
// centre gives exactly the colour all of them would.
bool near_an_edge(const Geometry& g, double x, double y) {
    constexpr double reach = 0.71; // half a pixel's diagonal, rounded up
    const auto crosses = [](double d, double radius) {
        return std::abs(d - radius) <= reach;
    };
    const double d = std::sqrt((x - g.cx) * (x - g.cx) + (y - g.cy) * (y - g.cy));
    if (crosses(d, g.ring_outer) ||
        (d > g.ring_inner - g.ring_fade - reach && d < g.ring_inner + reach)) {
        return true;
    }
    return std::any_of(g.dots.begin(), g.dots.end(), [&](const Offset& dot) {
        const double dd = std::sqrt((x - dot.dx) * (x - dot.dx) + (y - dot.dy) * (y - dot.dy));
        return crosses(dd, g.dot_outer) || crosses(dd, g.dot_fill);
    });
}

Rgb pixel_colour(const Geometry& g, const std::array<Colour, ring_frame_count>& fills, int32_t px,
                 int32_t py) {
    if (!near_an_edge(g, px + 0.5, py + 0.5)) {
        const Colour c = colour_at(g, fills, px + 0.5, py + 0.5);
        return {to_byte(c.r), to_byte(c.g), to_byte(c.b)};
    }
    Colour sum;
    for (int sy = 0; sy < samples_per_axis; ++sy) {
        for (int sx = 0; sx < samples_per_axis; ++sx) {
            const double x = px + (sx + 0.5) / samples_per_axis;
            const double y = py + (sy + 0.5) / samples_per_axis;
            const Colour c = colour_at(g, fills, x, y);
            sum.r += c.r;
            sum.g += c.g;
            sum.b += c.b;
        }
    }
    constexpr double count = samples_per_axis * samples_per_axis;
    return {to_byte(sum.r / count), to_byte(sum.g / count), to_byte(sum.b / count)};
}

void check_dpi(int32_t dpi) {
    if (dpi < ring_min_dpi || dpi > ring_max_dpi) {
        throw std::invalid_argument("ring frame DPI out of range");
    }
}

// Scales an odd design length to the target DPI and keeps it odd, so the picture has a centre
// pixel: for a scaled length L, the one odd number in (L - 1, L + 1].
int32_t scale_odd(int32_t design, int32_t dpi) {
    return 2 * (design * dpi / (2 * ring_design_dpi)) + 1;
}

} // namespace

Rgb PixelBuffer::pixel(int32_t x, int32_t y) const {
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                           static_cast<std::size_t>(x) * 3;
    return {bytes.at(at + 2), bytes.at(at + 1), bytes.at(at)};
}

PixelSize ring_frame_size(int32_t dpi) {
    check_dpi(dpi);
    return {scale_odd(design_width, dpi), scale_odd(design_height, dpi)};
}

PixelBuffer draw_ring_frame(int32_t k, int32_t dpi) {
    if (k < 0 || k >= ring_frame_count) {
        throw std::invalid_argument("ring frame index out of range");
    }
    const PixelSize size = ring_frame_size(dpi);
    const Geometry g = geometry_for(size, double(dpi) / ring_design_dpi);
    const auto fills = dot_fills(k);

    PixelBuffer out;
    out.width = size.width;
    out.height = size.height;
    out.stride = (size.width * 3 + 3) / 4 * 4;
    out.bytes.assign(static_cast<std::size_t>(out.stride) * static_cast<std::size_t>(size.height),
                     0);
    for (int32_t y = 0; y < size.height; ++y) {
        uint8_t* row = out.bytes.data() + static_cast<std::size_t>(y) * out.stride;
        for (int32_t x = 0; x < size.width; ++x) {
            const Rgb c = pixel_colour(g, fills, x, y);
            uint8_t* px = row + static_cast<std::size_t>(x) * 3;
            px[0] = c.b;
            px[1] = c.g;
            px[2] = c.r;
        }
    }
    return out;
}

} // namespace tamsrove
