// The logo as the program draws it at run time: byte for byte the committed logo.bmp at 96 DPI,
// the design's 248 x 64 scaled by dpi / 96 at every other DPI, drawn at that size.
#include "artwork/logo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "byte_test_support.h"

namespace tamsrove::artwork {
namespace {

using test::U32;

TEST(Logo, At96DpiItIsByteForByteTheCommittedLogo) {
    const std::vector<uint8_t> bmp = test::ReadFileBytes(TAMSROVE_LOGO_REFERENCE);
    ASSERT_GE(bmp.size(), 54U) << TAMSROVE_LOGO_REFERENCE << " is missing";
    const Image logo = DrawLogo(96);
    ASSERT_EQ(U32(bmp, 18), static_cast<uint32_t>(logo.width));
    ASSERT_EQ(U32(bmp, 22), static_cast<uint32_t>(logo.height));
    // A 24-bit BMP: rows from the bottom, blue, green, red, padded to four bytes.
    const std::size_t stride = (static_cast<std::size_t>(logo.width) * 3 + 3) / 4 * 4;
    ASSERT_EQ(bmp.size(), U32(bmp, 10) + stride * static_cast<std::size_t>(logo.height));
    int differing = 0;
    for (int32_t y = 0; y < logo.height; ++y) {
        const std::size_t row =
            U32(bmp, 10) + stride * static_cast<std::size_t>(logo.height - 1 - y);
        for (int32_t x = 0; x < logo.width; ++x) {
            const std::size_t at = row + static_cast<std::size_t>(x) * 3;
            const Rgba8 expected{bmp[at + 2], bmp[at + 1], bmp[at], 255};
            differing += logo.At(x, y) == expected ? 0 : 1;
        }
    }
    EXPECT_EQ(differing, 0) << "the logo differs from tests/artwork/logo.bmp; if the design "
                               "changed, rebuild it with the native build's `artwork` target";
}

TEST(Logo, ItIsTheDesignSizeScaledByTheDpi) {
    const std::pair<int32_t, PixelSize> rows[] = {
        {96, {248, 64}}, {120, {310, 80}}, {144, {372, 96}}, {192, {496, 128}}, {48, {124, 32}}};
    for (const auto& [dpi, size] : rows) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        EXPECT_EQ(LogoSize(dpi), size);
        const Image logo = DrawLogo(dpi);
        EXPECT_EQ(logo.width, size.width);
        EXPECT_EQ(logo.height, size.height);
    }
}

TEST(Logo, ItIsOpaqueOnWhiteWithTheEmblemAtTheLeft) {
    for (const int32_t dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        const Image logo = DrawLogo(dpi);
        // A point of the 96-DPI design, where it lands at this DPI.
        const auto at = [&](int32_t x, int32_t y) {
            return logo.At(x * dpi / 96, y * dpi / 96);
        };
        for (const auto& [x, y] : {std::pair{0, 0}, {247, 0}, {0, 63}, {247, 63}, {60, 32}}) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            EXPECT_EQ(at(x, y), (Rgba8{255, 255, 255, 255}));
        }
        for (const Rgba8& p : logo.pixels) {
            ASSERT_EQ(p.a, 255);
        }
        // The emblem's disc is blue: more blue than red.
        const Rgba8 disc = at(32, 50);
        EXPECT_GT(disc.b, disc.r + 60);
    }
}

// Regression: a larger logo is the artwork drawn at that size, not the 96-DPI picture blown up.
// Blown up 2 times, every 2 x 2 block would repeat one pixel; drawn at 192 DPI, the disc's edge
// and the wordmark's strokes are shaded at the finer pixels.
TEST(Logo, LargerLogosAreDrawnAtTheirSizeNotBlownUp) {
    const Image logo = DrawLogo(192);
    int blocks_with_detail = 0;
    for (int32_t y = 0; y + 1 < logo.height; y += 2) {
        for (int32_t x = 0; x + 1 < logo.width; x += 2) {
            const Rgba8 p = logo.At(x, y);
            if (!(logo.At(x + 1, y) == p && logo.At(x, y + 1) == p && logo.At(x + 1, y + 1) == p)) {
                ++blocks_with_detail;
            }
        }
    }
    EXPECT_GT(blocks_with_detail, 1000); // 2838 of the 15872 blocks as drawn now
}

TEST(Logo, DpisOutsideTheDrawableRangeAreRefused) {
    for (const int32_t dpi : {0, -96, kMinDrawableDpi - 1, kMaxDrawableDpi + 1}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        EXPECT_THROW(static_cast<void>(LogoSize(dpi)), std::invalid_argument);
        EXPECT_THROW(static_cast<void>(DrawLogo(dpi)), std::invalid_argument);
    }
}

} // namespace
} // namespace tamsrove::artwork
