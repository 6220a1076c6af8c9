// A drawn picture as a bitmap the window can show: the one step from the shared rasteriser's
// pixel buffers to GDI, and back onto a window, used by the ring's frames and the window's logo.
#pragma once

#include "artwork/raster.h"
#include "base/win32_handles.h"

namespace tamsrove {

/// A 24-bpp DIB section holding the pixels (no alpha, so a plain BitBlt shows it as it is);
/// empty when GDI cannot make it.
[[nodiscard]] unique_hbitmap MakeBitmap(const artwork::PixelBuffer& pixels);

/// Draws bitmap unscaled with its top-left corner at (x, y) of dc; nothing when it is null, no
/// bitmap, or selected into another DC.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y);

} // namespace tamsrove
