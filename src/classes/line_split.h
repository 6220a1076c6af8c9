// Cutting a UTF-16 text at every occurrence of a delimiter, in one forward scan.
//
// Both helpers give exactly the pieces of the classic loop "while the text contains the
// delimiter: take the text before its first occurrence, drop that text and the delimiter from
// the front", but they search forward from a moving position instead of copying the rest of the
// text after every cut, which would make the loop quadratic in the length of the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace tamsrove {

/// text.find(delimiter, pos) for a non-empty delimiter and pos <= text.size(), with the first
/// unit of the delimiter looked for eight units at a time.
[[nodiscard]] std::size_t FindDelimiter(std::u16string_view text, std::u16string_view delimiter,
                                        std::size_t pos) noexcept;

/// Calls on_piece(piece, next) for every piece of text that precedes a delimiter, in order, where
/// next is the position just past that delimiter; returns where the text after the last delimiter
/// starts (0 when none occurs). An empty delimiter cuts nothing.
template <typename OnPiece>
std::size_t SplitAtDelimiter(std::u16string_view text, std::u16string_view delimiter,
                             OnPiece&& on_piece) {
    if (delimiter.empty()) {
        return 0;
    }
    std::size_t start = 0;
    for (std::size_t hit = FindDelimiter(text, delimiter, 0); hit != std::u16string_view::npos;
         hit = FindDelimiter(text, delimiter, start)) {
        const std::size_t next = hit + delimiter.size();
        on_piece(text.substr(start, hit - start), next);
        start = next;
    }
    return start;
}

/// The number of pieces SplitAtDelimiter finds in text.
inline std::size_t CountPieces(std::u16string_view text, std::u16string_view delimiter) {
    std::size_t pieces = 0;
    (void)SplitAtDelimiter(
        text, delimiter,
        [&pieces](std::u16string_view /*piece*/, std::size_t /*next*/) { ++pieces; });
    return pieces;
}

/// The number of pieces SplitAtDelimiter finds empty at the very start of text: how many
/// delimiters follow one another from its first character.
inline std::size_t LeadingDelimiters(std::u16string_view text, std::u16string_view delimiter) {
    std::size_t count = 0;
    while (!delimiter.empty() && text.starts_with(delimiter)) {
        text.remove_prefix(delimiter.size());
        ++count;
    }
    return count;
}

/// Cuts every piece that precedes a delimiter off the front of text and hands it to
/// add_piece (as std::u16string&&); text then holds what followed the last delimiter.
/// If add_piece throws, text holds what followed the delimiter of that piece, as after the
/// classic loop, and the exception goes on; an empty delimiter cuts nothing.
template <typename AddPiece>
void CutPiecesFromFront(std::u16string& text, std::u16string_view delimiter, AddPiece&& add_piece) {
    // The pieces already handed over (and their delimiters) are cut off in one go at the end,
    // or when add_piece fails; until then the scan reads text in place.
    std::size_t consumed = 0;
    try {
        consumed =
            SplitAtDelimiter(text, delimiter, [&](std::u16string_view piece, std::size_t next) {
                std::u16string owned(piece);
                // The classic loop has cut the front off before it
                // adds the piece, so a failing add leaves it cut.
                consumed = next;
                add_piece(std::move(owned));
            });
    } catch (...) {
        text.erase(0, consumed);
        throw;
    }
    text.erase(0, consumed);
}

} // namespace tamsrove
