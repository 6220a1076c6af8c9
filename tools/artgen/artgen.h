// The program's artwork, drawn from geometry: the window icon (the ring emblem at 32, 24 and
// 16 pixels, each at 8 and 32 bits) and the logo (the emblem beside a "Corvellan" wordmark).
// Run the artgen program to write the files into src/resources.
#pragma once

#include <cstdint>
#include <vector>

#include "raster.h"

namespace tamsrove::artgen {

/// File name of the icon in the resource folder.
inline constexpr const char* icon_file_name = "Tamsrove.ico";
/// File name of the logo in the resource folder.
inline constexpr const char* logo_file_name = "logo.bmp";
/// Size of the logo in pixels.
inline constexpr int32_t logo_width = 248;
inline constexpr int32_t logo_height = 64;

/// The emblem alone on a transparent square of the given side: a blue disc with eight white
/// dots on a circle, one lit and two trailing.
[[nodiscard]] Image draw_emblem(int32_t side);

/// The logo picture: the emblem and the wordmark on white, opaque.
[[nodiscard]] Image draw_logo();

/// The bytes of Tamsrove.ico: 32, 24 and 16 pixels at 32 bits, then the same at 8 bits.
[[nodiscard]] std::vector<uint8_t> make_icon_file();

/// The bytes of logo.bmp: the logo as a 24-bit BMP file.
[[nodiscard]] std::vector<uint8_t> make_logo_file();

} // namespace tamsrove::artgen
