// The program's emblem and its logo, drawn from geometry by the shared rasteriser: the emblem (a
// blue disc with a ring of eight white dots) beside a "Corvellan" wordmark in a round-ended stroke
// font. The window draws the logo at its own DPI; tools/artgen draws the emblem into the icon.
#pragma once

#include <cstdint>

#include "artwork/raster.h"
#include "forms/pixel_size.h"

namespace tamsrove::artwork {

/// The logo's design size in pixels, at 96 DPI.
inline constexpr PixelSize kLogoDesignSize{248, 64};
/// The logo's size at a DPI: the design size scaled by dpi / 96, rounded down. Throws
/// std::invalid_argument for a DPI outside kMinDrawableDpi..kMaxDrawableDpi.
[[nodiscard]] PixelSize LogoSize(int32_t dpi);

/// The logo drawn at a DPI from its geometry (not a resampled bitmap), opaque on white, of
/// LogoSize(dpi). Throws std::invalid_argument for a DPI outside the drawable range.
[[nodiscard]] Image DrawLogo(int32_t dpi);

/// The emblem alone on a transparent square of the given side (at least 1 pixel), sampled
/// samples_per_axis times per axis in each pixel.
[[nodiscard]] Image DrawEmblem(int32_t side, int samples_per_axis);

} // namespace tamsrove::artwork
