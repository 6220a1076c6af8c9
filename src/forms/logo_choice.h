// Which logo bitmap the window shows at a DPI. The logo exists at 100, 150 and 200 %, each
// drawn for its size; the window draws the one picked here unscaled at Picture1's top-left.
#pragma once

#include <array>
#include <cstdint>

#include "forms/layout.h"
#include "resources/resource.h"

namespace tamsrove::logo_choice {

/// One logo bitmap among the program's resources.
struct LogoBitmap {
    int resource_id = 0;         ///< its BITMAP resource
    int32_t scale_percent = 100; ///< its scale: 100 % is the design's logo at 96 DPI
    layout::PixelSize size;      ///< its size in pixels
};

/// The logo bitmaps, smallest first.
inline constexpr std::array<LogoBitmap, 3> kLogoBitmaps = {{
    {IDB_LOGO, 100, {248, 64}},
    {IDB_LOGO_150, 150, {372, 96}},
    {IDB_LOGO_200, 200, {496, 128}},
}};

/// The logo for a DPI: the largest whose scale is not above the DPI's scale (dpi / 96), so it
/// is drawn pixel for pixel, never resampled, and always fits Picture1, which grows with the
/// DPI. Below 96 DPI, and for a missing DPI, the 100 % logo.
[[nodiscard]] const LogoBitmap& LogoForDpi(int32_t dpi) noexcept;

} // namespace tamsrove::logo_choice
