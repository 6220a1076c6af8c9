// In-memory list, combo and text boxes: the store's control binding without a window system,
// for tests and for programs that show the lines with a toolkit of their own.
#pragma once

#include "tamsrove/dbi_controls.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tamsrove {

/// Where a memory list puts a new item.
enum class ItemOrder {
    Appended, ///< at the end, in the order added
    Sorted,   ///< at its place in ordinal (char16_t by char16_t) order, after equal items
};

namespace detail {

/// Adds text to items at the place order gives; throws std::length_error when the count would
/// no longer fit the 32-bit item count.
inline void AddOrderedItem(std::vector<std::u16string>& items, ItemOrder order,
                           const std::u16string& text) {
    if (items.size() >= static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        throw std::length_error("memory list: too many items for a 32-bit count");
    }
    if (order == ItemOrder::Sorted) {
        items.insert(std::upper_bound(items.begin(), items.end(), text), text);
    } else {
        items.push_back(text);
    }
}

} // namespace detail

/// A list box whose items live in a vector.
class MemoryListBox final : public DBIListBox {
public:
    /// An empty list that places new items as order says.
    explicit MemoryListBox(ItemOrder order = ItemOrder::Appended) : order_(order) {}

    void AddItem(const std::u16string& text) override {
        detail::AddOrderedItem(items_, order_, text);
    }
    [[nodiscard]] int32_t ItemCount() const override { return static_cast<int32_t>(items_.size()); }
    [[nodiscard]] std::u16string ItemText(int32_t index) const override {
        if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
            throw std::out_of_range("memory list: no item at this index");
        }
        return items_[static_cast<std::size_t>(index)];
    }

    /// The items, in list order.
    [[nodiscard]] const std::vector<std::u16string>& Items() const noexcept { return items_; }

private:
    ItemOrder order_;
    std::vector<std::u16string> items_;
};

/// A combo box whose list and edit field live in memory.
class MemoryComboBox final : public DBIComboBox {
public:
    /// An empty list and edit field; new items are placed as order says.
    explicit MemoryComboBox(ItemOrder order = ItemOrder::Appended) : order_(order) {}

    void AddItem(const std::u16string& text) override {
        detail::AddOrderedItem(items_, order_, text);
    }
    void SetEditText(const std::u16string& text) override { edit_text_ = text; }

    /// The list's items, in list order.
    [[nodiscard]] const std::vector<std::u16string>& Items() const noexcept { return items_; }
    /// The edit field's text.
    [[nodiscard]] const std::u16string& EditText() const noexcept { return edit_text_; }

private:
    ItemOrder order_;
    std::vector<std::u16string> items_;
    std::u16string edit_text_;
};

/// A text box whose text lives in a string; it counts assignments, as a real box reports each
/// one as a change.
class MemoryTextBox final : public DBITextBox {
public:
    /// A box holding initial; setting it up does not count as an assignment.
    explicit MemoryTextBox(std::u16string initial = {}) : text_(std::move(initial)) {}

    [[nodiscard]] std::u16string Text() const override { return text_; }
    void SetText(const std::u16string& text) override {
        text_ = text;
        ++assignments_;
    }

    /// The number of SetText calls so far.
    [[nodiscard]] std::size_t Assignments() const noexcept { return assignments_; }

private:
    std::u16string text_;
    std::size_t assignments_ = 0;
};

} // namespace tamsrove
