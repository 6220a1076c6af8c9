// The ANSI code page as the line store's files use it: each byte one character under a
// single-byte code page, converted 16 characters at a time where SSE2 is available, and through
// the platform's conversion under a multi-byte code page.
#pragma once

#include "platform/platform.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tamsrove::dbi_files {

/// A single-byte ANSI code page, prepared for conversion 16 characters at a time.
///
/// Most bytes of such a code page stand for the character of the same number (all of ASCII; in
/// 1252 also A0..FF): a block of 16 such characters moves through SIMD unchanged. The other
/// bytes all lie in [lo_, hi_]; a block holding any of them, or any character that is not its
/// own byte, is put right through the tables one character at a time.
class SingleByteCodec {
public:
    /// Prepares widening for the code page whose bytes widen as to_wide says.
    explicit SingleByteCodec(const platform::AnsiTable& to_wide) noexcept;

    /// Fills the 64 KiB table that narrowing needs; a codec that only widens never touches it.
    void PrepareNarrowing() noexcept;

    /// Widens n bytes; in and out do not overlap.
    void Widen(const char* in, std::size_t n, char16_t* out) const noexcept;

    /// Narrows n units to n bytes, once PrepareNarrowing has run; a character the code page
    /// lacks becomes '?'. Each unit is a character of its own: each half of a surrogate pair
    /// becomes one '?'.
    void Narrow(const char16_t* in, std::size_t n, char* out) const noexcept;

private:
    void WidenScalar(const char* in, std::size_t n, char16_t* out) const noexcept;
    void PatchSpecials(const char* in, unsigned mask, char16_t* out) const noexcept;
    void PatchOthers(const char16_t* in, unsigned mask, char* out) const noexcept;
    void NarrowScalar(const char16_t* in, std::size_t n, char* out) const noexcept;

    const platform::AnsiTable& to_wide_;
    std::array<char, 0x10000> to_byte_; // the byte of every UTF-16 unit, once prepared
    unsigned char lo_ = 0;
    unsigned char hi_ = 0;
};

/// The codec of the ANSI code page, for widening; nullptr when it is not single-byte.
[[nodiscard]] const SingleByteCodec* AnsiCodec() noexcept;
/// The same, prepared for narrowing too.
[[nodiscard]] const SingleByteCodec* AnsiNarrowingCodec() noexcept;

/// ANSI bytes converted to UTF-16.
[[nodiscard]] std::u16string Widened(std::string_view bytes);

/// Appends ANSI bytes converted to UTF-16.
void AppendWidened(std::string_view bytes, std::u16string& out);
/// The same through a single-byte codec; the new characters are not zero-filled first where
/// the standard library can skip that.
void AppendWidened(const SingleByteCodec& codec, std::string_view bytes, std::u16string& out);

/// Appends UTF-16 text converted to the ANSI code page ('?' where it has no such character).
void AppendNarrowed(std::u16string_view text, std::string& out);

} // namespace tamsrove::dbi_files
