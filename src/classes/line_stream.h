// Cutting a file that arrives in blocks into lines (read_form.h gives the line-end rule).
//
// A load reads the file twice through one small reused buffer instead of holding the whole
// file: the counting pass (LineCounter) counts the lines and measures every line that crosses a
// block border, the building pass (LineBuilder) allocates each line once at its final size and
// widens the bytes straight into it, a line that crosses borders piece by piece. Both passes cut
// their blocks with one BlockCutter, so both see the same lines. Both must see the same blocks:
// each block is filled completely, only the last one may be short. A source that can be read
// only once (a pipe) goes through the building pass alone, and its lines grow as they come.
#pragma once

#include "base/ansi_codec.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsrove::dbi_files {

/// One block cut at its line ends, in order: head, then whole, then tail.
struct BlockLines {
    /// The bytes before the block's first line end: the rest of a line begun in an earlier
    /// block, or a new line.
    std::string_view head;
    /// A line end follows head in this block; else head is the whole block and the line goes on.
    bool head_ends = false;
    /// The lines that begin and end in this block, each with its line end.
    std::string_view whole;
    /// The start of a line that goes on in the next block.
    std::string_view tail;
};

/// Cuts the blocks of one source, in order, at their line ends. A CR LF may be cut between two
/// blocks: a block that ends in a CR is remembered, and a LF first in the next block then ends
/// that line end, never starts a line.
class BlockCutter {
public:
    [[nodiscard]] BlockLines Cut(std::string_view block) noexcept;

private:
    bool after_cr_ = false; // the last block ended in a CR
};

/// A line that crosses at least one block border: its index and its length in bytes.
struct LongLine {
    std::size_t index = 0;
    std::size_t length = 0;
};

/// The counting pass: the number of lines and the lengths of the lines that cross block
/// borders.
class LineCounter {
public:
    /// Counts the next block.
    void Take(std::string_view block);
    /// Ends the count at the end of the file.
    void Finish();

    /// The number of lines, once finished.
    [[nodiscard]] std::size_t Lines() const noexcept { return line_ends_; }
    /// The lines that crossed block borders, in line order.
    [[nodiscard]] const std::vector<LongLine>& LongLines() const noexcept { return long_lines_; }

private:
    void EndOpenLine();

    BlockCutter cutter_;
    std::size_t line_ends_ = 0;   // lines ended so far; after Finish, all lines
    std::size_t open_length_ = 0; // bytes of the line that has begun and not ended
    bool open_ = false;           // some byte of a line follows the last line end
    bool crosses_ = false;        // the open line goes on past a block border
    std::vector<LongLine> long_lines_;
};

/// The building pass: the lines themselves, each widened into a string of its final size.
class LineBuilder {
public:
    /// A builder that widens through codec, or through the system's conversion when it is
    /// nullptr (a multi-byte code page, whose characters a block border could cut: the source
    /// must then come in one block). Sized by counts, the counting pass over the same bytes,
    /// when given; without it the lines grow as they come. Should the bytes differ from the
    /// counted ones, the lines are still exactly those of the bytes, and never more than the
    /// line limit.
    LineBuilder(const platform::SingleByteCodec* codec, const LineCounter* counts);

    /// Splits and widens the next block.
    void Take(std::string_view block);
    /// The lines, at the end of the file.
    [[nodiscard]] std::vector<std::u16string> Finish();

private:
    void AddLine(std::u16string&& line);
    void ExtendOpenLine(std::string_view piece);
    [[nodiscard]] std::u16string Widened(std::string_view bytes) const;
    [[nodiscard]] std::size_t ExpectedLength(std::size_t index) noexcept;

    const platform::SingleByteCodec* codec_;
    const LineCounter* counts_;
    std::size_t max_lines_; // the line limit, read once
    BlockCutter cutter_;
    std::size_t next_long_ = 0; // the first of counts_->LongLines() not yet passed
    std::vector<std::u16string> lines_;
    std::u16string open_line_;
    bool open_ = false;
};

/// Throws std::length_error when the counting pass found more lines than a store may hold.
void CheckCounts(const LineCounter& counts);

/// The lines of a source that can be read twice: each call of for_each_block(visit) shows every
/// block of the source to visit, in order, the same blocks both times. The lines are counted
/// and checked against the line limit before the first one is made.
template <typename ForEachBlock>
[[nodiscard]] std::vector<std::u16string> BuildLines(const platform::SingleByteCodec* codec,
                                                     ForEachBlock&& for_each_block) {
    LineCounter counts;
    for_each_block([&counts](std::string_view block) { counts.Take(block); });
    counts.Finish();
    CheckCounts(counts);
    LineBuilder builder(codec, &counts);
    for_each_block([&builder](std::string_view block) { builder.Take(block); });
    return builder.Finish();
}

} // namespace tamsrove::dbi_files
