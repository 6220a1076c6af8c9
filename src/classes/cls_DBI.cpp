// cls_DBI core: the lines themselves, packing them into one delimited string and cutting strings.
//
// Lines live in a std::vector whose size is always LastLineIndex + 1; its spare capacity makes
// AddLineEnd amortised O(1). Every index is checked before anything changes, so a bad index
// raises std::out_of_range and leaves the store as it was.
#include "tamsrove/cls_DBI.h"

#include "classes/line_limit.h"
#include "classes/line_split.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace {

/// The default delimiter of the meta-string.
constexpr std::u16string_view kCrLf = u"\r\n";

/// The line limit in force; only a test lowers it (a test seam, hence not const).
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables)
std::atomic<std::size_t> g_max_lines{tamsrove::dbi_files::kMaxLines};

/// Gives an empty delimiter its default, in the caller's variable.
void DefaultDelimiter(std::u16string& Delimiter) {
    if (Delimiter.empty()) {
        Delimiter = kCrLf;
    }
}

/// The exact length of the meta-string: every line plus one delimiter per line.
std::size_t PackedLength(const std::vector<std::u16string>& lines, std::size_t delimiter_length) {
    const std::size_t limit = std::u16string().max_size();
    if (delimiter_length != 0 && lines.size() > limit / delimiter_length) {
        throw std::length_error("cls_DBI::DBIToMetaString: the meta-string would be too long");
    }
    std::size_t total = lines.size() * delimiter_length;
    for (const std::u16string& line : lines) {
        if (line.size() > limit - total) {
            throw std::length_error("cls_DBI::DBIToMetaString: the meta-string would be too long");
        }
        total += line.size();
    }
    return total;
}

} // namespace

std::size_t tamsrove::dbi_files::MaxLines() noexcept {
    return g_max_lines.load(std::memory_order_relaxed);
}

void tamsrove::dbi_files::CheckLineCount(std::size_t count, const char* what) {
    if (count > MaxLines()) {
        throw std::length_error(what);
    }
}

std::size_t tamsrove::dbi_files::detail::SetMaxLines(std::size_t limit) noexcept {
    return g_max_lines.exchange(std::min(limit, kMaxLines));
}

cls_DBI::cls_DBI() : Lines(1) {}

cls_DBI::cls_DBI(const cls_DBI& other) = default;

cls_DBI& cls_DBI::operator=(const cls_DBI& other) {
    // Copy first, then swap: a failed copy leaves this store as it was.
    cls_DBI copy(other);
    SwapWith(copy);
    return *this;
}

// A moved-from store is a new store, so that it still holds its one line. Building that line is
// the only step that can fail, and it comes before anything is taken.
// NOLINTNEXTLINE(performance-noexcept-move-constructor): see above
cls_DBI::cls_DBI(cls_DBI&& other) : cls_DBI() {
    SwapWith(other);
}

// NOLINTNEXTLINE(performance-noexcept-move-constructor): as the move constructor
cls_DBI& cls_DBI::operator=(cls_DBI&& other) {
    if (this != &other) {
        cls_DBI fresh;
        other.SwapWith(fresh);
        SwapWith(fresh);
    }
    return *this;
}

cls_DBI::~cls_DBI() = default;

void cls_DBI::SwapWith(cls_DBI& other) noexcept {
    Lines.swap(other.Lines);
    std::swap(LastLineIndex, other.LastLineIndex);
    ErrorText.swap(other.ErrorText);
}

// --- Core ----------------------------------------------------------------------------------

void cls_DBI::RemoveAllLines() {
    // Same outcome as removing line 0 until one line is left and then emptying it, without the
    // quadratic shifting; the old lines' memory is given back. Both allocations come first.
    std::vector<std::u16string> fresh(1);
    ErrorText = kLastLineCleared;
    Lines.swap(fresh);
    LastLineIndex = 0;
}

int32_t cls_DBI::LinesNumber() const noexcept {
    return LastLineIndex;
}

std::u16string cls_DBI::ErrorCode() const {
    return ErrorText;
}

std::u16string cls_DBI::GetLine(int32_t Index) const {
    if (Index < 0 || Index > LastLineIndex) {
        throw std::out_of_range("cls_DBI::GetLine: no line at this index");
    }
    return Lines[static_cast<std::size_t>(Index)];
}

void cls_DBI::SetLine(std::u16string NewLine, int32_t Index) {
    if (Index < 0 || Index > LastLineIndex) {
        throw std::out_of_range("cls_DBI::SetLine: no line at this index");
    }
    Lines[static_cast<std::size_t>(Index)] = std::move(NewLine);
}

void cls_DBI::AddLineEnd(std::u16string NewLine) {
    if (LastLineIndex == 0 && Lines.front().empty()) {
        // The empty store: the new line takes the place of its single empty line.
        SetLine(std::move(NewLine), 0);
        return;
    }
    tamsrove::dbi_files::CheckLineCount(Lines.size() + 1,
                                        "cls_DBI::AddLineEnd: the store cannot count more lines");
    Lines.push_back(std::move(NewLine));
    ++LastLineIndex;
}

void cls_DBI::InsertLine(std::u16string LineToInsert, int32_t Index) {
    const bool empty_store = LastLineIndex == 0 && Lines.front().empty();
    // Index may be one past the last line (append), except on the empty store, which the line
    // replaces instead of growing.
    const int32_t highest = empty_store ? 0 : LastLineIndex + 1;
    if (Index < 0 || Index > highest) {
        throw std::out_of_range("cls_DBI::InsertLine: index outside 0..number of lines");
    }
    if (empty_store) {
        Lines.front() = std::move(LineToInsert);
        return;
    }
    tamsrove::dbi_files::CheckLineCount(Lines.size() + 1,
                                        "cls_DBI::InsertLine: the store cannot count more lines");
    // vector::insert changes nothing when it fails to allocate; the lines' moves cannot fail.
    Lines.insert(Lines.begin() + Index, std::move(LineToInsert));
    ++LastLineIndex;
}

void cls_DBI::RemoveLine(int32_t Index) {
    if (Index < 0 || Index > LastLineIndex) {
        throw std::out_of_range("cls_DBI::RemoveLine: no line at this index");
    }
    if (LastLineIndex == 0) {
        // The store keeps its one line: empty it and leave the notice. The notice is recorded
        // first, because only it can fail.
        ErrorText = kLastLineCleared;
        Lines.front().clear();
        return;
    }
    Lines.erase(Lines.begin() + Index);
    --LastLineIndex;
}

void cls_DBI::Clear(const std::u16string& Trash) {
    std::fill(Lines.begin(), Lines.end(), Trash);
}

void cls_DBI::ReserveForAdding(std::size_t pieces, std::size_t leading_empty, const char* what) {
    // AddLineEnd lets the empty store absorb empty lines, and the first other line takes the
    // place of its single empty one.
    const bool empty_store = LastLineIndex == 0 && Lines.front().empty();
    const std::size_t total =
        empty_store ? std::max<std::size_t>(pieces - leading_empty, 1) : Lines.size() + pieces;
    tamsrove::dbi_files::CheckLineCount(total, what);
    if (total <= Lines.capacity()) {
        return;
    }
    try {
        // At least twice the present room, so that many small additions stay linear in total.
        Lines.reserve(std::min(std::max(total, 2 * Lines.capacity()), Lines.max_size()));
    } catch (const std::bad_alloc&) {
        Lines.reserve(total); // the doubling was only ahead of need; this much is needed
    }
}

// --- Meta-strings and cutting ---------------------------------------------------------------

std::u16string cls_DBI::DBIToMetaString(std::u16string& Delimiter) {
    DefaultDelimiter(Delimiter);
    std::u16string packed;
    packed.reserve(PackedLength(Lines, Delimiter.size()));
    for (const std::u16string& line : Lines) {
        packed += line;
        packed += Delimiter;
    }
    return packed;
}

std::u16string cls_DBI::DBIToMetaString(std::u16string&& Delimiter) {
    return DBIToMetaString(Delimiter);
}

void cls_DBI::MetaStringToDBI(std::u16string& DataString, std::u16string& Delimiter) {
    DefaultDelimiter(Delimiter);
    // Room for every line first, found by one read-only pass over the delimiters: too many
    // lines, or too little memory for the array, fail here, before anything changes.
    ReserveForAdding(tamsrove::CountPieces(DataString, Delimiter),
                     tamsrove::LeadingDelimiters(DataString, Delimiter),
                     "cls_DBI::MetaStringToDBI: the store cannot count that many lines");
    // AddLineEnd itself absorbs empty pieces only while the store is still the empty store.
    // DataString is cut only after the scan, so one variable passed as both is safe.
    tamsrove::CutPiecesFromFront(DataString, Delimiter,
                                 [this](std::u16string&& piece) { AddLineEnd(std::move(piece)); });
}

void cls_DBI::MetaStringToDBI(std::u16string& DataString, std::u16string&& Delimiter) {
    MetaStringToDBI(DataString, Delimiter);
}

void cls_DBI::MetaStringToDBI(std::u16string&& DataString, std::u16string& Delimiter) {
    MetaStringToDBI(DataString, Delimiter);
}

void cls_DBI::MetaStringToDBI(std::u16string&& DataString, std::u16string&& Delimiter) {
    MetaStringToDBI(DataString, Delimiter);
}

// The cutting methods use no member, but they belong to the store's interface.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
std::u16string cls_DBI::LeftCutToChar(std::u16string& Source, const std::u16string& Delimiter) {
    // An empty Source holds no delimiter, not even an empty one.
    const std::size_t at = Source.empty() ? std::u16string::npos : Source.find(Delimiter);
    if (at == std::u16string::npos) {
        throw std::invalid_argument("cls_DBI::LeftCutToChar: the delimiter does not occur");
    }
    std::u16string front = Source.substr(0, at);
    // erase cannot fail, so Source changes only once the result exists.
    Source.erase(0, at + Delimiter.size());
    return front;
}

std::u16string cls_DBI::LeftCutToChar(std::u16string&& Source, const std::u16string& Delimiter) {
    return LeftCutToChar(Source, Delimiter);
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
std::u16string cls_DBI::LeftCut(std::u16string& Source, int32_t Bytes, bool b_AffectSource) {
    if (Bytes < 0) {
        throw std::invalid_argument("cls_DBI::LeftCut: negative count");
    }
    const auto count = static_cast<std::size_t>(Bytes);
    if (b_AffectSource && count > Source.size()) {
        throw std::invalid_argument("cls_DBI::LeftCut: more characters to cut than Source holds");
    }
    std::u16string front = Source.substr(0, count);
    if (b_AffectSource) {
        Source.erase(0, count);
    }
    return front;
}

std::u16string cls_DBI::LeftCut(std::u16string&& Source, int32_t Bytes, bool b_AffectSource) {
    return LeftCut(Source, Bytes, b_AffectSource);
}
