// The artwork generator's parts: the palette reduction for 8-bit icon images, and the BMP and
// icon encoders.
#include "encode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "byte_test_support.h"

namespace tamsrove::artgen {
namespace {

using test::U16;
using test::U32;

Image Solid(int32_t width, int32_t height, Rgba8 colour) {
    return {width, height, std::vector<Rgba8>(static_cast<size_t>(width) * height, colour)};
}

// --- Palette reduction ------------------------------------------------------------------------

TEST(ArtgenPalette, FewColoursKeepTheirExactValues) {
    const Image image{2, 2, {{10, 20, 30, 255}, {200, 100, 0, 255}, {10, 20, 30, 255}, {}}};
    const PaletteImage p = ToPaletteImage(image);
    ASSERT_EQ(p.palette.size(), 256U);
    EXPECT_EQ(p.palette[0], (Rgba8{0, 0, 0, 255}));
    const std::vector<bool> transparent{false, false, false, true};
    EXPECT_EQ(p.transparent, transparent);
    EXPECT_EQ(p.palette[p.indices[0]], (Rgba8{10, 20, 30, 255}));
    EXPECT_EQ(p.palette[p.indices[1]], (Rgba8{200, 100, 0, 255}));
    EXPECT_EQ(p.indices[0], p.indices[2]);
    EXPECT_NE(p.indices[0], 0);
    EXPECT_EQ(p.indices[3], 0); // transparent pixels use the black entry, as the mask needs
}

TEST(ArtgenPalette, OpacityThresholdAndWhiteBackground) {
    struct Row {
        Rgba8 in;
        bool transparent;
        Rgba8 shown;
    };
    const Row rows[] = {
        {{0, 0, 0, 128}, false, {127, 127, 127, 255}},
        {{0, 0, 0, 127}, true, {0, 0, 0, 255}},
        {{0, 0, 0, 255}, false, {0, 0, 0, 255}},
        {{40, 80, 120, 0}, true, {0, 0, 0, 255}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("alpha " + std::to_string(row.in.a));
        const PaletteImage p = ToPaletteImage(Solid(1, 1, row.in));
        EXPECT_EQ(p.transparent[0], row.transparent);
        EXPECT_EQ(p.palette[p.indices[0]], row.shown);
    }
}

TEST(ArtgenPalette, ManyColoursShareAtMost255EntriesAndStayClose) {
    Image image{64, 32, {}};
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            image.pixels.push_back({static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 8),
                                    static_cast<uint8_t>(255 - x * 2), 255});
        }
    }
    const PaletteImage p = ToPaletteImage(image);
    std::set<uint8_t> used(p.indices.begin(), p.indices.end());
    EXPECT_EQ(used.count(0), 0U); // entry 0 is kept for transparency
    EXPECT_GT(used.size(), 200U);
    int worst = 0;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const Rgba8 want = image.pixels[i];
        const Rgba8 got = p.palette[p.indices[i]];
        worst = std::max(
            {worst, std::abs(want.r - got.r), std::abs(want.g - got.g), std::abs(want.b - got.b)});
    }
    EXPECT_LE(worst, 16);
}

// --- Encoders ---------------------------------------------------------------------------------

TEST(ArtgenEncode, BmpRowsRunFromTheBottomInBlueGreenRedWithPadding) {
    // 2 x 2: top row red, blue; bottom row green, white. Rows are 6 bytes plus 2 of padding.
    const Image image{
        2, 2, {{255, 0, 0, 255}, {0, 0, 255, 255}, {0, 255, 0, 255}, {255, 255, 255, 255}}};
    const std::vector<uint8_t> bmp = EncodeBmp24(image);
    ASSERT_EQ(bmp.size(), 54U + 16U);
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(U32(bmp, 34), 16U); // image size
    const std::vector<uint8_t> pixels(bmp.begin() + 54, bmp.end());
    const std::vector<uint8_t> expected{0, 255, 0,   255, 255, 255, 0, 0, // bottom row first
                                        0, 0,   255, 255, 0,   0,   0, 0};
    EXPECT_EQ(pixels, expected);
}

TEST(ArtgenEncode, IconMaskMarksTransparentPixels) {
    // 3 x 1, 32 bits: the middle pixel is fully transparent.
    const Image image{3, 1, {{1, 2, 3, 255}, {0, 0, 0, 0}, {4, 5, 6, 40}}};
    const std::vector<uint8_t> ico = EncodeIco({{image, 32}});
    ASSERT_EQ(U16(ico, 4), 1U);
    const uint32_t offset = U32(ico, 18);
    ASSERT_EQ(U32(ico, 6 + 8), 40U + 12U + 4U); // header, one colour row, one mask row
    const std::vector<uint8_t> colours(ico.begin() + offset + 40, ico.begin() + offset + 52);
    const std::vector<uint8_t> expected{3, 2, 1, 255, 0, 0, 0, 0, 6, 5, 4, 40};
    EXPECT_EQ(colours, expected);
    EXPECT_EQ(ico.at(offset + 52), 0x40); // bit for x = 1, most significant bit first
}

TEST(ArtgenEncode, EightBitIconImageCarriesItsPalette) {
    const Image image = Solid(4, 4, {10, 20, 30, 255});
    const std::vector<uint8_t> ico = EncodeIco({{image, 8}});
    const uint32_t offset = U32(ico, 18);
    EXPECT_EQ(U16(ico, offset + 14), 8U);
    EXPECT_EQ(U32(ico, offset + 32), 256U); // colours used
    const uint32_t index = ico.at(offset + 40 + 1024);
    const size_t entry = offset + 40 + 4 * index;
    EXPECT_EQ(ico.at(entry), 30); // blue, green, red, reserved
    EXPECT_EQ(ico.at(entry + 1), 20);
    EXPECT_EQ(ico.at(entry + 2), 10);
    EXPECT_EQ(ico.at(entry + 3), 0);
}

TEST(ArtgenEncode, RejectsWhatNoIconOrBmpCanHold) {
    EXPECT_THROW((void)EncodeIco({}), std::invalid_argument);
    EXPECT_THROW((void)EncodeIco({{Solid(257, 4, {}), 32}}), std::invalid_argument);
    EXPECT_THROW((void)EncodeIco({{Solid(16, 16, {}), 24}}), std::invalid_argument);
    EXPECT_THROW((void)EncodeIco({{Image{}, 32}}), std::invalid_argument);
    EXPECT_THROW((void)EncodeBmp24(Image{}), std::invalid_argument);
    EXPECT_THROW((void)EncodeBmp24(Image{4, 4, {}}), std::invalid_argument); // no pixels
    EXPECT_THROW((void)ToPaletteImage(Image{2, 2, {{}}}), std::invalid_argument);
}

} // namespace
} // namespace tamsrove::artgen
