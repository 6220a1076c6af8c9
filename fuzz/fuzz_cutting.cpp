// Fuzzes the string cutting: LeftCutToChar, LeftCut and the forward-scan splitter, each against
// a literal, obviously correct model written with 1-based positions and whole-string copies.
#include "tamsrove/cls_DBI.h"
#include "classes/line_split.h"
#include "fuzz_bytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

/// Aborts the run, so that libFuzzer records the input as a crash.
void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

/// 1-based position of the first find in text; 0 when absent. An empty text holds nothing, and
/// an empty find is at position 1 of any other text.
std::size_t Position(const std::u16string& text, const std::u16string& find) {
    if (text.empty()) {
        return 0;
    }
    if (find.empty()) {
        return 1;
    }
    for (std::size_t start = 0; start + find.size() <= text.size(); ++start) {
        if (text.compare(start, find.size(), find) == 0) {
            return start + 1;
        }
    }
    return 0;
}

std::u16string LeftChars(const std::u16string& text, std::size_t count) {
    return text.substr(0, count);
}

std::u16string RightChars(const std::u16string& text, std::size_t count) {
    return text.substr(text.size() - count);
}

struct Cut {
    std::u16string result;
    std::u16string source;
};

/// The model of LeftCutToChar; nothing when it must fail.
std::optional<Cut> ModelLeftCutToChar(const std::u16string& source, const std::u16string& delim) {
    const std::size_t p = Position(source, delim);
    if (p == 0) {
        return std::nullopt;
    }
    Cut cut{LeftChars(source, p - 1), {}};
    if (source.size() < delim.size() + cut.result.size()) {
        return std::nullopt;
    }
    cut.source = RightChars(source, source.size() - delim.size() - cut.result.size());
    return cut;
}

/// The model of LeftCut; nothing when it must fail.
std::optional<Cut> ModelLeftCut(const std::u16string& source, int64_t bytes, bool affect) {
    if (bytes < 0) {
        return std::nullopt;
    }
    Cut cut{LeftChars(source, static_cast<std::size_t>(bytes)), source};
    if (affect) {
        const int64_t keep = static_cast<int64_t>(source.size()) - bytes;
        if (keep < 0) {
            return std::nullopt;
        }
        cut.source = RightChars(source, static_cast<std::size_t>(keep));
    }
    return cut;
}

void CheckLeftCutToChar(cls_DBI& store, const std::u16string& source, const std::u16string& delim) {
    const std::optional<Cut> expected = ModelLeftCutToChar(source, delim);
    std::u16string actual = source;
    try {
        const std::u16string result = store.LeftCutToChar(actual, delim);
        Check(expected && result == expected->result && actual == expected->source);
    } catch (const std::invalid_argument&) {
        Check(!expected && actual == source);
    }
}

void CheckLeftCut(cls_DBI& store, const std::u16string& source, int32_t bytes, bool affect) {
    const std::optional<Cut> expected = ModelLeftCut(source, bytes, affect);
    std::u16string actual = source;
    try {
        const std::u16string result = store.LeftCut(actual, bytes, affect);
        Check(expected && result == expected->result && actual == expected->source);
    } catch (const std::invalid_argument&) {
        Check(!expected && actual == source);
    }
}

/// The splitter against repeated LeftCutToChar of the model; then with an add that fails at piece
/// fail_at: the pieces before it arrive, and the text is left as the model's loop leaves it.
void CheckSplitter(const std::u16string& text, const std::u16string& delim, std::size_t fail_at) {
    std::vector<std::u16string> pieces;
    std::vector<std::u16string> restAfter; // the text left once each piece is cut
    std::u16string rest = text;
    while (!delim.empty() && Position(rest, delim) != 0) {
        const std::optional<Cut> cut = ModelLeftCutToChar(rest, delim);
        Check(cut.has_value());
        pieces.push_back(cut->result);
        rest = cut->source;
        restAfter.push_back(rest);
    }

    std::vector<std::u16string> found;
    const std::size_t restStart = tamsrove::SplitAtDelimiter(
        text, delim, [&](std::u16string_view piece, std::size_t) { found.emplace_back(piece); });
    Check(found == pieces && text.substr(restStart) == rest);

    const bool fails = fail_at < pieces.size();
    std::u16string cut = text;
    std::vector<std::u16string> added;
    bool threw = false;
    try {
        tamsrove::CutPiecesFromFront(cut, delim, [&](std::u16string&& piece) {
            if (added.size() == fail_at) {
                throw std::runtime_error("add failed");
            }
            added.push_back(std::move(piece));
        });
    } catch (const std::runtime_error&) {
        threw = true;
    }
    const std::size_t kept = fails ? fail_at : pieces.size();
    Check(threw == fails);
    Check(added == std::vector<std::u16string>(pieces.begin(),
                                               pieces.begin() + static_cast<std::ptrdiff_t>(kept)));
    Check(cut == (fails ? restAfter[fail_at] : rest));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::FuzzBytes in(data, size);
    const std::u16string delim = in.Text(3);
    const int32_t bytes = in.Flag() ? in.AnyInt32() : in.SmallIndex(256);
    const bool affect = in.Flag();
    const std::size_t fail_at = in.Below(8);
    const std::u16string source = in.Text(200);

    cls_DBI store;
    CheckLeftCutToChar(store, source, delim);
    CheckLeftCut(store, source, bytes, affect);
    CheckSplitter(source, delim, fail_at);
    // The cutting methods never touch the store.
    Check(store.LinesNumber() == 0 && store.GetLine(0).empty() && store.ErrorCode().empty());
    return 0;
}
