// Windows-1252 as Windows converts it, recorded once from the Windows build under Wine (code page
// 1252): MultiByteToWideChar for every byte, and WideCharToMultiByte with WC_NO_BEST_FIT_CHARS
// for every UTF-16 unit and for a few sequences around surrogates. The native build's stand-in
// and the Windows build are both checked against these tables.
//
// The recording showed that every byte but 0x80 to 0x9F becomes the character of its own
// number, and that a unit narrows to a byte exactly when that byte widens to it (every other
// unit becomes '?'); the tables are written in that shorter form.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace golden_1252 {

/// The characters of the bytes 0x80 to 0x9F (0x81, 0x8D, 0x8F, 0x90 and 0x9D keep their number).
inline constexpr std::array<char16_t, 32> kHighBytes = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

/// The character of every byte.
inline constexpr std::array<char16_t, 256> kWiden = [] {
    std::array<char16_t, 256> widen{};
    for (std::size_t b = 0; b < widen.size(); ++b) {
        widen[b] = b >= 0x80 && b < 0xA0 ? kHighBytes[b - 0x80] : static_cast<char16_t>(b);
    }
    return widen;
}();

/// A UTF-16 unit and the byte it becomes.
struct UnitByte {
    char16_t unit;
    unsigned char byte;
};

/// Every unit that becomes a byte other than '?'; every other unit becomes '?'.
inline constexpr std::array<UnitByte, 255> kNarrow = [] {
    std::array<UnitByte, 255> narrow{};
    std::size_t next = 0;
    for (std::size_t b = 0; b < kWiden.size(); ++b) {
        if (b != '?') {
            narrow[next++] = {kWiden[b], static_cast<unsigned char>(b)};
        }
    }
    return narrow;
}();

/// Text and the bytes it becomes.
struct Sequence {
    std::u16string_view text;
    std::string_view bytes;
};

/// Surrogates: each unit of a pair, and each lone surrogate, becomes one '?'.
inline constexpr std::array<Sequence, 6> kSequences = {{
    {u"\xD83D\xDE00", "??"},
    {u"\xD800", "?"},
    {u"\xDC00", "?"},
    {u"\xDC00\xD800", "??"},
    {u"a\xD800"
     u"b",
     "a?b"},
    {u"\xD800\xD800\xDC00", "???"},
}};

} // namespace golden_1252
