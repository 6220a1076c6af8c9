// The line store's control binding with the in-memory list, combo and text boxes: the cases
// every control shares (control_binding_cases.h), a list past 32767 items, and failures that
// leave earlier work in place; then the in-memory controls themselves.
#include "tamsrove/cls_DBI.h"
#include "tamsrove/memory_controls.h"
#include "control_binding_cases.h"
#include "store_test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace store_test;

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

/// The in-memory controls for the shared cases; each control reads itself back.
class MemoryKit {
public:
    MemoryListBox& List(const Lines& items, ItemOrder order) {
        return lists_.emplace_back(ListOf(items, order));
    }
    MemoryComboBox& Combo(const Lines& items, const std::u16string& edit_text, ItemOrder order) {
        MemoryComboBox& combo = combos_.emplace_back(order);
        for (const std::u16string& item : items) {
            combo.AddItem(item);
        }
        combo.SetEditText(edit_text);
        return combo;
    }
    MemoryTextBox& TextBox(const std::u16string& text) { return texts_.emplace_back(text); }

    static Lines Items(const MemoryListBox& list) { return list.Items(); }
    static Lines Items(const MemoryComboBox& combo) { return combo.Items(); }
    static std::u16string EditText(const MemoryComboBox& combo) { return combo.EditText(); }
    static std::u16string Text(const MemoryTextBox& box) { return box.Text(); }
    static std::size_t Assignments(const MemoryTextBox& box) { return box.Assignments(); }

private:
    std::deque<MemoryListBox> lists_;
    std::deque<MemoryComboBox> combos_;
    std::deque<MemoryTextBox> texts_;
};

} // namespace

namespace store_test {
INSTANTIATE_TYPED_TEST_SUITE_P(Memory, ControlBinding, MemoryKit);
} // namespace store_test

namespace {

/// A list box that refuses its item number fail_at (0-based) and every one after it.
class RefusingListBox final : public DBIListBox {
public:
    explicit RefusingListBox(int32_t fail_at) : failAt_(fail_at) {}
    void AddItem(const std::u16string& text) override {
        if (static_cast<int32_t>(items_.size()) >= failAt_) {
            throw std::runtime_error("list full");
        }
        items_.push_back(text);
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

TEST(AddDBIToListBox, RefusedItemIsRaisedAndEarlierItemsStay) {
    const cls_DBI store = StoreOf({u"a", u"b", u"c"});
    RefusingListBox list(2);
    EXPECT_THROW(store.AddDBIToListBox(list), std::runtime_error);
    EXPECT_EQ(list.Items(), (Lines{u"a", u"b"}));
}

// --- ListBoxToDBI ------------------------------------------------------------------------------

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

// --- The in-memory controls themselves ----------------------------------------------------------

TEST(MemoryControls, SortedListPutsEqualItemsAfterEachOther) {
    MemoryListBox list(ItemOrder::Sorted);
    for (const char16_t* item : {u"b", u"a", u"b", u"B", u""}) {
        list.AddItem(item);
    }
    EXPECT_EQ(list.Items(), (Lines{u"", u"B", u"a", u"b", u"b"}));
}

} // namespace
