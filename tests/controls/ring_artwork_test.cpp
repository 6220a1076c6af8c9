// The ring's frame pictures: sizes, buffer layout, the colour of every dot in every frame, the
// grey outlines and the circle, at 96 DPI and scaled.
#include "controls/ring_artwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tamsrove {
namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kLit{110, 207, 241};
constexpr Rgb kPaler{161, 224, 246};
constexpr Rgb kPalest{229, 247, 253};
constexpr Rgb kGrey{192, 192, 192};

struct Point {
    int32_t x;
    int32_t y;
};

// Dot centres of the 96-DPI design, positions 0..7 clockwise from the top.
constexpr std::array<Point, 8> kDesignDots{
    {{25, 7}, {37, 12}, {42, 24}, {37, 36}, {25, 41}, {13, 36}, {8, 24}, {13, 12}}};
constexpr Point kDesignCentre{25, 24};

std::string Describe(Rgb c) {
    return "RGB(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) +
           ")";
}

// Where a design pixel's centre lands at another DPI: the picture scales about its centre.
Point Scaled(Point design, int32_t dpi, PixelSize size) {
    const double s = double(dpi) / 96.0;
    const auto at = [s](int32_t p, int32_t design_centre_px, int32_t extent) {
        return static_cast<int32_t>(
            std::floor(extent / 2.0 + (p + 0.5 - (design_centre_px + 0.5)) * s));
    };
    return {at(design.x, kDesignCentre.x, size.width), at(design.y, kDesignCentre.y, size.height)};
}

Rgb ExpectedDot(int32_t frame, int32_t position) {
    const int32_t behind = (frame - position + 8) % 8;
    switch (behind) {
    case 0:
        return kLit;
    case 1:
        return kPaler;
    case 2:
        return kPalest;
    default:
        return kWhite;
    }
}

TEST(RingArtwork, FrameSizeScalesWithDpi) {
    struct Row {
        int32_t dpi;
        PixelSize size;
    };
    const Row rows[] = {
        {96, {51, 49}}, {120, {63, 61}}, {144, {77, 73}}, {192, {103, 99}}, {48, {25, 25}}};
    for (const Row& row : rows) {
        SCOPED_TRACE("dpi " + std::to_string(row.dpi));
        EXPECT_EQ(RingFrameSize(row.dpi), row.size);
        const PixelBuffer frame = DrawRingFrame(0, row.dpi);
        EXPECT_EQ(frame.width, row.size.width);
        EXPECT_EQ(frame.height, row.size.height);
    }
}

TEST(RingArtwork, BufferIsTopDownDibLayout) {
    for (const int32_t dpi : {96, 144, 120}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        const PixelBuffer frame = DrawRingFrame(3, dpi);
        EXPECT_EQ(frame.stride % 4, 0);
        EXPECT_GE(frame.stride, frame.width * 3);
        EXPECT_LT(frame.stride, frame.width * 3 + 4);
        ASSERT_EQ(frame.bytes.size(), static_cast<size_t>(frame.stride) * frame.height);
        for (int32_t y = 0; y < frame.height; ++y) {
            for (int32_t pad = frame.width * 3; pad < frame.stride; ++pad) {
                EXPECT_EQ(frame.bytes[static_cast<size_t>(y) * frame.stride + pad], 0);
            }
        }
        // Blue, green, red byte order, first row at the top: the top edge is the circle.
        const Rgb top = frame.Pixel(frame.width / 2, 0);
        EXPECT_EQ(frame.bytes[static_cast<size_t>(frame.width / 2) * 3], top.b);
        EXPECT_EQ(frame.bytes[static_cast<size_t>(frame.width / 2) * 3 + 2], top.r);
    }
}

// Every frame's dots at 96 DPI (at their design pixels) and at 144 DPI (scaled).
TEST(RingArtwork, EveryDotCentreOfEveryFrameHasItsExactColour) {
    for (const int32_t dpi : {96, 144}) {
        for (int32_t frame = 0; frame < 8; ++frame) {
            const PixelBuffer picture = DrawRingFrame(frame, dpi);
            for (int32_t position = 0; position < 8; ++position) {
                SCOPED_TRACE("dpi " + std::to_string(dpi) + " frame " + std::to_string(frame) +
                             " dot " + std::to_string(position));
                const Point design = kDesignDots[static_cast<size_t>(position)];
                const Point c = dpi == 96 ? design : Scaled(design, dpi, RingFrameSize(dpi));
                EXPECT_EQ(Describe(picture.Pixel(c.x, c.y)),
                          Describe(ExpectedDot(frame, position)));
            }
        }
    }
}

TEST(RingArtwork, DotCentresStayExactAcrossScalings) {
    for (int32_t dpi = 72; dpi <= 288; dpi += 12) {
        const PixelSize size = RingFrameSize(dpi);
        const PixelBuffer picture = DrawRingFrame(5, dpi);
        for (int32_t position = 0; position < 8; ++position) {
            SCOPED_TRACE("dpi " + std::to_string(dpi) + " dot " + std::to_string(position));
            const Point c = Scaled(kDesignDots[static_cast<size_t>(position)], dpi, size);
            EXPECT_EQ(Describe(picture.Pixel(c.x, c.y)), Describe(ExpectedDot(5, position)));
        }
    }
}

TEST(RingArtwork, DotsHaveGreyOutlinesScaledToWholePixels) {
    // Per DPI: how far out from a dot's centre the fill reaches, then the outline's pixels; the
    // next pixel out is the background. At 96 DPI a dot is 7 pixels across with 1 of outline.
    struct Row {
        int32_t dpi;
        int32_t fill_reach;
        int32_t outline_to;
    };
    const Row rows[] = {{96, 2, 3}, {144, 3, 5}, {192, 5, 7}};
    for (const Row& row : rows) {
        const PixelSize size = RingFrameSize(row.dpi);
        const PixelBuffer picture = DrawRingFrame(2, row.dpi);
        for (int32_t position = 0; position < 8; ++position) {
            const Point c = Scaled(kDesignDots[static_cast<size_t>(position)], row.dpi, size);
            const Rgb fill = ExpectedDot(2, position);
            for (const Point dir : {Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) {
                SCOPED_TRACE("dpi " + std::to_string(row.dpi) + " dot " + std::to_string(position) +
                             " direction " + std::to_string(dir.x) + "," + std::to_string(dir.y));
                const auto at = [&](int32_t step) {
                    return Describe(picture.Pixel(c.x + dir.x * step, c.y + dir.y * step));
                };
                EXPECT_EQ(at(row.fill_reach), Describe(fill));
                for (int32_t step = row.fill_reach + 1; step <= row.outline_to; ++step) {
                    EXPECT_EQ(at(step), Describe(kGrey)) << "step " << step;
                }
                EXPECT_EQ(at(row.outline_to + 1), Describe(kWhite));
            }
        }
    }
}

TEST(RingArtwork, CircleTouchesAllFourEdgesInBlue) {
    for (const int32_t dpi : {96, 144}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        const PixelBuffer picture = DrawRingFrame(1, dpi);
        const Point centre = Scaled(kDesignCentre, dpi, RingFrameSize(dpi));
        EXPECT_EQ(Describe(picture.Pixel(0, centre.y)), Describe(kLit));
        EXPECT_EQ(Describe(picture.Pixel(picture.width - 1, centre.y)), Describe(kLit));
        EXPECT_EQ(Describe(picture.Pixel(centre.x, 0)), Describe(kLit));
        EXPECT_EQ(Describe(picture.Pixel(centre.x, picture.height - 1)), Describe(kLit));
    }
}

TEST(RingArtwork, CircleIsAboutTwoPixelsWideAndShadesIntoWhite) {
    const PixelBuffer picture = DrawRingFrame(0, 96);
    // Along the middle row: two full blue pixels, then lighter ones, then the white inside.
    EXPECT_EQ(picture.Pixel(0, 24), kLit);
    EXPECT_EQ(picture.Pixel(1, 24), kLit);
    const Rgb fade = picture.Pixel(2, 24);
    EXPECT_GT(fade.r, kLit.r);
    EXPECT_LT(fade.r, kWhite.r);
    EXPECT_EQ(picture.Pixel(4, 24), kWhite);
    // On the diagonal the outer edge is anti-aliased: some pixel lies strictly between.
    int between = 0;
    for (int32_t i = 0; i < 12; ++i) {
        const Rgb c = picture.Pixel(i, i);
        between += (c != kWhite && c != kLit) ? 1 : 0;
    }
    EXPECT_GE(between, 2);
}

TEST(RingArtwork, CornersAndCentreAreWhite) {
    for (const int32_t dpi : {96, 144}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        const PixelBuffer picture = DrawRingFrame(4, dpi);
        const int32_t right = picture.width - 1;
        const int32_t bottom = picture.height - 1;
        EXPECT_EQ(picture.Pixel(0, 0), kWhite);
        EXPECT_EQ(picture.Pixel(right, 0), kWhite);
        EXPECT_EQ(picture.Pixel(0, bottom), kWhite);
        EXPECT_EQ(picture.Pixel(right, bottom), kWhite);
        const Point centre = Scaled(kDesignCentre, dpi, RingFrameSize(dpi));
        EXPECT_EQ(picture.Pixel(centre.x, centre.y), kWhite);
    }
}

TEST(RingArtwork, FramesDifferOnlyInsideTheDots) {
    const PixelBuffer first = DrawRingFrame(0, 96);
    for (int32_t frame = 1; frame < 8; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        const PixelBuffer other = DrawRingFrame(frame, 96);
        int differing = 0;
        for (int32_t y = 0; y < first.height; ++y) {
            for (int32_t x = 0; x < first.width; ++x) {
                if (first.Pixel(x, y) == other.Pixel(x, y)) {
                    continue;
                }
                ++differing;
                bool in_a_dot = false;
                for (const Point c : kDesignDots) {
                    in_a_dot = in_a_dot || (std::abs(x - c.x) <= 2 && std::abs(y - c.y) <= 2);
                }
                EXPECT_TRUE(in_a_dot) << "pixel " << x << "," << y;
            }
        }
        EXPECT_GT(differing, 0);
    }
}

TEST(RingArtwork, RejectsFramesOutsideZeroToSevenAndDpisOutsideTheDrawableRange) {
    for (const int32_t k : {-1, 8, 100, INT32_MIN}) {
        SCOPED_TRACE("frame " + std::to_string(k));
        EXPECT_THROW((void)DrawRingFrame(k, 96), std::invalid_argument);
    }
    for (const int32_t dpi : {0, -96, 47, 961, INT32_MAX}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        EXPECT_THROW((void)RingFrameSize(dpi), std::invalid_argument);
        EXPECT_THROW((void)DrawRingFrame(0, dpi), std::invalid_argument);
    }
}

TEST(RingArtwork, NextFrameRunsZeroToSevenThenWraps) {
    const int32_t expected[] = {1, 2, 3, 4, 5, 6, 7, 0};
    for (int32_t k = 0; k < 8; ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        EXPECT_EQ(NextRingFrame(k), expected[k]);
    }
}

} // namespace
} // namespace tamsrove
