// The pure parts of the line store's file operations, apart from any file, so that tests and the
// fuzzer can check them directly: the text-file read form, the ANSI conversions with their ASCII
// fast paths, and the joining of the application folder with a name.
//
// Read form: a line ends at CR LF or at a lone CR, and the line end is not part of the line; a
// LF that does not follow a CR is an ordinary character. The last line needs no line end, and a
// line end at the very end starts no further line. Each line is converted from the ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsrove::dbi_files {

/// The number of CR bytes in bytes: each ends a line of the read form.
[[nodiscard]] std::size_t CountLineEnds(std::string_view bytes) noexcept;

/// The number of lines the read form finds in bytes; 0 for no bytes.
[[nodiscard]] std::size_t CountLines(std::string_view bytes) noexcept;
/// The same, with CountLineEnds(bytes) already known (counted while the bytes were read).
[[nodiscard]] std::size_t CountLines(std::string_view bytes, std::size_t lineEnds) noexcept;

/// The lines of bytes in the read form, each converted from the ANSI code page.
[[nodiscard]] std::vector<std::u16string> SplitLines(std::string_view bytes);
/// The same, with CountLineEnds(bytes) already known.
[[nodiscard]] std::vector<std::u16string> SplitLines(std::string_view bytes, std::size_t lineEnds);

/// Appends ANSI bytes converted to UTF-16.
void AppendWidened(std::string_view bytes, std::u16string& out);

/// Appends UTF-16 text converted to the ANSI code page ('?' where it has no such character).
void AppendNarrowed(std::u16string_view text, std::string& out);

/// folder, the separator and name; a folder that already ends in the separator (a root) gets
/// no second one.
[[nodiscard]] std::u16string JoinToFolder(std::u16string_view folder, char16_t separator,
                                          std::u16string_view name);

} // namespace tamsrove::dbi_files
