#include "forms/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace tamsrove::layout;
using tamsrove::kBaseDpi;
using tamsrove::PixelsToTwips;
using tamsrove::TwipsToPixels;
using tamsrove::UsableDpi;

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
/// DPIs a Windows display offers (100 % to 300 % scaling) and a low one.
constexpr std::array<int32_t, 8> kDpis = {72, 96, 120, 144, 168, 192, 240, 288};

std::string Name(const ControlEntry& entry) {
    return std::string(entry.name.begin(), entry.name.end()); // the names are ASCII
}

/// Size of a container's client area in twips; the window for no container.
TwipsRect ContainerTwips(const std::optional<ControlId>& container) {
    if (!container) {
        return {0, 0, kClientWidthTwips, kClientHeightTwips};
    }
    return Entry(*container).twips;
}

bool Overlap(const TwipsRect& a, const TwipsRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

// ---- The control table ------------------------------------------------------------------------

TEST(LayoutTable, RowsAreInControlIdOrderSoEntryFindsEachRow) {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        SCOPED_TRACE(Name(kControls.at(i)));
        EXPECT_EQ(static_cast<std::size_t>(kControls.at(i).id), i);
        EXPECT_EQ(&Entry(kControls.at(i).id), &kControls.at(i));
    }
}

TEST(LayoutTable, EveryContainerIsCreatedBeforeItsContents) {
    for (const ControlEntry& entry : kControls) {
        SCOPED_TRACE(Name(entry));
        if (entry.container) {
            EXPECT_LT(static_cast<int>(*entry.container), static_cast<int>(entry.id));
            const ControlKind kind = Entry(*entry.container).kind;
            EXPECT_TRUE(kind == ControlKind::Frame || kind == ControlKind::PictureBox);
        }
    }
}

TEST(LayoutTable, NamesAndTabIndicesAreUnique) {
    std::set<std::wstring_view> names;
    std::set<int32_t> tabs;
    for (const ControlEntry& entry : kControls) {
        names.insert(entry.name);
        tabs.insert(entry.tab_index);
    }
    EXPECT_EQ(names.size(), kControls.size());
    EXPECT_EQ(tabs.size(), kControls.size());
    EXPECT_EQ(*tabs.begin(), 0);
    EXPECT_EQ(*tabs.rbegin(), static_cast<int32_t>(kControls.size()) - 1);
}

TEST(LayoutTable, EveryControlLiesInsideItsContainer) {
    for (const ControlEntry& entry : kControls) {
        SCOPED_TRACE(Name(entry));
        const TwipsRect outer = ContainerTwips(entry.container);
        EXPECT_GE(entry.twips.left, 0);
        EXPECT_GE(entry.twips.top, 0);
        EXPECT_GT(entry.twips.width, 0);
        EXPECT_GT(entry.twips.height, 0);
        EXPECT_LE(entry.twips.left + entry.twips.width, outer.width);
        EXPECT_LE(entry.twips.top + entry.twips.height, outer.height);
    }
}

TEST(LayoutTable, ControlsThatShareAContainerDoNotOverlap) {
    for (const ControlEntry& a : kControls) {
        for (const ControlEntry& b : kControls) {
            if (a.id < b.id && a.container == b.container) {
                SCOPED_TRACE(Name(a) + " / " + Name(b));
                EXPECT_FALSE(Overlap(a.twips, b.twips));
            }
        }
    }
}

TEST(LayoutTable, TheButtonSitsAtTheBottomRightBelowTheFrame) {
    const ControlEntry& button = Entry(ControlId::CbStopAndQuit);
    const ControlEntry& frame = Entry(ControlId::Frame);
    EXPECT_FALSE(button.container.has_value());
    EXPECT_GE(button.twips.top, frame.twips.top + frame.twips.height);
    // Its right edge lines up with the frame's, the bottom-right corner of the window.
    EXPECT_EQ(button.twips.left + button.twips.width, frame.twips.left + frame.twips.width);
    EXPECT_GT(button.twips.left, kClientWidthTwips / 2);
}

// Regression: the quoted texts keep their odd edges, the caption's leading space and the
// question's closing single quotation mark, which look like typos but are what users see.
TEST(LayoutTexts, QuotedTextsKeepTheirLeadingSpaceAndClosingQuote) {
    EXPECT_EQ(kCaption.front(), L' ');
    EXPECT_EQ(kCaption.substr(1), L"Corvellan installation progress:");
    EXPECT_EQ(kQuestionText.back(), L'\'');
    EXPECT_NE(kQuestionText.find(L"'Ok'"), std::wstring_view::npos);
    EXPECT_EQ(kQuestionTitle, L"Information:");
}

// ---- Twips and pixels -------------------------------------------------------------------------

TEST(LayoutUnits, TwipsToPixelsRoundsHalfAwayFromZeroLikeMulDiv) {
    struct Row {
        int32_t twips, dpi, pixels;
    };
    const std::vector<Row> rows = {
        {7620, 96, 508},
        {3450, 96, 230},
        {7620, 144, 762},
        {3450, 144, 345},
        {15, 96, 1},
        {0, 96, 0},
        {7, 96, 0},
        {8, 96, 1},
        {5, 144, 1},
        {4, 144, 0},
        {-5, 144, -1},
        {-4, 144, 0},
        {-8, 96, -1},
        {7365, 144, 737},
        {1440, 1, 1},
        {720, 1, 1},
        {719, 1, 0},
        {kInt32Max, 96, 143165576},
        {kInt32Max, kInt32Max, kInt32Max},
        {kInt32Min, kInt32Max, kInt32Min},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.twips) + " twips at " + std::to_string(row.dpi));
        EXPECT_EQ(TwipsToPixels(row.twips, row.dpi), row.pixels);
    }
}

TEST(LayoutUnits, PixelsToTwipsIsTheInverseAtWholePixels) {
    for (const int32_t dpi : kDpis) {
        for (int32_t pixels = -50; pixels <= 800; ++pixels) {
            SCOPED_TRACE(std::to_string(pixels) + " px at " + std::to_string(dpi));
            EXPECT_EQ(TwipsToPixels(PixelsToTwips(pixels, dpi), dpi), pixels);
        }
    }
    EXPECT_EQ(PixelsToTwips(508, 96), 7620);
    EXPECT_EQ(PixelsToTwips(737, 144), 7370);
}

TEST(LayoutUnits, AMissingOrInvalidDpiMeansTheBaseDpi) {
    for (const int32_t dpi : {0, -1, -144, kInt32Min}) {
        SCOPED_TRACE(dpi);
        EXPECT_EQ(UsableDpi(dpi), kBaseDpi);
        EXPECT_EQ(TwipsToPixels(7620, dpi), 508);
        EXPECT_EQ(PixelsToTwips(508, dpi), 7620);
    }
    EXPECT_EQ(UsableDpi(144), 144);
}

TEST(LayoutUnits, ClientSizeAt96And144Dpi) {
    EXPECT_EQ(ClientPixels(96), (PixelSize{508, 230}));
    EXPECT_EQ(ClientPixels(144), (PixelSize{762, 345}));
}

TEST(LayoutUnits, RectanglesConvertEdgeByEdge) {
    // At 144 DPI the frame's width, 736.5 px, is not whole: the edges round on their own.
    EXPECT_EQ(ControlPixels(ControlId::Frame, 144), (PixelRect{12, 6, 749, 279}));
    EXPECT_EQ(ControlPixels(ControlId::Frame, 96), (PixelRect{8, 4, 499, 186}));
    EXPECT_EQ(ControlPixels(ControlId::CbStopAndQuit, 96), (PixelRect{330, 192, 499, 223}));
    EXPECT_EQ(ToPixels({kInt32Max, kInt32Max, kInt32Max, kInt32Max}, 1440),
              (PixelRect{kInt32Max, kInt32Max, kInt32Max, kInt32Max}));
}

TEST(LayoutUnits, NeighboursThatTouchInTwipsTouchInPixels) {
    for (const int32_t dpi : kDpis) {
        for (int32_t split = 1; split < 60; ++split) {
            SCOPED_TRACE(std::to_string(split) + " at " + std::to_string(dpi));
            const PixelRect left = ToPixels({0, 0, split, 10}, dpi);
            const PixelRect right = ToPixels({split, 0, 60 - split, 10}, dpi);
            EXPECT_EQ(left.right, right.left);
        }
    }
}

TEST(LayoutUnits, EveryControlStaysInsideItsContainerAtEveryDpi) {
    for (const int32_t dpi : kDpis) {
        const PixelSize client = ClientPixels(dpi);
        for (const ControlEntry& entry : kControls) {
            SCOPED_TRACE(Name(entry) + " at " + std::to_string(dpi));
            const PixelRect rect = ControlPixels(entry.id, dpi);
            const int32_t width =
                entry.container ? ControlPixels(*entry.container, dpi).Width() : client.width;
            const int32_t height =
                entry.container ? ControlPixels(*entry.container, dpi).Height() : client.height;
            EXPECT_GE(rect.left, 0);
            EXPECT_GE(rect.top, 0);
            EXPECT_LE(rect.right, width);
            EXPECT_LE(rect.bottom, height);
        }
    }
}

// ---- Centring ---------------------------------------------------------------------------------

TEST(LayoutCentring, CentredOriginOnWorkAreas) {
    struct Row {
        const char* what = "";
        PixelRect work;
        PixelSize window;
        PixelPoint origin;
    };
    const std::vector<Row> rows = {
        {"plain screen", {0, 0, 1024, 768}, {100, 50}, {462, 359}},
        {"odd difference rounds down", {0, 0, 1024, 768}, {101, 51}, {461, 358}},
        {"taskbar at the top", {0, 30, 1024, 768}, {100, 50}, {462, 374}},
        {"monitor left of the primary", {-1280, 0, 0, 1024}, {280, 24}, {-780, 500}},
        {"exactly the work area", {10, 20, 110, 70}, {100, 50}, {10, 20}},
        {"wider than the work area", {0, 0, 640, 480}, {800, 100}, {0, 190}},
        {"taller than the work area", {5, 40, 1029, 100}, {24, 200}, {505, 40}},
        {"empty work area", {0, 0, 0, 0}, {10, 10}, {0, 0}},
        {"extreme coordinates", {kInt32Min, kInt32Min, kInt32Max, kInt32Max}, {0, 0}, {-1, -1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(CentredOrigin(row.work, row.window), row.origin);
    }
}

} // namespace
