// A tiny anti-aliasing rasteriser for the program's artwork: a scene is a function from a point
// to a colour, and every pixel averages a grid of samples of it. Only +, -, *, / and sqrt are
// used, so a given build draws the same bytes every time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tamsrove::artgen {

/// An 8-bit colour with straight (not premultiplied) alpha.
struct Rgba8 {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;
    friend bool operator==(const Rgba8&, const Rgba8&) = default;
};

/// A picture with straight alpha, rows from the top.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Rgba8> pixels; ///< width * height, row by row from the top

    /// The pixel at (x, y) counted from the top-left corner; (x, y) must lie inside.
    [[nodiscard]] const Rgba8& at(int32_t x, int32_t y) const;
};

/// A colour with premultiplied alpha, every channel from 0 to 1.
struct Colour {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 0;
};

/// A point or direction in drawing units.
struct Point {
    double x = 0;
    double y = 0;
};

/// The opaque colour with 8-bit channels r, g, b.
[[nodiscard]] Colour opaque(uint8_t r, uint8_t g, uint8_t b);
/// The colour made partly transparent: alpha from 0 (invisible) to 1 (as it was).
[[nodiscard]] Colour faded(Colour c, double alpha);
/// The straight interpolation from one colour to another, t from 0 to 1.
[[nodiscard]] Colour mix(Colour from, Colour to, double t);
/// Paints top over bottom (Porter-Duff "over").
[[nodiscard]] Colour over(Colour top, Colour bottom);

/// Length of a vector.
[[nodiscard]] double length(Point v);
/// Distance from p to the segment from a to b.
[[nodiscard]] double distance_to_segment(Point p, Point a, Point b);

/// Part of a circle, from direction `from` turning towards direction `to` the short way round
/// (less than half a turn; the directions need not be unit length).
struct Arc {
    Point centre;
    double radius = 0;
    Point from;
    Point to;
};
/// Distance from p to the arc (its ends count as points).
[[nodiscard]] double distance_to_arc(Point p, const Arc& arc);

/// What a scene shows at a point of the picture, in pixel units from the top-left corner.
using Scene = std::function<Colour(Point)>;

/// Renders a scene: each pixel is the mean of samples_per_axis x samples_per_axis samples
/// spread evenly over it.
[[nodiscard]] Image render(int32_t width, int32_t height, int samples_per_axis, const Scene& scene);

} // namespace tamsrove::artgen
