#include "forms/logo_choice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "artwork/logo.h"
#include "forms/layout.h"

namespace {

using namespace tamsrove::logo_choice;
using tamsrove::PixelSize;
using tamsrove::layout::ControlId;
using tamsrove::layout::ControlPixels;

TEST(LogoChoice, TheLogoIsDrawnAtTheWindowsOwnDpi) {
    struct Row {
        int32_t dpi;
        int32_t logo_dpi;
    };
    const std::vector<Row> rows = {
        {std::numeric_limits<int32_t>::min(), 96},
        {0, 96}, // missing: as at 96 DPI
        {24, 48},
        {96, 96},
        {120, 120},
        {144, 144},
        {168, 168},
        {192, 192},
        {std::numeric_limits<int32_t>::max(), 960},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.dpi) + " DPI");
        EXPECT_EQ(LogoDpi(row.dpi), row.logo_dpi);
    }
    EXPECT_EQ(tamsrove::artwork::LogoSize(LogoDpi(120)), (PixelSize{310, 80}));
}

// Regression: between 144 and 192 DPI (and at 120) the window showed the logo of the step below,
// small in its box. Drawn at the window's DPI, it fills the same share of its box at every DPI,
// and still fits it unscaled.
TEST(LogoChoice, TheLogoFitsAndFillsItsBoxAtEveryDpiFrom96) {
    for (int32_t dpi = 96; dpi <= 480; ++dpi) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        const tamsrove::layout::PixelRect box = ControlPixels(ControlId::Picture1, dpi);
        const PixelSize logo = tamsrove::artwork::LogoSize(LogoDpi(dpi));
        EXPECT_LE(logo.width, box.Width());
        EXPECT_LE(logo.height, box.Height());
        // 248 of Picture1's 329 pixels, and 64 of its 73, at 96 DPI.
        EXPECT_GE(logo.width * 100, box.Width() * 74);
        EXPECT_GE(logo.height * 100, box.Height() * 85);
    }
}

} // namespace
