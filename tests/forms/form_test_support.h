// What the window's tests share: reading a control's text and place, and a fixture with the real
// progress window shown, whose termination question is always answered Cancel, so that nothing a
// test does can end it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "forms/frm_Main.h"
#include "win32_test_support.h"

namespace tamsrove::test {

/// A window's text.
inline std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

/// An ASCII text (a control's name or text) for test messages.
inline std::string Narrow(std::wstring_view text) {
    return {text.begin(), text.end()};
}

/// A window's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

/// The real window, shown, that no test action can end.
class ShownForm : public ::testing::Test {
protected:
    void SetUp() override {
        form_ = std::make_unique<frm_Main>(frm_Main::TerminationActions{
            [](HWND, const wchar_t*, const wchar_t*, UINT) { return IDCANCEL; },
            [](unsigned) {
            }});
        ASSERT_TRUE(form_->Create(::GetModuleHandleW(nullptr)));
        form_->Show(SW_SHOWNORMAL);
        pump_messages();
    }
    void TearDown() override {
        form_.reset();
        pump_messages();
    }

    std::unique_ptr<frm_Main> form_;
};

} // namespace tamsrove::test
