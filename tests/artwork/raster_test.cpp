// The shared rasteriser: its geometry, how a pixel averages its samples, and the two shortcuts the
// ring and the logo rely on to draw exactly and fast.
#include "artwork/raster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace tamsrove::artwork {
namespace {

TEST(Raster, DistanceToQuarterArc) {
    const Arc arc{{0, 0}, 10, {1, 0}, {0, 1}}; // from +x turning to +y
    struct Row {
        Point p;
        double expected;
        const char* what;
    };
    const Row rows[] = {
        {{10, 0}, 0, "start"},
        {{0, 10}, 0, "end"},
        {{7, 7}, 10 - std::sqrt(98.0), "inside the circle, within the angle"},
        {{0, 0}, 10, "centre"},
        {{20, 20}, std::sqrt(800.0) - 10, "outside"},
        {{-10, 0}, std::sqrt(200.0), "beyond the end: nearest is the end point (0, 10)"},
        {{10, -3}, 3, "beyond the start: nearest is the start point"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_NEAR(DistanceToArc(row.p, arc), row.expected, 1e-9);
    }
}

TEST(Raster, PixelsAverageTheirSamples) {
    // The left half of each pixel is opaque red: half coverage, the colour kept exact.
    const Image image = Render(3, 2, {4, ChannelRange::Unit, {}}, [](Point p) {
        return p.x - std::floor(p.x) < 0.5 ? Opaque(200, 0, 0) : Colour{};
    });
    for (const Rgba8& px : image.pixels) {
        EXPECT_EQ(px, (Rgba8{200, 0, 0, 128}));
    }
}

// The ring works in 8-bit values: a pixel half white (255) and half grey (192) averages exactly
// 223.5 and rounds up to 224, which the same mean in 0..1 units can miss by a rounding error.
TEST(Raster, ByteRangeAveragesTheEightBitValuesExactly) {
    const Image image = Render(1, 1, {8, ChannelRange::Byte, {}}, [](Point p) {
        return p.x < 0.5 ? Colour{255, 255, 255, 1} : Colour{192, 192, 192, 1};
    });
    EXPECT_EQ(image.At(0, 0), (Rgba8{224, 224, 224, 255}));
}

TEST(Raster, AFlatPixelTakesTheColourAtItsCentre) {
    // Only pixel (1, 0) is flat: it shows its centre's colour, its neighbours their mean.
    const Image image = Render(3, 1,
                               {4, ChannelRange::Byte,
                                [](int32_t x, int32_t) {
                                    return x == 1;
                                }},
                               [](Point p) {
                                   const double v = p.x < 1.5 ? 100.0 : 200.0;
                                   return Colour{v, v, v, 1};
                               });
    EXPECT_EQ(image.At(0, 0).r, 100);
    EXPECT_EQ(image.At(1, 0).r, 200); // the centre, (1.5, 0.5), lies in the right half
    EXPECT_EQ(image.At(2, 0).r, 200);
}

TEST(Raster, RejectsEmptyPictures) {
    const Scene scene = [](Point) {
        return Colour{};
    };
    EXPECT_THROW((void)Render(0, 5, {4, ChannelRange::Unit, {}}, scene), std::invalid_argument);
    EXPECT_THROW((void)Render(5, -1, {4, ChannelRange::Unit, {}}, scene), std::invalid_argument);
    EXPECT_THROW((void)Render(5, 5, {0, ChannelRange::Unit, {}}, scene), std::invalid_argument);
}

TEST(Raster, PixelBufferLaysThePictureOverWhite) {
    Image image{2, 1, {{10, 20, 30, 255}, {0, 0, 0, 0}}};
    const PixelBuffer buffer = ToPixelBuffer(image);
    EXPECT_EQ(buffer.stride, 8);
    EXPECT_EQ(buffer.Pixel(0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(buffer.Pixel(1, 0), (Rgb{255, 255, 255}));
}

} // namespace
} // namespace tamsrove::artwork
