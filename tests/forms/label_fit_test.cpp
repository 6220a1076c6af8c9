#include "forms/label_fit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tamsrove::label_fit;
using tamsrove::layout::ControlId;
using tamsrove::layout::ControlPixels;

/// A room far larger than any label in these tables.
constexpr PixelRect kWideRoom{0, 0, 1000, 1000};

Label OneSize(PixelRect design, PixelSize text, PixelRect room = kWideRoom) {
    return {design, room, 0, {text}};
}

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const PixelRect& inner, const PixelRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(LabelFit, OneLabelAtOneSize) {
    struct Row {
        const char* what;
        Label label;
        std::vector<Obstacle> obstacles;
        PixelRect expected;
        bool fits;
    };
    const PixelRect d{100, 100, 200, 115}; // 100 x 15, centred on (150, 107.5)
    const std::vector<Row> rows = {
        {"text exactly as large keeps the rectangle", OneSize(d, {100, 15}), {}, d, true},
        {"smaller text keeps the rectangle", OneSize(d, {40, 8}), {}, d, true},
        {"empty text keeps the rectangle", OneSize(d, {0, 0}), {}, d, true},
        {"wider by 10 grows 5 on each side", OneSize(d, {110, 15}), {}, {95, 100, 205, 115}, true},
        {"wider by 7 grows 4 on each side to keep the centre",
         OneSize(d, {107, 15}),
         {},
         {96, 100, 204, 115},
         true},
        {"taller only grows in height only", OneSize(d, {90, 16}), {}, {100, 99, 200, 116}, true},
        {"wider and taller grows both ways", OneSize(d, {120, 19}), {}, {90, 98, 210, 117}, true},
        {"the room's left edge stops the width",
         OneSize(d, {120, 15}, {97, 0, 1000, 1000}),
         {},
         {97, 100, 203, 115},
         false},
        {"a room that ends at the design lets it grow nowhere",
         OneSize(d, {101, 16}, {0, 0, 200, 1000}),
         {},
         {100, 99, 200, 116},
         false},
        {"the room's bottom edge stops the height",
         OneSize(d, {100, 20}, {0, 0, 1000, 116}),
         {},
         {100, 99, 200, 116},
         false},
        {"a neighbour in the same rows stops the width",
         OneSize(d, {130, 15}),
         {{{206, 90, 250, 110}, 0}},
         {94, 100, 206, 115},
         false},
        {"a neighbour above does not stop the width",
         OneSize(d, {130, 15}),
         {{{0, 50, 1000, 100}, 0}},
         {85, 100, 215, 115},
         true},
        {"a neighbour above stops the height",
         OneSize(d, {100, 25}),
         {{{0, 50, 1000, 98}, 0}},
         {100, 98, 200, 117},
         false},
        {"the height is checked against the widened columns",
         OneSize(d, {140, 17}),
         {{{0, 90, 82, 100}, 0}},
         {80, 100, 220, 115},
         false},
        {"a control in another container is no neighbour",
         OneSize(d, {130, 15}),
         {{{206, 90, 250, 110}, 1}},
         {85, 100, 215, 115},
         true},
        {"an empty control blocks nothing",
         OneSize(d, {130, 15}),
         {{{206, 100, 206, 115}, 0}},
         {85, 100, 215, 115},
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::optional<Placement> placed = PlaceLabels({row.label}, row.obstacles);
        ASSERT_TRUE(placed.has_value());
        ASSERT_EQ(placed->rects.size(), 1U);
        EXPECT_EQ(placed->rects[0], row.expected);
        EXPECT_EQ(placed->all_fit, row.fits);
        EXPECT_EQ(placed->size_index, 0U);
    }
}

TEST(LabelFit, AllTextsStepDownTogetherWhenOneCannotFit) {
    // The first label's text fits only at the second size, in a room just 4 pixels wider than
    // its design; the second label's text fits its design at both sizes.
    const std::vector<Label> labels = {
        {{10, 10, 110, 25}, {8, 0, 112, 40}, 0, {{120, 16}, {104, 14}, {90, 12}}},
        {{10, 30, 110, 45}, {8, 0, 112, 60}, 0, {{100, 15}, {90, 13}, {80, 11}}},
    };
    const std::optional<Placement> placed = PlaceLabels(labels, {});
    ASSERT_TRUE(placed.has_value());
    EXPECT_EQ(placed->size_index, 1U);
    EXPECT_TRUE(placed->all_fit);
    EXPECT_EQ(placed->rects, (std::vector<PixelRect>{{8, 10, 112, 25}, {10, 30, 110, 45}}));
}

TEST(LabelFit, WhenNothingFitsTheSmallestSizeIsGrownAsFarAsItCan) {
    const std::vector<Label> labels = {
        {{10, 10, 110, 25}, {5, 5, 115, 30}, 0, {{300, 20}, {200, 18}}},
    };
    const std::optional<Placement> placed = PlaceLabels(labels, {});
    ASSERT_TRUE(placed.has_value());
    EXPECT_FALSE(placed->all_fit);
    EXPECT_EQ(placed->size_index, 1U);
    EXPECT_EQ(placed->rects, (std::vector<PixelRect>{{5, 8, 115, 27}}));
}

TEST(LabelFit, ALabelKeepsClearOfOneGrownBeforeIt) {
    // Two labels 3 rows apart whose texts need 2 more rows on each side: the first takes 2 of
    // the 3, so the second may take only 1 and stays cut rather than overlap the first.
    const std::vector<Label> labels = {
        {{0, 100, 100, 115}, kWideRoom, 0, {{100, 19}}},
        {{0, 118, 100, 133}, kWideRoom, 0, {{100, 19}}},
    };
    const std::optional<Placement> placed = PlaceLabels(labels, {});
    ASSERT_TRUE(placed.has_value());
    EXPECT_EQ(placed->rects[0], (PixelRect{0, 98, 100, 117}));
    EXPECT_EQ(placed->rects[1], (PixelRect{0, 117, 100, 134}));
    EXPECT_FALSE(Overlap(placed->rects[0], placed->rects[1]));
    EXPECT_FALSE(placed->all_fit);
}

TEST(LabelFit, MalformedInputHasNoPlacement) {
    const PixelRect d{0, 0, 10, 10};
    struct Row {
        const char* what;
        std::vector<Label> labels;
        std::vector<Obstacle> obstacles;
    };
    const std::vector<Row> rows = {
        {"no candidate size", {{d, kWideRoom, 0, {}}}, {}},
        {"unequal candidate counts",
         {{d, kWideRoom, 0, {{1, 1}}}, {d, kWideRoom, 1, {{1, 1}, {1, 1}}}},
         {}},
        {"negative text width", {{d, kWideRoom, 0, {{-1, 1}}}}, {}},
        {"negative text height", {{d, kWideRoom, 0, {{1, -1}}}}, {}},
        {"inverted design", {{{10, 0, 0, 10}, kWideRoom, 0, {{1, 1}}}}, {}},
        {"inverted room", {{d, {0, 10, 10, 0}, 0, {{1, 1}}}}, {}},
        {"inverted obstacle", {{d, kWideRoom, 0, {{1, 1}}}}, {{{5, 5, 4, 6}, 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(PlaceLabels(row.labels, row.obstacles).has_value());
    }
    EXPECT_EQ(PlaceLabels({}, {}), Placement{});
}

TEST(LabelFit, ExtremeCoordinatesNeitherOverflowNorLeaveTheRoom) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    const PixelRect room{kMin, kMin, kMax, kMax};
    const std::vector<Label> labels = {{{-5, -5, 5, 5}, room, 0, {{kMax, kMax}}}};
    const std::optional<Placement> placed = PlaceLabels(labels, {});
    ASSERT_TRUE(placed.has_value());
    EXPECT_TRUE(Inside(placed->rects[0], room));
    EXPECT_TRUE(placed->all_fit); // the text fits, in a rectangle wider than 2^31 - 1
    EXPECT_EQ(placed->rects[0].left + placed->rects[0].right, 0);
}

// The window's own labels with the texts as Wine's fallback message font (DejaVu Sans) draws
// them at 96 DPI: the in-progress message, 274 pixels wide, overflows its 243-pixel label.
TEST(LabelFit, TheWindowsLabelsAt96DpiWithAWideMessageFont) {
    const PixelRect frame = ControlPixels(ControlId::Frame, 96);
    const PixelRect room{2, 2, frame.width() - 2, frame.height() - 2}; // inside the etched edge
    const std::vector<Label> labels = {
        {ControlPixels(ControlId::LblInstallInProgress, 96), room, 0, {{274, 16}}},
        {ControlPixels(ControlId::Label1, 96), room, 0, {{270, 15}}},
        {ControlPixels(ControlId::L1, 96), room, 0, {{110, 15}}},
    };
    const PixelRect pic_c = ControlPixels(ControlId::PicC, 96);
    const std::optional<Placement> placed = PlaceLabels(labels, {{pic_c, 0}});
    ASSERT_TRUE(placed.has_value());
    EXPECT_TRUE(placed->all_fit);
    EXPECT_EQ(placed->size_index, 0U);
    const PixelRect& message = placed->rects[0];
    EXPECT_EQ(message.width(), 275); // 243 + 2 * 16
    EXPECT_EQ(message.left + message.right, labels[0].design.left + labels[0].design.right);
    EXPECT_EQ(placed->rects[1], labels[1].design);
    EXPECT_EQ(placed->rects[2], labels[2].design);
    for (const PixelRect& rect : placed->rects) {
        EXPECT_TRUE(Inside(rect, room));
        EXPECT_FALSE(Overlap(rect, pic_c));
    }
}

TEST(LabelFitCandidates, HeightsStepDownOnePixelToThreeQuartersOrSixPoints) {
    struct Row {
        int32_t lf_height;
        int32_t dpi;
        std::vector<int32_t> expected;
    };
    const std::vector<Row> rows = {
        {-11, 96, {-11, -10, -9}},             // Tahoma 8 pt: 3/4 is 8.25, so 9
        {-12, 96, {-12, -11, -10, -9}},        // Segoe UI 9 pt
        {-16, 144, {-16, -15, -14, -13, -12}}, // Segoe UI 8 pt at 150 %
        {-15, 96, {-15, -14, -13, -12}},       // 11 pt
        {13, 96, {13, 12, 11, 10}},            // a cell height keeps its sign
        {-9, 96, {-9, -8}},                    // 6 points at 96 DPI is 8 pixels
        {-8, 96, {-8}},                        // already at 6 points
        {-5, 96, {-5}},                        // smaller than 6 points: itself only
        {-1, 0, {-1}},                         // a missing DPI counts as 96
        {0, 96, {0}},                          // the default size: nothing to step
        {-24, 288, {-24}},                     // 6 points at 288 DPI is 24 pixels
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.lf_height) + " at " + std::to_string(row.dpi));
        EXPECT_EQ(CandidateFontHeights(row.lf_height, row.dpi), row.expected);
    }
}

TEST(LabelFitCandidates, HugeHeightsGiveABoundedLadder) {
    for (const int32_t h :
         {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(h);
        const std::vector<int32_t> heights = CandidateFontHeights(h, 96);
        ASSERT_EQ(heights.size(), 64U);
        EXPECT_EQ(heights.front(), h);
    }
}

} // namespace
