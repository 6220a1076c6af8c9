// In-process tests of the window's tick handler against the real registry: the completion watch
// wired to the registry routines and to the window's end. These tests use the fixed flag key, so
// they run beside the whole-program watch tests, in their prefix and under their lock, never
// beside other copies of the window.
#include "forms/frm_Main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "flag_key.h"
#include "forms/form_test_support.h"
#include "forms/exit_codes.h"
#include "modules/mod_Reg.h"

namespace {

using tamsrove::frm_Main;
using tamsrove::detail::RegCall;
using tamsrove::layout::ControlId;
namespace test = tamsrove::test;

/// The window, shown, with the question answered by the test and the end recorded, beside a log
/// of the registry calls.
class FrmMainWatch : public test::ShownForm {
protected:
    void SetUp() override {
        ASSERT_TRUE(flag_key_.Clean());
        // How many registry calls came before each end.
        on_end_ = [this] {
            calls_at_end_.push_back(calls_.calls.size());
        };
        ShownForm::SetUp();
    }

    /// Forgets what was recorded so far.
    void Forget() {
        calls_.calls.clear();
        calls_at_end_.clear();
        ends_.clear();
        questions_.clear();
    }

    /// Index of the first registry call of a kind; -1 when there is none.
    [[nodiscard]] int FirstCall(RegCall call) const {
        const auto& all = calls_.calls;
        const auto found = std::find_if(all.begin(), all.end(),
                                        [call](const test::SeenCall& c) { return c.call == call; });
        return found == all.end() ? -1 : static_cast<int>(found - all.begin());
    }

    test::FlagKeyScope flag_key_;
    test::RegCallLog calls_;
    std::vector<std::size_t> calls_at_end_;
};

// ---- A set flag -------------------------------------------------------------------------------

TEST_F(FrmMainWatch, ASetFlagIsClearedToASingleZeroAndEndsFinished) {
    ASSERT_TRUE(test::SetFlagText(L"1"));
    Tick();
    EXPECT_EQ(ends_, std::vector<unsigned>{tamsrove::kExitFinished});
    const std::vector<test::SeenCall> writes = calls_.Of(RegCall::SetValue);
    ASSERT_EQ(writes.size(), 1U);
    EXPECT_EQ(writes.front().name, "frx");
    EXPECT_EQ(writes.front().type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(writes.front().data_length, 1U) << "one character, no terminator counted";
    const auto stored = test::ReadFlag();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
    // The system adds the terminator the write left out.
    EXPECT_EQ(stored->Text(), std::wstring(L"0\0", 2));
    EXPECT_TRUE(questions_.empty()) << "the watch's end asks nothing";
}

TEST_F(FrmMainWatch, OnlyATextThatBeginsWithOneIsTheFlag) {
    struct Row {
        const wchar_t* text;
        bool ends;
    };
    const std::vector<Row> rows = {
        {L"1", true},   {L"10", true},  {L"1 done", true}, {L"0", false},
        {L" 1", false}, {L"01", false}, {L"", false},      {L"yes", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.text)));
        form_ = MakeForm();
        ASSERT_NE(form_, nullptr);
        Forget();
        ASSERT_TRUE(test::SetFlagText(row.text));
        Tick();
        EXPECT_EQ(ends_, row.ends ? std::vector<unsigned>{tamsrove::kExitFinished}
                                  : std::vector<unsigned>{});
        const auto stored = test::ReadFlag();
        ASSERT_TRUE(stored.has_value());
        const std::wstring left = stored->Text().substr(0, stored->Text().find(L'\0'));
        EXPECT_EQ(left, row.ends ? std::wstring(L"0") : std::wstring(row.text));
    }
}

TEST_F(FrmMainWatch, ANumberOneIsNotTheFlag) {
    ASSERT_TRUE(test::SetFlagNumber(1));
    Tick();
    Tick();
    EXPECT_TRUE(ends_.empty());
    EXPECT_TRUE(calls_.Of(RegCall::SetValue).empty());
    const auto stored = test::ReadFlag();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, static_cast<DWORD>(REG_DWORD));
}

// Regression: the registry routines shorten the path they are handed, so every call must get
// its own copy; a shared one would name no root from the second call on.
TEST_F(FrmMainWatch, EveryRegistryCallGetsTheWholeKeyPath) {
    ASSERT_TRUE(test::SetFlagText(L"0"));
    Tick();
    Tick();
    ASSERT_TRUE(test::SetFlagText(L"1"));
    Tick();
    ASSERT_EQ(ends_, std::vector<unsigned>{tamsrove::kExitFinished});
    const std::vector<test::SeenCall> opens = calls_.Of(RegCall::OpenKey);
    // Three reads, then the write's check and the write itself.
    ASSERT_EQ(opens.size(), 5U);
    for (const test::SeenCall& open : opens) {
        EXPECT_EQ(open.key, HKEY_CURRENT_USER);
        EXPECT_EQ(open.name, "Software\\Marrowfen");
    }
}

// ---- No flag ----------------------------------------------------------------------------------

TEST_F(FrmMainWatch, AnAbsentKeyIsReadButNeverCreated) {
    for (int i = 0; i < 3; ++i) {
        Tick();
    }
    EXPECT_TRUE(ends_.empty());
    EXPECT_EQ(calls_.Count(RegCall::OpenKey), 3U);
    EXPECT_FALSE(test::kFlagKey.Exists());
}

TEST_F(FrmMainWatch, TheTwoHundredAndFirstTickEndsTimedOutWithoutReading) {
    const int before = form_->TickCount();
    ASSERT_LT(before, 200);
    for (int tick = before + 1; tick <= 200; ++tick) {
        Tick();
    }
    EXPECT_EQ(form_->TickCount(), 200);
    EXPECT_TRUE(ends_.empty());
    EXPECT_EQ(calls_.Count(RegCall::OpenKey), static_cast<std::size_t>(200 - before));
    const std::size_t calls_before = calls_.calls.size();
    Tick();
    ASSERT_EQ(ends_, std::vector<unsigned>{tamsrove::kExitTimedOut});
    EXPECT_EQ(ends_.front(), 1460U);
    EXPECT_EQ(calls_.calls.size(), calls_before) << "no registry call on the last tick";
    // An ended watch does nothing more.
    Tick();
    EXPECT_EQ(calls_.calls.size(), calls_before);
    EXPECT_EQ(ends_.size(), 1U);
}

// ---- Ticks and the termination question -------------------------------------------------------

// Regression: a termination confirmed while the tick's read lets window events run ends the
// program before that tick tests or clears the flag.
TEST_F(FrmMainWatch, ATerminationConfirmedInsideTheReadEndsBeforeTheTickGoesOn) {
    struct Row {
        const char* what;
        std::function<void(const frm_Main&)> request;
    };
    const std::vector<Row> rows = {
        {"close request",
         [](const frm_Main& form) {
             ::PostMessageW(form.Window(), WM_CLOSE, 0, 0);
         }},
        {"Terminate click",
         [](const frm_Main& form) {
             ::PostMessageW(form.Control(ControlId::CbStopAndQuit), BM_CLICK, 0, 0);
         }},
    };
    answer_ = IDOK;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        form_ = MakeForm();
        ASSERT_NE(form_, nullptr);
        Forget();
        ASSERT_TRUE(test::SetFlagText(L"1"));
        row.request(*form_);
        Tick();
        EXPECT_EQ(questions_.size(), 1U);
        ASSERT_FALSE(ends_.empty());
        EXPECT_EQ(ends_.front(), tamsrove::kExitTerminated);
        // The calls before the end, and the first query and write among all calls.
        const auto end = static_cast<int>(calls_at_end_.front());
        const int query = FirstCall(RegCall::QueryValue);
        const int write = FirstCall(RegCall::SetValue);
        EXPECT_LT(query, end) << "the question came in the read's yield, after its query";
        // Here the recorded end returns and the tick goes on; the program's end does not.
        EXPECT_TRUE(write == -1 || end <= write);
    }
}

TEST_F(FrmMainWatch, NoTickRunsWhileAQuestionOpenedInsideATickIsOpen) {
    ASSERT_TRUE(test::SetFlagText(L"0"));
    int ticks_inside = -1;
    while_asking_ = [&] {
        ASSERT_TRUE(test::SetFlagText(L"1"));
        const int before = form_->TickCount();
        Tick();
        Tick();
        ticks_inside = form_->TickCount() - before;
    };
    ::PostMessageW(Window(), WM_CLOSE, 0, 0);
    const int before = form_->TickCount();
    Tick();
    EXPECT_EQ(questions_.size(), 1U);
    EXPECT_EQ(ticks_inside, 0);
    EXPECT_EQ(form_->TickCount(), before + 1);
    EXPECT_TRUE(ends_.empty()) << "the paused tick read \"0\"";
    // Once the question has closed, the next tick sees the flag.
    while_asking_ = nullptr;
    Tick();
    EXPECT_EQ(ends_, std::vector<unsigned>{tamsrove::kExitFinished});
}

TEST_F(FrmMainWatch, TicksDuringAQuestionOpenedBetweenTicksEndTheProgram) {
    struct Row {
        const char* what;
        bool set_flag;
        int ticks_before_question;
        unsigned exit_code;
    };
    const Row rows[] = {
        {"set flag", true, 0, tamsrove::kExitFinished},
        {"201st tick", false, 200, tamsrove::kExitTimedOut},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        form_ = MakeForm();
        ASSERT_NE(form_, nullptr);
        while (form_->TickCount() < row.ticks_before_question) {
            Tick();
        }
        Forget();
        std::vector<unsigned> ends_while_asking;
        while_asking_ = [&] {
            if (row.set_flag) {
                ASSERT_TRUE(test::SetFlagText(L"1"));
            }
            Tick();
            ends_while_asking = ends_;
        };
        ClickTerminate();
        EXPECT_EQ(ends_while_asking, std::vector<unsigned>{row.exit_code});
        while_asking_ = nullptr;
        ASSERT_TRUE(test::kFlagKey.Remove());
    }
}

} // namespace
