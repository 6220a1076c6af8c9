// The two passes of a load over blocks. A CR LF may be cut between two blocks: a block that
// ends in a CR leaves after_cr_ set, and a LF first in the next block is then part of that line
// end, never the start of a line.
#include "classes/line_stream.h"

#include "classes/read_form.h"

#include <algorithm>
#include <utility>

namespace tamsrove::dbi_files {
namespace {

// Steps over a LF that completes a CR LF begun at the end of the previous block.
const char* SkipCarriedLf(bool& after_cr, const char* p, const char* end) noexcept {
    if (after_cr && p < end) {
        after_cr = false;
        if (*p == '\n') {
            ++p;
        }
    }
    return p;
}

std::size_t Distance(const char* first, const char* last) noexcept {
    return static_cast<std::size_t>(last - first);
}

} // namespace

// --- First pass ----------------------------------------------------------------------------------

void LineCensus::Take(std::string_view block) {
    const char* p = SkipCarriedLf(after_cr_, block.data(), block.data() + block.size());
    const char* const end = block.data() + block.size();
    if (p == end) {
        return;
    }
    const char* const first = FindLineEnd(p, end);
    open_length_ += Distance(p, first);
    open_ = open_ || first > p;
    if (first == end) {
        crosses_ = true; // the line goes on in the next block
        return;
    }
    EndOpenLine(); // the line that ends at the block's first line end
    line_ends_ += CountLineEnds(std::string_view(first, Distance(first, end)));
    const char* const last = block.data() + block.rfind(kLineEndStart);
    const char* const tail = SkipLineEnd(last, end);
    after_cr_ = last + 1 == end;
    open_length_ = Distance(tail, end);
    open_ = tail < end;
    crosses_ = open_;
}

void LineCensus::Finish() {
    if (open_) {
        EndOpenLine();
        ++line_ends_; // the last line needs no line end
    }
}

void LineCensus::EndOpenLine() {
    if (crosses_) {
        long_lines_.push_back({line_ends_, open_length_});
    }
    open_length_ = 0;
    open_ = false;
    crosses_ = false;
}

// --- Second pass ---------------------------------------------------------------------------------

LineBuilder::LineBuilder(const SingleByteCodec& codec, const LineCensus* census)
    : codec_(codec), census_(census) {
    if (census_ != nullptr) {
        lines_.reserve(census_->Lines()); // exact: no regrowth, no spare slots
    }
}

void LineBuilder::Take(std::string_view block) {
    const char* const end = block.data() + block.size();
    const char* p = SkipCarriedLf(after_cr_, block.data(), end);
    while (p < end) {
        const char* const line_end = FindLineEnd(p, end);
        if (line_end == end) {
            ExtendOpenLine(p, end); // the line goes on in the next block
            return;
        }
        if (open_) {
            ExtendOpenLine(p, line_end);
            lines_.push_back(std::move(open_line_));
            open_line_ = std::u16string();
            open_ = false;
        } else {
            std::u16string line(Distance(p, line_end), u'\0');
            codec_.Widen(p, line.size(), line.data());
            lines_.push_back(std::move(line));
        }
        if (line_end + 1 == end) {
            after_cr_ = true;
            return;
        }
        p = SkipLineEnd(line_end, end);
    }
}

std::vector<std::u16string> LineBuilder::Finish() {
    if (open_) {
        lines_.push_back(std::move(open_line_));
        open_ = false;
    }
    return std::move(lines_);
}

void LineBuilder::ExtendOpenLine(const char* first, const char* last) {
    if (!open_) {
        open_ = true;
        open_line_.reserve(ExpectedLength(lines_.size()));
    }
    AppendWidened(codec_, std::string_view(first, Distance(first, last)), open_line_);
}

std::size_t LineBuilder::ExpectedLength(std::size_t index) noexcept {
    if (census_ == nullptr) {
        return 0;
    }
    const std::vector<LongLine>& long_lines = census_->LongLines();
    while (next_long_ < long_lines.size() && long_lines[next_long_].index < index) {
        ++next_long_;
    }
    if (next_long_ < long_lines.size() && long_lines[next_long_].index == index) {
        return long_lines[next_long_].length;
    }
    return 0; // unknown: the line grows as its pieces come
}

// --- Blocks in memory ----------------------------------------------------------------------------

std::vector<std::u16string> SplitLinesInBlocks(std::string_view bytes, std::size_t block_size) {
    const SingleByteCodec* codec = AnsiCodec();
    if (codec == nullptr) {
        return SplitLines(bytes);
    }
    block_size = std::max<std::size_t>(block_size, 1);
    return BuildLines(*codec, [&](const auto& visit) {
        for (std::size_t at = 0; at < bytes.size(); at += block_size) {
            visit(bytes.substr(at, block_size));
        }
    });
}

} // namespace tamsrove::dbi_files
