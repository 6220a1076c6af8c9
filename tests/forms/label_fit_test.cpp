#include "forms/label_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
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
    constexpr int32_t most = std::numeric_limits<int32_t>::max();
    constexpr int32_t least = std::numeric_limits<int32_t>::min();
    const PixelRect room{least, least, most, most};
    const std::vector<Label> labels = {{{-5, -5, 5, 5}, room, 0, {{most, most}}}};
    const std::optional<Placement> placed = PlaceLabels(labels, {});
    ASSERT_TRUE(placed.has_value());
    EXPECT_TRUE(Inside(placed->rects[0], room));
    EXPECT_TRUE(placed->all_fit); // the text fits, in a rectangle wider than 2^31 - 1
    EXPECT_EQ(placed->rects[0].left + placed->rects[0].right, 0);
}

TEST(LabelFitWindow, TheTablesLabelsInTheFrameWithPicCAsTheirNeighbour) {
    const WindowProblem problem = WindowLabels(96, 2);
    EXPECT_EQ(problem.label_ids, (std::vector<ControlId>{ControlId::Label1, ControlId::L1,
                                                         ControlId::LblInstallInProgress}));
    ASSERT_EQ(problem.labels.size(), 3U);
    for (std::size_t i = 0; i < problem.labels.size(); ++i) {
        EXPECT_EQ(problem.labels[i].design, ControlPixels(problem.label_ids[i], 96));
        EXPECT_EQ(problem.labels[i].room, (PixelRect{2, 2, 489, 180})); // the frame is 491 x 182
        EXPECT_EQ(problem.labels[i].container, static_cast<int>(ControlId::Frame));
        EXPECT_TRUE(problem.labels[i].text.empty());
    }
    const Obstacle pic_c{ControlPixels(ControlId::PicC, 96), static_cast<int>(ControlId::Frame)};
    const Obstacle button{ControlPixels(ControlId::CbStopAndQuit, 96), kWindowContainer};
    EXPECT_EQ(problem.obstacles.size(), 5U);
    EXPECT_EQ(std::count_if(problem.obstacles.begin(), problem.obstacles.end(),
                            [&](const Obstacle& o) {
                                return (o.rect == pic_c.rect && o.container == pic_c.container) ||
                                       (o.rect == button.rect && o.container == button.container);
                            }),
              2);
}

// The window's labels with their texts as Wine draws them (GetTextExtentPoint32W and
// tmHeight): Tahoma 8 pt, Wine's message font, at 96 and 144 DPI; DejaVu Sans, its fallback
// without Wine's fonts; and Tahoma at 11 points, as a larger message font gives.
TEST(LabelFitWindow, TheWindowsTextsAsWineMeasuresThem) {
    struct Row {
        const char* what;
        int32_t dpi;
        std::vector<PixelSize> sizes; // Label1, l1, lbl_InstallInProgress
    };
    const std::vector<Row> rows = {
        {"Tahoma 8 pt at 96 DPI", 96, {{245, 13}, {95, 13}, {250, 13}}},
        {"Tahoma 8 pt at 144 DPI", 144, {{382, 21}, {145, 21}, {387, 21}}},
        {"DejaVu Sans 8 pt at 96 DPI", 96, {{270, 13}, {102, 13}, {274, 13}}},
        {"Tahoma 11 pt at 96 DPI", 96, {{327, 18}, {126, 18}, {332, 18}}},
        {"Tahoma 11 pt at 192 DPI", 192, {{619, 35}, {237, 35}, {631, 35}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WindowProblem problem = WindowLabels(row.dpi, 2);
        for (std::size_t i = 0; i < problem.labels.size(); ++i) {
            problem.labels[i].text = {row.sizes[i]};
        }
        const std::optional<Placement> placed = PlaceLabels(problem.labels, problem.obstacles);
        ASSERT_TRUE(placed.has_value());
        EXPECT_TRUE(placed->all_fit);
        for (std::size_t i = 0; i < problem.labels.size(); ++i) {
            const Label& label = problem.labels[i];
            const PixelRect& rect = placed->rects[i];
            EXPECT_TRUE(TextFits(row.sizes[i], rect));
            EXPECT_TRUE(Inside(rect, label.room));
            EXPECT_EQ(rect.left + rect.right, label.design.left + label.design.right);
            EXPECT_EQ(rect.top + rect.bottom, label.design.top + label.design.bottom);
            if (TextFits(row.sizes[i], label.design)) {
                EXPECT_EQ(rect, label.design);
            }
            EXPECT_FALSE(Overlap(rect, ControlPixels(ControlId::PicC, row.dpi)));
            for (std::size_t j = 0; j < i; ++j) {
                EXPECT_FALSE(Overlap(rect, placed->rects[j]));
            }
        }
    }
}

TEST(LabelFitWindow, TheMessageGrowsJustEnoughAt96Dpi) {
    // 250 pixels of Tahoma in a 243-pixel label: 4 pixels more on each side, centre kept.
    WindowProblem problem = WindowLabels(96, 2);
    problem.labels[0].text = {{245, 13}};
    problem.labels[1].text = {{95, 13}};
    problem.labels[2].text = {{250, 13}};
    const std::optional<Placement> placed = PlaceLabels(problem.labels, problem.obstacles);
    ASSERT_TRUE(placed.has_value());
    EXPECT_EQ(placed->rects[2], (PixelRect{126, 16, 377, 37}));
    EXPECT_EQ(placed->rects[0], problem.labels[0].design);
    EXPECT_EQ(placed->rects[1], problem.labels[1].design);
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
