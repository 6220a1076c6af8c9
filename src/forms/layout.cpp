#include "forms/layout.h"

#include <algorithm>
#include <limits>

namespace tamsrove::layout {

namespace {

/// Centres a length inside a span, or starts at the span when it does not fit.
int32_t CentredStart(int32_t span_start, int32_t span_end, int32_t length) noexcept {
    const int64_t free_space = static_cast<int64_t>(span_end) - span_start - length;
    if (free_space <= 0) {
        return span_start;
    }
    return static_cast<int32_t>(span_start + free_space / 2);
}

} // namespace

const ControlEntry& Entry(ControlId id) noexcept {
    // The table is in ControlId order, which the tests hold it to.
    return kControls.at(static_cast<std::size_t>(id));
}

PixelRect ToPixels(const TwipsRect& twips, int32_t dpi) noexcept {
    const int64_t right = static_cast<int64_t>(twips.left) + twips.width;
    const int64_t bottom = static_cast<int64_t>(twips.top) + twips.height;
    const auto clamp32 = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max()));
    };
    return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
            TwipsToPixels(clamp32(right), dpi), TwipsToPixels(clamp32(bottom), dpi)};
}

PixelRect ControlPixels(ControlId id, int32_t dpi) noexcept {
    return ToPixels(Entry(id).twips, dpi);
}

PixelSize ClientPixels(int32_t dpi) noexcept {
    return {TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi)};
}

PixelPoint CentredOrigin(const PixelRect& work_area, PixelSize window) noexcept {
    return {CentredStart(work_area.left, work_area.right, window.width),
            CentredStart(work_area.top, work_area.bottom, window.height)};
}

} // namespace tamsrove::layout
