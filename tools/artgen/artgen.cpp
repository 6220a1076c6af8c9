#include "artgen.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "encode.h"

namespace tamsrove::artgen {
namespace {

// --- The emblem: a blue disc with a ring of eight white dots ------------------------------------

const Colour disc_top = opaque(110, 207, 241); // the ring's light blue
const Colour disc_bottom = opaque(34, 136, 196);
const Colour disc_rim = opaque(27, 114, 170);
const Colour white = opaque(255, 255, 255);

// Opacity of the white dots, positions 0 (top) to 7 clockwise: dot 1 lit, 0 and 7 trailing.
constexpr std::array<double, 8> dot_opacity{0.72, 1.0, 0.3, 0.3, 0.3, 0.3, 0.3, 0.46};

// Unit directions of the dot positions in picture coordinates (y grows downwards).
std::array<Point, 8> dot_directions() {
    const double s = std::sqrt(0.5);
    return {{{0, -1}, {s, -s}, {1, 0}, {s, s}, {0, 1}, {-s, s}, {-1, 0}, {-s, -s}}};
}

Colour emblem_at(Point p, Point centre, double radius) {
    const Point d{p.x - centre.x, p.y - centre.y};
    const double dist = length(d);
    if (dist >= radius) {
        return {};
    }
    Colour paint = mix(disc_top, disc_bottom, (d.y + radius) / (2 * radius));
    // A thin darker rim keeps the disc's edge crisp on light title bars.
    if (dist > radius - std::fmax(0.9, radius * 0.05)) {
        paint = disc_rim;
    }
    const double ring = radius * 0.56;
    const double dot = std::fmax(1.25, radius * 0.145);
    const auto directions = dot_directions();
    for (std::size_t i = 0; i < directions.size(); ++i) {
        const Point at{centre.x + directions[i].x * ring, centre.y + directions[i].y * ring};
        if (length({p.x - at.x, p.y - at.y}) < dot) {
            return over(faded(white, dot_opacity[i]), paint);
        }
    }
    return paint;
}

// --- The wordmark: a geometric, round-ended stroke font -----------------------------------------

// Glyph units: baseline at y = 0 with y growing upwards, x-height 10, capitals and ascenders
// 14, strokes 2 wide with round ends. A glyph's left edge is at x = 0.
constexpr double stroke_width = 2.0;
constexpr double letter_gap = 2.4;

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
std::vector<Arc> circle(Point centre, double radius) {
    return {{centre, radius, {1, 0}, {0, 1}},
            {centre, radius, {0, 1}, {-1, 0}},
            {centre, radius, {-1, 0}, {0, -1}},
            {centre, radius, {0, -1}, {1, 0}}};
}

std::vector<Glyph> make_glyphs() {
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
    glyphs.push_back({'o', 10, {}, circle(bowl, 4)});
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
    Glyph a{'a', 10, {{{9, 1}, {9, 9}}}, circle(bowl, 4)};
    glyphs.push_back(a);
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

Word lay_out(std::string_view text) {
    const std::vector<Glyph> glyphs = make_glyphs();
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
                pen += previous == 'r' ? letter_gap - 1.0 : letter_gap;
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

bool on_stroke(const Word& word, Point p) {
    constexpr double half = stroke_width / 2;
    for (const PlacedGlyph& g : word.glyphs) {
        // Strokes stay within the glyph's width (their round ends included).
        if (p.x < g.left || p.x > g.right) {
            continue;
        }
        for (const Segment& seg : g.segments) {
            if (distance_to_segment(p, seg.a, seg.b) <= half) {
                return true;
            }
        }
        for (const Arc& arc : g.arcs) {
            if (distance_to_arc(p, arc) <= half) {
                return true;
            }
        }
    }
    return false;
}

// --- Compositions -------------------------------------------------------------------------------

constexpr std::array<int32_t, 3> icon_sides{32, 24, 16};
constexpr int icon_samples = 16;
constexpr int logo_samples = 8;

// Logo layout in pixels at 100 %: the emblem at the left, the wordmark filling the rest.
constexpr Point logo_emblem_centre{32, 32};
constexpr double logo_emblem_radius = 26;
constexpr double wordmark_left = 70;
constexpr double wordmark_right = 242;
constexpr double cap_height_units = 14;
const Colour wordmark_ink = opaque(28, 86, 130);
// Scales the tool accepts; beyond them the picture would be absurdly large.
constexpr int32_t min_logo_percent = 1;
constexpr int32_t max_logo_percent = 1000;

} // namespace

Image DrawEmblem(int32_t side) {
    const double half = side / 2.0;
    // Half a pixel of margin, so the disc's edge is smooth on every side.
    return render(side, side, icon_samples, [half](Point p) {
        return emblem_at(p, {half, half}, half - 0.5);
    });
}

Image DrawLogo(int32_t percent) {
    if (percent < min_logo_percent || percent > max_logo_percent) {
        throw std::invalid_argument("logo scale out of range");
    }
    // Every length of the layout is multiplied by the scale and the scene is sampled at the
    // larger size, so edges stay as crisp as at 100 %. At 100 % the factor is exactly 1, and
    // the picture is the same, byte for byte, as the design-size logo has always been.
    const double k = percent / 100.0;
    const int32_t width = kLogoWidth * percent / 100;
    const int32_t height = kLogoHeight * percent / 100;
    const Point centre{logo_emblem_centre.x * k, logo_emblem_centre.y * k};
    const double radius = logo_emblem_radius * k;
    const double left = wordmark_left * k;
    const Word word = lay_out("Corvellan");
    const double scale = (wordmark_right * k - left) / word.width;
    const double baseline = height / 2.0 + cap_height_units * scale / 2;
    return render(width, height, logo_samples, [&](Point p) {
        Colour paint = emblem_at(p, centre, radius);
        if (paint.a == 0 && p.x >= left - scale * stroke_width) {
            const Point unit{(p.x - left) / scale, (baseline - p.y) / scale};
            if (on_stroke(word, unit)) {
                paint = wordmark_ink;
            }
        }
        return over(paint, white);
    });
}

std::vector<uint8_t> MakeIconFile() {
    std::vector<IconImage> images;
    for (const int depth : {32, 8}) {
        for (const int32_t side : icon_sides) {
            images.push_back({DrawEmblem(side), depth});
        }
    }
    return encode_ico(images);
}

std::vector<uint8_t> MakeLogoFile(int32_t percent) {
    return encode_bmp24(DrawLogo(percent));
}

} // namespace tamsrove::artgen
