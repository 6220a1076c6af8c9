// The line store's control binding, with the in-memory list, combo and text boxes: what each
// method adds where, the empty store's special cases, cutting at delimiters, and failures that
// leave earlier work in place.
#include "classes/cls_DBI.h"
#include "classes/memory_controls.h"
#include "store_test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using store_test::LinesOf;
using store_test::StoreOf;

using Lines = std::vector<std::u16string>;
using tamsrove::ItemOrder;
using tamsrove::MemoryComboBox;
using tamsrove::MemoryListBox;
using tamsrove::MemoryTextBox;

MemoryListBox ListOf(const Lines& items, ItemOrder order = ItemOrder::Appended) {
    MemoryListBox list(order);
    for (const std::u16string& item : items) {
        list.AddItem(item);
    }
    return list;
}

/// A list box that refuses its item number FailAt (0-based) and every one after it.
class RefusingListBox final : public DBIListBox {
public:
    explicit RefusingListBox(int32_t FailAt) : failAt_(FailAt) {}
    void AddItem(const std::u16string& Text) override {
        if (static_cast<int32_t>(items_.size()) >= failAt_) {
            throw std::runtime_error("list full");
        }
        items_.push_back(Text);
    }
    [[nodiscard]] int32_t ItemCount() const override { return failAt_ + 1; }
    [[nodiscard]] std::u16string ItemText(int32_t Index) const override {
        if (Index >= failAt_) {
            throw std::runtime_error("unreadable item");
        }
        return u"item" + std::u16string(1, static_cast<char16_t>(u'0' + Index));
    }
    [[nodiscard]] const Lines& Items() const { return items_; }

private:
    int32_t failAt_;
    Lines items_;
};

// --- AddDBIToListBox ---------------------------------------------------------------------------

TEST(AddDBIToListBox, AppendsEveryLineAfterExistingItems) {
    struct Case {
        Lines store;
        Lines before;
        Lines after;
    };
    const Case cases[] = {
        {{u"a"}, {}, {u"a"}},           {{u"a", u"b"}, {u"z"}, {u"z", u"a", u"b"}},
        {{u"", u"x"}, {}, {u"", u"x"}}, {{u"x", u""}, {u"z"}, {u"z", u"x", u""}},
        {{u"", u""}, {}, {u"", u""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.store) + " into " + testing::PrintToString(c.before));
        const cls_DBI store = StoreOf(c.store);
        MemoryListBox list = ListOf(c.before);
        store.AddDBIToListBox(list);
        EXPECT_EQ(list.Items(), c.after);
    }
}

TEST(AddDBIToListBox, EmptyStoreAddsNothing) {
    const cls_DBI store;
    MemoryListBox list = ListOf({u"z"});
    store.AddDBIToListBox(list);
    EXPECT_EQ(list.Items(), Lines{u"z"});
}

TEST(AddDBIToListBox, SortedListPlacesEachLineInOrder) {
    const cls_DBI store = StoreOf({u"pear", u"apple", u"fig"});
    MemoryListBox list = ListOf({u"grape"}, ItemOrder::Sorted);
    store.AddDBIToListBox(list);
    EXPECT_EQ(list.Items(), (Lines{u"apple", u"fig", u"grape", u"pear"}));
}

TEST(AddDBIToListBox, RefusedItemIsRaisedAndEarlierItemsStay) {
    const cls_DBI store = StoreOf({u"a", u"b", u"c"});
    RefusingListBox list(2);
    EXPECT_THROW(store.AddDBIToListBox(list), std::runtime_error);
    EXPECT_EQ(list.Items(), (Lines{u"a", u"b"}));
}

// --- DBIToCBox ---------------------------------------------------------------------------------

TEST(DBIToCBox, AppendsLinesAndSetsEditTextToLineZero) {
    const cls_DBI store = StoreOf({u"a", u"b"});
    MemoryComboBox combo;
    combo.AddItem(u"z");
    combo.SetEditText(u"old");
    store.DBIToCBox(combo);
    EXPECT_EQ(combo.Items(), (Lines{u"z", u"a", u"b"}));
    EXPECT_EQ(combo.EditText(), u"a");
}

TEST(DBIToCBox, EmptyStoreGivesOneEmptyItemAndEmptyEditText) {
    const cls_DBI store;
    MemoryComboBox combo;
    combo.SetEditText(u"old");
    store.DBIToCBox(combo);
    EXPECT_EQ(combo.Items(), Lines{u""});
    EXPECT_EQ(combo.EditText(), u"");
}

TEST(DBIToCBox, SortedComboStillTakesLineZeroAsEditText) {
    const cls_DBI store = StoreOf({u"pear", u"apple"});
    MemoryComboBox combo(ItemOrder::Sorted);
    store.DBIToCBox(combo);
    EXPECT_EQ(combo.Items(), (Lines{u"apple", u"pear"}));
    EXPECT_EQ(combo.EditText(), u"pear");
}

// --- ListBoxToDBI ------------------------------------------------------------------------------

TEST(ListBoxToDBI, AddsItemsAfterExistingLines) {
    struct Case {
        Lines store;
        Lines items;
        Lines after;
    };
    const Case cases[] = {
        {{u""}, {}, {u""}},
        {{u"a"}, {}, {u"a"}},
        {{u""}, {u"", u"x", u""}, {u"x", u""}},
        {{u"a"}, {u"p", u"q"}, {u"a", u"p", u"q"}},
        {{u"a"}, {u""}, {u"a", u""}},
        {{u""}, {u"", u""}, {u""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.items) + " into " + testing::PrintToString(c.store));
        cls_DBI store = StoreOf(c.store);
        const MemoryListBox list = ListOf(c.items);
        store.ListBoxToDBI(list);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(list.Items(), c.items);
    }
}

TEST(ListBoxToDBI, ReadsMoreThan32767ItemsWhole) {
    // Invariant: the item count is read as 32 bits, so a list past 32767 items is read whole
    // instead of wrapping to a negative count and reading nothing.
    constexpr int32_t count = 40000;
    MemoryListBox list;
    for (int32_t i = 0; i < count; ++i) {
        list.AddItem(u"i" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
    }
    cls_DBI store;
    store.ListBoxToDBI(list);
    ASSERT_EQ(store.LinesNumber(), count - 1);
    EXPECT_EQ(store.GetLine(count - 1), list.ItemText(count - 1));
}

TEST(ListBoxToDBI, UnreadableItemIsRaisedAndEarlierLinesStay) {
    const RefusingListBox list(2);
    cls_DBI store = StoreOf({u"a"});
    EXPECT_THROW(store.ListBoxToDBI(list), std::runtime_error);
    EXPECT_EQ(LinesOf(store), (Lines{u"a", u"item0", u"item1"}));
}

// --- DBIToTextBox ------------------------------------------------------------------------------

TEST(DBIToTextBox, AppendsLinesJoinedByCrLfAfterFormerText) {
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
        const cls_DBI store = StoreOf(c.store);
        MemoryTextBox box(c.before);
        store.DBIToTextBox(box);
        EXPECT_EQ(box.Text(), c.after);
    }
}

TEST(DBIToTextBox, AssignsTheBoxOncePerCall) {
    // Invariant: the text is built once and assigned once, whatever the number of lines; one
    // assignment per line re-copied the growing text each time and took quadratic time.
    struct Case {
        std::size_t lines;
        std::u16string before;
    };
    const Case cases[] = {{1, u""}, {1, u"z"}, {2, u""}, {1000, u"z"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lines) + " lines");
        const cls_DBI store = StoreOf(Lines(c.lines, u"line"));
        MemoryTextBox box(c.before);
        store.DBIToTextBox(box);
        EXPECT_EQ(box.Assignments(), 1U);
    }
}

// --- TextBoxToDBI ------------------------------------------------------------------------------

TEST(TextBoxToDBI, CutsAtEveryDelimiterAndKeepsTheRest) {
    struct Case {
        Lines store;
        std::u16string text;
        std::u16string delimiter;
        Lines after;
    };
    const Case cases[] = {
        {{u""}, u"a\r\nb\r\n", u"", {u"a", u"b", u""}},
        {{u""}, u"a;b", u";", {u"a", u"b"}},
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
        const MemoryTextBox box(c.text);
        std::u16string delimiter = c.delimiter;
        store.TextBoxToDBI(box, delimiter);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(box.Text(), c.text);
        EXPECT_EQ(box.Assignments(), 0U);
    }
}

TEST(TextBoxToDBI, EmptyDelimiterBecomesCrLfInTheCallersVariable) {
    cls_DBI store;
    const MemoryTextBox box(u"a;b");
    std::u16string delimiter;
    store.TextBoxToDBI(box, delimiter);
    EXPECT_EQ(delimiter, u"\r\n");
    EXPECT_EQ(LinesOf(store), Lines{u"a;b"});
}

TEST(TextBoxToDBI, GivenDelimiterStaysInTheCallersVariable) {
    cls_DBI store;
    const MemoryTextBox box(u"a;b");
    std::u16string delimiter = u";";
    store.TextBoxToDBI(box, delimiter);
    EXPECT_EQ(delimiter, u";");
}

TEST(TextBoxToDBI, OmittedDelimiterCutsAtCrLf) {
    cls_DBI store;
    store.TextBoxToDBI(MemoryTextBox(u"a\r\nb"));
    EXPECT_EQ(LinesOf(store), (Lines{u"a", u"b"}));
}

TEST(TextBoxToDBI, ManyLinesComeBackInOrder) {
    std::u16string text;
    Lines expected;
    for (int i = 0; i < 5000; ++i) {
        expected.push_back(u"line " + std::u16string(static_cast<std::size_t>(i % 7), u'x'));
        text += expected.back();
        text += u"\r\n";
    }
    expected.emplace_back();
    cls_DBI store;
    store.TextBoxToDBI(MemoryTextBox(text));
    EXPECT_EQ(LinesOf(store), expected);
}

// --- Round trip --------------------------------------------------------------------------------

TEST(ControlRoundTrip, TextBoxGivesBackTheLinesExceptAbsorbedAndSplitOnes) {
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
        MemoryTextBox box;
        StoreOf(c.lines).DBIToTextBox(box);
        cls_DBI back;
        back.TextBoxToDBI(box);
        EXPECT_EQ(LinesOf(back), c.back);
    }
}

TEST(ControlRoundTrip, ListBoxGivesBackTheLinesExceptLeadingEmptyOnes) {
    const Lines lines{u"", u"a", u"", u"b"};
    MemoryListBox list;
    StoreOf(lines).AddDBIToListBox(list);
    cls_DBI back;
    back.ListBoxToDBI(list);
    EXPECT_EQ(LinesOf(back), (Lines{u"a", u"", u"b"}));
}

// --- The in-memory controls themselves ----------------------------------------------------------

TEST(MemoryControls, SortedListPutsEqualItemsAfterEachOther) {
    MemoryListBox list(ItemOrder::Sorted);
    for (const char16_t* item : {u"b", u"a", u"b", u"B", u""}) {
        list.AddItem(item);
    }
    EXPECT_EQ(list.Items(), (Lines{u"", u"B", u"a", u"b", u"b"}));
}

TEST(MemoryControls, ListItemOutsideTheListIsOutOfRange) {
    const MemoryListBox list = ListOf({u"a"});
    for (const int32_t index : {-1, 1, 100}) {
        SCOPED_TRACE(index);
        EXPECT_THROW((void)list.ItemText(index), std::out_of_range);
    }
}

} // namespace
