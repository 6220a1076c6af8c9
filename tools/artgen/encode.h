// File formats for the artwork: 24-bit BMP files and icon files holding 8-bit (palette) and
// 32-bit (alpha) images, plus the palette reduction the 8-bit images need.
#pragma once

#include <cstdint>
#include <vector>

#include "artwork/raster.h"

namespace tamsrove::artgen {

using artwork::Image;
using artwork::Rgba8;

/// A picture of at most 256 colours with one-bit transparency, as an 8-bit icon image holds it.
struct PaletteImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Rgba8> palette;    ///< 256 entries; entry 0 is black, the transparent pixels'
    std::vector<uint8_t> indices;  ///< one palette index per pixel, rows from the top
    std::vector<bool> transparent; ///< one flag per pixel, rows from the top
};

/// Reduces a picture to a palette: pixels at least half opaque are laid over white and become
/// colours of up to 255 palette entries (median cut; exact when there are no more colours than
/// that); the rest are transparent and use entry 0, black, as icon masks require.
[[nodiscard]] PaletteImage ToPaletteImage(const Image& image);

/// One image of an icon file: the picture and the depth to store it at (8 or 32 bits).
struct IconImage {
    Image image;
    int bits_per_pixel = 32;
};

/// The bytes of a 24-bit BMP file of the picture, laid over white where it is not opaque.
/// Throws std::invalid_argument for an empty picture.
[[nodiscard]] std::vector<uint8_t> EncodeBmp24(const Image& image);

/// The bytes of an icon file with the images in the given order. Throws std::invalid_argument
/// when there are no images, an image is empty or larger than 256 pixels, or its depth is
/// neither 8 nor 32.
[[nodiscard]] std::vector<uint8_t> EncodeIco(const std::vector<IconImage>& images);

} // namespace tamsrove::artgen
