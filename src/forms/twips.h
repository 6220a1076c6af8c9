// Twips, the unit of every position and size in the window's design (1/1440 inch), and their
// conversion to pixels at a DPI. Portable and header-only, so that the layout, the controls and
// the window base share one rule without any of them depending on another.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tamsrove {

/// Twips in one inch; a pixel is 1440 / dpi twips (15 at 96 DPI, 10 at 144 DPI).
inline constexpr int32_t kTwipsPerInch = 1440;
/// The DPI at which the platform draws unscaled; used when a DPI is missing or invalid.
inline constexpr int32_t kBaseDpi = 96;

namespace detail {
/// value * numerator / denominator in 64 bits, rounded half away from zero (as MulDiv) and
/// clamped to the 32-bit range; denominator must be positive.
constexpr int32_t ScaleRounded(int32_t value, int32_t numerator, int32_t denominator) noexcept {
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t half = denominator / 2;
    const int64_t rounded =
        product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int32_t>(std::clamp<int64_t>(rounded, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
} // namespace detail

/// A DPI the conversions can use: values below 1 become kBaseDpi.
[[nodiscard]] constexpr int32_t UsableDpi(int32_t dpi) noexcept {
    return dpi > 0 ? dpi : kBaseDpi;
}

/// Twips to pixels at a DPI, rounded half away from zero like the platform's MulDiv.
[[nodiscard]] constexpr int32_t TwipsToPixels(int32_t twips, int32_t dpi) noexcept {
    return detail::ScaleRounded(twips, UsableDpi(dpi), kTwipsPerInch);
}

/// Pixels to twips at a DPI, rounded half away from zero.
[[nodiscard]] constexpr int32_t PixelsToTwips(int32_t pixels, int32_t dpi) noexcept {
    return detail::ScaleRounded(pixels, kTwipsPerInch, UsableDpi(dpi));
}

} // namespace tamsrove
