// Fitting the window's labels to their texts: given the design rectangles at the DPI in use and
// the measured sizes of each text at a few font sizes, decide where each label goes and which
// font size every text uses. Plain values only, so the decision is tested natively; the Win32
// side measures the texts (GetTextExtentPoint32W, GetTextMetricsW) and applies the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "forms/layout.h"

namespace tamsrove::label_fit {

using layout::PixelRect;
using layout::PixelSize;

/// One label: where the design puts it and how large its text is at each candidate size.
struct Label {
    /// The design rectangle, in its container's client coordinates, at the DPI in use.
    PixelRect design;
    /// The part of the container it may grow into, in the same coordinates (usually the
    /// container's client area less its painted edge). The label never grows past it.
    PixelRect room;
    /// Labels and obstacles with the same key share a container and so their coordinates.
    int container = 0;
    /// The text's width and height at each candidate font size, in the candidates' order
    /// (the font in use first, then smaller sizes of the same face).
    std::vector<PixelSize> text;
};

/// A control that is not a label; no label in the same container may grow onto it.
struct Obstacle {
    PixelRect rect;    ///< in its container's client coordinates
    int container = 0; ///< the key of that container
};

/// The result: one rectangle per label, in the input's order, and the size all texts use.
struct Placement {
    std::vector<PixelRect> rects;
    /// Index of the candidate font size every text uses.
    std::size_t size_index = 0;
    /// False when even the smallest candidate leaves some text cut; the rectangles are then
    /// those for the smallest size, grown as far as they can.
    bool all_fit = true;
    friend bool operator==(const Placement&, const Placement&) = default;
};

/// True when a text of that size shows whole in the rectangle.
[[nodiscard]] bool TextFits(PixelSize text, const PixelRect& rect) noexcept;

/// Where the labels go. A label whose text fits keeps its design rectangle exactly; one whose
/// text does not grows evenly about its centre, first in width and then in height, until the
/// text fits or its room, an obstacle or another label stops it. It never shrinks. Only when
/// some text cannot fit at a size do all texts step down to the next candidate together.
/// Labels are grown in the input's order, each keeping clear of the ones placed before it.
/// Nothing (std::nullopt) when the input is malformed: no candidate size, labels with unequal
/// candidate counts, or a negative width or height anywhere.
[[nodiscard]] std::optional<Placement> PlaceLabels(const std::vector<Label>& labels,
                                                   const std::vector<Obstacle>& obstacles);

/// The window's own fitting problem at a DPI, from the control table.
struct WindowProblem {
    /// Which control each label is: the table's labels, in table order.
    std::vector<layout::ControlId> label_ids;
    /// One label per id, `text` left empty for the caller to fill with the measured sizes.
    std::vector<Label> labels;
    /// Every control that is not a label.
    std::vector<Obstacle> obstacles;
};

/// Key of the window's own client area in a WindowProblem; containers are keyed by their
/// ControlId.
inline constexpr int kWindowContainer = -1;

/// The window's labels and other controls at a DPI, laid out as the table puts them. A
/// label's room is its container's client area less `edge` pixels on every side, where the
/// container paints its edge (the frame's etched edge is 2 pixels at every DPI).
[[nodiscard]] WindowProblem WindowLabels(int32_t dpi, int32_t edge);

/// The candidate font heights for a LOGFONT height: the height itself, then one pixel smaller
/// at a time down to three quarters of it, never below 6 points at the DPI. The sign is kept
/// (negative heights are character heights, positive ones cell heights); 0, the platform's
/// default size, has no known pixel size and so is the only candidate.
[[nodiscard]] std::vector<int32_t> CandidateFontHeights(int32_t lf_height, int32_t dpi);

} // namespace tamsrove::label_fit
