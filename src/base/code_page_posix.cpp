// The ANSI code page on POSIX: Windows-1252 stands in for the system's, converted by the one
// single-byte codec.
#include "base/ansi_codec.h"
#include "base/code_page.h"

#include <array>
#include <cstddef>

namespace tamsrove::platform {
namespace {

// --- Windows-1252 --------------------------------------------------------------------------------

// Bytes 0x80..0x9F; the five bytes 1252 leaves unassigned map to the C1 control of the same
// value, as Windows' own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr AnsiTable MakeCp1252Table() {
    AnsiTable table{};
    for (std::size_t b = 0; b < table.size(); ++b) {
        table[b] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return table;
}

constexpr AnsiTable kCp1252 = MakeCp1252Table();

} // namespace

const AnsiTable* SingleByteAnsiTable() noexcept {
    return &kCp1252;
}

// The code page is always single-byte here, so both codecs exist.
std::u16string AnsiToWide(std::string_view bytes) {
    std::u16string out;
    AppendWidened(*AnsiCodec(), bytes, out);
    return out;
}

bool AppendWideAsAnsi(std::u16string_view text, std::string& out, Unmappable rule) {
    const SingleByteCodec& codec = *AnsiNarrowingCodec();
    const std::size_t start = out.size();
    out.resize(start + text.size());
    if (rule == Unmappable::Substitute) {
        codec.Narrow(text.data(), text.size(), out.data() + start);
        return true;
    }
    if (!codec.NarrowExactly(text.data(), text.size(), out.data() + start)) {
        out.resize(start);
        return false;
    }
    return true;
}

} // namespace tamsrove::platform
