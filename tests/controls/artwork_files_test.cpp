// The committed icon: exactly what the artwork generator draws, in the shape the program's
// resources require (six icon images). The logo's reference is checked in tests/artwork.
#include "artgen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "byte_test_support.h"

namespace tamsrove::artgen {
namespace {

using test::U16;
using test::U32;

std::vector<uint8_t> ReadResource(const char* name) {
    return test::ReadFileBytes(std::string(TAMSROVE_RESOURCE_DIR) + "/" + name);
}

// Where the two byte strings first differ, or -1 when they are equal.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

constexpr const char* kRegenerate =
    " differs from what tools/artgen draws; rebuild it with the native build's `artwork` target";

TEST(ArtworkFiles, CommittedIconIsWhatTheGeneratorDraws) {
    const std::vector<uint8_t> committed = ReadResource(kIconFileName);
    ASSERT_FALSE(committed.empty()) << kIconFileName << " is missing";
    EXPECT_EQ(FirstDifference(committed, MakeIconFile()), -1) << kIconFileName << kRegenerate;
}

TEST(ArtworkFiles, IconHoldsSixImagesAt32And8BitsEach) {
    const std::vector<uint8_t> ico = ReadResource(kIconFileName);
    ASSERT_GE(ico.size(), 6U);
    EXPECT_EQ(U16(ico, 0), 0U);
    EXPECT_EQ(U16(ico, 2), 1U); // an icon, not a cursor
    ASSERT_EQ(U16(ico, 4), 6U);
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
        EXPECT_EQ(U16(ico, entry + 6), rows[i].bits);
        const uint32_t size = U32(ico, entry + 8);
        const uint32_t offset = U32(ico, entry + 12);
        ASSERT_LE(uint64_t{offset} + size, ico.size());
        // The image's own header agrees: twice the height for the colour and mask halves.
        EXPECT_EQ(U32(ico, offset), 40U);
        EXPECT_EQ(U32(ico, offset + 4), rows[i].side);
        EXPECT_EQ(U32(ico, offset + 8), rows[i].side * 2);
        EXPECT_EQ(U16(ico, offset + 14), rows[i].bits);
        const uint32_t colour_row = (rows[i].side * rows[i].bits + 31) / 32 * 4;
        const uint32_t mask_row = (rows[i].side + 31) / 32 * 4;
        const uint32_t palette = rows[i].bits == 8 ? 256 * 4 : 0;
        EXPECT_EQ(size, 40 + palette + (colour_row + mask_row) * rows[i].side);
    }
}

} // namespace
} // namespace tamsrove::artgen
