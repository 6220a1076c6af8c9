// Fuzzes loading text files: the input is a file's bytes. The store's splitting (memchr
// scan, exact line count, SIMD widening, blocks of any size) must agree with a naive model that
// walks the bytes one at a time and converts each byte through the golden 1252 table recorded
// from Windows. The codec's narrowing is checked the same way, with the input read as UTF-16
// units. Now and then the bytes go through a real file: FileToDBI must give the model's lines,
// and DBIToFile followed by FileToDBI must give them back unchanged.
#include "tamsrove/cls_DBI.h"
#include "classes/line_stream.h"
#include "base/ansi_codec.h"

#include "../tests/classes/platform/golden_1252.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

/// The line-end rule as a state machine over single bytes: CR ends a line and swallows one LF
/// right after it; anything else, a lone LF included, belongs to the line.
std::vector<std::string> ModelLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false; // some byte of the current line has been seen
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += bytes[i];
            open = true;
        }
    }
    if (open) {
        lines.push_back(line);
    }
    return lines;
}

/// Each byte converted through the golden table by itself.
std::u16string ModelWiden(std::string_view bytes) {
    std::u16string wide;
    for (const char byte : bytes) {
        wide += golden_1252::kWiden[static_cast<unsigned char>(byte)];
    }
    return wide;
}

/// The golden byte of a UTF-16 unit: '?' where 1252 has none.
char ModelNarrow(char16_t unit) {
    for (const auto& [golden_unit, byte] : golden_1252::kNarrow) {
        if (golden_unit == unit) {
            return static_cast<char>(byte);
        }
    }
    return '?';
}

/// The lines of a load's two passes over bytes shown in blocks of block_size bytes.
std::vector<std::u16string> SplitInBlocks(std::string_view bytes, std::size_t block_size) {
    return tamsrove::dbi_files::BuildLines(tamsrove::platform::AnsiCodec(), [&](const auto& visit) {
        for (std::size_t at = 0; at < bytes.size(); at += block_size) {
            visit(bytes.substr(at, block_size));
        }
    });
}

std::vector<std::u16string> ModelStoreLines(std::string_view bytes) {
    std::vector<std::u16string> lines;
    for (const std::string& line : ModelLines(bytes)) {
        lines.push_back(ModelWiden(line));
    }
    return lines;
}

void CheckSplitting(std::string_view bytes, const std::vector<std::u16string>& expected) {
    tamsrove::dbi_files::LineCounter counts; // the counting pass of a load
    counts.Take(bytes);
    counts.Finish();
    Check(counts.Lines() == expected.size());
    // A load splits the bytes in blocks; small blocks put every border somewhere new.
    for (const std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7},
                                    std::size_t{16}, bytes.size() + 1}) {
        Check(SplitInBlocks(bytes, block) == expected);
    }
    std::u16string widened = u"<";
    tamsrove::platform::AppendWidened(*tamsrove::platform::AnsiCodec(), bytes, widened);
    Check(widened == u"<" + ModelWiden(bytes));
}

void CheckNarrowing(const uint8_t* data, std::size_t size) {
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    std::string narrowed(units.size(), '\0');
    const bool exact = tamsrove::platform::AnsiNarrowingCodec()->NarrowExactly(
        units.data(), units.size(), narrowed.data());
    bool model_exact = true;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char byte = ModelNarrow(units[i]);
        Check(narrowed[i] == byte);
        model_exact = model_exact && (byte != '?' || units[i] == u'?');
    }
    Check(exact == model_exact);
}

std::filesystem::path ScratchFile() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("tamsrove-fuzz-text-" + std::to_string(reinterpret_cast<std::uintptr_t>(&path)) + ".txt");
    return path;
}

void CheckFileRoundTrip(std::string_view bytes, const std::vector<std::u16string>& expected) {
    const std::filesystem::path path = ScratchFile();
    {
        std::FILE* file = std::fopen(path.string().c_str(), "wb");
        Check(file != nullptr);
        Check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
        Check(std::fclose(file) == 0);
    }
    const std::vector<std::u16string> storeLines =
        expected.empty() ? std::vector<std::u16string>{u""} : expected;

    cls_DBI store;
    store.AddLineEnd(u"old"); // a load replaces every line
    store.FileToDBI(path.u16string());
    Check(store.ErrorCode().empty());
    Check(std::vector<std::u16string>(store.begin(), store.end()) == storeLines);

    // Appending to a removed file writes the same bytes as a replacement, without its flush
    // to disk, which would slow the fuzzer down a hundredfold.
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    store.DBIToFile(path.u16string(), 1);
    cls_DBI back;
    back.FileToDBI(path.u16string());
    Check(store.ErrorCode().empty() && back.ErrorCode().empty());
    Check(std::vector<std::u16string>(back.begin(), back.end()) == storeLines);
    std::filesystem::remove(path, ignored);
}

uint32_t Fnv1a(std::string_view bytes) {
    uint32_t hash = 2166136261U;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 16777619U;
    }
    return hash;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::u16string> expected = ModelStoreLines(bytes);
    CheckSplitting(bytes, expected);
    CheckNarrowing(data, size);
    // Real files are slower than everything else together: one input in 16 goes through one,
    // chosen by a hash so that mutations of one input do not all do so.
    if (Fnv1a(bytes) % 16 == 0) {
        CheckFileRoundTrip(bytes, expected);
    }
    return 0;
}
