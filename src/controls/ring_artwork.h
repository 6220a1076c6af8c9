// The working ring's eight frame pictures, drawn in memory as 24-bit pixel buffers by the shared
// rasteriser. Pure computation: the Win32 control turns each buffer into one bitmap, once.
#pragma once

#include "artwork/raster.h"
#include "forms/pixel_size.h"

#include <cstdint>

namespace tamsrove {

/// One colour, 8 bits per channel.
using artwork::Rgb;
/// A 24-bit picture in the layout of a top-down DIB.
using artwork::PixelBuffer;

/// Number of frames in one turn of the ring.
inline constexpr int32_t kRingFrameCount = 8;

/// The frame that follows frame k in the animation: 0, 1, ..., 7, then 0 again.
[[nodiscard]] constexpr int32_t NextRingFrame(int32_t k) noexcept {
    return k >= kRingFrameCount - 1 ? 0 : k + 1;
}

/// Size of every frame at the given DPI: 51 x 49 pixels at 96 DPI, scaled by dpi / 96 and
/// rounded to an odd number of pixels, so the ring has a centre pixel. Throws std::invalid_argument
/// when dpi is outside artwork::kMinDrawableDpi..kMaxDrawableDpi.
[[nodiscard]] PixelSize RingFrameSize(int32_t dpi);

/// Draws frame k (0..7) at the given DPI: a light-blue circle touching all four edges, eight
/// grey-outlined dots inside it, dot k lit and the two dots behind it paler, on white.
/// Throws std::invalid_argument for a frame outside 0..7 or a DPI outside the drawable range.
[[nodiscard]] PixelBuffer DrawRingFrame(int32_t k, int32_t dpi);

} // namespace tamsrove
