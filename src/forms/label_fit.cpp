#include "forms/label_fit.h"

#include <algorithm>
#include <cstdlib>

namespace tamsrove::label_fit {

namespace {

/// At most this many candidate sizes: a step-down ladder longer than that is never needed.
constexpr std::size_t kMaxCandidates = 64;
/// Smallest candidate size in points, whatever the message font: smaller text is unreadable.
constexpr int64_t kMinPoints = 6;
/// Points in one inch.
constexpr int64_t kPointsPerInch = 72;

bool IsWellFormed(const PixelRect& r) noexcept {
    return r.right >= r.left && r.bottom >= r.top;
}

bool IsEmpty(const PixelRect& r) noexcept {
    return r.right <= r.left || r.bottom <= r.top;
}

/// True when the two spans [a0, a1) and [b0, b1) share at least one pixel.
bool SpansMeet(int32_t a0, int32_t a1, int32_t b0, int32_t b1) noexcept {
    return a0 < b1 && b0 < a1;
}

/// A span of pixels [low, high) along one axis.
struct Span {
    int32_t low;
    int32_t high;
};

/// How many pixels a span may grow on each side before it leaves the room or runs into one of
/// the blocking spans; 0 when it already reaches past the room or overlaps a blocker.
int64_t EvenSlack(Span span, Span room, const std::vector<Span>& blockers) noexcept {
    int64_t slack = std::min(static_cast<int64_t>(span.low) - room.low,
                             static_cast<int64_t>(room.high) - span.high);
    for (const Span& b : blockers) {
        if (b.high <= span.low) {
            slack = std::min(slack, static_cast<int64_t>(span.low) - b.high);
        } else if (b.low >= span.high) {
            slack = std::min(slack, static_cast<int64_t>(b.low) - span.high);
        } else {
            slack = 0; // already overlapping: it may not grow towards it at all
        }
    }
    return std::max<int64_t>(slack, 0);
}

/// Grows [low, high) by the same amount on both sides until it is at least `needed` long or
/// the slack runs out. Growing by whole pixels on each side keeps the centre exactly.
Span GrowEvenly(Span span, int32_t needed, int64_t slack) noexcept {
    const int64_t missing = static_cast<int64_t>(needed) - span.high + span.low;
    if (missing <= 0) {
        return span;
    }
    const int64_t grow = std::min((missing + 1) / 2, slack);
    return {static_cast<int32_t>(span.low - grow), static_cast<int32_t>(span.high + grow)};
}

/// The blockers' column spans among those that share rows with the rectangle.
std::vector<Span> ColumnsInRows(const PixelRect& rect, const std::vector<PixelRect>& blockers) {
    std::vector<Span> spans;
    for (const PixelRect& b : blockers) {
        if (SpansMeet(b.top, b.bottom, rect.top, rect.bottom)) {
            spans.push_back({b.left, b.right});
        }
    }
    return spans;
}

/// The blockers' row spans among those that share columns with the rectangle.
std::vector<Span> RowsInColumns(const PixelRect& rect, const std::vector<PixelRect>& blockers) {
    std::vector<Span> spans;
    for (const PixelRect& b : blockers) {
        if (SpansMeet(b.left, b.right, rect.left, rect.right)) {
            spans.push_back({b.top, b.bottom});
        }
    }
    return spans;
}

/// The design rectangle grown, first in width and then in height, towards the text's size.
PixelRect Grow(const Label& label, PixelSize text, const std::vector<PixelRect>& blockers) {
    PixelRect r = label.design;
    const int64_t side_slack = EvenSlack({r.left, r.right}, {label.room.left, label.room.right},
                                         ColumnsInRows(r, blockers));
    const Span columns = GrowEvenly({r.left, r.right}, text.width, side_slack);
    r.left = columns.low;
    r.right = columns.high;
    const int64_t end_slack = EvenSlack({r.top, r.bottom}, {label.room.top, label.room.bottom},
                                        RowsInColumns(r, blockers));
    const Span rows = GrowEvenly({r.top, r.bottom}, text.height, end_slack);
    r.top = rows.low;
    r.bottom = rows.high;
    return r;
}

/// What label `i` must keep clear of: the obstacles and the other labels (as placed so far)
/// in its container. Empty rectangles block nothing.
std::vector<PixelRect> BlockersOf(std::size_t i, const std::vector<Label>& labels,
                                  const std::vector<PixelRect>& placed,
                                  const std::vector<Obstacle>& obstacles) {
    std::vector<PixelRect> blockers;
    for (const Obstacle& o : obstacles) {
        if (o.container == labels[i].container && !IsEmpty(o.rect)) {
            blockers.push_back(o.rect);
        }
    }
    for (std::size_t j = 0; j < labels.size(); ++j) {
        if (j != i && labels[j].container == labels[i].container && !IsEmpty(placed[j])) {
            blockers.push_back(placed[j]);
        }
    }
    return blockers;
}

/// Every label placed for the texts at one candidate size.
Placement PlaceAtSize(const std::vector<Label>& labels, const std::vector<Obstacle>& obstacles,
                      std::size_t size_index) {
    Placement out;
    out.size_index = size_index;
    for (const Label& label : labels) {
        out.rects.push_back(label.design);
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const PixelSize text = labels[i].text[size_index];
        if (!TextFits(text, labels[i].design)) {
            out.rects[i] = Grow(labels[i], text, BlockersOf(i, labels, out.rects, obstacles));
        }
        out.all_fit = out.all_fit && TextFits(text, out.rects[i]);
    }
    return out;
}

/// The size of a container's client area at a DPI; the window's for no container.
PixelSize ClientOf(const std::optional<layout::ControlId>& container, int32_t dpi) noexcept {
    if (!container) {
        return layout::ClientPixels(dpi);
    }
    const PixelRect box = layout::ControlPixels(*container, dpi);
    return {box.Width(), box.Height()};
}

bool IsWellFormed(const std::vector<Label>& labels, const std::vector<Obstacle>& obstacles) {
    if (labels.empty()) {
        return true;
    }
    const std::size_t count = labels.front().text.size();
    for (const Label& label : labels) {
        if (label.text.size() != count || count == 0 || !IsWellFormed(label.design) ||
            !IsWellFormed(label.room)) {
            return false;
        }
        for (const PixelSize& size : label.text) {
            if (size.width < 0 || size.height < 0) {
                return false;
            }
        }
    }
    return std::all_of(obstacles.begin(), obstacles.end(),
                       [](const Obstacle& o) { return IsWellFormed(o.rect); });
}

} // namespace

bool TextFits(PixelSize text, const PixelRect& rect) noexcept {
    // In 64 bits: PixelRect::Width() overflows for rectangles wider than 2^31 - 1 pixels.
    return text.width <= static_cast<int64_t>(rect.right) - rect.left &&
           text.height <= static_cast<int64_t>(rect.bottom) - rect.top;
}

std::optional<Placement> PlaceLabels(const std::vector<Label>& labels,
                                     const std::vector<Obstacle>& obstacles) {
    if (!IsWellFormed(labels, obstacles)) {
        return std::nullopt;
    }
    if (labels.empty()) {
        return Placement{};
    }
    const std::size_t count = labels.front().text.size();
    for (std::size_t s = 0;; ++s) {
        Placement placement = PlaceAtSize(labels, obstacles, s);
        if (placement.all_fit || s + 1 == count) {
            return placement;
        }
    }
}

WindowProblem WindowLabels(int32_t dpi, int32_t edge) {
    WindowProblem problem;
    for (const layout::ControlEntry& entry : layout::kControls) {
        const int container =
            entry.container ? static_cast<int>(*entry.container) : kWindowContainer;
        const PixelRect rect = layout::ControlPixels(entry.id, dpi);
        if (entry.kind != layout::ControlKind::Label) {
            problem.obstacles.push_back({rect, container});
            continue;
        }
        const PixelSize client = ClientOf(entry.container, dpi);
        problem.label_ids.push_back(entry.id);
        problem.labels.push_back(
            {rect, {edge, edge, client.width - edge, client.height - edge}, container, {}});
    }
    return problem;
}

std::vector<int32_t> CandidateFontHeights(int32_t lf_height, int32_t dpi) {
    const int64_t height = std::llabs(static_cast<int64_t>(lf_height));
    if (height == 0) {
        return {0};
    }
    const int64_t six_points = (kMinPoints * UsableDpi(dpi) + kPointsPerInch / 2) / kPointsPerInch;
    const int64_t three_quarters = (height * 3 + 3) / 4; // rounded up: never below 3/4
    const int64_t smallest = std::min(height, std::max(three_quarters, six_points));
    const int64_t sign = lf_height < 0 ? -1 : 1;
    std::vector<int32_t> heights;
    for (int64_t h = height; h >= smallest && heights.size() < kMaxCandidates; --h) {
        heights.push_back(static_cast<int32_t>(sign * h));
    }
    return heights;
}

} // namespace tamsrove::label_fit
