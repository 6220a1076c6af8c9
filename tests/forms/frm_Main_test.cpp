// In-process tests of the progress window with real windows under Wine: its layout at the
// screen's DPI, its keyboard, the termination question and its timers.
#include "forms/frm_Main.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cwchar>
#include <string>
#include <vector>

#include "form_test_support.h"
#include "win32_test_support.h"
#include "controls/WorkRing.h"
#include "forms/exit_codes.h"
#include "forms/layout.h"
#include "artwork/logo.h"

namespace {

using namespace std::chrono_literals;
using tamsrove::frm_Main;
using tamsrove::layout::ControlEntry;
using tamsrove::layout::ControlId;
using tamsrove::layout::ControlKind;
namespace layout = tamsrove::layout;
namespace test = tamsrove::test;
using test::Narrow;
using test::RectInParent;
using test::win32::ClassNameOf;
using test::win32::TextOf;

const wchar_t* ExpectedClass(ControlKind kind) {
    switch (kind) {
    case ControlKind::Frame:
        return frm_Main::kFrameClassName;
    case ControlKind::PictureBox:
        return frm_Main::kPictureBoxClassName;
    case ControlKind::WorkRing:
        return tamsrove::WorkRing::kClassName;
    case ControlKind::Label:
        return L"Static";
    case ControlKind::CommandButton:
        return L"Button";
    }
    return L"";
}

constexpr COLORREF kWhite = RGB(255, 255, 255);

/// The shown window and its ring.
class FrmMainFixture : public test::ShownForm {
protected:
    [[nodiscard]] UINT Dpi() const { return ::GetDpiForWindow(Window()); }
    /// True when the ring shows another frame within the timeout.
    [[nodiscard]] bool RingTurns() const {
        const HWND ring = Control(ControlId::WorkRing1);
        const HBITMAP first = test::ShownBitmap(ring);
        return test::PumpUntil([&] { return test::ShownBitmap(ring) != first; }, 2s);
    }
};

// ---- Layout at the screen's DPI (these suites also run at 144 DPI) ----------------------------

using FrmMainDpi = FrmMainFixture;

TEST_F(FrmMainDpi, TheWindowIsLaidOutAtTheScreenDpi) {
    const auto expected = static_cast<UINT>(test::PromisedTestDpi());
    if (expected != 0) {
        EXPECT_EQ(Dpi(), expected);
    }
    EXPECT_EQ(form_->Dpi(), Dpi());
}

TEST_F(FrmMainDpi, EveryControlHasItsClassParentTextAndTwipsRectangle) {
    const auto half_pixel =
        static_cast<LONG>(tamsrove::kTwipsPerInch / 2 / static_cast<int>(Dpi()));
    const auto dpi_value = static_cast<int32_t>(Dpi());
    for (const ControlEntry& entry : layout::kControls) {
        SCOPED_TRACE(Narrow(entry.name));
        const HWND child = Control(entry.id);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(_wcsicmp(ClassNameOf(child).c_str(), ExpectedClass(entry.kind)), 0)
            << Narrow(ClassNameOf(child));
        EXPECT_EQ(::GetParent(child), entry.container ? Control(*entry.container) : Window());
        EXPECT_EQ(TextOf(child), entry.text);
        EXPECT_EQ(::GetDlgCtrlID(child), frm_Main::ControlWindowId(entry.id));
        EXPECT_TRUE(::IsWindowVisible(child));
        if (entry.kind == ControlKind::Label) {
            continue; // a label grows when its text needs it (frm_Main_fit_test.cpp)
        }
        const RECT rect = RectInParent(child);
        const layout::TwipsRect& twips = entry.twips;
        // Back in twips, each edge lies within half a pixel of the table's.
        const int32_t edges[][2] = {{rect.left, twips.left},
                                    {rect.top, twips.top},
                                    {rect.right, twips.left + twips.width},
                                    {rect.bottom, twips.top + twips.height}};
        for (const auto& [pixels, expected] : edges) {
            EXPECT_NEAR(tamsrove::PixelsToTwips(pixels, dpi_value), expected, half_pixel);
        }
    }
}

TEST_F(FrmMainDpi, TheClientAreaIs7620By3450Twips) {
    RECT client{};
    ASSERT_TRUE(::GetClientRect(Window(), &client));
    const auto dpi_value = static_cast<int32_t>(Dpi());
    EXPECT_EQ(client.right, tamsrove::TwipsToPixels(layout::kClientWidthTwips, dpi_value));
    EXPECT_EQ(client.bottom, tamsrove::TwipsToPixels(layout::kClientHeightTwips, dpi_value));
}

TEST_F(FrmMainDpi, TheWindowIsCentredOnTheWorkArea) {
    EXPECT_TRUE(test::CentredOnWorkArea(Window()));
}

TEST_F(FrmMainDpi, TextsUseTheMessageFontAtTheWindowDpi) {
    const LOGFONTW expected = test::MessageFontAt(Dpi());
    for (const ControlEntry& entry : layout::kControls) {
        if (entry.text.empty()) {
            continue;
        }
        SCOPED_TRACE(Narrow(entry.name));
        const auto font =
            reinterpret_cast<HFONT>(::SendMessageW(Control(entry.id), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        EXPECT_NE(font, static_cast<HFONT>(::GetStockObject(SYSTEM_FONT)));
        LOGFONTW actual{};
        ASSERT_EQ(::GetObjectW(font, sizeof(actual), &actual), static_cast<int>(sizeof(actual)));
        EXPECT_EQ(actual.lfHeight, expected.lfHeight);
        EXPECT_STREQ(actual.lfFaceName, expected.lfFaceName);
    }
}

TEST_F(FrmMainDpi, TheIconsAreLoadedAtTheSizesForTheDpi) {
    struct Row {
        WPARAM which;
        int width_metric;
    };
    for (const Row row : {Row{ICON_BIG, SM_CXICON}, Row{ICON_SMALL, SM_CXSMICON}}) {
        SCOPED_TRACE(row.width_metric);
        const auto icon =
            reinterpret_cast<HICON>(::SendMessageW(Window(), WM_GETICON, row.which, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        const tamsrove::unique_hbitmap color(info.hbmColor);
        const tamsrove::unique_hbitmap mask(info.hbmMask);
        BITMAP bitmap{};
        ASSERT_NE(::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask,
                               sizeof(bitmap), &bitmap),
                  0);
        EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetricsForDpi(row.width_metric, Dpi()));
    }
}

TEST_F(FrmMainDpi, ADpiChangeLaysEverythingOutAgain) {
    const UINT from = Dpi();
    const UINT to = from * 5 / 4; // a step of display scaling; the window still fits the screen
    ChangeDpi(to);

    EXPECT_EQ(form_->Dpi(), to);
    RECT client{};
    ASSERT_TRUE(::GetClientRect(Window(), &client));
    EXPECT_EQ(client.right, layout::ClientPixels(static_cast<int32_t>(to)).width);
    EXPECT_EQ(client.bottom, layout::ClientPixels(static_cast<int32_t>(to)).height);
    for (const ControlEntry& entry : layout::kControls) {
        if (entry.kind == ControlKind::Label) {
            continue; // fitted to its text again (frm_Main_fit_test.cpp)
        }
        SCOPED_TRACE(Narrow(entry.name));
        const RECT rect = RectInParent(Control(entry.id));
        const layout::PixelRect expected =
            layout::ControlPixels(entry.id, static_cast<int32_t>(to));
        EXPECT_EQ(rect.left, expected.left);
        EXPECT_EQ(rect.top, expected.top);
        EXPECT_EQ(rect.right, expected.right);
        EXPECT_EQ(rect.bottom, expected.bottom);
    }
    LOGFONTW font{};
    const auto label = Control(ControlId::LblInstallInProgress);
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)), sizeof(font),
                 &font);
    EXPECT_EQ(font.lfHeight, test::MessageFontAt(to).lfHeight);
    EXPECT_NE(font.lfHeight, test::MessageFontAt(from).lfHeight);
}

TEST_F(FrmMainDpi, ADpiChangeAsksForTheExactWindowSize) {
    const UINT to = Dpi() * 3 / 2;
    SIZE size{};
    ASSERT_TRUE(::SendMessageW(Window(), WM_GETDPISCALEDSIZE, to, reinterpret_cast<LPARAM>(&size)));
    const RECT expected = FrameAt(to, to);
    EXPECT_EQ(size.cx, expected.right - expected.left);
    EXPECT_EQ(size.cy, expected.bottom - expected.top);
}

// ---- The window -------------------------------------------------------------------------------

using FrmMainWindow = FrmMainFixture;

// Only a DPI change the system sends is acted on: one that comes through the message queue (as
// another program's would) or carries a rectangle no DPI change gives changes nothing.
TEST_F(FrmMainWindow, APostedOrInsaneDpiChangeChangesNothing) {
    const UINT dpi = form_->Dpi();
    RECT before{};
    ASSERT_TRUE(::GetWindowRect(Window(), &before));
    RECT sane{10, 10, before.right - before.left + 50, before.bottom - before.top + 50};
    RECT inverted{300, 300, 10, 10};
    struct Case {
        const char* what;
        UINT dpi;
        RECT* suggested;
        bool posted;
    };
    const Case cases[] = {
        {"posted", dpi * 2, &sane, true},
        {"no rectangle", dpi * 2, nullptr, false},
        {"inverted rectangle", dpi * 2, &inverted, false},
        {"DPI far beyond any screen", 60000, &sane, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WPARAM wparam = MAKEWPARAM(c.dpi, c.dpi);
        const auto lparam = reinterpret_cast<LPARAM>(c.suggested);
        if (c.posted) {
            ::PostMessageW(Window(), WM_DPICHANGED, wparam, lparam);
            test::PumpMessages();
        } else {
            ::SendMessageW(Window(), WM_DPICHANGED, wparam, lparam);
        }
        EXPECT_EQ(form_->Dpi(), dpi);
        RECT after{};
        ASSERT_TRUE(::GetWindowRect(Window(), &after));
        EXPECT_TRUE(::EqualRect(&before, &after));
    }
}

TEST_F(FrmMainWindow, CaptionAndFrameAreThoseOfANormalFixedSizeWindow) {
    EXPECT_EQ(TextOf(Window()), layout::kCaption);
    EXPECT_EQ(ClassNameOf(Window()), frm_Main::kClassName);
    EXPECT_TRUE(::IsWindowVisible(Window()));
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_EXSTYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CHILD), 0U);
    EXPECT_EQ(ex_style & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), 0U);
    // An unowned top-level window gets a taskbar button.
    EXPECT_EQ(::GetWindow(Window(), GW_OWNER), nullptr);
}

// Regression: at 120 DPI, and between 144 and 192, the window showed the logo of the step below,
// small in its box. Now Picture1 shows the logo drawn at the window's DPI, pixel for pixel.
TEST_F(FrmMainDpi, PictureBoxesAreWhiteAndTheLogoDrawnAtTheDpiIsShownUnscaledAtTheTopLeft) {
    const test::Capture box =
        test::CaptureClient(Control(ControlId::Picture1), test::CaptureBy::Print);
    const auto dpi = static_cast<int32_t>(Dpi());
    const tamsrove::artwork::Image logo = tamsrove::artwork::DrawLogo(dpi);
    // The design's 248 x 64 pixels scaled by dpi / 96: 310 x 80 at 120 DPI, 496 x 128 at 192.
    ASSERT_EQ(logo.width, 248 * dpi / 96);
    ASSERT_EQ(logo.height, 64 * dpi / 96);
    ASSERT_GT(box.width, logo.width + 2);
    ASSERT_GT(box.height, logo.height + 2);
    int differing = 0;
    for (int y = 0; y < logo.height; ++y) {
        for (int x = 0; x < logo.width; ++x) {
            const tamsrove::artwork::Rgba8 p = logo.At(x, y);
            differing += box.At(x, y) != RGB(p.r, p.g, p.b);
        }
    }
    EXPECT_EQ(differing, 0);
    // Right of and below the logo the box is white.
    EXPECT_EQ(box.At(logo.width + 2, 2), kWhite);
    EXPECT_EQ(box.At(2, logo.height + 2), kWhite);

    // pic_C is white between the ring and the logo.
    const test::Capture outer =
        test::CaptureClient(Control(ControlId::PicC), test::CaptureBy::Print);
    ASSERT_GT(outer.width, 0);
    const int gap_x = (layout::ControlPixels(ControlId::WorkRing1, dpi).right +
                       layout::ControlPixels(ControlId::Picture1, dpi).left) /
                      2;
    EXPECT_EQ(outer.At(gap_x, outer.height / 2), kWhite);
}

TEST_F(FrmMainWindow, DestroyingTheFormDestroysTheWindow) {
    const HWND destroyed = Window();
    form_.reset();
    EXPECT_FALSE(::IsWindow(destroyed));
}

// Regression: a window destroyed from elsewhere is forgotten, so the form's own destruction
// does not destroy it a second time (or a window that has reused its handle).
TEST_F(FrmMainWindow, AWindowDestroyedFromElsewhereIsNotDestroyedTwice) {
    ASSERT_TRUE(::DestroyWindow(Window()));
    EXPECT_EQ(Window(), nullptr);
    EXPECT_EQ(Control(ControlId::CbStopAndQuit), nullptr);
    form_.reset();
}

TEST_F(FrmMainWindow, CreatingTwiceFails) {
    EXPECT_FALSE(form_->Create(::GetModuleHandleW(nullptr)));
    EXPECT_TRUE(::IsWindow(Window()));
}

TEST_F(FrmMainWindow, LayoutRoundingAgreesWithMulDiv) {
    for (const int32_t dpi_value : {96, 120, 144, 168, 192}) {
        for (int32_t twips = -3000; twips <= 9000; twips += 7) {
            SCOPED_TRACE(std::to_string(twips) + " at " + std::to_string(dpi_value));
            ASSERT_EQ(tamsrove::TwipsToPixels(twips, dpi_value),
                      ::MulDiv(twips, dpi_value, tamsrove::kTwipsPerInch));
        }
    }
}

// ---- Keyboard ---------------------------------------------------------------------------------

using FrmMainKeyboard = FrmMainFixture;

TEST_F(FrmMainKeyboard, TheButtonIsTheDefaultButtonAndTheOnlyTabStop) {
    const HWND button = Control(ControlId::CbStopAndQuit);
    EXPECT_EQ(::GetNextDlgTabItem(Window(), nullptr, FALSE), button);
    EXPECT_EQ(::GetNextDlgTabItem(Window(), button, FALSE), button);
    EXPECT_EQ(::GetNextDlgTabItem(Window(), button, TRUE), button);
    EXPECT_EQ(::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    const auto def_id = static_cast<DWORD>(::SendMessageW(Window(), DM_GETDEFID, 0, 0));
    EXPECT_EQ(HIWORD(def_id), DC_HASDEFID);
    EXPECT_EQ(LOWORD(def_id), frm_Main::ControlWindowId(ControlId::CbStopAndQuit));
}

TEST_F(FrmMainKeyboard, FocusGivenToTheWindowGoesOnToTheButton) {
    ::SetFocus(Window());
    EXPECT_EQ(::GetFocus(), Control(ControlId::CbStopAndQuit));
}

// Enter in the window and Space on the button ask the question; Escape is no close request.
TEST_F(FrmMainKeyboard, EnterAndSpaceAskAndEscapeDoesNot) {
    const HWND button = Control(ControlId::CbStopAndQuit);
    struct Row {
        HWND target;
        WPARAM key;
        std::size_t questions;
    };
    for (const Row& row :
         {Row{Window(), VK_RETURN, 1}, Row{button, VK_SPACE, 1}, Row{Window(), VK_ESCAPE, 0}}) {
        SCOPED_TRACE(row.key);
        questions_.clear();
        ::SetFocus(row.target);
        MSG down{row.target, WM_KEYDOWN, row.key, 1, 0, {}};
        MSG up{row.target, WM_KEYUP, row.key, static_cast<LPARAM>(0xC0000001U), 0, {}};
        ::IsDialogMessageW(Window(), &down);
        ::IsDialogMessageW(Window(), &up);
        test::PumpMessages();
        EXPECT_EQ(questions_.size(), row.questions);
    }
}

// ---- The termination question -----------------------------------------------------------------

using FrmMainQuestion = FrmMainFixture;

TEST_F(FrmMainQuestion, TerminateAsksExactlyTheQuestionWithoutAnIcon) {
    ClickTerminate();
    ASSERT_EQ(questions_.size(), 1U);
    const Question& asked = questions_.front();
    EXPECT_EQ(asked.owner, Window());
    EXPECT_EQ(asked.text, L"Please wait for the installation to finish! Click 'Ok' to terminate "
                          L"the installation'");
    EXPECT_EQ(asked.title, L"Information:");
    EXPECT_EQ(asked.type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(asked.type & MB_ICONMASK, 0U);
    EXPECT_EQ(asked.type & MB_DEFMASK, static_cast<UINT>(MB_DEFBUTTON1));
}

TEST_F(FrmMainQuestion, CancelLeavesTheWindowTheRingAndTheTicksGoing) {
    ClickTerminate();
    ::SendMessageW(Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(questions_.size(), 2U);
    EXPECT_TRUE(ends_.empty());
    EXPECT_TRUE(::IsWindow(Window()));
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_TRUE(RingTurns());
    const int16_t ticks = form_->TickCount();
    Tick();
    EXPECT_EQ(form_->TickCount(), ticks + 1);
}

TEST_F(FrmMainQuestion, EveryCloseRequestAsks) {
    struct Row {
        const char* what;
        UINT message;
        WPARAM wparam;
    };
    const std::vector<Row> rows = {
        {"WM_CLOSE", WM_CLOSE, 0},
        {"close box and Alt+F4 (SC_CLOSE)", WM_SYSCOMMAND, SC_CLOSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        questions_.clear();
        ::SendMessageW(Window(), row.message, row.wparam, 0);
        EXPECT_EQ(questions_.size(), 1U);
        EXPECT_TRUE(::IsWindow(Window()));
    }
    answer_ = IDOK;
    ::PostMessageW(Window(), WM_CLOSE, 0, 0);
    test::PumpMessages();
    EXPECT_EQ(ends_, std::vector<unsigned>{tamsrove::kExitTerminated});
    EXPECT_EQ(tamsrove::kExitTerminated, 1223U);
}

// Regression: while the question is open, a further close request or click is refused instead
// of opening a second question.
TEST_F(FrmMainQuestion, NoSecondQuestionWhileOneIsOpen) {
    while_asking_ = [this] {
        ::SendMessageW(Window(), WM_CLOSE, 0, 0);
        ::SendMessageW(Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        ::SendMessageW(Control(ControlId::CbStopAndQuit), BM_CLICK, 0, 0);
    };
    ClickTerminate();
    EXPECT_EQ(questions_.size(), 1U);
    EXPECT_TRUE(ends_.empty());
    // Once answered, the next request asks again.
    while_asking_ = nullptr;
    ::SendMessageW(Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(questions_.size(), 2U);
}

TEST_F(FrmMainQuestion, TicksAndTheRingGoOnWhileTheQuestionIsOpen) {
    bool ticked = false;
    bool turned = false;
    while_asking_ = [&] {
        // A message box pumps the thread's messages the same way while it waits.
        const int16_t ticks = form_->TickCount();
        ticked = test::PumpUntil([&] { return form_->TickCount() > ticks; }, 5s);
        turned = RingTurns();
    };
    ClickTerminate();
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(turned);
}

// ---- tmr_Unloader and the ring ----------------------------------------------------------------

using FrmMainTimer = FrmMainFixture;

TEST_F(FrmMainTimer, TheUnloaderTicksEverySecondFromCreation) {
    ASSERT_TRUE(test::PumpUntil([&] { return form_->TickCount() >= 1; }, 5s));
    const auto first_tick = std::chrono::steady_clock::now() - created_;
    // Wine's timers may fire a few milliseconds early.
    EXPECT_GE(first_tick, 900ms);
}

TEST_F(FrmMainTimer, OnlyTheUnloaderTimerCountsTicks) {
    const int16_t before = form_->TickCount();
    ::SendMessageW(Window(), WM_TIMER, frm_Main::kUnloaderTimerId + 1, 0);
    EXPECT_EQ(form_->TickCount(), before);
    Tick();
    Tick();
    EXPECT_EQ(form_->TickCount(), before + 2);
}

TEST_F(FrmMainTimer, TheRingTurnsOnceTheWindowIsShown) {
    EXPECT_TRUE(RingTurns());
}

TEST_F(FrmMainTimer, TheRingStartsWithTheLoadEventNotAtCreation) {
    form_ = MakeForm(/*show=*/false);
    ASSERT_NE(form_, nullptr);
    const HWND ring = Control(ControlId::WorkRing1);
    ASSERT_NE(ring, nullptr);
    test::PumpFor(300ms);
    EXPECT_EQ(test::ShownBitmap(ring), nullptr);
    EXPECT_FALSE(::IsWindowVisible(Window()));
    form_->Show(SW_SHOWNORMAL);
    EXPECT_TRUE(::IsWindowVisible(Window()));
    EXPECT_TRUE(test::PumpUntil([&] { return test::ShownBitmap(ring) != nullptr; }, 2s));
}

} // namespace
