// The ANSI code page, which both the line store's text files and the window's registry values
// use: the system's on Windows (code_page_win.cpp), Windows-1252 as a stand-in on POSIX
// (code_page_posix.cpp). Single-byte code pages convert through the one codec of
// ansi_codec.h.
//
// Failures are thrown as std::system_error carrying the system's error code.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tamsrove::platform {

/// Byte-to-character table of a single-byte code page.
using AnsiTable = std::array<char16_t, 256>;

/// The table of the ANSI code page (the system's on Windows, 1252 as a stand-in on POSIX) when
/// it is single-byte and maps bytes 0..127 to themselves; nullptr for multi-byte code pages,
/// which need AnsiToWide. ansi_codec.h converts through it.
[[nodiscard]] const AnsiTable* SingleByteAnsiTable() noexcept;

/// Converts ANSI code-page bytes to UTF-16.
[[nodiscard]] std::u16string AnsiToWide(std::string_view bytes);

/// What a conversion to the ANSI code page does with a character the code page lacks.
enum class Unmappable {
    Substitute, ///< it becomes the code page's default character, '?'
    Refuse,     ///< the whole conversion fails
};

/// Appends text converted to the ANSI code page and returns true; never writes a best-fit
/// look-alike (U+FF0F must not turn into '/'). Under Refuse, a character without an exact
/// form (or a lone surrogate) makes it return false with out unchanged. The line store's text
/// files substitute; registry names and values refuse.
bool AppendWideAsAnsi(std::u16string_view text, std::string& out,
                      Unmappable rule = Unmappable::Substitute);

} // namespace tamsrove::platform
