#include "forms/logo_choice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace tamsrove::logo_choice;
using tamsrove::layout::ControlId;
using tamsrove::layout::ControlPixels;

TEST(LogoChoice, TheLargestScaleNotAboveTheDpisIsPicked) {
    struct Row {
        int32_t dpi;
        int32_t percent;
    };
    const std::vector<Row> rows = {
        {std::numeric_limits<int32_t>::min(), 100},
        {0, 100}, // missing: as at 96 DPI
        {72, 100},
        {96, 100},
        {120, 100}, // 125 %: the 150 % logo would be taller than the box
        {143, 100},
        {144, 150},
        {168, 150},
        {191, 150},
        {192, 200},
        {288, 200},
        {std::numeric_limits<int32_t>::max(), 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.dpi) + " DPI");
        EXPECT_EQ(LogoForDpi(row.dpi).scale_percent, row.percent);
    }
}

TEST(LogoChoice, EachLogoIsItsScaleOfTheDesignSizeWithItsOwnResource) {
    for (const LogoBitmap& logo : kLogoBitmaps) {
        SCOPED_TRACE(logo.scale_percent);
        EXPECT_EQ(logo.size.width, 248 * logo.scale_percent / 100);
        EXPECT_EQ(logo.size.height, 64 * logo.scale_percent / 100);
    }
    EXPECT_NE(kLogoBitmaps[0].resource_id, kLogoBitmaps[1].resource_id);
    EXPECT_NE(kLogoBitmaps[1].resource_id, kLogoBitmaps[2].resource_id);
    EXPECT_NE(kLogoBitmaps[0].resource_id, kLogoBitmaps[2].resource_id);
}

TEST(LogoChoice, ThePickedLogoFitsItsBoxUnscaledAtEveryDpiFrom96) {
    for (int32_t dpi = 96; dpi <= 480; ++dpi) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        const tamsrove::layout::PixelRect box = ControlPixels(ControlId::Picture1, dpi);
        const LogoBitmap& logo = LogoForDpi(dpi);
        EXPECT_LE(logo.size.width, box.Width());
        EXPECT_LE(logo.size.height, box.Height());
    }
}

} // namespace
