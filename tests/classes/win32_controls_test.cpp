// The line store bound to real LISTBOX, COMBOBOX and EDIT controls on a hidden window: sorted
// and unsorted lists, the combo box's edit field, multi-line text round trips, wide characters,
// large texts and lists, and failures that reach the caller.
#include "classes/cls_DBI.h"
#include "classes/win32_controls.h"
#include "platform/win32_handles.h"
#include "store_test_support.h"

#include <windows.h>
#include <commctrl.h>

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
using tamsrove::Win32ComboBox;
using tamsrove::Win32ListBox;
using tamsrove::Win32TextBox;

std::wstring Wide(const std::u16string& text) {
    return {text.begin(), text.end()};
}
std::u16string Utf16(const std::wstring& text) {
    return {text.begin(), text.end()};
}

/// The items of a list box, read with the plain messages rather than through the adaptor.
Lines ListItems(HWND list) {
    Lines items;
    const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)),
                          L'\0');
        ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        items.push_back(Utf16(item));
    }
    return items;
}

Lines ComboItems(HWND combo) {
    Lines items;
    const auto count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)),
                          L'\0');
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        items.push_back(Utf16(item));
    }
    return items;
}

std::u16string WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)), L'\0');
    ::GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1));
    return Utf16(text);
}

void AddItems(HWND list, const Lines& items) {
    for (const std::u16string& item : items) {
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
}

/// A hidden top-level window that owns the controls of one test.
class BoundControls : public testing::Test {
protected:
    void SetUp() override {
        parent_.reset(::CreateWindowExW(0, L"STATIC", L"binding test", WS_OVERLAPPEDWINDOW, 0, 0,
                                        400, 300, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                        nullptr));
        ASSERT_TRUE(parent_);
    }

    HWND Child(const wchar_t* className, DWORD style) {
        HWND child =
            ::CreateWindowExW(0, className, L"", WS_CHILD | style, 0, 0, 300, 200, parent_.get(),
                              nullptr, ::GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(child, nullptr);
        return child;
    }
    HWND ListBox(DWORD style = 0) { return Child(L"LISTBOX", WS_VSCROLL | style); }
    HWND ComboBox(DWORD style = CBS_DROPDOWN) { return Child(L"COMBOBOX", WS_VSCROLL | style); }
    HWND MultiLineEdit() {
        return Child(L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL);
    }

private:
    tamsrove::unique_hwnd parent_;
};

/// Characters outside any single-byte ANSI code page: CJK, Cyrillic, Greek, Hebrew, and a
/// character beyond the BMP, written as a surrogate pair.
const Lines WideLines{u"\u4E2D\u6587", u"\u0416\u0443\u043A", u"\u03A9\u03B1",
                      u"\u05E9\u05DC\u05D5\u05DD", u"\U0001F600 smile"};

// --- List boxes --------------------------------------------------------------------------------

TEST_F(BoundControls, SortedListBoxGetsItemsInSortedOrder) {
    HWND list = ListBox(LBS_SORT);
    AddItems(list, {u"grape"});
    Win32ListBox box(list);
    StoreOf({u"pear", u"apple", u"fig"}).AddDBIToListBox(box);
    EXPECT_EQ(ListItems(list), (Lines{u"apple", u"fig", u"grape", u"pear"}));
}

TEST_F(BoundControls, UnsortedListBoxAppendsAfterExistingItems) {
    HWND list = ListBox();
    AddItems(list, {u"z"});
    Win32ListBox box(list);
    StoreOf({u"b", u"a", u""}).AddDBIToListBox(box);
    EXPECT_EQ(ListItems(list), (Lines{u"z", u"b", u"a", u""}));
}

TEST_F(BoundControls, EmptyStoreLeavesListBoxAlone) {
    HWND list = ListBox();
    Win32ListBox box(list);
    cls_DBI().AddDBIToListBox(box);
    EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 0);
}

TEST_F(BoundControls, ListBoxItemsAreAddedAfterExistingLines) {
    HWND list = ListBox();
    AddItems(list, {u"", u"p", u"q"});
    cls_DBI store = StoreOf({u"a"});
    store.ListBoxToDBI(Win32ListBox(list));
    EXPECT_EQ(LinesOf(store), (Lines{u"a", u"", u"p", u"q"}));
    EXPECT_EQ(ListItems(list), (Lines{u"", u"p", u"q"}));
}

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

TEST_F(BoundControls, ListBoxKeepsCharactersOutsideTheAnsiCodePage) {
    HWND list = ListBox();
    Win32ListBox box(list);
    StoreOf(WideLines).AddDBIToListBox(box);
    cls_DBI back;
    back.ListBoxToDBI(box);
    EXPECT_EQ(LinesOf(back), WideLines);
}

TEST_F(BoundControls, ListBoxItemOutsideTheListIsOutOfRange) {
    HWND list = ListBox();
    AddItems(list, {u"a"});
    const Win32ListBox box(list);
    EXPECT_EQ(box.ItemText(0), u"a");
    for (const int32_t index : {-1, 1, 40000}) {
        SCOPED_TRACE(index);
        EXPECT_THROW((void)box.ItemText(index), std::out_of_range);
    }
}

TEST_F(BoundControls, LineHoldingNulIsRefusedAndEarlierItemsStay) {
    HWND list = ListBox();
    Win32ListBox box(list);
    const cls_DBI store = StoreOf({u"a", std::u16string(u"b\0c", 3), u"d"});
    EXPECT_THROW(store.AddDBIToListBox(box), std::invalid_argument);
    EXPECT_EQ(ListItems(list), Lines{u"a"});
}

// --- Combo boxes -------------------------------------------------------------------------------

TEST_F(BoundControls, ComboBoxGetsLinesAndLineZeroAsEditText) {
    HWND combo = ComboBox();
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"z"));
    Win32ComboBox box(combo);
    StoreOf({u"a", u"b"}).DBIToCBox(box);
    EXPECT_EQ(ComboItems(combo), (Lines{u"z", u"a", u"b"}));
    EXPECT_EQ(WindowText(combo), u"a");
}

TEST_F(BoundControls, ComboBoxFromEmptyStoreGetsOneEmptyItem) {
    HWND combo = ComboBox();
    ::SetWindowTextW(combo, L"old");
    Win32ComboBox box(combo);
    cls_DBI().DBIToCBox(box);
    EXPECT_EQ(ComboItems(combo), Lines{u""});
    EXPECT_EQ(WindowText(combo), u"");
}

TEST_F(BoundControls, ComboBoxKeepsCharactersOutsideTheAnsiCodePage) {
    HWND combo = ComboBox();
    Win32ComboBox box(combo);
    StoreOf(WideLines).DBIToCBox(box);
    EXPECT_EQ(ComboItems(combo), WideLines);
    EXPECT_EQ(WindowText(combo), WideLines.front());
}

TEST_F(BoundControls, ComboBoxWithoutEditFieldRaisesAfterAddingItems) {
    HWND combo = ComboBox(CBS_DROPDOWNLIST);
    Win32ComboBox box(combo);
    EXPECT_THROW(StoreOf({u"a", u"b"}).DBIToCBox(box), std::runtime_error);
    EXPECT_EQ(ComboItems(combo), (Lines{u"a", u"b"}));
}

// --- Text boxes --------------------------------------------------------------------------------

TEST_F(BoundControls, MultiLineEditTextIsCutIntoLines) {
    struct Case {
        std::u16string text;
        std::u16string delimiter;
        Lines lines;
    };
    const Case cases[] = {
        {u"a\r\nb", u"", {u"a", u"b"}},
        {u"no delimiter here", u"", {u"no delimiter here"}},
        {u"a;b;c", u";", {u"a", u"b", u"c"}},
        {u"a\r\nb\r\n", u"", {u"a", u"b", u""}},
        {u"", u"", {u""}},
    };
    HWND edit = MultiLineEdit();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        ASSERT_TRUE(::SetWindowTextW(edit, Wide(c.text).c_str()));
        cls_DBI store;
        std::u16string delimiter = c.delimiter;
        store.TextBoxToDBI(Win32TextBox(edit), delimiter);
        EXPECT_EQ(LinesOf(store), c.lines);
        EXPECT_EQ(WindowText(edit), c.text);
    }
}

TEST_F(BoundControls, MultiLineEditRoundTripsTheLines) {
    struct Case {
        Lines lines;
        std::u16string text;
        Lines back;
    };
    const Case cases[] = {
        {{u"a", u"b"}, u"a\r\nb", {u"a", u"b"}},
        {{u"one line"}, u"one line", {u"one line"}},
        {{u"a", u"", u"b", u""}, u"a\r\n\r\nb\r\n", {u"a", u"", u"b", u""}},
        {{u"", u"a"}, u"\r\na", {u"a"}},
        {{u"a\r\nb", u"c"}, u"a\r\nb\r\nc", {u"a", u"b", u"c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        Win32TextBox box(MultiLineEdit());
        StoreOf(c.lines).DBIToTextBox(box);
        EXPECT_EQ(box.Text(), c.text);
        cls_DBI back;
        back.TextBoxToDBI(box);
        EXPECT_EQ(LinesOf(back), c.back);
    }
}

TEST_F(BoundControls, EditTextIsAppendedAfterFormerText) {
    HWND edit = MultiLineEdit();
    ::SetWindowTextW(edit, L"z");
    Win32TextBox box(edit);
    StoreOf({u"a", u"b"}).DBIToTextBox(box);
    EXPECT_EQ(WindowText(edit), u"z\r\na\r\nb");
}

TEST_F(BoundControls, EditKeepsCharactersOutsideTheAnsiCodePage) {
    Win32TextBox box(MultiLineEdit());
    StoreOf(WideLines).DBIToTextBox(box);
    cls_DBI back;
    back.TextBoxToDBI(box);
    EXPECT_EQ(LinesOf(back), WideLines);
}

TEST_F(BoundControls, EditTextFarBeyondTheDefaultLimitRoundTrips) {
    HWND edit = MultiLineEdit();
    // A new edit control lets the user type at most 32 767 characters on desktop Windows
    // (Wine and Windows CE start at 30 000). The limit binds typing only, not WM_SETTEXT, but a
    // box holding more than its limit would refuse every further keystroke, so a box meant for
    // long texts lifts it: 0 asks for the largest limit a multi-line control allows.
    const auto defaultLimit = static_cast<std::size_t>(::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    ::SendMessageW(edit, EM_SETLIMITTEXT, 0 /* largest */, 0);
    Lines lines;
    std::size_t length = 0;
    for (int i = 0; length < 8 * defaultLimit; ++i) {
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

/// Counts WM_SETTEXT messages reaching a subclassed control.
LRESULT CALLBACK CountSetText(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT_PTR /*id*/, DWORD_PTR counter) {
    if (message == WM_SETTEXT) {
        ++*reinterpret_cast<int*>(counter);
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

TEST_F(BoundControls, DBIToTextBoxSetsTheEditTextOnce) {
    // Invariant: the text goes to the control in one WM_SETTEXT, whatever the number of lines;
    // one per line re-copied the growing text each time and froze the window for minutes.
    HWND edit = MultiLineEdit();
    ::SetWindowTextW(edit, L"z");
    constexpr UINT_PTR subclassId = 1;
    int setTexts = 0;
    ASSERT_TRUE(::SetWindowSubclass(edit, CountSetText, subclassId,
                                    reinterpret_cast<DWORD_PTR>(&setTexts)));
    Win32TextBox box(edit);
    StoreOf(Lines(500, u"line")).DBIToTextBox(box);
    ::RemoveWindowSubclass(edit, CountSetText, subclassId);
    EXPECT_EQ(setTexts, 1);
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
