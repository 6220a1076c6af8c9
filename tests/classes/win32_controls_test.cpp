// The line store bound to real LISTBOX, COMBOBOX and EDIT controls on a hidden window: the
// cases every control shares (control_binding_cases.h), then what only real controls show:
// lists past 32767 items, texts past the edit control's default limit, NUL characters, a combo
// box without an edit field, owner-drawn lists and handles that are no window.
#include "tamsrove/cls_DBI.h"
#include "tamsrove/win32_controls.h"
#include "control_binding_cases.h"
#include "base/win32_handles.h"
#include "store_test_support.h"
#include "win32_test_support.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace store_test;

using tamsrove::ItemOrder;
using tamsrove::Win32ComboBox;
using tamsrove::Win32ListBox;
using tamsrove::Win32TextBox;

std::wstring Wide(const std::u16string& text) {
    return {text.begin(), text.end()};
}
std::u16string Utf16(const std::wstring& text) {
    return {text.begin(), text.end()};
}

/// The items of a list or combo box, read with the plain messages (LB_GETCOUNT, LB_GETTEXTLEN
/// and LB_GETTEXT, or their CB_ kin) rather than through the adaptor.
Lines ItemsOf(HWND control, UINT count_message, UINT length_message, UINT text_message) {
    Lines items;
    const auto count = static_cast<int>(::SendMessageW(control, count_message, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(control, length_message, i, 0)),
                          L'\0');
        ::SendMessageW(control, text_message, i, reinterpret_cast<LPARAM>(item.data()));
        items.push_back(Utf16(item));
    }
    return items;
}
Lines ListItems(HWND list) {
    return ItemsOf(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}
Lines ComboItems(HWND combo) {
    return ItemsOf(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::u16string WindowText(HWND window) {
    return Utf16(tamsrove::test::win32::TextOf(window));
}

void AddItems(HWND list, const Lines& items) {
    for (const std::u16string& item : items) {
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
}

/// Counts WM_SETTEXT messages reaching a subclassed control.
LRESULT CALLBACK CountSetText(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                              UINT_PTR /*id*/, DWORD_PTR counter) {
    if (message == WM_SETTEXT) {
        ++*reinterpret_cast<std::size_t*>(counter);
    }
    return ::DefSubclassProc(window, message, wparam, lparam);
}

/// Real controls on a hidden top-level window that owns them; the kit of the shared cases,
/// which reads each control back with the plain messages rather than through its adaptor.
class Win32Kit {
public:
    Win32Kit()
        : parent_(::CreateWindowExW(0, L"STATIC", L"binding test", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                    300, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr)) {
        EXPECT_TRUE(parent_);
    }

    HWND Child(const wchar_t* class_name, DWORD style) {
        HWND child =
            ::CreateWindowExW(0, class_name, L"", WS_CHILD | style, 0, 0, 300, 200, parent_.get(),
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(child, nullptr);
        return child;
    }
    HWND ListBox(DWORD style = 0) { return Child(L"LISTBOX", WS_VSCROLL | style); }
    HWND ComboBox(DWORD style = CBS_DROPDOWN) { return Child(L"COMBOBOX", WS_VSCROLL | style); }
    HWND MultiLineEdit() {
        return Child(L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL);
    }

    Win32ListBox& List(const Lines& items, ItemOrder order) {
        HWND list = ListBox(order == ItemOrder::Sorted ? LBS_SORT : 0);
        AddItems(list, items);
        return Remember(lists_.emplace_back(list), list);
    }
    Win32ComboBox& Combo(const Lines& items, const std::u16string& edit_text, ItemOrder order) {
        HWND combo = ComboBox(CBS_DROPDOWN | (order == ItemOrder::Sorted ? CBS_SORT : 0));
        for (const std::u16string& item : items) {
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
        }
        ::SetWindowTextW(combo, Wide(edit_text).c_str());
        return Remember(combos_.emplace_back(combo), combo);
    }
    /// A multi-line edit holding text, whose WM_SETTEXT messages are counted from then on.
    Win32TextBox& TextBox(const std::u16string& text) {
        HWND edit = MultiLineEdit();
        ::SendMessageW(edit, EM_SETLIMITTEXT, 0 /* largest */, 0);
        EXPECT_TRUE(::SetWindowTextW(edit, Wide(text).c_str()));
        std::size_t& set_texts = set_texts_.emplace_back(0);
        EXPECT_TRUE(
            ::SetWindowSubclass(edit, CountSetText, 1, reinterpret_cast<DWORD_PTR>(&set_texts)));
        Win32TextBox& box = Remember(texts_.emplace_back(edit), edit);
        counters_[&box] = &set_texts;
        return box;
    }

    Lines Items(const Win32ListBox& list) const { return ListItems(windows_.at(&list)); }
    Lines Items(const Win32ComboBox& combo) const { return ComboItems(windows_.at(&combo)); }
    std::u16string EditText(const Win32ComboBox& combo) const {
        return WindowText(windows_.at(&combo));
    }
    std::u16string Text(const Win32TextBox& box) const { return WindowText(windows_.at(&box)); }
    std::size_t Assignments(const Win32TextBox& box) const { return *counters_.at(&box); }

private:
    template <class Adaptor> Adaptor& Remember(Adaptor& adaptor, HWND window) {
        windows_[&adaptor] = window;
        return adaptor;
    }

    std::deque<Win32ListBox> lists_;
    std::deque<Win32ComboBox> combos_;
    std::deque<Win32TextBox> texts_;
    std::deque<std::size_t> set_texts_;
    std::map<const void*, HWND> windows_;
    std::map<const void*, std::size_t*> counters_;
    // Destroyed first, with the controls, which stop counting on their own end.
    tamsrove::unique_hwnd parent_;
};

/// Real controls for the cases only they show.
class BoundControls : public testing::Test, protected Win32Kit {};

} // namespace

namespace store_test {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, ControlBinding, Win32Kit);
} // namespace store_test

namespace {

// --- List boxes --------------------------------------------------------------------------------

TEST_F(BoundControls, ListBoxOfMoreThan32767ItemsIsReadWhole) {
    // Invariant: the item count is read as 32 bits; a 16-bit count would wrap past 32767 items
    // and read none of them.
    constexpr int32_t count = 40000;
    Lines lines;
    for (int32_t i = 0; i < count; ++i) {
        lines.push_back(u"item " + Utf16(std::to_wstring(i)));
    }
    HWND list = ListBox();
    // Room for every item at once; the list would otherwise grow its arrays in small steps.
    ::SendMessageW(list, LB_INITSTORAGE, count, count * 16);
    Win32ListBox box(list);
    StoreOf(lines).AddDBIToListBox(box);
    ASSERT_EQ(box.ItemCount(), count);
    cls_DBI back;
    back.ListBoxToDBI(box);
    EXPECT_EQ(back.LinesNumber(), count - 1);
    EXPECT_EQ(LinesOf(back), lines);
}

TEST_F(BoundControls, LineHoldingNulIsRefusedAndEarlierItemsStay) {
    HWND list = ListBox();
    Win32ListBox box(list);
    const cls_DBI store = StoreOf({u"a", std::u16string(u"b\0c", 3), u"d"});
    EXPECT_THROW(store.AddDBIToListBox(box), std::invalid_argument);
    EXPECT_EQ(ListItems(list), Lines{u"a"});
}

// --- Combo boxes -------------------------------------------------------------------------------

TEST_F(BoundControls, ComboBoxWithoutEditFieldRaisesAfterAddingItems) {
    HWND combo = ComboBox(CBS_DROPDOWNLIST);
    Win32ComboBox box(combo);
    EXPECT_THROW(StoreOf({u"a", u"b"}).DBIToCBox(box), std::runtime_error);
    EXPECT_EQ(ComboItems(combo), (Lines{u"a", u"b"}));
}

// --- Text boxes --------------------------------------------------------------------------------

TEST_F(BoundControls, EditTextFarBeyondTheDefaultLimitRoundTrips) {
    HWND edit = MultiLineEdit();
    // A new edit control lets the user type at most 32 767 characters on desktop Windows
    // (Wine and Windows CE start at 30 000). The limit binds typing only, not WM_SETTEXT, but a
    // box holding more than its limit would refuse every further keystroke, so a box meant for
    // long texts lifts it: 0 asks for the largest limit a multi-line control allows.
    const auto default_limit =
        static_cast<std::size_t>(::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    ::SendMessageW(edit, EM_SETLIMITTEXT, 0 /* largest */, 0);
    Lines lines;
    std::size_t length = 0;
    for (int i = 0; length < 8 * default_limit; ++i) {
        lines.push_back(u"line " + Utf16(std::to_wstring(i)) + u" of a long text");
        length += lines.back().size() + 2;
    }
    Win32TextBox box(edit);
    StoreOf(lines).DBIToTextBox(box);
    EXPECT_EQ(static_cast<std::size_t>(::GetWindowTextLengthW(edit)), length - 2);
    cls_DBI back;
    back.TextBoxToDBI(box);
    EXPECT_EQ(LinesOf(back), lines);
}

// --- Adaptors ----------------------------------------------------------------------------------

TEST(Win32ControlAdaptors, HandleThatIsNoWindowIsRefused) {
    for (HWND handle : {static_cast<HWND>(nullptr), reinterpret_cast<HWND>(0x7FFFFF00)}) {
        EXPECT_THROW(Win32ListBox{handle}, std::invalid_argument);
        EXPECT_THROW(Win32ComboBox{handle}, std::invalid_argument);
        EXPECT_THROW(Win32TextBox{handle}, std::invalid_argument);
    }
}

TEST_F(BoundControls, OwnerDrawnListWithoutStringsIsRefused) {
    HWND list = ListBox(LBS_OWNERDRAWFIXED);
    EXPECT_THROW(Win32ListBox{list}, std::invalid_argument);
    EXPECT_NO_THROW(Win32ListBox{ListBox(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS)});
}

} // namespace
