// The three kinds of control that cls_DBI fills and reads: a list box, a combo box and a text
// box, each reduced to the few operations the store needs. An implementation wraps a real
// control (win32_controls.h) or keeps the items in memory (memory_controls.h); a failing
// operation throws, and the store lets that reach its caller.
#pragma once

#include <cstdint>
#include <string>

/// A list of text items that can grow and be read back.
class DBIListBox {
public:
    virtual ~DBIListBox() = default;

    /// Adds an item at the end, or at its place in order when the list keeps its items sorted.
    virtual void AddItem(const std::u16string& text) = 0;
    /// The number of items, read whole (not limited to 16 bits).
    [[nodiscard]] virtual int32_t ItemCount() const = 0;
    /// The text of the item at the 0-based index; std::out_of_range when there is none.
    [[nodiscard]] virtual std::u16string ItemText(int32_t index) const = 0;

protected:
    DBIListBox() = default;
    DBIListBox(const DBIListBox&) = default;
    DBIListBox& operator=(const DBIListBox&) = default;
    DBIListBox(DBIListBox&&) = default;
    DBIListBox& operator=(DBIListBox&&) = default;
};

/// A list of text items with an edit field above it.
class DBIComboBox {
public:
    virtual ~DBIComboBox() = default;

    /// Adds an item to the list, at the end or at its place in order, as a list box does.
    virtual void AddItem(const std::u16string& text) = 0;
    /// Replaces the text of the edit field.
    virtual void SetEditText(const std::u16string& text) = 0;

protected:
    DBIComboBox() = default;
    DBIComboBox(const DBIComboBox&) = default;
    DBIComboBox& operator=(const DBIComboBox&) = default;
    DBIComboBox(DBIComboBox&&) = default;
    DBIComboBox& operator=(DBIComboBox&&) = default;
};

/// A box holding one text, possibly of many lines.
class DBITextBox {
public:
    virtual ~DBITextBox() = default;

    /// The whole text.
    [[nodiscard]] virtual std::u16string Text() const = 0;
    /// Replaces the whole text in one assignment.
    virtual void SetText(const std::u16string& text) = 0;

protected:
    DBITextBox() = default;
    DBITextBox(const DBITextBox&) = default;
    DBITextBox& operator=(const DBITextBox&) = default;
    DBITextBox(DBITextBox&&) = default;
    DBITextBox& operator=(DBITextBox&&) = default;
};
