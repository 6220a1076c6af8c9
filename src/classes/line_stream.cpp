// The two passes of a load over blocks, both cutting their blocks with one BlockCutter.
#include "classes/line_stream.h"

#include "classes/line_limit.h"
#include "classes/read_form.h"

#include <stdexcept>
#include <utility>

namespace tamsrove::dbi_files {
namespace {

constexpr const char* kTooManyLines = "the file holds more lines than a store may";

} // namespace

// --- Cutting -------------------------------------------------------------------------------------

BlockLines BlockCutter::Cut(std::string_view block) noexcept {
    const char* const end = block.data() + block.size();
    const char* p = block.data();
    if (after_cr_ && p < end) {
        after_cr_ = false;
        p = SkipLineEndRest(p, end); // the LF of a CR LF begun in the last block
    }
    if (p == end) {
        return {}; // an empty block, or a LF alone after such a CR
    }
    const char* const first = FindLineEnd(p, end);
    if (first == end) {
        return {std::string_view(p, static_cast<std::size_t>(end - p)), false, {}, {}};
    }
    const char* const last = block.data() + block.rfind(kLineEndStart);
    const char* const tail = SkipLineEnd(last, end);
    after_cr_ = IsAtLineEnd(end - 1); // its LF, if any, comes first in the next block
    const char* const whole = SkipLineEnd(first, end);
    return {std::string_view(p, static_cast<std::size_t>(first - p)), true,
            std::string_view(whole, static_cast<std::size_t>(tail - whole)),
            std::string_view(tail, static_cast<std::size_t>(end - tail))};
}

// --- The counting pass ---------------------------------------------------------------------------

void LineCounter::Take(std::string_view block) {
    const BlockLines cut = cutter_.Cut(block);
    open_length_ += cut.head.size();
    open_ = open_ || !cut.head.empty();
    if (!cut.head_ends) {
        crosses_ = open_; // the open line goes on in the next block
        return;
    }
    EndOpenLine(); // the line that ends at the block's first line end
    line_ends_ += 1 + CountLineEnds(cut.whole);
    open_length_ = cut.tail.size();
    open_ = !cut.tail.empty();
    crosses_ = open_;
}

void LineCounter::Finish() {
    if (open_) {
        EndOpenLine();
        ++line_ends_; // the last line needs no line end
    }
}

void LineCounter::EndOpenLine() {
    if (crosses_) {
        long_lines_.push_back({line_ends_, open_length_});
    }
    open_length_ = 0;
    open_ = false;
    crosses_ = false;
}

void CheckCounts(const LineCounter& counts) {
    CheckLineCount(counts.Lines(), kTooManyLines);
}

// --- The building pass ---------------------------------------------------------------------------

LineBuilder::LineBuilder(const platform::SingleByteCodec* codec, const LineCounter* counts)
    : codec_(codec), counts_(counts), max_lines_(MaxLines()) {
    if (counts_ != nullptr) {
        lines_.reserve(counts_->Lines()); // exact: no regrowth, no spare slots
    }
}

void LineBuilder::Take(std::string_view block) {
    const BlockLines cut = cutter_.Cut(block);
    if (!cut.head_ends) {
        if (!cut.head.empty()) {
            ExtendOpenLine(cut.head); // the line goes on in the next block
        }
        return;
    }
    if (open_) {
        ExtendOpenLine(cut.head);
        AddLine(std::exchange(open_line_, std::u16string()));
        open_ = false;
    } else {
        AddLine(Widened(cut.head));
    }
    const char* const end = cut.whole.data() + cut.whole.size();
    for (const char* p = cut.whole.data(); p < end;) {
        const char* const line_end = FindLineEnd(p, end);
        AddLine(Widened(std::string_view(p, static_cast<std::size_t>(line_end - p))));
        p = SkipLineEnd(line_end, end);
    }
    if (!cut.tail.empty()) {
        ExtendOpenLine(cut.tail);
    }
}

std::vector<std::u16string> LineBuilder::Finish() {
    if (open_) {
        AddLine(std::move(open_line_));
        open_ = false;
    }
    return std::move(lines_);
}

void LineBuilder::AddLine(std::u16string&& line) {
    if (lines_.size() >= max_lines_) {
        throw std::length_error(kTooManyLines);
    }
    lines_.push_back(std::move(line));
}

void LineBuilder::ExtendOpenLine(std::string_view piece) {
    if (!open_) {
        open_ = true;
        open_line_.reserve(ExpectedLength(lines_.size()));
    }
    if (codec_ == nullptr) {
        open_line_ += platform::AnsiToWide(piece);
    } else {
        platform::AppendWidened(*codec_, piece, open_line_);
    }
}

std::u16string LineBuilder::Widened(std::string_view bytes) const {
    if (codec_ == nullptr) {
        return platform::AnsiToWide(bytes);
    }
    std::u16string line(bytes.size(), u'\0');
    codec_->Widen(bytes.data(), bytes.size(), line.data());
    return line;
}

std::size_t LineBuilder::ExpectedLength(std::size_t index) noexcept {
    if (counts_ == nullptr) {
        return 0;
    }
    const std::vector<LongLine>& long_lines = counts_->LongLines();
    while (next_long_ < long_lines.size() && long_lines[next_long_].index < index) {
        ++next_long_;
    }
    if (next_long_ < long_lines.size() && long_lines[next_long_].index == index) {
        return long_lines[next_long_].length;
    }
    return 0; // unknown: the line grows as its pieces come
}

} // namespace tamsrove::dbi_files
