// The read form over a file that arrives in blocks (see read_form.h for the form itself).
//
// A load reads the file twice through one small reused buffer instead of holding the whole
// file: a first pass (LineCensus) counts the lines and measures every line that crosses a block
// border, a second (LineBuilder) allocates each line once at its final size and widens the bytes
// straight into it, a line that crosses borders piece by piece. Both passes must see the same
// blocks: each block is filled completely, only the last one may be short.
#pragma once

#include "classes/ansi_codec.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamsrove::dbi_files {

/// A line that crosses at least one block border: its index and its length in bytes.
struct LongLine {
    std::size_t index = 0;
    std::size_t length = 0;
};

/// The first pass: the number of lines and the lengths of the lines that cross block borders.
class LineCensus {
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

    std::size_t line_ends_ = 0;   // lines ended so far; after Finish, all lines
    std::size_t open_length_ = 0; // bytes of the line that has begun and not ended
    bool open_ = false;           // some byte of a line follows the last line end
    bool crosses_ = false;        // the open line began in an earlier block
    bool after_cr_ = false;       // the last block ended in a CR, whose LF may come first next
    std::vector<LongLine> long_lines_;
};

/// The second pass: the lines themselves, each widened into a string of its final size.
class LineBuilder {
public:
    /// A builder sized by census when one is given; without one the lines grow as they come.
    /// Should the bytes differ from the census's, the lines are still exactly those of the bytes.
    LineBuilder(const SingleByteCodec& codec, const LineCensus* census);

    /// Splits and widens the next block.
    void Take(std::string_view block);
    /// The lines, at the end of the file.
    [[nodiscard]] std::vector<std::u16string> Finish();

private:
    void ExtendOpenLine(const char* first, const char* last);
    [[nodiscard]] std::size_t ExpectedLength(std::size_t index) noexcept;

    const SingleByteCodec& codec_;
    const LineCensus* census_;
    std::size_t next_long_ = 0; // the first of census_->LongLines() not yet passed
    std::vector<std::u16string> lines_;
    std::u16string open_line_;
    bool open_ = false;
    bool after_cr_ = false;
};

/// The lines of a source that can be read twice: each call of for_each_block(visit) shows every
/// block of the source to visit, in order, the same blocks both times.
template <typename ForEachBlock>
[[nodiscard]] std::vector<std::u16string> BuildLines(const SingleByteCodec& codec,
                                                     ForEachBlock&& for_each_block) {
    LineCensus census;
    for_each_block([&census](std::string_view block) { census.Take(block); });
    census.Finish();
    LineBuilder builder(codec, &census);
    for_each_block([&builder](std::string_view block) { builder.Take(block); });
    return builder.Finish();
}

/// The lines of bytes cut into blocks of block_size bytes, through both passes; the same as
/// SplitLines(bytes) for every block size.
[[nodiscard]] std::vector<std::u16string> SplitLinesInBlocks(std::string_view bytes,
                                                             std::size_t block_size);

} // namespace tamsrove::dbi_files
