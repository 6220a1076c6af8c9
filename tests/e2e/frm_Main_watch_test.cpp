// In-process tests of the window's tick handler against the real registry: the completion watch
// wired to the registry routines and to the window's end. The program's end goes through the
// window's replaceable actions (a real ExitProcess would end the test binary). These tests use
// the fixed flag key, so they run beside the whole-program watch tests, in their prefix and
// under their lock, never beside other copies of the window.
#include "forms/frm_Main.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../win32_test_support.h"
#include "flag_key.h"
#include "forms/exit_codes.h"
#include "modules/mod_Reg.h"

namespace {

using tamsrove::frm_Main;
using tamsrove::detail::RegCall;
using tamsrove::layout::ControlId;
namespace test = tamsrove::test;

/// One event in the order it happened: a registry call or the program's end.
struct Event : test::SeenCall {
    bool is_end = false;
    unsigned exit_code = 0;
};

/// The window, shown, with the question answered by the test and the end recorded.
class FrmMainWatch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(flagKey_.Clean());
        calls_.on_call = [this](const test::SeenCall& call) {
            events_.push_back({call});
        };
        form_ = MakeForm();
        ASSERT_NE(form_, nullptr);
    }

    void TearDown() override {
        form_.reset();
        test::PumpMessages();
    }

    [[nodiscard]] std::unique_ptr<frm_Main> MakeForm() {
        auto form = std::make_unique<frm_Main>(
            frm_Main::TerminationActions{[this](HWND, const wchar_t*, const wchar_t*, UINT) {
                                             ++questions_;
                                             if (whileAsking_) {
                                                 whileAsking_();
                                             }
                                             return answer_;
                                         },
                                         [this](unsigned exit_code) {
                                             Event end;
                                             end.is_end = true;
                                             end.exit_code = exit_code;
                                             events_.push_back(end);
                                         }});
        if (!form->Create(::GetModuleHandleW(nullptr))) {
            return nullptr;
        }
        form->Show(SW_SHOWNORMAL);
        test::PumpMessages();
        return form;
    }

    /// One tick of tmr_Unloader, handled before this returns.
    void Tick() const { ::SendMessageW(form_->Window(), WM_TIMER, frm_Main::kUnloaderTimerId, 0); }

    [[nodiscard]] std::vector<unsigned> Ends() const {
        std::vector<unsigned> ends;
        for (const Event& event : events_) {
            if (event.is_end) {
                ends.push_back(event.exit_code);
            }
        }
        return ends;
    }

    [[nodiscard]] std::vector<Event> Calls(RegCall call) const {
        std::vector<Event> found;
        for (const Event& event : events_) {
            if (!event.is_end && event.call == call) {
                found.push_back(event);
            }
        }
        return found;
    }

    /// Index of the first event that matches; -1 when none does.
    [[nodiscard]] int FirstIndex(const std::function<bool(const Event&)>& match) const {
        for (std::size_t i = 0; i < events_.size(); ++i) {
            if (match(events_[i])) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    test::FlagKeyScope flagKey_;
    std::vector<Event> events_;
    test::RegCallLog calls_;
    std::unique_ptr<frm_Main> form_;
    int answer_ = IDCANCEL;
    int questions_ = 0;
    std::function<void()> whileAsking_;
};

// ---- A set flag -------------------------------------------------------------------------------

TEST_F(FrmMainWatch, ASetFlagIsClearedToASingleZeroAndEndsFinished) {
    ASSERT_TRUE(test::SetFlagText(L"1"));
    Tick();
    EXPECT_EQ(Ends(), std::vector<unsigned>{tamsrove::kExitFinished});
    const std::vector<Event> writes = Calls(RegCall::SetValue);
    ASSERT_EQ(writes.size(), 1U);
    EXPECT_EQ(writes.front().name, "frx");
    EXPECT_EQ(writes.front().type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(writes.front().data_length, 1U) << "one character, no terminator counted";
    const auto stored = test::ReadFlag();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
    // The system adds the terminator the write left out.
    EXPECT_EQ(stored->Text(), std::wstring(L"0\0", 2));
    EXPECT_EQ(questions_, 0) << "the watch's end asks nothing";
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
        events_.clear();
        ASSERT_TRUE(test::SetFlagText(row.text));
        Tick();
        EXPECT_EQ(Ends(), row.ends ? std::vector<unsigned>{tamsrove::kExitFinished}
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
    EXPECT_TRUE(Ends().empty());
    EXPECT_TRUE(Calls(RegCall::SetValue).empty());
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
    ASSERT_EQ(Ends(), std::vector<unsigned>{tamsrove::kExitFinished});
    const std::vector<Event> opens = Calls(RegCall::OpenKey);
    // Three reads, then the write's check and the write itself.
    ASSERT_EQ(opens.size(), 5U);
    for (const Event& open : opens) {
        EXPECT_EQ(open.key, HKEY_CURRENT_USER);
        EXPECT_EQ(open.name, "Software\\Marrowfen");
    }
}

// ---- No flag ----------------------------------------------------------------------------------

TEST_F(FrmMainWatch, AnAbsentKeyIsReadButNeverCreated) {
    for (int i = 0; i < 3; ++i) {
        Tick();
    }
    EXPECT_TRUE(Ends().empty());
    EXPECT_EQ(Calls(RegCall::OpenKey).size(), 3U);
    EXPECT_FALSE(test::FlagKeyExists());
}

TEST_F(FrmMainWatch, TheTwoHundredAndFirstTickEndsTimedOutWithoutReading) {
    const int before = form_->TickCount();
    ASSERT_LT(before, 200);
    for (int tick = before + 1; tick <= 200; ++tick) {
        Tick();
    }
    EXPECT_EQ(form_->TickCount(), 200);
    EXPECT_TRUE(Ends().empty());
    EXPECT_EQ(Calls(RegCall::OpenKey).size(), static_cast<std::size_t>(200 - before));
    const std::size_t calls_before = events_.size();
    Tick();
    ASSERT_EQ(Ends(), std::vector<unsigned>{tamsrove::kExitTimedOut});
    EXPECT_EQ(Ends().front(), 1460U);
    EXPECT_EQ(events_.size(), calls_before + 1) << "no registry call on the last tick";
    // An ended watch does nothing more.
    Tick();
    EXPECT_EQ(events_.size(), calls_before + 1);
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
        events_.clear();
        questions_ = 0;
        ASSERT_TRUE(test::SetFlagText(L"1"));
        row.request(*form_);
        Tick();
        EXPECT_EQ(questions_, 1);
        const std::vector<unsigned> ends = Ends();
        ASSERT_FALSE(ends.empty());
        EXPECT_EQ(ends.front(), tamsrove::kExitTerminated);
        const int end = FirstIndex([](const Event& e) { return e.is_end; });
        const int query = FirstIndex([](const Event& e) { return e.call == RegCall::QueryValue; });
        const int write = FirstIndex([](const Event& e) { return e.call == RegCall::SetValue; });
        EXPECT_LT(query, end) << "the question came in the read's yield, after its query";
        // Here the recorded end returns and the tick goes on; the program's end does not.
        EXPECT_TRUE(write == -1 || end < write);
    }
}

TEST_F(FrmMainWatch, NoTickRunsWhileAQuestionOpenedInsideATickIsOpen) {
    ASSERT_TRUE(test::SetFlagText(L"0"));
    int ticks_inside = -1;
    whileAsking_ = [&] {
        ASSERT_TRUE(test::SetFlagText(L"1"));
        const int before = form_->TickCount();
        Tick();
        Tick();
        ticks_inside = form_->TickCount() - before;
    };
    ::PostMessageW(form_->Window(), WM_CLOSE, 0, 0);
    const int before = form_->TickCount();
    Tick();
    EXPECT_EQ(questions_, 1);
    EXPECT_EQ(ticks_inside, 0);
    EXPECT_EQ(form_->TickCount(), before + 1);
    EXPECT_TRUE(Ends().empty()) << "the paused tick read \"0\"";
    // Once the question has closed, the next tick sees the flag.
    whileAsking_ = nullptr;
    Tick();
    EXPECT_EQ(Ends(), std::vector<unsigned>{tamsrove::kExitFinished});
}

TEST_F(FrmMainWatch, TicksDuringAQuestionOpenedBetweenTicksEndTheProgram) {
    struct Row {
        const char* what;
        bool set_flag;
        int ticks_before_question;
        unsigned exit_code;
    };
    const std::vector<Row> rows = {
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
        events_.clear();
        std::vector<unsigned> ends_while_asking;
        whileAsking_ = [&] {
            if (row.set_flag) {
                ASSERT_TRUE(test::SetFlagText(L"1"));
            }
            Tick();
            ends_while_asking = Ends();
        };
        ::SendMessageW(form_->Control(ControlId::CbStopAndQuit), BM_CLICK, 0, 0);
        EXPECT_EQ(ends_while_asking, std::vector<unsigned>{row.exit_code});
        whileAsking_ = nullptr;
        ASSERT_TRUE(test::RemoveFlagKey());
    }
}

} // namespace
