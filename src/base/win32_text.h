// Views between Win32's wide strings and the seam's UTF-16 strings. Both are UTF-16 with 16-bit
// units; only the character types differ.
#pragma once

#include <string_view>

namespace tamsrove::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

/// The same units seen as the seam's UTF-16.
[[nodiscard]] inline std::u16string_view AsUtf16(std::wstring_view text) noexcept {
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

/// The same units seen as a Win32 wide string.
[[nodiscard]] inline std::wstring_view AsWide(std::u16string_view text) noexcept {
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

} // namespace tamsrove::platform
