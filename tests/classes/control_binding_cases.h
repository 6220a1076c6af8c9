// The line store's control binding, the cases every kind of control shares: what each method
// adds where, the empty store's special cases, cutting at delimiters, round trips and
// characters outside the ANSI code page. Each test program instantiates the suite for its
// controls with a kit (the in-memory controls in linestore_tests, the real Win32 controls in
// linestore_win32_tests); include this header in one file of a program only.
//
// A kit makes controls that hold given items or text and reads them back by its own means:
//   List(items, order) and Combo(items, edit_text, order) and TextBox(text) make a control and
//   return its adaptor, which lives as long as the kit; Items(list or combo), EditText(combo),
//   Text(box) read a control back; Assignments(box) counts the times its text was set since
//   it was made.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tamsrove/cls_DBI.h"
#include "tamsrove/memory_controls.h"
#include "store_test_support.h"

namespace store_test {

template <class Kit> class ControlBinding : public testing::Test {
protected:
    Kit kit_;
};

TYPED_TEST_SUITE_P(ControlBinding);

// --- AddDBIToListBox ---------------------------------------------------------------------------

/// A store, the items of a list, and the list's items or the store's lines after a call.
struct StoreAndList {
    Lines store;
    Lines items;
    Lines after;
};

TYPED_TEST_P(ControlBinding, ListGetsEveryLineAfterItsItems) {
    // The empty store ({u""}) adds no item.
    const StoreAndList cases[] = {
        {{u"a"}, {}, {u"a"}},
        {{u"a", u"b"}, {u"z"}, {u"z", u"a", u"b"}},
        {{u"", u"x"}, {}, {u"", u"x"}},
        {{u"x", u""}, {u"z"}, {u"z", u"x", u""}},
        {{u"", u""}, {}, {u"", u""}},
        {{u"b", u"a", u""}, {u"z"}, {u"z", u"b", u"a", u""}},
        {{u""}, {}, {}},
        {{u""}, {u"z"}, {u"z"}},
    };
    for (const StoreAndList& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.store) + " into " + testing::PrintToString(c.items));
        auto& list = this->kit_.List(c.items, tamsrove::ItemOrder::Appended);
        StoreOf(c.store).AddDBIToListBox(list);
        EXPECT_EQ(this->kit_.Items(list), c.after);
    }
}

TYPED_TEST_P(ControlBinding, SortedListPlacesEachLineInOrder) {
    auto& list = this->kit_.List({u"grape"}, tamsrove::ItemOrder::Sorted);
    StoreOf({u"pear", u"apple", u"fig"}).AddDBIToListBox(list);
    EXPECT_EQ(this->kit_.Items(list), (Lines{u"apple", u"fig", u"grape", u"pear"}));
}

// --- DBIToCBox ---------------------------------------------------------------------------------

TYPED_TEST_P(ControlBinding, ComboGetsLinesAfterItsItemsAndLineZeroAsEditText) {
    auto& combo = this->kit_.Combo({u"z"}, u"old", tamsrove::ItemOrder::Appended);
    StoreOf({u"a", u"b"}).DBIToCBox(combo);
    EXPECT_EQ(this->kit_.Items(combo), (Lines{u"z", u"a", u"b"}));
    EXPECT_EQ(this->kit_.EditText(combo), u"a");
}

TYPED_TEST_P(ControlBinding, EmptyStoreGivesComboOneEmptyItemAndEmptyEditText) {
    auto& combo = this->kit_.Combo({}, u"old", tamsrove::ItemOrder::Appended);
    cls_DBI().DBIToCBox(combo);
    EXPECT_EQ(this->kit_.Items(combo), Lines{u""});
    EXPECT_EQ(this->kit_.EditText(combo), u"");
}

TYPED_TEST_P(ControlBinding, SortedComboStillTakesLineZeroAsEditText) {
    auto& combo = this->kit_.Combo({}, u"", tamsrove::ItemOrder::Sorted);
    StoreOf({u"pear", u"apple"}).DBIToCBox(combo);
    EXPECT_EQ(this->kit_.Items(combo), (Lines{u"apple", u"pear"}));
    EXPECT_EQ(this->kit_.EditText(combo), u"pear");
}

// --- ListBoxToDBI ------------------------------------------------------------------------------

TYPED_TEST_P(ControlBinding, ListItemsAreAddedAfterTheLines) {
    const StoreAndList cases[] = {
        {{u""}, {}, {u""}},
        {{u"a"}, {}, {u"a"}},
        {{u""}, {u"", u"x", u""}, {u"x", u""}},
        {{u"a"}, {u"p", u"q"}, {u"a", u"p", u"q"}},
        {{u"a"}, {u"", u"p", u"q"}, {u"a", u"", u"p", u"q"}},
        {{u"a"}, {u""}, {u"a", u""}},
        {{u""}, {u"", u""}, {u""}},
    };
    for (const StoreAndList& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.items) + " into " + testing::PrintToString(c.store));
        cls_DBI store = StoreOf(c.store);
        const auto& list = this->kit_.List(c.items, tamsrove::ItemOrder::Appended);
        store.ListBoxToDBI(list);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(this->kit_.Items(list), c.items);
    }
}

TYPED_TEST_P(ControlBinding, ListItemOutsideTheListIsOutOfRange) {
    const auto& list = this->kit_.List({u"a"}, tamsrove::ItemOrder::Appended);
    EXPECT_EQ(list.ItemText(0), u"a");
    for (const int32_t index : {-1, 1, 40000}) {
        SCOPED_TRACE(index);
        EXPECT_THROW((void)list.ItemText(index), std::out_of_range);
    }
}

// --- DBIToTextBox ------------------------------------------------------------------------------

TYPED_TEST_P(ControlBinding, TextBoxGetsLinesJoinedByCrLfAfterItsText) {
    struct Case {
        Lines store;
        std::u16string before;
        std::u16string after;
    };
    const Case cases[] = {
        {{u"a", u"b"}, u"", u"a\r\nb"},
        {{u"a", u"b"}, u"z", u"z\r\na\r\nb"},
        {{u""}, u"z", u"z\r\n"},
        {{u""}, u"", u""},
        {{u"a"}, u"", u"a"},
        {{u"a", u"", u"b"}, u"", u"a\r\n\r\nb"},
        {{u"", u""}, u"", u"\r\n"},
        {{u"a", u""}, u"z\r\n", u"z\r\n\r\na\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.store) + " into " + testing::PrintToString(c.before));
        auto& box = this->kit_.TextBox(c.before);
        StoreOf(c.store).DBIToTextBox(box);
        EXPECT_EQ(this->kit_.Text(box), c.after);
    }
}

TYPED_TEST_P(ControlBinding, TextBoxIsSetOncePerCall) {
    // Invariant: the text is built once and set once, whatever the number of lines; one
    // assignment per line re-copied the growing text each time and took quadratic time (a real
    // edit control froze the window for minutes).
    struct Case {
        std::size_t lines;
        std::u16string before;
    };
    const Case cases[] = {{1, u""}, {1, u"z"}, {2, u""}, {1000, u"z"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lines) + " lines");
        auto& box = this->kit_.TextBox(c.before);
        StoreOf(Lines(c.lines, u"line")).DBIToTextBox(box);
        EXPECT_EQ(this->kit_.Assignments(box), 1U);
    }
}

// --- TextBoxToDBI ------------------------------------------------------------------------------

TYPED_TEST_P(ControlBinding, TextIsCutAtEveryDelimiterAndLeftAsItWas) {
    struct Case {
        Lines store;
        std::u16string text;
        std::u16string delimiter;
        Lines after;
    };
    const Case cases[] = {
        {{u""}, u"a\r\nb", u"", {u"a", u"b"}},
        {{u""}, u"a\r\nb\r\n", u"", {u"a", u"b", u""}},
        {{u""}, u"a;b", u";", {u"a", u"b"}},
        {{u""}, u"a;b;c", u";", {u"a", u"b", u"c"}},
        {{u""}, u"axb", u"X", {u"axb"}},
        {{u""}, u"abc", u"", {u"abc"}},
        {{u""}, u"", u"", {u""}},
        {{u"a"}, u"", u"", {u"a", u""}},
        {{u""}, u"\r\n\r\nx", u"", {u"x"}},
        {{u"p"}, u"\r\n\r\nx", u"", {u"p", u"", u"", u"x"}},
        {{u""}, u"xabyab", u"ab", {u"x", u"y", u""}},
        {{u"p"}, u"aaa", u"aa", {u"p", u"", u"a"}},
        {{u""}, u";", u";", {u""}},
        {{u"p"}, u";", u";", {u"p", u"", u""}},
        {{u""}, u"a\nb\rc", u"", {u"a\nb\rc"}},
        {{u""}, u"a|b", u"a|b", {u""}},
        {{u"p"}, u"a|b", u"a|b", {u"p", u"", u""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text) + " at " + testing::PrintToString(c.delimiter) +
                     " into " + testing::PrintToString(c.store));
        cls_DBI store = StoreOf(c.store);
        const auto& box = this->kit_.TextBox(c.text);
        std::u16string delimiter = c.delimiter;
        store.TextBoxToDBI(box, delimiter);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(this->kit_.Text(box), c.text);
        EXPECT_EQ(this->kit_.Assignments(box), 0U);
    }
}

TYPED_TEST_P(ControlBinding, EmptyDelimiterBecomesCrLfInTheCallersVariable) {
    cls_DBI store;
    std::u16string delimiter;
    store.TextBoxToDBI(this->kit_.TextBox(u"a;b"), delimiter);
    EXPECT_EQ(delimiter, u"\r\n");
    EXPECT_EQ(LinesOf(store), Lines{u"a;b"});
}

TYPED_TEST_P(ControlBinding, GivenDelimiterStaysInTheCallersVariable) {
    cls_DBI store;
    std::u16string delimiter = u";";
    store.TextBoxToDBI(this->kit_.TextBox(u"a;b"), delimiter);
    EXPECT_EQ(delimiter, u";");
}

TYPED_TEST_P(ControlBinding, OmittedDelimiterCutsAtCrLf) {
    cls_DBI store;
    store.TextBoxToDBI(this->kit_.TextBox(u"a\r\nb"));
    EXPECT_EQ(LinesOf(store), (Lines{u"a", u"b"}));
}

TYPED_TEST_P(ControlBinding, ManyLinesComeBackInOrder) {
    std::u16string text;
    Lines expected;
    for (int i = 0; i < 5000; ++i) {
        expected.push_back(u"line " + std::u16string(static_cast<std::size_t>(i % 7), u'x'));
        text += expected.back();
        text += u"\r\n";
    }
    expected.emplace_back();
    cls_DBI store;
    store.TextBoxToDBI(this->kit_.TextBox(text));
    EXPECT_EQ(LinesOf(store), expected);
}

// --- Round trips -------------------------------------------------------------------------------

TYPED_TEST_P(ControlBinding, TextBoxGivesBackTheLinesExceptAbsorbedAndSplitOnes) {
    struct Case {
        Lines lines;
        Lines back;
    };
    const Case cases[] = {
        {{u"a", u"b"}, {u"a", u"b"}},
        {{u"a"}, {u"a"}},
        {{u""}, {u""}},
        {{u"a", u"", u"b", u""}, {u"a", u"", u"b", u""}},
        {{u"", u"", u"a"}, {u"a"}},
        {{u"", u"a", u""}, {u"a", u""}},
        {{u"a\r\nb", u"c"}, {u"a", u"b", u"c"}},
        {{u"a\rb", u"c\n"}, {u"a\rb", u"c\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        auto& box = this->kit_.TextBox(u"");
        StoreOf(c.lines).DBIToTextBox(box);
        cls_DBI back;
        back.TextBoxToDBI(box);
        EXPECT_EQ(LinesOf(back), c.back);
    }
}

TYPED_TEST_P(ControlBinding, ListGivesBackTheLinesExceptLeadingEmptyOnes) {
    auto& list = this->kit_.List({}, tamsrove::ItemOrder::Appended);
    StoreOf({u"", u"a", u"", u"b"}).AddDBIToListBox(list);
    cls_DBI back;
    back.ListBoxToDBI(list);
    EXPECT_EQ(LinesOf(back), (Lines{u"a", u"", u"b"}));
}

TYPED_TEST_P(ControlBinding, CharactersOutsideTheAnsiCodePageComeBack) {
    // CJK, Cyrillic, Greek, Hebrew, and a character beyond the BMP (a surrogate pair).
    const Lines wide{u"\u4E2D\u6587", u"\u0416\u0443\u043A", u"\u03A9\u03B1",
                     u"\u05E9\u05DC\u05D5\u05DD", u"\U0001F600 smile"};
    auto& list = this->kit_.List({}, tamsrove::ItemOrder::Appended);
    StoreOf(wide).AddDBIToListBox(list);
    cls_DBI from_list;
    from_list.ListBoxToDBI(list);
    EXPECT_EQ(LinesOf(from_list), wide);

    auto& combo = this->kit_.Combo({}, u"", tamsrove::ItemOrder::Appended);
    StoreOf(wide).DBIToCBox(combo);
    EXPECT_EQ(this->kit_.Items(combo), wide);
    EXPECT_EQ(this->kit_.EditText(combo), wide.front());

    auto& box = this->kit_.TextBox(u"");
    StoreOf(wide).DBIToTextBox(box);
    cls_DBI from_text;
    from_text.TextBoxToDBI(box);
    EXPECT_EQ(LinesOf(from_text), wide);
}

REGISTER_TYPED_TEST_SUITE_P(
    ControlBinding, ListGetsEveryLineAfterItsItems, SortedListPlacesEachLineInOrder,
    ComboGetsLinesAfterItsItemsAndLineZeroAsEditText,
    EmptyStoreGivesComboOneEmptyItemAndEmptyEditText, SortedComboStillTakesLineZeroAsEditText,
    ListItemsAreAddedAfterTheLines, ListItemOutsideTheListIsOutOfRange,
    TextBoxGetsLinesJoinedByCrLfAfterItsText, TextBoxIsSetOncePerCall,
    TextIsCutAtEveryDelimiterAndLeftAsItWas, EmptyDelimiterBecomesCrLfInTheCallersVariable,
    GivenDelimiterStaysInTheCallersVariable, OmittedDelimiterCutsAtCrLf, ManyLinesComeBackInOrder,
    TextBoxGivesBackTheLinesExceptAbsorbedAndSplitOnes, ListGivesBackTheLinesExceptLeadingEmptyOnes,
    CharactersOutsideTheAnsiCodePageComeBack);

} // namespace store_test
