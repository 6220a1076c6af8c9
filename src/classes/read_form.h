// The line-end rule of the line store's text files.
//
// A line ends at CR LF or at a lone CR, and the line end is not part of the line; a LF that does
// not follow a CR is an ordinary character. The last line needs no line end, and a line end at
// the very end starts no further line. Each line is converted from the ANSI code page.
//
// Every line end begins with a CR and every CR begins one, so one byte (kLineEndStart) finds
// them all: IsAtLineEnd tests one position, FindLineEnd and CountLineEnds look for that byte many
// bytes at a time, and SkipLineEnd steps over a line end (SkipLineEndRest over the LF that may
// follow its CR, which may come in the next block of a file). Their only users are the two
// passes of a text-file load (BlockCutter and LineBuilder in line_stream.cpp); the meta-string
// and text-box methods cut at a delimiter of their own instead (line_split.h).
#pragma once

#include <cstddef>
#include <string_view>

namespace tamsrove::dbi_files {

/// The byte that starts every line end; a LF ends no line by itself.
inline constexpr char kLineEndStart = '\r';

/// True when a line end starts at p, which lies before the end of the bytes.
[[nodiscard]] constexpr bool IsAtLineEnd(const char* p) noexcept {
    return *p == kLineEndStart;
}

/// The position just past the rest of a line end whose CR came right before p: the one LF
/// there, when the bytes go on that far.
[[nodiscard]] constexpr const char* SkipLineEndRest(const char* p, const char* end) noexcept {
    return p < end && *p == '\n' ? p + 1 : p;
}

/// The position just past the line end that starts at p (IsAtLineEnd(p)).
[[nodiscard]] constexpr const char* SkipLineEnd(const char* p, const char* end) noexcept {
    return SkipLineEndRest(p + 1, end);
}

/// The first position from p on where IsAtLineEnd holds; end when there is none.
[[nodiscard]] const char* FindLineEnd(const char* p, const char* end) noexcept;

/// The number of positions in bytes where IsAtLineEnd holds: its line ends.
[[nodiscard]] std::size_t CountLineEnds(std::string_view bytes) noexcept;

} // namespace tamsrove::dbi_files
