// The program's artwork files, drawn by the shared rasteriser (src/artwork): the window icon (the
// emblem at 32, 24 and 16 pixels, each at 8 and 32 bits) and the 96-DPI logo, which the program
// draws itself at run time and the tests keep as the reference for its bytes. Run the artgen
// program to write the files.
#pragma once

#include <cstdint>
#include <vector>

namespace tamsrove::artgen {

/// File name of the icon in the resource folder.
inline constexpr const char* kIconFileName = "Tamsrove.ico";
/// File name of the 96-DPI logo in the tests' reference folder.
inline constexpr const char* kLogoFileName = "logo.bmp";

/// The bytes of Tamsrove.ico: 32, 24 and 16 pixels at 32 bits, then the same at 8 bits.
[[nodiscard]] std::vector<uint8_t> MakeIconFile();

/// The bytes of logo.bmp: the logo at 96 DPI as a 24-bit BMP file.
[[nodiscard]] std::vector<uint8_t> MakeLogoFile();

} // namespace tamsrove::artgen
