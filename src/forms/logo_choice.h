// The logo the window shows at a DPI: the logo drawn at the window's own DPI (the design's
// 248 x 64 pixels scaled by dpi / 96), so that it is sharp and fills its box at every scale. The
// window draws it unscaled at Picture1's top-left corner.
#pragma once

#include <cstdint>

namespace tamsrove::logo_choice {

/// The DPI to draw the logo at in a window at `dpi`: the window's own, within the range the logo
/// can be drawn at; a missing DPI (0 or less) counts as 96.
[[nodiscard]] int32_t LogoDpi(int32_t dpi) noexcept;

} // namespace tamsrove::logo_choice
