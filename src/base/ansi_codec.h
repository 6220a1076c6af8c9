// The one converter of a single-byte ANSI code page: each byte one character, converted 16
// characters at a time where SSE2 is available. The line store's files and, on POSIX, the
// seam's own AnsiToWide and AppendWideAsAnsi go through it; a multi-byte code page has none
// and needs the system's conversion.
#pragma once

#include "base/code_page.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tamsrove::platform {

/// A single-byte ANSI code page, prepared for conversion 16 characters at a time.
///
/// Most bytes of such a code page stand for the character of the same number (all of ASCII; in
/// 1252 also A0..FF): a block of 16 such characters moves through SIMD unchanged. The other
/// bytes all lie in [lo_, hi_]; a block holding any of them, or any character that is not its
/// own byte, is put right through the tables one character at a time.
class SingleByteCodec {
public:
    /// Prepares widening for the code page whose bytes widen as to_wide says, and narrowing
    /// too when asked: its 64 KiB table is never touched by a codec that only widens.
    SingleByteCodec(const AnsiTable& to_wide, bool narrows) noexcept;

    /// Widens n bytes; in and out do not overlap.
    void Widen(const char* in, std::size_t n, char16_t* out) const noexcept;

    /// Narrows n units to n bytes, for a codec made to narrow; a character the code page
    /// lacks becomes '?'. Each unit is a character of its own: each half of a surrogate pair
    /// becomes one '?'.
    void Narrow(const char16_t* in, std::size_t n, char* out) const noexcept;

    /// Narrows as Narrow does, and returns true when every unit had a byte of its own (no
    /// '?' stands for another character).
    [[nodiscard]] bool NarrowExactly(const char16_t* in, std::size_t n, char* out) const noexcept;

private:
    void WidenScalar(const char* in, std::size_t n, char16_t* out) const noexcept;
    void PatchSpecials(const char* in, unsigned mask, char16_t* out) const noexcept;
    void PatchOthers(const char16_t* in, unsigned mask, char* out) const noexcept;
    void NarrowScalar(const char16_t* in, std::size_t n, char* out) const noexcept;

    const AnsiTable& to_wide_;
    std::array<char, 0x10000> to_byte_; // the byte of every UTF-16 unit, when it narrows
    unsigned char lo_ = 0;
    unsigned char hi_ = 0;
};

/// The codec of the ANSI code page, for widening; nullptr when it is not single-byte.
[[nodiscard]] const SingleByteCodec* AnsiCodec() noexcept;
/// The same, prepared for narrowing too.
[[nodiscard]] const SingleByteCodec* AnsiNarrowingCodec() noexcept;

/// Appends bytes widened by codec; the new characters are not zero-filled first where the
/// standard library can skip that.
void AppendWidened(const SingleByteCodec& codec, std::string_view bytes, std::u16string& out);

} // namespace tamsrove::platform
