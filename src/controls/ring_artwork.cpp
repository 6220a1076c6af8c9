// Draws the working ring's frames with the shared rasteriser. Every pixel averages an 8 x 8 grid
// of samples of the ideal picture, so edges are anti-aliased while pixels wholly inside one shape
// keep its exact colour. Colours are worked in 8-bit values (ChannelRange::Byte).
#include "controls/ring_artwork.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "forms/twips.h"

namespace tamsrove {
namespace {

using artwork::Colour;

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRingBlue{110, 207, 241};
constexpr Rgb kOutlineGrey{192, 192, 192};
constexpr Rgb kPalerBlue{161, 224, 246};
constexpr Rgb kPalestBlue{229, 247, 253};

// Design sizes at 96 DPI, in pixels.
constexpr int32_t kDesignWidth = 51;
constexpr int32_t kDesignHeight = 49;
constexpr double kRingStroke = 2.0;
// The circle's inner edge fades into the white over this distance.
constexpr double kRingFade = 0.75;
constexpr double kDotRadius = 3.5;
constexpr double kDotOutline = 1.0;

struct Offset {
    double dx;
    double dy;
};

// Dot centres relative to the ring's centre, position 0 at the top and then clockwise; the
// diagonal ones sit on whole pixels (12, 12) so that at 96 DPI every dot is centred on a pixel.
constexpr std::array<Offset, kRingFrameCount> kDotOffsets{{
    {0, -17},
    {12, -12},
    {17, 0},
    {12, 12},
    {0, 17},
    {-12, 12},
    {-17, 0},
    {-12, -12},
}};

constexpr int kSamplesPerAxis = 8;

// The opaque colour in 8-bit values.
Colour ToColour(Rgb c) {
    return {double(c.r), double(c.g), double(c.b), 1.0};
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
    std::array<Offset, kRingFrameCount> dots{};
};

Geometry GeometryFor(PixelSize size, double scale) {
    Geometry g;
    g.cx = size.width / 2.0;
    g.cy = size.height / 2.0;
    g.ring_outer = g.cx;
    g.ring_inner = g.ring_outer - kRingStroke * scale;
    g.ring_fade = kRingFade * scale;
    g.dot_outer = std::floor(kDotRadius * scale) + 0.5;
    g.dot_fill = g.dot_outer - std::max(1.0, std::floor(kDotOutline * scale + 0.5));
    for (std::size_t i = 0; i < g.dots.size(); ++i) {
        g.dots[i] = {std::floor(g.cx + kDotOffsets[i].dx * scale) + 0.5,
                     std::floor(g.cy + kDotOffsets[i].dy * scale) + 0.5};
    }
    return g;
}

// Fill colour of each dot position in frame k: k lit, the two behind it paler and palest.
std::array<Colour, kRingFrameCount> DotFills(int32_t k) {
    std::array<Colour, kRingFrameCount> fills{};
    fills.fill(ToColour(kWhite));
    const auto at = [](int32_t position) {
        return static_cast<std::size_t>((position + kRingFrameCount) % kRingFrameCount);
    };
    fills[at(k)] = ToColour(kRingBlue);
    fills[at(k - 1)] = ToColour(kPalerBlue);
    fills[at(k - 2)] = ToColour(kPalestBlue);
    return fills;
}

// How strongly the circle's blue covers a point at distance d from the centre.
double RingStrength(const Geometry& g, double d) {
    if (d > g.ring_outer) {
        return 0.0;
    }
    if (d >= g.ring_inner) {
        return 1.0;
    }
    const double fade_start = g.ring_inner - g.ring_fade;
    return d > fade_start ? (d - fade_start) / g.ring_fade : 0.0;
}

Colour ColourAt(const Geometry& g, const std::array<Colour, kRingFrameCount>& fills, double x,
                double y) {
    const double outer2 = g.dot_outer * g.dot_outer;
    for (std::size_t i = 0; i < g.dots.size(); ++i) {
        const double dx = x - g.dots[i].dx;
        const double dy = y - g.dots[i].dy;
        const double d2 = dx * dx + dy * dy;
        if (d2 < outer2) {
            return d2 < g.dot_fill * g.dot_fill ? fills[i] : ToColour(kOutlineGrey);
        }
    }
    const double dx = x - g.cx;
    const double dy = y - g.cy;
    const double d = std::sqrt(dx * dx + dy * dy);
    return artwork::Mix(ToColour(kWhite), ToColour(kRingBlue), RingStrength(g, d));
}

// True when a pixel may straddle an edge of the picture (or lie in the circle's fade), so that
// its samples can differ. Any other pixel lies wholly in one flat area, and one sample at its
// centre gives exactly the colour all of them would.
bool NearAnEdge(const Geometry& g, double x, double y) {
    constexpr double reach = artwork::kSampleReach;
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

// Scales an odd design length to the target DPI and keeps it odd, so the picture has a centre
// pixel: for a scaled length L, the one odd number in (L - 1, L + 1].
int32_t ScaleOdd(int32_t design, int32_t dpi) {
    return 2 * (design * dpi / (2 * kBaseDpi)) + 1;
}

} // namespace

PixelSize RingFrameSize(int32_t dpi) {
    artwork::CheckDrawableDpi(dpi, "ring frame DPI out of range");
    return {ScaleOdd(kDesignWidth, dpi), ScaleOdd(kDesignHeight, dpi)};
}

PixelBuffer DrawRingFrame(int32_t k, int32_t dpi) {
    if (k < 0 || k >= kRingFrameCount) {
        throw std::invalid_argument("ring frame index out of range");
    }
    const PixelSize size = RingFrameSize(dpi);
    const Geometry g = GeometryFor(size, double(dpi) / kBaseDpi);
    const auto fills = DotFills(k);

    const artwork::Sampling sampling{kSamplesPerAxis, artwork::ChannelRange::Byte,
                                     [&g](int32_t x, int32_t y) {
                                         return !NearAnEdge(g, x + 0.5, y + 0.5);
                                     }};
    return artwork::ToPixelBuffer(
        artwork::Render(size.width, size.height, sampling,
                        [&g, &fills](artwork::Point p) { return ColourAt(g, fills, p.x, p.y); }));
}

} // namespace tamsrove
