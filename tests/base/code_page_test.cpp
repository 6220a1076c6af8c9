// The ANSI code page and its codec, natively and under Wine, against the golden tables recorded
// from Windows' own conversion of code page 1252.
#include "base/ansi_codec.h"
#include "base/code_page.h"

#include "golden_1252.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

namespace platform = tamsrove::platform;

/// The golden byte of every UTF-16 unit: '?' where 1252 has none.
std::array<char, 0x10000> GoldenNarrowTable() {
    std::array<char, 0x10000> table{};
    table.fill('?');
    for (const auto& [unit, byte] : golden_1252::kNarrow) {
        table[unit] = static_cast<char>(byte);
    }
    return table;
}

TEST(AnsiCodePage, WidensEveryByteAsWindowsDoesInTheConversionAndTheTable) {
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) {
        all[static_cast<std::size_t>(b)] = static_cast<char>(b);
    }
    const std::u16string wide = platform::AnsiToWide(all);
    ASSERT_EQ(wide.size(), 256U);
    const platform::AnsiTable* table = platform::SingleByteAnsiTable();
    ASSERT_NE(table, nullptr);
    for (std::size_t b = 0; b < 256; ++b) {
        EXPECT_EQ(wide[b], golden_1252::kWiden[b]) << "byte " << b;
        EXPECT_EQ((*table)[b], golden_1252::kWiden[b]) << "byte " << b;
    }
}

TEST(AnsiCodePage, NarrowsEveryUnitAsWindowsDoesWithoutBestFit) {
    const std::array<char, 0x10000> expected = GoldenNarrowTable();
    std::u16string every_unit(0x10000, u'\0');
    for (std::size_t u = 0; u < every_unit.size(); ++u) {
        every_unit[u] = static_cast<char16_t>(u);
    }
    // One unit at a time: a pair formed by neighbouring units must not blur the table.
    for (std::size_t u = 0; u < every_unit.size(); ++u) {
        std::string out;
        platform::AppendWideAsAnsi(std::u16string_view(every_unit).substr(u, 1), out);
        ASSERT_EQ(out.size(), 1U) << "unit " << u;
        EXPECT_EQ(out[0], expected[u]) << "unit " << u;
    }
}

TEST(AnsiCodePage, SequencesNarrowAsWindowsDoes) {
    // Surrogates as Windows narrows them; look-alikes that best fit would make 'A', '/' and '\\'
    // (text that only looked like a path) become '?'; the empty text adds nothing.
    std::vector<golden_1252::Sequence> cases(golden_1252::kSequences.begin(),
                                             golden_1252::kSequences.end());
    cases.push_back({u"\x0100\xFF0F\xFF3C", "???"});
    cases.push_back({u"", ""});
    for (const auto& [text, bytes] : cases) {
        SCOPED_TRACE(::testing::Message() << "expected " << bytes);
        std::string out = "x";
        platform::AppendWideAsAnsi(text, out);
        EXPECT_EQ(out, "x" + std::string(bytes));
    }
}

TEST(AnsiCodePage, RefusingNarrowingFailsWholeOnAnyCharacterWithoutExactForm) {
    struct Case {
        std::u16string_view text;
        bool converts;
        std::string_view bytes;
    };
    const Case cases[] = {
        {u"a?b", true, "a?b"},                     // a real question mark is no substitution
        {u"caf\u00E9\u20AC", true, "caf\xE9\x80"}, // exact forms in 1252
        {u"a\u0100", false, ""},                   // best fit would give 'A'
        {u"\xFF0F", false, ""},                    // best fit would give '/'
        {u"a\xD800", false, ""},                   // lone surrogate
        {u"\xD83D\xDE00", false, ""},              // a pair outside the code page
    };
    for (const Case& c : cases) {
        std::string out = "x";
        EXPECT_EQ(platform::AppendWideAsAnsi(c.text, out, platform::Unmappable::Refuse), c.converts)
            << out;
        EXPECT_EQ(out, "x" + std::string(c.bytes));
    }
}

TEST(AnsiCodePage, EmptyTextWidensToNothing) {
    EXPECT_EQ(platform::AnsiToWide(""), u"");
}

TEST(AnsiCodec, WidensAsTheGoldenTableAtEveryOffset) {
    // Lengths and positions around the codec's 16-byte blocks and its last half block: 0xE9 is
    // its own character in 1252, 0x80 and 0x9F are not.
    const platform::SingleByteCodec* codec = platform::AnsiCodec();
    ASSERT_NE(codec, nullptr);
    for (const char odd : {'\xE9', '\x80', '\x9F', '\0'}) {
        for (std::size_t length = 1; length <= 50; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                std::string bytes(length, 'x');
                std::u16string expected(length, u'x');
                if (at < length) {
                    bytes[at] = odd;
                    expected[at] = golden_1252::kWiden[static_cast<unsigned char>(odd)];
                }
                SCOPED_TRACE(testing::Message() << "byte " << int{static_cast<unsigned char>(odd)}
                                                << ", length " << length << ", at " << at);
                std::u16string appended = u"<";
                platform::AppendWidened(*codec, bytes, appended);
                ASSERT_EQ(appended, u"<" + expected);
            }
        }
    }
}

TEST(AnsiCodec, NarrowsAsTheGoldenTableAtEveryOffset) {
    const platform::SingleByteCodec* codec = platform::AnsiNarrowingCodec();
    ASSERT_NE(codec, nullptr);
    const std::array<char, 0x10000> golden = GoldenNarrowTable();
    for (const char16_t odd :
         {u'\x00E9', u'\x0100', u'\xD800', u'\x0080', u'\x0081', u'\x20AC', u'\xFF0F', u'\0'}) {
        for (std::size_t length = 1; length <= 40; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                std::u16string text(length, u'y');
                std::string expected(length, 'y');
                if (at < length) {
                    text[at] = odd;
                    expected[at] = golden[odd];
                }
                SCOPED_TRACE(testing::Message()
                             << "unit " << int{odd} << ", length " << length << ", at " << at);
                std::string out(length, '\0');
                const bool exact = codec->NarrowExactly(text.data(), length, out.data());
                ASSERT_EQ(out, expected);
                ASSERT_EQ(exact, at == length || golden[odd] != '?');
            }
        }
    }
}

} // namespace
