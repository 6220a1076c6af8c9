// The program's artwork, drawn from geometry: the window icon (the ring emblem at 32, 24 and
// 16 pixels, each at 8 and 32 bits) and the logo (the emblem beside a "Corvellan" wordmark) at 100,
// 150 and 200 %. Run the artgen program to write the files into src/resources.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "raster.h"

namespace tamsrove::artgen {

/// File name of the icon in the resource folder.
inline constexpr const char* kIconFileName = "Tamsrove.ico";
/// Size of the logo in pixels at 100 % (96 DPI).
inline constexpr int32_t kLogoWidth = 248;
inline constexpr int32_t kLogoHeight = 64;

/// One drawing of the logo: its scale in percent of the 96-DPI size and its file's name in the
/// resource folder. The program picks the one for its DPI and draws it unscaled.
struct LogoScale {
    int32_t percent;
    const char* file_name;
};
/// The logo's scales: 100 % (the design size), 150 % and 200 %.
inline constexpr std::array<LogoScale, 3> kLogoScales = {{
    {100, "logo.bmp"},
    {150, "logo_150.bmp"},
    {200, "logo_200.bmp"},
}};

/// The emblem alone on a transparent square of the given side: a blue disc with eight white
/// dots on a circle, one lit and two trailing.
[[nodiscard]] Image DrawEmblem(int32_t side);

/// The logo picture at a scale in percent: the emblem and the wordmark on white, opaque, drawn
/// from the geometry at that size (not a resampled bitmap), kLogoWidth x kLogoHeight times the
/// scale. Throws std::invalid_argument for a scale below 1 or above 1000 percent.
[[nodiscard]] Image DrawLogo(int32_t percent);

/// The bytes of Tamsrove.ico: 32, 24 and 16 pixels at 32 bits, then the same at 8 bits.
[[nodiscard]] std::vector<uint8_t> MakeIconFile();

/// The bytes of a logo file: the logo at a scale in percent as a 24-bit BMP file.
[[nodiscard]] std::vector<uint8_t> MakeLogoFile(int32_t percent);

} // namespace tamsrove::artgen
