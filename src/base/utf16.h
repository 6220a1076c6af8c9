// UTF-16 code unit classes, shared by the path conversions, the code-page conversions and the
// line store's writers (which must never cut a surrogate pair in two).
#pragma once

namespace tamsrove::utf16 {

/// The first unit of a surrogate pair (U+D800..U+DBFF).
[[nodiscard]] constexpr bool IsHighSurrogate(char32_t c) noexcept {
    return c >= 0xD800 && c <= 0xDBFF;
}

/// The second unit of a surrogate pair (U+DC00..U+DFFF).
[[nodiscard]] constexpr bool IsLowSurrogate(char32_t c) noexcept {
    return c >= 0xDC00 && c <= 0xDFFF;
}

/// The code point of a high and a low surrogate.
[[nodiscard]] constexpr char32_t CombineSurrogates(char32_t high, char32_t low) noexcept {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

} // namespace tamsrove::utf16
