// What the window's tests share: a control's place, and a fixture with the real progress window
// shown, whose termination question and program end are recorded instead of carried out (a real
// ExitProcess would end the test program; the whole-program tests cover the real ones).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/frm_Main.h"
#include "forms/layout.h"
#include "win32_test_support.h"

namespace tamsrove::test {

/// A window's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

/// The system's message font at a DPI.
inline LOGFONTW MessageFontAt(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    EXPECT_TRUE(
        ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi));
    return metrics.lfMessageFont;
}

/// The real window, shown. Its termination question is recorded and answered with answer_
/// (Cancel unless a test says otherwise, so that nothing a test does ends the window), and each
/// end of the program is recorded in ends_.
class ShownForm : public ::testing::Test {
protected:
    struct Question {
        HWND owner;
        std::wstring text;
        std::wstring title;
        UINT type;
    };

    void SetUp() override {
        form_ = MakeForm();
        ASSERT_NE(form_, nullptr);
    }
    void TearDown() override {
        form_.reset();
        PumpMessages();
    }

    /// A new window with the recording actions, created and, unless told otherwise, shown;
    /// nullptr when it cannot be created.
    [[nodiscard]] std::unique_ptr<frm_Main> MakeForm(bool show = true) {
        auto form = std::make_unique<frm_Main>(frm_Main::TerminationActions{
            [this](HWND owner, const wchar_t* text, const wchar_t* title, UINT type) {
                questions_.push_back({owner, text, title, type});
                // Only the outermost question runs while_asking_, so that a window that wrongly
                // asks again from inside fails the test instead of recursing without end.
                if (while_asking_ && !asking_) {
                    asking_ = true;
                    while_asking_();
                    asking_ = false;
                }
                return answer_;
            },
            [this](unsigned exit_code) {
                ends_.push_back(exit_code);
                if (on_end_) {
                    on_end_();
                }
            }});
        created_ = std::chrono::steady_clock::now();
        if (!form->Create(::GetModuleHandleW(nullptr))) {
            return nullptr;
        }
        if (show) {
            form->Show(SW_SHOWNORMAL);
            PumpMessages();
        }
        return form;
    }

    [[nodiscard]] HWND Window() const { return form_->Window(); }
    [[nodiscard]] HWND Control(layout::ControlId id) const { return form_->Control(id); }
    /// One tick of tmr_Unloader, handled before this returns.
    void Tick() const { ::SendMessageW(Window(), WM_TIMER, frm_Main::kUnloaderTimerId, 0); }
    void ClickTerminate() const {
        ::SendMessageW(Control(layout::ControlId::CbStopAndQuit), BM_CLICK, 0, 0);
    }
    /// The window's frame around its client area as laid out at a DPI, with the borders of
    /// frame_dpi, at the origin.
    [[nodiscard]] RECT FrameAt(UINT dpi, UINT frame_dpi) const {
        const layout::PixelSize client = layout::ClientPixels(static_cast<int32_t>(dpi));
        RECT frame{0, 0, client.width, client.height};
        EXPECT_TRUE(::AdjustWindowRectExForDpi(
            &frame, static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_STYLE)), FALSE,
            static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_EXSTYLE)), frame_dpi));
        return frame;
    }
    /// Sends the DPI change the system would send for a move to a screen at this DPI. The
    /// caption and borders keep their real size, so the suggested rectangle is the new client
    /// area inside the present frame.
    void ChangeDpi(UINT to) const {
        RECT suggested = FrameAt(to, form_->Dpi());
        ::OffsetRect(&suggested, 10 - suggested.left, 10 - suggested.top);
        ::SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(to, to),
                       reinterpret_cast<LPARAM>(&suggested));
    }

    std::unique_ptr<frm_Main> form_;
    std::chrono::steady_clock::time_point created_; ///< when the last window was made
    int answer_ = IDCANCEL;
    std::function<void()> while_asking_; ///< runs inside the question before it is answered
    std::function<void()> on_end_;       ///< runs at each recorded end
    bool asking_ = false;
    std::vector<Question> questions_;
    std::vector<unsigned> ends_;
};

} // namespace tamsrove::test
