// Whole-program tests of the completion watch: Tamsrove.exe runs as its own process while the
// test plays the installer, creating, setting and reading HKCU\Software\Marrowfen "frx". The
// key is fixed, so these tests run one at a time in a prefix of their own (ctest lock
// "marrowfen"); the slow one (*Slow*) runs apart, in yet another prefix.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "driver.h"
#include "flag_key.h"
#include "forms/exit_codes.h"
#include "forms/layout.h"

namespace {

using namespace std::chrono_literals;
namespace e2e = tamsrove::e2e;
using e2e::Clock;
namespace test = tamsrove::test;

/// One tick (1 s) plus the slack a busy machine needs to notice the end.
constexpr auto kEndsWithinOneTick = 1500ms;

/// The key state owned by the test and the program started by it; the program is killed and
/// the key removed at the end of every test, failed or not.
class ProgramWatch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(flagKey_.Clean()) << "cannot remove the flag's key"; }

    void TearDown() override { program_.reset(); }

    /// Starts the program and waits for its window.
    void Start() {
        startedAt_ = Clock::now();
        program_ = e2e::Process::Start(e2e::ProgramPath());
        ASSERT_TRUE(program_.has_value()) << "cannot start the program";
        window_ = e2e::WaitForWindowOf(program_->Id(), tamsrove::layout::kCaption);
        ASSERT_NE(window_, nullptr) << "no window";
        shownAt_ = Clock::now();
    }

    /// Sleeps until this long after the start.
    void WaitUntilAfterStart(std::chrono::milliseconds offset) const {
        std::this_thread::sleep_until(startedAt_ + offset);
    }

    /// Sets the flag as the installer does and expects the program to end "finished" within
    /// one tick, leaving the single character "0" (and the NUL the system adds) behind.
    void SetFlagAndExpectFinished() const {
        ASSERT_TRUE(program_->Running()) << "ended before the flag was set";
        ASSERT_TRUE(test::SetFlagText(L"1"));
        const Clock::time_point set_at = Clock::now();
        ASSERT_TRUE(program_->WaitForExit(kEndsWithinOneTick))
            << "still running " << e2e::SecondsFrom(set_at) << " s after the flag was set";
        RecordProperty("seconds_from_set_to_exit", std::to_string(e2e::SecondsFrom(set_at)));
        EXPECT_EQ(program_->ExitCode(), std::optional<DWORD>(tamsrove::kExitFinished));
        ExpectFlagCleared();
    }

    static void ExpectFlagCleared() {
        const std::optional<test::StoredValue> stored = test::ReadFlag();
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(stored->Text(), std::wstring(L"0\0", 2));
    }

    test::FlagKeyScope flagKey_; ///< declared first: removed after the program is gone
    std::optional<e2e::Process> program_;
    Clock::time_point startedAt_;
    Clock::time_point shownAt_;
    HWND window_ = nullptr;
};

TEST_F(ProgramWatch, AFlagSetWhileWaitingEndsItWithinOneTick) {
    ASSERT_TRUE(test::SetFlagText(L"0")); // the installer makes the key before starting us
    Start();
    WaitUntilAfterStart(3s);
    SetFlagAndExpectFinished();
}

TEST_F(ProgramWatch, AFlagAlreadySetEndsItAtTheFirstTick) {
    ASSERT_TRUE(test::SetFlagText(L"1"));
    Start();
    ASSERT_TRUE(program_->WaitForExit(kEndsWithinOneTick))
        << "still running " << e2e::SecondsFrom(shownAt_) << " s after the window showed";
    // The first tick comes one interval after the window was made, and that is after the
    // start; a busy machine may take a while to start the program, so the upper bound is
    // counted from the window.
    EXPECT_GE(e2e::SecondsFrom(startedAt_), 0.9);
    EXPECT_EQ(program_->ExitCode(), std::optional<DWORD>(tamsrove::kExitFinished));
    ExpectFlagCleared();
}

TEST_F(ProgramWatch, AFlagSetWhileTheQuestionIsOpenEndsItFinished) {
    ASSERT_TRUE(test::SetFlagText(L"0"));
    Start();
    const HWND terminate = e2e::FindDescendant(window_, L"Button", std::wstring_view(L"Terminate"));
    ASSERT_NE(terminate, nullptr);
    // Posted: a sent click would wait for the modal question to close.
    ::PostMessageW(terminate, BM_CLICK, 0, 0);
    ASSERT_NE(e2e::WaitForMessageBoxOf(program_->Id()), nullptr) << "no question";
    // Ticks go on under the question; with the flag still "0" they change nothing.
    std::this_thread::sleep_for(1200ms);
    ASSERT_EQ(e2e::MessageBoxesOf(program_->Id()).size(), 1U);
    SetFlagAndExpectFinished();
}

// Regression: two windows shared one flag, and the first to tick cleared it, leaving the other
// waiting out its time-out. A second start now shows nothing and leaves the flag to the first.
TEST_F(ProgramWatch, ASecondStartExitsWith183AtOnceAndShowsNoWindow) {
    ASSERT_TRUE(test::SetFlagText(L"0"));
    Start();
    const Clock::time_point second_at = Clock::now();
    std::optional<e2e::Process> second = e2e::Process::Start(e2e::ProgramPath());
    ASSERT_TRUE(second.has_value());
    bool showed = false;
    const bool ended = e2e::WaitUntil(
        [&] {
            showed = showed || !e2e::TopLevelWindows(second->Id()).empty();
            return !second->Running();
        },
        2s);
    ASSERT_TRUE(ended) << "the second start still runs after 2 s";
    RecordProperty("seconds_from_second_start_to_exit",
                   std::to_string(e2e::SecondsFrom(second_at)));
    EXPECT_EQ(second->ExitCode(), std::optional<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(showed) << "the second start showed a window";
    SetFlagAndExpectFinished();
}

// Regression: a WM_QUIT from another program ended the window with 0, the code for "finished".
TEST_F(ProgramWatch, AQuitMessageFromOutsideLeavesItWaitingForTheFlag) {
    ASSERT_TRUE(test::SetFlagText(L"0"));
    Start();
    const DWORD thread = ::GetWindowThreadProcessId(window_, nullptr);
    ASSERT_TRUE(::PostThreadMessageW(thread, WM_QUIT, 0, 0));
    ASSERT_TRUE(::PostMessageW(window_, WM_QUIT, 0, 0));
    // Two ticks, so that one of them reads the flag after the quits arrived.
    EXPECT_FALSE(program_->WaitForExit(2500ms))
        << "ended with " << program_->ExitCode().value_or(0);
    EXPECT_TRUE(::IsWindowVisible(window_));
    SetFlagAndExpectFinished();
}

// ---- Slow: run apart (label "slow") ----------------------------------------------------------

using ProgramWatchSlow = ProgramWatch;

TEST_F(ProgramWatchSlow, WithoutTheKeyItEndsTimedOutOnTheTwoHundredAndFirstTick) {
    Start();
    ASSERT_TRUE(program_->WaitForExit(210s)) << "still running after 210 s";
    // The lower bound counts from the start, the upper one from the window: a busy machine
    // may take seconds to start the program, and the ticks only begin with the window.
    RecordProperty("seconds_from_start_to_exit", std::to_string(e2e::SecondsFrom(startedAt_)));
    EXPECT_GE(e2e::SecondsFrom(startedAt_), 199.0);
    EXPECT_LE(e2e::SecondsFrom(shownAt_), 205.0);
    EXPECT_EQ(program_->ExitCode(), std::optional<DWORD>(tamsrove::kExitTimedOut));
    EXPECT_EQ(program_->ExitCode(), std::optional<DWORD>(1460));
    EXPECT_FALSE(test::kFlagKey.Exists()) << "the program created the key";
}

} // namespace
