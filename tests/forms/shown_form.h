// A fixture with the real progress window shown, whose termination question is always answered
// Cancel, so that nothing a test does can end it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "forms/frm_Main.h"
#include "win32_test_support.h"

namespace tamsrove::test {

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
