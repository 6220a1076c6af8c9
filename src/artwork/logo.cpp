#include "artwork/logo.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/twips.h"

namespace tamsrove::artwork {
namespace {

// --- The emblem: a blue disc with a ring of eight white dots ------------------------------------

const Colour kDiscTop = Opaque(110, 207, 241); // the ring's light blue
const Colour kDiscBottom = Opaque(34, 136, 196);
const Colour kDiscRim = Opaque(27, 114, 170);
const Colour kWhite = Opaque(255, 255, 255);

// Opacity of the white dots, positions 0 (top) to 7 clockwise: dot 1 lit, 0 and 7 trailing.
constexpr std::array<double, 8> kDotOpacity{0.72, 1.0, 0.3, 0.3, 0.3, 0.3, 0.3, 0.46};

// Every length of an emblem of one size, worked out once for all its samples.
struct Emblem {
    Point centre;
    double radius = 0;
    double rim = 0;              // the rim's width
    double dot = 0;              // the dots' radius
    std::array<Point, 8> dots{}; // the dots' centres, positions 0 (top) to 7 clockwise
};

Emblem EmblemFor(Point centre, double radius) {
    Emblem e{centre, radius, std::fmax(0.9, radius * 0.05), std::fmax(1.25, radius * 0.145), {}};
    // Unit directions of the dot positions in picture coordinates (y grows downwards).
    const double s = std::sqrt(0.5);
    const std::array<Point, 8> directions{
        {{0, -1}, {s, -s}, {1, 0}, {s, s}, {0, 1}, {-s, s}, {-1, 0}, {-s, -s}}};
    const double ring = radius * 0.56;
    for (std::size_t i = 0; i < directions.size(); ++i) {
        e.dots.at(i) = {centre.x + directions.at(i).x * ring, centre.y + directions.at(i).y * ring};
    }
    return e;
}

Colour EmblemAt(const Emblem& e, Point p) {
    const Point d{p.x - e.centre.x, p.y - e.centre.y};
    const double dist = Length(d);
    if (dist >= e.radius) {
        return {};
    }
    Colour paint = Mix(kDiscTop, kDiscBottom, (d.y + e.radius) / (2 * e.radius));
    // A thin darker rim keeps the disc's edge crisp on light title bars.
    if (dist > e.radius - e.rim) {
        paint = kDiscRim;
    }
    for (std::size_t i = 0; i < e.dots.size(); ++i) {
        if (Length({p.x - e.dots.at(i).x, p.y - e.dots.at(i).y}) < e.dot) {
            return Over(Faded(kWhite, kDotOpacity.at(i)), paint);
        }
    }
    return paint;
}

// --- The wordmark: a geometric, round-ended stroke font -----------------------------------------

// Glyph units: baseline at y = 0 with y growing upwards, x-height 10, capitals and ascenders
// 14, strokes 2 wide with round ends. A glyph's left edge is at x = 0.
constexpr double kStrokeWidth = 2.0;
constexpr double kHalfStroke = kStrokeWidth / 2;
constexpr double kLetterGap = 2.4;
// Every stroke, its round ends included, lies between these heights.
constexpr double kInkBottom = 0.0;
constexpr double kInkTop = 15.0;

struct Segment {
    Point a;
    Point b;
};

struct Glyph {
    char letter;
    double width;
    std::vector<Segment> segments;
    std::vector<Arc> arcs;
};

// A circle of arcs, each a quarter turn (an Arc covers less than half a turn).
std::vector<Arc> Circle(Point centre, double radius) {
    return {{centre, radius, {1, 0}, {0, 1}},
            {centre, radius, {0, 1}, {-1, 0}},
            {centre, radius, {-1, 0}, {0, -1}},
            {centre, radius, {0, -1}, {1, 0}}};
}

std::vector<Glyph> MakeGlyphs() {
    const Point bowl{5, 5}; // centre of the x-height bowls, radius 4
    const double s = std::sqrt(0.5);
    std::vector<Glyph> glyphs;
    // C: a three-quarter circle of cap height, open to the right.
    glyphs.push_back({'C',
                      7 + 6 * s + 1,
                      {},
                      {{{7, 7}, 6, {1, 1}, {-1, 1}},
                       {{7, 7}, 6, {-1, 1}, {-1, -1}},
                       {{7, 7}, 6, {-1, -1}, {1, -1}}}});
    glyphs.push_back({'o', 10, {}, Circle(bowl, 4)});
    // r: a stem and a shoulder that ends pointing up and right.
    glyphs.push_back({'r',
                      5 + 4 * s + 1,
                      {{{1, 1}, {1, 9}}},
                      {{bowl, 4, {1, 1}, {-1, 1}}, {bowl, 4, {-1, 1}, {-1, 0}}}});
    glyphs.push_back({'v', 10, {{{1, 9}, {5, 1}}, {{5, 1}, {9, 9}}}, {}});
    // e: a bowl open at the lower right, crossed by a bar.
    glyphs.push_back({'e',
                      10,
                      {{{1, 5}, {9, 5}}},
                      {{bowl, 4, {1, 0}, {0, 1}},
                       {bowl, 4, {0, 1}, {-1, 0}},
                       {bowl, 4, {-1, 0}, {0, -1}},
                       {bowl, 4, {0, -1}, {1, -1.2}}}});
    glyphs.push_back({'l', 2, {{{1, 1}, {1, 14}}}, {}});
    // a: the single-storey form, a bowl with a stem on its right.
    glyphs.push_back({'a', 10, {{{9, 1}, {9, 9}}}, Circle(bowl, 4)});
    glyphs.push_back({'n',
                      10,
                      {{{1, 1}, {1, 9}}, {{9, 5}, {9, 1}}},
                      {{bowl, 4, {1, 0}, {0, 1}}, {bowl, 4, {0, 1}, {-1, 0}}}});
    return glyphs;
}

// A laid-out word: every glyph's strokes moved to its place along one line, in glyph units.
struct PlacedGlyph {
    double left = 0;
    double right = 0;
    std::vector<Segment> segments;
    std::vector<Arc> arcs;
};

struct Word {
    double width = 0;
    std::vector<PlacedGlyph> glyphs;
};

Word LayOut(std::string_view text) {
    const std::vector<Glyph> glyphs = MakeGlyphs();
    Word word;
    double pen = 0;
    char previous = 0;
    for (const char letter : text) {
        for (const Glyph& g : glyphs) {
            if (g.letter != letter) {
                continue;
            }
            if (previous != 0) {
                // The r's arm leaves room below it: the next letter moves in a little.
                pen += previous == 'r' ? kLetterGap - 1.0 : kLetterGap;
            }
            PlacedGlyph placed{pen, pen + g.width, {}, {}};
            for (const Segment& seg : g.segments) {
                placed.segments.push_back({{seg.a.x + pen, seg.a.y}, {seg.b.x + pen, seg.b.y}});
            }
            for (Arc arc : g.arcs) {
                arc.centre.x += pen;
                placed.arcs.push_back(arc);
            }
            word.glyphs.push_back(std::move(placed));
            pen += g.width;
            previous = letter;
        }
    }
    word.width = pen;
    return word;
}

// How much of the disc of radius `reach` about p the word's strokes ink.
enum class Cover : uint8_t { None, Some, All };

// With reach 0, whether p itself is inked (Some) or not (None). With a pixel's reach, whether no
// sample of the pixel can be inked (None), or every sample surely is (All).
Cover StrokeCover(const Word& word, Point p, double reach) {
    if (p.y < kInkBottom - reach || p.y > kInkTop + reach) {
        return Cover::None;
    }
    Cover cover = Cover::None;
    const auto meet = [&](const PlacedGlyph& g, double distance) {
        if (distance > kHalfStroke + reach) {
            return false;
        }
        // Wholly inked when the disc lies inside the stroke and within the glyph's width.
        const bool all =
            distance <= kHalfStroke - reach && p.x - reach >= g.left && p.x + reach <= g.right;
        cover = all ? Cover::All : Cover::Some;
        return all || reach == 0;
    };
    for (const PlacedGlyph& g : word.glyphs) {
        // Strokes stay within the glyph's width (their round ends included).
        if (p.x < g.left - reach || p.x > g.right + reach) {
            continue;
        }
        for (const Segment& seg : g.segments) {
            if (meet(g, DistanceToSegment(p, seg.a, seg.b))) {
                return cover;
            }
        }
        for (const Arc& arc : g.arcs) {
            if (meet(g, DistanceToArc(p, arc))) {
                return cover;
            }
        }
    }
    return cover;
}

// --- The logo -----------------------------------------------------------------------------------

// Layout in pixels at 96 DPI: the emblem at the left, the wordmark filling the rest.
constexpr Point kEmblemCentre{32, 32};
constexpr double kEmblemRadius = 26;
constexpr double kWordmarkLeft = 70;
constexpr double kWordmarkRight = 242;
constexpr double kCapHeightUnits = 14;
constexpr int kLogoSamples = 8;
const Colour kWordmarkInk = Opaque(28, 86, 130);

// Every length of the logo at one DPI, in pixels.
struct LogoGeometry {
    Emblem emblem;
    double left = 0;  // the wordmark's left edge
    double scale = 0; // pixels per glyph unit
    double baseline = 0;
    Word word;
};

LogoGeometry LogoGeometryFor(PixelSize size, double k) {
    LogoGeometry g;
    g.emblem = EmblemFor({kEmblemCentre.x * k, kEmblemCentre.y * k}, kEmblemRadius * k);
    g.left = kWordmarkLeft * k;
    g.word = LayOut("Corvellan");
    g.scale = (kWordmarkRight * k - g.left) / g.word.width;
    g.baseline = size.height / 2.0 + kCapHeightUnits * g.scale / 2;
    return g;
}

Point ToGlyphUnits(const LogoGeometry& g, Point p) {
    return {(p.x - g.left) / g.scale, (g.baseline - p.y) / g.scale};
}

Colour LogoAt(const LogoGeometry& g, Point p) {
    Colour paint = EmblemAt(g.emblem, p);
    if (paint.a == 0 && p.x >= g.left - g.scale * kStrokeWidth &&
        StrokeCover(g.word, ToGlyphUnits(g, p), 0.0) != Cover::None) {
        paint = kWordmarkInk;
    }
    return Over(paint, kWhite);
}

// True when every sample of the pixel shows one colour: away from the emblem, the pixel lies
// wholly outside the strokes (white) or wholly inside one (ink).
bool FlatPixel(const LogoGeometry& g, int32_t x, int32_t y) {
    const Point p{x + 0.5, y + 0.5};
    const Emblem& e = g.emblem;
    if (Length({p.x - e.centre.x, p.y - e.centre.y}) < e.radius + kSampleReach) {
        return false;
    }
    return p.x + kSampleReach < g.left - g.scale * kStrokeWidth ||
           StrokeCover(g.word, ToGlyphUnits(g, p), kSampleReach / g.scale) != Cover::Some;
}

} // namespace

PixelSize LogoSize(int32_t dpi) {
    CheckDrawableDpi(dpi, "logo DPI out of range");
    return {kLogoDesignSize.width * dpi / kBaseDpi, kLogoDesignSize.height * dpi / kBaseDpi};
}

Image DrawLogo(int32_t dpi) {
    // Every length of the layout is multiplied by the scale and the scene is sampled at that
    // size, so edges stay as crisp as at 96 DPI. At 96 DPI the factor is exactly 1, and the
    // picture is the same, byte for byte, as the design-size logo has always been.
    const PixelSize size = LogoSize(dpi);
    const LogoGeometry g = LogoGeometryFor(size, double(dpi) / kBaseDpi);
    Sampling sampling{kLogoSamples, ChannelRange::Unit, [&g](int32_t x, int32_t y) {
                          return FlatPixel(g, x, y);
                      }};
    return Render(size.width, size.height, sampling, [&g](Point p) { return LogoAt(g, p); });
}

Image DrawEmblem(int32_t side, int samples_per_axis) {
    const double half = side / 2.0;
    // Half a pixel of margin, so the disc's edge is smooth on every side.
    const Emblem emblem = EmblemFor({half, half}, half - 0.5);
    return Render(side, side, {samples_per_axis, ChannelRange::Unit, {}},
                  [&emblem](Point p) { return EmblemAt(emblem, p); });
}

} // namespace tamsrove::artwork
