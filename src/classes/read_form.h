// The read form of the line store's text files.
//
// A line ends at CR LF or at a lone CR, and the line end is not part of the line; a LF that does
// not follow a CR is an ordinary character. The last line needs no line end, and a line end at
// the very end starts no further line. Each line is converted from the ANSI code page.
//
// The rule lives in two helpers, as in a small line iterator: IsAtLineEnd says whether a line end
// starts at a position, SkipLineEnd steps over it. Everything else is built on them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsrove::dbi_files {

/// The byte that starts every line end; a LF ends no line by itself.
inline constexpr char kLineEndStart = '\r';

/// True when a line end starts at p, which lies before end.
[[nodiscard]] constexpr bool IsAtLineEnd(const char* p) noexcept {
    return *p == kLineEndStart;
}

/// The position just past the line end that starts at p (IsAtLineEnd(p)): the CR and one LF
/// right after it, when the bytes go on that far.
[[nodiscard]] constexpr const char* SkipLineEnd(const char* p, const char* end) noexcept {
    ++p;
    if (p < end && *p == '\n') {
        ++p;
    }
    return p;
}

/// The first position from p on where a line end starts; end when there is none.
[[nodiscard]] const char* FindLineEnd(const char* p, const char* end) noexcept;

/// The number of line ends in bytes.
[[nodiscard]] std::size_t CountLineEnds(std::string_view bytes) noexcept;

/// The number of lines the read form finds in bytes; 0 for no bytes.
[[nodiscard]] std::size_t CountLines(std::string_view bytes) noexcept;
/// The same, with CountLineEnds(bytes) already known (counted while the bytes were read).
[[nodiscard]] std::size_t CountLines(std::string_view bytes, std::size_t line_ends) noexcept;

/// The lines of bytes in the read form, each converted from the ANSI code page.
[[nodiscard]] std::vector<std::u16string> SplitLines(std::string_view bytes);
/// The same, with CountLineEnds(bytes) already known.
[[nodiscard]] std::vector<std::u16string> SplitLines(std::string_view bytes, std::size_t line_ends);

} // namespace tamsrove::dbi_files
