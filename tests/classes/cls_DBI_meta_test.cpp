// Packing the store into a meta-string, unpacking it, and cutting strings at a delimiter or a
// count; also the forward-scan splitter under them.
#include "tamsrove/cls_DBI.h"
#include "classes/line_split.h"
#include "store_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace store_test;

/// The classic cut-and-copy loop, literally: what the single scan must reproduce.
Lines NaivePieces(std::u16string& text, const std::u16string& delimiter) {
    Lines pieces;
    while (!delimiter.empty() && text.find(delimiter) != std::u16string::npos) {
        const std::size_t at = text.find(delimiter);
        pieces.push_back(text.substr(0, at));
        text = text.substr(at + delimiter.size());
    }
    return pieces;
}

TEST(MetaString, PackingWritesEveryLineFollowedByTheDelimiter) {
    struct Case {
        Lines lines;
        std::u16string delimiter;
        std::u16string packed;
    };
    const std::vector<Case> cases = {
        {{u"a", u"b"}, u"", u"a\r\nb\r\n"},
        {{u"a", u"b"}, u"|", u"a|b|"},
        {{u""}, u"", u"\r\n"},
        {{u""}, u"<>", u"<>"},
        {{u"", u"a|b", u""}, u"|", u"|a|b||"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.lines) + " " + testing::PrintToString(c.delimiter));
        cls_DBI store = StoreOf(c.lines);
        std::u16string delimiter = c.delimiter;
        EXPECT_EQ(store.DBIToMetaString(delimiter), c.packed);
        EXPECT_EQ(LinesOf(store), c.lines);
    }
}

TEST(MetaString, EmptyDelimiterBecomesCrLfInTheCallersVariable) {
    cls_DBI store;
    std::u16string for_packing;
    std::u16string for_unpacking;
    std::u16string data = u"a\r\n";
    (void)store.DBIToMetaString(for_packing);
    store.MetaStringToDBI(data, for_unpacking);
    EXPECT_EQ(for_packing, u"\r\n");
    EXPECT_EQ(for_unpacking, u"\r\n");
    EXPECT_EQ(LinesOf(store), Lines{u"a"});
}

TEST(MetaString, UnpackingAddsEveryPieceBeforeADelimiterAndKeepsTheRest) {
    struct Case {
        Lines before;
        std::u16string data;
        std::u16string delimiter;
        Lines after;
        std::u16string rest;
    };
    const std::vector<Case> cases = {
        {{u""}, u"a|b|", u"|", {u"a", u"b"}, u""},
        {{u""}, u"a|b", u"|", {u"a"}, u"b"},
        {{u""}, u"abc", u"|", {u""}, u"abc"},
        {{u""}, u"", u"|", {u""}, u""},
        {{u"p"}, u"x|", u"|", {u"p", u"x"}, u""},
        {{u"p"}, u"||x|", u"|", {u"p", u"", u"", u"x"}, u""},
        {{u""}, u"||x|", u"|", {u"x"}, u""},
        {{u""}, u"\r\n\r\nx\r\n", u"", {u"x"}, u""},
        // Absorption stops with the first stored line, also when later pieces are empty.
        {{u""}, u"|x||y", u"|", {u"x", u""}, u"y"},
        {{u"", u"q"}, u"|", u"|", {u"", u"q", u""}, u""},
        {{u""}, u"xABAy", u"ABA", {u"x"}, u"y"},
        {{u""}, u"aaaaa", u"aa", {u""}, u"a"},
        {{u""}, u"a\u00e9\U0001F600|b|", u"|", {u"a\u00e9\U0001F600", u"b"}, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.data) + " " + testing::PrintToString(c.delimiter));
        cls_DBI store = StoreOf(c.before);
        std::u16string data = c.data;
        std::u16string delimiter = c.delimiter;
        store.MetaStringToDBI(data, delimiter);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(data, c.rest);
    }
}

TEST(MetaString, UnpackingMatchesTheCutAndCopyLoopOnEveryShortString) {
    // Every string of up to 7 characters over {a, |} against three delimiters.
    for (const std::u16string delimiter : {u"|", u"||", u"a|a"}) {
        for (unsigned length = 0; length <= 7; ++length) {
            for (unsigned bits = 0; bits < (1U << length); ++bits) {
                std::u16string text;
                for (unsigned i = 0; i < length; ++i) {
                    text += ((bits >> i) & 1U) != 0 ? u'|' : u'a';
                }
                SCOPED_TRACE(testing::PrintToString(text) + " " +
                             testing::PrintToString(delimiter));
                std::u16string expected_rest = text;
                cls_DBI expected;
                for (const std::u16string& piece : NaivePieces(expected_rest, delimiter)) {
                    expected.AddLineEnd(piece);
                }
                cls_DBI store;
                std::u16string data = text;
                store.MetaStringToDBI(data, std::u16string(delimiter));
                ASSERT_EQ(LinesOf(store), LinesOf(expected));
                ASSERT_EQ(data, expected_rest);
            }
        }
    }
}

TEST(MetaString, RoundTripGivesTheLinesBackExceptLeadingEmptyOnes) {
    cls_DBI original = StoreOf({u"", u"", u"a", u"", u"b c", u""});
    std::u16string packed = original.DBIToMetaString();
    cls_DBI unpacked;
    unpacked.MetaStringToDBI(packed);
    EXPECT_EQ(LinesOf(unpacked), (Lines{u"a", u"", u"b c", u""}));
    EXPECT_EQ(packed, u"");
}

// A cut takes the front of the source and leaves the rest there; one it cannot make raises
// std::invalid_argument and keeps the source as it was.
TEST(Cutting, LeftCutToCharCutsUpToTheFirstDelimiterOrRaises) {
    struct Case {
        std::u16string source;
        std::u16string delimiter;
        std::optional<std::u16string> result; ///< nothing: raises
        std::u16string rest;
    };
    const std::vector<Case> cases = {
        {u"k=v", u"=", u"k", u"v"},
        {u"xabyab", u"ab", u"x", u"yab"},
        {u"=", u"=", u"", u""},
        {u"abc", u"", u"", u"abc"},
        {u"abc", u"abc", u"", u""},
        {u"abc", u"|", std::nullopt, u"abc"},
        {u"", u"", std::nullopt, u""},
        {u"", u"|", std::nullopt, u""},
        {u"ab", u"abc", std::nullopt, u"ab"},
        {u"aB", u"ab", std::nullopt, u"aB"},
    };
    cls_DBI store;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " " + testing::PrintToString(c.delimiter));
        std::u16string source = c.source;
        if (c.result) {
            EXPECT_EQ(store.LeftCutToChar(source, c.delimiter), *c.result);
        } else {
            EXPECT_THROW((void)store.LeftCutToChar(source, c.delimiter), std::invalid_argument);
        }
        EXPECT_EQ(source, c.rest);
    }
}

TEST(Cutting, LeftCutTakesACountOfCharactersOrRaises) {
    struct Case {
        std::u16string source;
        int32_t count;
        bool affect_source;
        std::optional<std::u16string> result; ///< nothing: raises
        std::u16string rest;
    };
    const std::vector<Case> cases = {
        {u"abcdef", 2, false, u"ab", u"abcdef"},
        {u"abcdef", 2, true, u"ab", u"cdef"},
        {u"abcdef", 0, true, u"", u"abcdef"},
        {u"ab", 5, false, u"ab", u"ab"},
        {u"ab", 2, true, u"ab", u""},
        {u"", 0, true, u"", u""},
        {u"ab", -1, false, std::nullopt, u"ab"},
        {u"ab", -1, true, std::nullopt, u"ab"},
        {u"ab", INT32_MIN, false, std::nullopt, u"ab"},
        {u"ab", 3, true, std::nullopt, u"ab"},
        {u"ab", INT32_MAX, true, std::nullopt, u"ab"},
    };
    cls_DBI store;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " " + std::to_string(c.count) +
                     (c.affect_source ? " cutting" : ""));
        std::u16string source = c.source;
        if (c.result) {
            EXPECT_EQ(store.LeftCut(source, c.count, c.affect_source), *c.result);
        } else {
            EXPECT_THROW((void)store.LeftCut(source, c.count, c.affect_source),
                         std::invalid_argument);
        }
        EXPECT_EQ(source, c.rest);
    }
}

TEST(LineSplit, ReportsEveryPieceAndWhereTheRestStarts) {
    struct Case {
        std::u16string text;
        std::u16string delimiter;
        Lines pieces;
        std::size_t rest;
    };
    const std::vector<Case> cases = {
        {u"", u";", {}, 0},        {u";", u";", {u""}, 1}, {u";a;", u";", {u"", u"a"}, 3},
        {u"a;b", u";", {u"a"}, 2}, {u"abc", u";", {}, 0},  {u"a;;b", u";;", {u"a"}, 3},
        {u"a;b", u"", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text) + " " + testing::PrintToString(c.delimiter));
        Lines pieces;
        std::vector<std::size_t> nexts;
        const std::size_t rest = tamsrove::SplitAtDelimiter(
            c.text, c.delimiter, [&](std::u16string_view piece, std::size_t next) {
                pieces.emplace_back(piece);
                nexts.push_back(next);
            });
        EXPECT_EQ(pieces, c.pieces);
        EXPECT_EQ(rest, c.rest);
        EXPECT_EQ(nexts.empty() ? 0 : nexts.back(), c.rest);
    }
}

TEST(LineSplit, FindDelimiterAgreesWithFindAcrossBlocksOfEight) {
    // The search looks for the first unit eight units at a time: every length, start and
    // place of a match around those blocks must give what std::u16string_view::find gives.
    const std::u16string_view delimiters[] = {u"\r\n", u"|", u"ab", u"aab", u"\xD800\xDC00"};
    const std::u16string alphabet = u"ab\r\n|\xD800\xDC00";
    std::uint32_t seed = 3;
    for (std::size_t length = 0; length <= 40; ++length) {
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245U + 12345U;
            text += alphabet[(seed >> 16U) % alphabet.size()];
        }
        for (const std::u16string_view delimiter : delimiters) {
            for (std::size_t pos = 0; pos <= length; ++pos) {
                ASSERT_EQ(tamsrove::FindDelimiter(text, delimiter, pos),
                          std::u16string_view(text).find(delimiter, pos))
                    << testing::PrintToString(text) << ", from " << pos;
            }
        }
    }
}

TEST(LineSplit, FailedAddLeavesTheTextAsTheCutAndCopyLoopWould) {
    // Invariant: when adding a piece fails, the pieces added so far stay added and the text holds
    // what followed the failing piece's delimiter, exactly as after the classic loop.
    for (std::size_t fail_at = 0; fail_at < 3; ++fail_at) {
        SCOPED_TRACE(fail_at);
        std::u16string text = u"a|bb|ccc|d";
        Lines added;
        EXPECT_THROW(tamsrove::CutPiecesFromFront(text, u"|",
                                                  [&](std::u16string&& piece) {
                                                      if (added.size() == fail_at) {
                                                          throw std::bad_alloc();
                                                      }
                                                      added.push_back(std::move(piece));
                                                  }),
                     std::bad_alloc);
        const Lines all = {u"a", u"bb", u"ccc"};
        const Lines rest_after = {u"bb|ccc|d", u"ccc|d", u"d"};
        EXPECT_EQ(added, Lines(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(fail_at)));
        EXPECT_EQ(text, rest_after[fail_at]);
    }
}

} // namespace
