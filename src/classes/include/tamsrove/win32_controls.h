// Adaptors that let cls_DBI fill and read the standard Win32 LISTBOX, COMBOBOX and EDIT controls
// through their wide (UTF-16) messages. They borrow the HWND: the control belongs to its parent
// window, which destroys it. Each must be used on the thread that owns the control.
#pragma once

#include "tamsrove/dbi_controls.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace tamsrove {

/// A LISTBOX control (sorted or not: LBS_SORT decides where LB_ADDSTRING puts an item).
class Win32ListBox final : public DBIListBox {
public:
    /// Wraps list_box; std::invalid_argument when it is not a window.
    explicit Win32ListBox(HWND list_box);

    /// LB_ADDSTRING; std::runtime_error on LB_ERR or LB_ERRSPACE, std::invalid_argument when
    /// text holds a NUL character (the control would cut it there).
    void AddItem(const std::u16string& text) override;
    /// LB_GETCOUNT, the full 32-bit count; std::runtime_error on LB_ERR.
    [[nodiscard]] int32_t ItemCount() const override;
    /// LB_GETTEXTLEN and LB_GETTEXT; std::out_of_range when there is no item at index.
    [[nodiscard]] std::u16string ItemText(int32_t index) const override;

private:
    HWND hwnd_;
};

/// A COMBOBOX control with an edit field (CBS_DROPDOWN or CBS_SIMPLE).
class Win32ComboBox final : public DBIComboBox {
public:
    /// Wraps combo_box; std::invalid_argument when it is not a window.
    explicit Win32ComboBox(HWND combo_box);

    /// CB_ADDSTRING; std::runtime_error on CB_ERR or CB_ERRSPACE, std::invalid_argument when
    /// text holds a NUL character.
    void AddItem(const std::u16string& text) override;
    /// WM_SETTEXT; std::runtime_error when the box has no edit field (CB_ERR) or no room.
    void SetEditText(const std::u16string& text) override;

private:
    HWND hwnd_;
};

/// An EDIT control, single- or multi-line.
class Win32TextBox final : public DBITextBox {
public:
    /// Wraps edit; std::invalid_argument when it is not a window.
    explicit Win32TextBox(HWND edit);

    /// WM_GETTEXTLENGTH and WM_GETTEXT, the whole text whatever its length.
    [[nodiscard]] std::u16string Text() const override;
    /// WM_SETTEXT; std::runtime_error when the control has no room, std::invalid_argument when
    /// text holds a NUL character.
    void SetText(const std::u16string& text) override;

private:
    HWND hwnd_;
};

} // namespace tamsrove
