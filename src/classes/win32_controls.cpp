#include "tamsrove/win32_controls.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace tamsrove {
namespace {

// The wide messages take WCHAR strings; on Windows WCHAR and char16_t are both UTF-16 code
// units, so a std::u16string's buffer is handed to the control as it is, without a copy.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "WCHAR must be a UTF-16 code unit");

HWND RequireWindow(HWND window, const char* what) {
    if (window == nullptr || ::IsWindow(window) == FALSE) {
        throw std::invalid_argument(std::string(what) + ": the handle is not a window");
    }
    return window;
}

/// The text as a message parameter. A control takes a NUL-terminated string and would silently
/// keep only what precedes an embedded NUL, so such a text is refused before anything is sent.
LPARAM TextParam(const std::u16string& text, const char* what) {
    if (text.find(u'\0') != std::u16string::npos) {
        throw std::invalid_argument(std::string(what) + ": a control text cannot hold a NUL");
    }
    return reinterpret_cast<LPARAM>(text.c_str());
}

LPARAM BufferParam(std::u16string& buffer) {
    return reinterpret_cast<LPARAM>(buffer.data());
}

/// A string of length characters whose terminator slot takes the control's closing NUL.
std::u16string BufferOf(LRESULT length) {
    return std::u16string(static_cast<std::size_t>(length), u'\0');
}

/// Keeps the characters a control reported copying; a reported length may exceed the text
/// (the documentation allows that), never the reverse.
void KeepCopied(std::u16string& buffer, LRESULT copied) {
    const auto kept = std::clamp<LRESULT>(copied, 0, static_cast<LRESULT>(buffer.size()));
    buffer.resize(static_cast<std::size_t>(kept));
}

} // namespace

Win32ListBox::Win32ListBox(HWND list_box) : hwnd_(RequireWindow(list_box, "list box")) {
    // An owner-drawn list without strings keeps a pointer-sized value per item, which
    // LB_GETTEXT would copy as if it were text.
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const bool owner_drawn = (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
    if (owner_drawn && (style & LBS_HASSTRINGS) == 0) {
        throw std::invalid_argument("list box: an owner-drawn list without LBS_HASSTRINGS");
    }
}

void Win32ListBox::AddItem(const std::u16string& text) {
    const LRESULT result = ::SendMessageW(hwnd_, LB_ADDSTRING, 0, TextParam(text, "list box"));
    if (result == LB_ERRSPACE) {
        throw std::runtime_error("list box: not enough room to add an item");
    }
    if (result < 0) {
        throw std::runtime_error("list box: the item was not added");
    }
}

int32_t Win32ListBox::ItemCount() const {
    // LB_GETCOUNT answers an int: the whole count, also past the 32767 of a 16-bit counter.
    const LRESULT count = ::SendMessageW(hwnd_, LB_GETCOUNT, 0, 0);
    if (count < 0) {
        throw std::runtime_error("list box: the item count could not be read");
    }
    return static_cast<int32_t>(count);
}

std::u16string Win32ListBox::ItemText(int32_t index) const {
    const auto item = static_cast<WPARAM>(index);
    const LRESULT length = index < 0 ? LB_ERR : ::SendMessageW(hwnd_, LB_GETTEXTLEN, item, 0);
    if (length < 0) {
        throw std::out_of_range("list box: no item at this index");
    }
    // LB_GETTEXT takes no buffer size: the buffer must hold LB_GETTEXTLEN characters and a NUL.
    std::u16string text = BufferOf(length);
    const LRESULT copied = ::SendMessageW(hwnd_, LB_GETTEXT, item, BufferParam(text));
    if (copied < 0) {
        throw std::out_of_range("list box: no item at this index");
    }
    KeepCopied(text, copied);
    return text;
}

Win32ComboBox::Win32ComboBox(HWND combo_box) : hwnd_(RequireWindow(combo_box, "combo box")) {}

void Win32ComboBox::AddItem(const std::u16string& text) {
    const LRESULT result = ::SendMessageW(hwnd_, CB_ADDSTRING, 0, TextParam(text, "combo box"));
    if (result == CB_ERRSPACE) {
        throw std::runtime_error("combo box: not enough room to add an item");
    }
    if (result < 0) {
        throw std::runtime_error("combo box: the item was not added");
    }
}

void Win32ComboBox::SetEditText(const std::u16string& text) {
    // A combo box answers WM_SETTEXT with TRUE, CB_ERR when it has no edit field
    // (CBS_DROPDOWNLIST), or CB_ERRSPACE / FALSE when the text did not fit.
    const LRESULT result = ::SendMessageW(hwnd_, WM_SETTEXT, 0, TextParam(text, "combo box"));
    if (result == CB_ERR) {
        throw std::runtime_error("combo box: it has no edit field to take the text");
    }
    if (result <= 0) {
        throw std::runtime_error("combo box: not enough room to set the edit text");
    }
}

Win32TextBox::Win32TextBox(HWND edit) : hwnd_(RequireWindow(edit, "text box")) {}

std::u16string Win32TextBox::Text() const {
    const LRESULT length = ::SendMessageW(hwnd_, WM_GETTEXTLENGTH, 0, 0);
    std::u16string text = BufferOf(std::max<LRESULT>(length, 0));
    // WM_GETTEXT's size counts the terminating NUL, which goes into the string's own slot.
    const LRESULT copied =
        ::SendMessageW(hwnd_, WM_GETTEXT, static_cast<WPARAM>(text.size() + 1), BufferParam(text));
    KeepCopied(text, copied);
    return text;
}

void Win32TextBox::SetText(const std::u16string& text) {
    // An edit control answers FALSE when it cannot allocate room for the text. Its text limit
    // (EM_SETLIMITTEXT) caps only what the user types, never what WM_SETTEXT places.
    const LRESULT result = ::SendMessageW(hwnd_, WM_SETTEXT, 0, TextParam(text, "text box"));
    if (result <= 0) {
        throw std::runtime_error("text box: not enough room to set the text");
    }
}

} // namespace tamsrove
