// The committed icon and logos: exactly what the artwork generator draws, and in the shapes the
// program's resources require (six icon images; the logo at 248 x 64, 24 bits, and at 150 and
// 200 % of that).
#include "artgen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

namespace tamsrove::artgen {
namespace {

std::vector<uint8_t> read_resource(const char* name) {
    std::ifstream in(std::string(TAMSROVE_RESOURCE_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t u16(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    return u16(b, at) | (u16(b, at + 2) << 16);
}

// Where the two byte strings first differ, or -1 when they are equal.
long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

constexpr const char* regenerate =
    " differs from what tools/artgen draws; rebuild it with the native build's `artwork` target";

TEST(ArtworkFiles, CommittedIconIsWhatTheGeneratorDraws) {
    const std::vector<uint8_t> committed = read_resource(kIconFileName);
    ASSERT_FALSE(committed.empty()) << kIconFileName << " is missing";
    EXPECT_EQ(first_difference(committed, MakeIconFile()), -1) << kIconFileName << regenerate;
}

TEST(ArtworkFiles, CommittedLogosAreWhatTheGeneratorDraws) {
    for (const LogoScale& logo : kLogoScales) {
        SCOPED_TRACE(logo.file_name);
        const std::vector<uint8_t> committed = read_resource(logo.file_name);
        ASSERT_FALSE(committed.empty()) << logo.file_name << " is missing";
        EXPECT_EQ(first_difference(committed, MakeLogoFile(logo.percent)), -1)
            << logo.file_name << regenerate;
    }
}

TEST(ArtworkFiles, IconHoldsSixImagesAt32And8BitsEach) {
    const std::vector<uint8_t> ico = read_resource(kIconFileName);
    ASSERT_GE(ico.size(), 6U);
    EXPECT_EQ(u16(ico, 0), 0U);
    EXPECT_EQ(u16(ico, 2), 1U); // an icon, not a cursor
    ASSERT_EQ(u16(ico, 4), 6U);
    struct Row {
        uint32_t side;
        uint32_t bits;
    };
    const Row rows[] = {{32, 32}, {24, 32}, {16, 32}, {32, 8}, {24, 8}, {16, 8}};
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const size_t entry = 6 + 16 * i;
        EXPECT_EQ(ico.at(entry), rows[i].side);
        EXPECT_EQ(ico.at(entry + 1), rows[i].side);
        EXPECT_EQ(u16(ico, entry + 6), rows[i].bits);
        const uint32_t size = u32(ico, entry + 8);
        const uint32_t offset = u32(ico, entry + 12);
        ASSERT_LE(uint64_t{offset} + size, ico.size());
        // The image's own header agrees: twice the height for the colour and mask halves.
        EXPECT_EQ(u32(ico, offset), 40U);
        EXPECT_EQ(u32(ico, offset + 4), rows[i].side);
        EXPECT_EQ(u32(ico, offset + 8), rows[i].side * 2);
        EXPECT_EQ(u16(ico, offset + 14), rows[i].bits);
        const uint32_t colour_row = (rows[i].side * rows[i].bits + 31) / 32 * 4;
        const uint32_t mask_row = (rows[i].side + 31) / 32 * 4;
        const uint32_t palette = rows[i].bits == 8 ? 256 * 4 : 0;
        EXPECT_EQ(size, 40 + palette + (colour_row + mask_row) * rows[i].side);
    }
}

TEST(ArtworkFiles, LogosAre24BitBitmapsOfTheirScalesSize) {
    struct Row {
        const char* file_name;
        uint32_t width;
        uint32_t height;
    };
    // The 100 % logo is the design's 248 x 64; the others are 1.5 and 2 times as large.
    const Row rows[] = {
        {"logo.bmp", 248, 64}, {"logo_150.bmp", 372, 96}, {"logo_200.bmp", 496, 128}};
    ASSERT_EQ(std::size(rows), kLogoScales.size());
    for (size_t i = 0; i < kLogoScales.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.file_name);
        EXPECT_STREQ(kLogoScales[i].file_name, row.file_name);
        const std::vector<uint8_t> bmp = read_resource(row.file_name);
        ASSERT_GE(bmp.size(), 54U);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(u32(bmp, 2), bmp.size());
        EXPECT_EQ(u32(bmp, 10), 54U);
        EXPECT_EQ(u32(bmp, 18), row.width);
        EXPECT_EQ(u32(bmp, 22), row.height);
        EXPECT_EQ(u16(bmp, 28), 24U);
        EXPECT_EQ(u32(bmp, 30), 0U); // uncompressed
        EXPECT_EQ(bmp.size(), 54U + (row.width * 3 + 3) / 4 * 4 * row.height);
    }
}

TEST(ArtworkFiles, LogoIsOnWhiteWithTheEmblemAtTheLeft) {
    for (const LogoScale& scale : kLogoScales) {
        SCOPED_TRACE(scale.file_name);
        const Image logo = DrawLogo(scale.percent);
        const auto at = [&](int x, int y) {
            return logo.at(x * scale.percent / 100, y * scale.percent / 100);
        };
        ASSERT_EQ(logo.width, kLogoWidth * scale.percent / 100);
        ASSERT_EQ(logo.height, kLogoHeight * scale.percent / 100);
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

// Regression: a larger logo is the artwork drawn at that size, not the 100 % bitmap blown up.
// Blown up 2 times, every 2 x 2 block would repeat one pixel; drawn at 200 %, the disc's edge
// and the wordmark's strokes are shaded at the finer pixels.
TEST(ArtworkFiles, LargerLogosAreDrawnAtTheirSizeNotBlownUp) {
    const Image logo = DrawLogo(200);
    int blocks_with_detail = 0;
    for (int32_t y = 0; y + 1 < logo.height; y += 2) {
        for (int32_t x = 0; x + 1 < logo.width; x += 2) {
            const Rgba8 p = logo.at(x, y);
            if (!(logo.at(x + 1, y) == p && logo.at(x, y + 1) == p && logo.at(x + 1, y + 1) == p)) {
                ++blocks_with_detail;
            }
        }
    }
    EXPECT_GT(blocks_with_detail, 1000); // 2838 of the 15872 blocks as drawn now
}

TEST(ArtworkFiles, LogoScalesOutsideTheToolsRangeAreRefused) {
    EXPECT_THROW(static_cast<void>(DrawLogo(0)), std::invalid_argument);
    EXPECT_THROW(static_cast<void>(DrawLogo(-100)), std::invalid_argument);
    EXPECT_THROW(static_cast<void>(DrawLogo(1001)), std::invalid_argument);
}

} // namespace
} // namespace tamsrove::artgen
