// A width and height in pixels, shared by the window's layout and the ring's artwork.
#pragma once

#include <cstdint>

namespace tamsrove {

/// Width and height of a picture or an area in pixels.
struct PixelSize {
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

} // namespace tamsrove
