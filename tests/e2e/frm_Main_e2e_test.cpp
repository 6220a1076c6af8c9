// Whole-program tests of the progress window: Tamsrove.exe runs as its own process and is
// worked from outside, the way a user or an installer meets it.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "../win32_test_support.h"
#include "driver.h"
#include "forms/exit_codes.h"
#include "forms/layout.h"

namespace {

using namespace std::chrono_literals;
namespace e2e = tamsrove::e2e;
namespace layout = tamsrove::layout;
using tamsrove::test::Narrow;

constexpr const wchar_t* kQuestionText =
    L"Please wait for the installation to finish! Click 'Ok' to terminate the installation'";
constexpr const wchar_t* kQuestionTitle = L"Information:";
/// How soon a confirmed termination must have ended the process.
constexpr auto kEndsAtOnce = 1000ms;
/// Long enough for a few frames of the ring (50 ms each) even on a busy machine.
constexpr auto kRingWindow = 1500ms;

/// The bitmap the ring shows now (its handle value identifies the frame).
HANDLE RingImage(HWND main_window) {
    const HWND ring = e2e::FindDescendant(main_window, L"Tamsrove.WorkRing");
    return ring != nullptr ? tamsrove::test::ShownBitmap(ring) : nullptr;
}

/// True when the ring box shows at least three different frames within the time.
bool RingTurns(HWND main_window, std::chrono::milliseconds within = kRingWindow) {
    std::set<HANDLE> seen;
    return e2e::WaitUntil(
        [&] {
            if (const HANDLE image = RingImage(main_window); image != nullptr) {
                seen.insert(image);
            }
            return seen.size() >= 3;
        },
        within);
}

/// The program started, with its window found by caption and process id.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = e2e::Process::Start(e2e::ProgramPath());
        ASSERT_TRUE(program_.has_value()) << "cannot start " << Narrow(e2e::ProgramPath());
        window_ = e2e::WaitForWindowOf(program_->Id(), layout::kCaption);
        ASSERT_NE(window_, nullptr) << "no window";
    }

    void TearDown() override { program_.reset(); }

    [[nodiscard]] HWND Button(const wchar_t* text) const {
        return e2e::FindDescendant(window_, L"Button", std::wstring_view(text));
    }

    /// Posts a click to "Terminate" (posted: a sent click would wait for the modal question)
    /// and returns the question box that opens.
    [[nodiscard]] HWND ClickTerminate() const {
        const HWND terminate = Button(L"Terminate");
        EXPECT_NE(terminate, nullptr);
        ::PostMessageW(terminate, BM_CLICK, 0, 0);
        return e2e::WaitForMessageBoxOf(program_->Id());
    }

    /// Posts a click to the box's button with this id.
    static void Answer(HWND box, int button_id) {
        ::PostMessageW(::GetDlgItem(box, button_id), BM_CLICK, 0, 0);
    }

    [[nodiscard]] bool NoQuestionOpen() const {
        return e2e::WaitUntil([&] { return e2e::MessageBoxesOf(program_->Id()).empty(); }, 2s);
    }

    void ExpectEndedAtOnceAsTerminated() const {
        ASSERT_TRUE(program_->WaitForExit(kEndsAtOnce));
        EXPECT_EQ(program_->ExitCode(), std::optional<DWORD>(tamsrove::kExitTerminated));
        EXPECT_EQ(program_->ExitCode(), std::optional<DWORD>(1223));
    }

    void ExpectStillWaiting() const {
        EXPECT_TRUE(NoQuestionOpen());
        EXPECT_TRUE(program_->Running());
        EXPECT_TRUE(::IsWindowVisible(window_));
        EXPECT_TRUE(RingTurns(window_));
    }

    std::optional<e2e::Process> program_;
    HWND window_ = nullptr;
};

// ---- The window -------------------------------------------------------------------------------

using ProgramWindow = ProgramTest;

TEST_F(ProgramWindow, IsCentredOnTheWorkArea) {
    EXPECT_TRUE(tamsrove::test::CentredOnWorkArea(window_));
}

TEST_F(ProgramWindow, ShowsItsTextsAndTheTerminateButton) {
    for (const layout::ControlEntry& entry : layout::kControls) {
        if (entry.text.empty()) {
            continue;
        }
        SCOPED_TRACE(Narrow(entry.name));
        const wchar_t* class_name =
            entry.kind == layout::ControlKind::CommandButton ? L"Button" : L"Static";
        const HWND control = e2e::FindDescendant(window_, class_name, entry.text);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(::IsWindowVisible(control));
    }
}

TEST_F(ProgramWindow, TheRingAlreadyTurnsWhenTheWindowFirstShows) {
    EXPECT_TRUE(RingTurns(window_));
}

// Regression: a WM_DPICHANGED that another program posted with a junk lParam made the window
// read the address 0x14 and crash. Posted or sent, a DPI message whose pointer is no pointer
// of the program's now changes nothing, and the window goes on.
TEST_F(ProgramWindow, DpiMessagesWithAJunkPointerFromAnotherProgramChangeNothing) {
    RECT before{};
    ASSERT_TRUE(::GetWindowRect(window_, &before));
    constexpr LPARAM junk = 0x14;
    for (const UINT message : {UINT{WM_DPICHANGED}, UINT{WM_GETDPISCALEDSIZE}}) {
        SCOPED_TRACE(message);
        ::PostMessageW(window_, message, MAKEWPARAM(144, 144), junk);
        DWORD_PTR answer = 0;
        EXPECT_NE(::SendMessageTimeoutW(window_, message, MAKEWPARAM(144, 144), junk, SMTO_BLOCK,
                                        5000, &answer),
                  0);
        // A message sent after the posted one returns once both are handled.
        EXPECT_NE(::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer), 0);
        ASSERT_TRUE(program_->Running());
    }
    RECT after{};
    ASSERT_TRUE(::GetWindowRect(window_, &after));
    EXPECT_TRUE(::EqualRect(&before, &after));
    ExpectStillWaiting();
}

// ---- The termination question -----------------------------------------------------------------

using ProgramQuestion = ProgramTest;

TEST_F(ProgramQuestion, TerminateAsksTheQuestionWithOkAndCancelAndNoIcon) {
    const HWND box = ClickTerminate();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::TextOf(box), kQuestionTitle);
    EXPECT_EQ(::GetWindow(box, GW_OWNER), window_);
    EXPECT_NE(e2e::FindDescendant(box, L"Static", std::wstring_view(kQuestionText)), nullptr);

    std::set<int> buttons;
    for (const HWND child : e2e::Descendants(box)) {
        if (e2e::ClassNameOf(child) == L"Button" && ::IsWindowVisible(child) != FALSE) {
            buttons.insert(::GetDlgCtrlID(child));
        }
    }
    EXPECT_EQ(buttons, (std::set<int>{IDOK, IDCANCEL}));
    const auto def_id = static_cast<DWORD>(::SendMessageW(box, DM_GETDEFID, 0, 0));
    EXPECT_EQ(HIWORD(def_id), DC_HASDEFID);
    EXPECT_EQ(LOWORD(def_id), IDOK);
    EXPECT_EQ(::GetWindowLongPtrW(::GetDlgItem(box, IDOK), GWL_STYLE) & BS_TYPEMASK,
              BS_DEFPUSHBUTTON);

    for (const HWND child : e2e::Descendants(box)) {
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
        if (e2e::ClassNameOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
            ::IsWindowVisible(child) != FALSE) {
            EXPECT_EQ(::SendMessageW(child, STM_GETICON, 0, 0), 0) << "the box shows an icon";
        }
    }
    Answer(box, IDCANCEL);
}

/// How the question is asked and answered: OK or Enter ends the program at once, Cancel or
/// Escape keeps it waiting.
struct Answering {
    const char* name;
    UINT request;   ///< the close request posted to the window; 0: a click on "Terminate"
    WPARAM command; ///< the request's wParam
    int button;     ///< the box's button clicked, or 0
    WORD key;       ///< else the key pressed in the box
    bool ends;

    /// Shown when a test fails, in place of the bytes.
    friend void PrintTo(const Answering& row, std::ostream* out) { *out << row.name; }
};

class ProgramAnswer : public ProgramTest, public ::testing::WithParamInterface<Answering> {};

TEST_P(ProgramAnswer, EndsOrKeepsWaitingAsAnswered) {
    const Answering& row = GetParam();
    if (row.request != 0) {
        ::PostMessageW(window_, row.request, row.command, 0);
    }
    const HWND box = row.request != 0 ? e2e::WaitForMessageBoxOf(program_->Id()) : ClickTerminate();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::TextOf(box), kQuestionTitle);
    if (row.button != 0) {
        Answer(box, row.button);
    } else {
        e2e::PostKeyPress(box, row.key);
    }
    if (row.ends) {
        ExpectEndedAtOnceAsTerminated();
    } else {
        ExpectStillWaiting();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProgramAnswer,
    ::testing::Values(Answering{"TerminateCancel", 0, 0, IDCANCEL, 0, false},
                      Answering{"TerminateOk", 0, 0, IDOK, 0, true},
                      Answering{"TerminateEnter", 0, 0, 0, VK_RETURN, true},
                      Answering{"TerminateEscape", 0, 0, 0, VK_ESCAPE, false},
                      Answering{"CloseOk", WM_CLOSE, 0, IDOK, 0, true},
                      Answering{"SystemCloseCancel", WM_SYSCOMMAND, SC_CLOSE, IDCANCEL, 0, false}),
    [](const ::testing::TestParamInfo<Answering>& info) { return std::string(info.param.name); });

// Regression: a close request that arrives while the question is open opens no second
// question, and the one answer still decides. After Cancel the question can be asked again.
TEST_F(ProgramQuestion, ACloseRequestWhileTheQuestionIsOpenOpensNoSecondOne) {
    const HWND box = ClickTerminate();
    ASSERT_NE(box, nullptr);
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    // Let the program handle both requests: a message sent after them returns once they are.
    ::SendMessageW(window_, WM_NULL, 0, 0);
    EXPECT_EQ(e2e::MessageBoxesOf(program_->Id()).size(), 1U);
    Answer(box, IDCANCEL);
    ExpectStillWaiting();
    ::Sleep(300); // a second question would open now, once the first has gone
    EXPECT_TRUE(e2e::MessageBoxesOf(program_->Id()).empty());
    const HWND again = ClickTerminate();
    ASSERT_NE(again, nullptr);
    Answer(again, IDOK);
    ExpectEndedAtOnceAsTerminated();
}

} // namespace
