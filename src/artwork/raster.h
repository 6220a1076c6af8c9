// The one anti-aliasing rasteriser for the program's pictures: the logo, the ring's frames and
// (in tools/artgen) the icon. A scene is a function from a point to a colour, and every pixel
// averages a grid of samples of it. Only +, -, *, / and sqrt are used, so a given build draws the
// same bytes every time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tamsrove::artwork {

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
    [[nodiscard]] const Rgba8& At(int32_t x, int32_t y) const;
};

/// One opaque colour, 8 bits per channel.
struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

/// A 24-bit picture laid out exactly like a top-down DIB: rows from the top, each pixel as the
/// bytes blue, green, red, each row padded with zero bytes to a multiple of four bytes.
struct PixelBuffer {
    int32_t width = 0;          ///< pixels per row
    int32_t height = 0;         ///< rows
    int32_t stride = 0;         ///< bytes per row, a multiple of four
    std::vector<uint8_t> bytes; ///< stride * height bytes

    /// The colour at (x, y) counted from the top-left corner; (x, y) must lie inside.
    [[nodiscard]] Rgb Pixel(int32_t x, int32_t y) const;
};

/// One 8-bit channel c of alpha a laid over white, rounded to the nearest value.
[[nodiscard]] uint8_t OverWhite(uint8_t c, uint8_t a);

/// The picture as a 24-bit buffer, every pixel laid over white by its alpha.
[[nodiscard]] PixelBuffer ToPixelBuffer(const Image& image);

/// Lowest and highest DPI the program's pictures are drawn at (50 % to 1000 % scaling).
inline constexpr int32_t kMinDrawableDpi = 48;
inline constexpr int32_t kMaxDrawableDpi = 960;

/// Throws std::invalid_argument with the message `what` for a DPI outside
/// kMinDrawableDpi..kMaxDrawableDpi.
void CheckDrawableDpi(int32_t dpi, const char* what);

/// A colour with premultiplied alpha. Alpha runs from 0 to 1; the colour channels from 0 to 1 or
/// from 0 to 255, as the scene's ChannelRange says.
struct Colour {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 0;
};

/// What full intensity of a scene's colour channels is.
enum class ChannelRange : uint8_t {
    Unit, ///< 1, as Opaque gives
    Byte, ///< 255: the 8-bit values themselves
};

/// A point or direction in drawing units.
struct Point {
    double x = 0;
    double y = 0;
};

/// The opaque colour with 8-bit channels r, g, b, in ChannelRange::Unit.
[[nodiscard]] Colour Opaque(uint8_t r, uint8_t g, uint8_t b);
/// The colour made partly transparent: alpha from 0 (invisible) to 1 (as it was).
[[nodiscard]] Colour Faded(Colour c, double alpha);
/// The straight interpolation from one colour to another, t from 0 to 1.
[[nodiscard]] Colour Mix(Colour from, Colour to, double t);
/// Paints top over bottom (Porter-Duff "over").
[[nodiscard]] Colour Over(Colour top, Colour bottom);

/// Length of a vector.
[[nodiscard]] double Length(Point v);
/// Distance from p to the segment from a to b.
[[nodiscard]] double DistanceToSegment(Point p, Point a, Point b);

/// Part of a circle, from direction `from` turning towards direction `to` the short way round
/// (less than half a turn; the directions need not be unit length).
struct Arc {
    Point centre;
    double radius = 0;
    Point from;
    Point to;
};
/// Distance from p to the arc (its ends count as points).
[[nodiscard]] double DistanceToArc(Point p, const Arc& arc);

/// How far a sample lies from its pixel's centre at most: half a pixel's diagonal, rounded up.
inline constexpr double kSampleReach = 0.71;

/// What a scene shows at a point of the picture, in pixel units from the top-left corner.
using Scene = std::function<Colour(Point)>;
/// True when every sample of the pixel whose top-left corner is (x, y) shows the same colour,
/// so that the one at its centre stands for all of them.
using FlatTest = std::function<bool(int32_t x, int32_t y)>;

/// How a scene is sampled.
struct Sampling {
    int samples_per_axis = 8;                ///< each pixel averages n x n samples spread evenly
    ChannelRange range = ChannelRange::Unit; ///< what the scene's colour channels run to
    FlatTest flat;                           ///< pixels that need one sample; empty: none
};

/// Renders a scene of width x height pixels. Throws std::invalid_argument for an empty picture or
/// no samples.
[[nodiscard]] Image Render(int32_t width, int32_t height, const Sampling& sampling,
                           const Scene& scene);

} // namespace tamsrove::artwork
