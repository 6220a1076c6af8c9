#include "forms/completion_watch.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace tamsrove {
namespace {

using namespace std::string_literals;

// The installer's side, scripted: the flag's text and a log of what the watch asked for.
struct FakeInstaller {
    std::optional<std::wstring> flag;
    bool read_fails = false;
    bool clear_fails = false;
    std::function<void()> during_read{}; // window events that run inside the read's yield
    int reads = 0;
    std::vector<std::string> log{};

    WatchActions Actions() {
        return {
            .read_flag =
                [this] {
                    ++reads;
                    log.emplace_back("read");
                    if (during_read) {
                        during_read();
                    }
                    if (read_fails) {
                        throw std::runtime_error("read failed");
                    }
                    return flag;
                },
            .clear_flag =
                [this] {
                    log.emplace_back("clear");
                    if (clear_fails) {
                        throw std::runtime_error("write refused");
                    }
                    flag = L"0";
                },
            .end_program =
                [this](WatchOutcome outcome) {
                    log.emplace_back(outcome == WatchOutcome::Finished ? "end finished"
                                                                       : "end timed out");
                },
        };
    }
};

void TickTimes(CompletionWatch& watch, int ticks) {
    for (int i = 0; i < ticks; ++i) {
        watch.Tick();
    }
}

TEST(CompletionWatchDecisions, CountBeyondTheCapEndsWithoutReading) {
    struct Case {
        std::int16_t count;
        BeforeReadAction expected;
    };
    const std::vector<Case> cases = {
        {1, BeforeReadAction::Read},
        {200, BeforeReadAction::Read},
        {201, BeforeReadAction::EndTimedOut},
        {std::numeric_limits<std::int16_t>::max(), BeforeReadAction::EndTimedOut}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        EXPECT_EQ(DecideBeforeRead(c.count), c.expected);
    }
}

TEST(CompletionWatchDecisions, TickCountStopsAtItsMaximum) {
    // The count's step is defined for every value: it never wraps to a negative count.
    EXPECT_EQ(NextTickCount(0), 1);
    EXPECT_EQ(NextTickCount(200), 201);
    EXPECT_EQ(NextTickCount(std::numeric_limits<std::int16_t>::max()),
              std::numeric_limits<std::int16_t>::max());
}

TEST(CompletionWatch, WithoutFlagReads200TimesThenEndsTimedOutOnTick201) {
    FakeInstaller installer;
    CompletionWatch watch(installer.Actions());
    TickTimes(watch, 200);
    EXPECT_EQ(installer.reads, 200);
    EXPECT_FALSE(watch.HasEnded());

    watch.Tick();
    EXPECT_EQ(installer.reads, 200);
    ASSERT_FALSE(installer.log.empty());
    EXPECT_EQ(installer.log.back(), "end timed out");
    EXPECT_EQ(watch.TickCount(), 201);
}

TEST(CompletionWatch, SetFlagIsClearedThenTheProgramEndsFinished) {
    FakeInstaller installer;
    CompletionWatch watch(installer.Actions());
    TickTimes(watch, 5);
    installer.flag = L"1";
    watch.Tick();
    EXPECT_EQ(installer.flag, L"0");
    EXPECT_EQ(installer.reads, 6);
    const std::vector<std::string> tail(installer.log.end() - 3, installer.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"read", "clear", "end finished"}));
}

TEST(CompletionWatch, OnlyATextBeginningWithOneIsTheFlagAndEndsTheWatch) {
    struct Case {
        std::optional<std::wstring> flag;
        bool set;
    };
    const std::vector<Case> cases = {
        {L"1", true},           {L"10", true},         {L"1\0"s, true},   {L"1 done", true},
        {L" 1", false},         {L"01", false},        {L"x", false},     {L"", false},
        {L"\0"s + L"1", false}, {std::nullopt, false}, {L"\xFF11", false} /* full-width one */};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.flag.value_or(L"(none)")));
        if (c.flag.has_value()) {
            EXPECT_EQ(FlagIsSet(*c.flag), c.set);
            EXPECT_EQ(DecideAfterRead(*c.flag),
                      c.set ? AfterReadAction::ClearFlagAndEndFinished : AfterReadAction::Wait);
        }
        FakeInstaller installer{.flag = c.flag};
        CompletionWatch watch(installer.Actions());
        watch.Tick();
        EXPECT_EQ(watch.HasEnded(), c.set);
        EXPECT_EQ(installer.flag == L"0", c.set);
    }
}

TEST(CompletionWatch, FailedClearStillEndsFinished) {
    FakeInstaller installer{.flag = L"1", .clear_fails = true};
    CompletionWatch watch(installer.Actions());
    watch.Tick();
    EXPECT_EQ(installer.log, (std::vector<std::string>{"read", "clear", "end finished"}));
}

TEST(CompletionWatch, FailedReadCountsAsNotSetAndTheWatchGoesOn) {
    FakeInstaller installer{.flag = L"1", .read_fails = true};
    CompletionWatch watch(installer.Actions());
    watch.Tick();
    EXPECT_FALSE(watch.HasEnded());
    installer.read_fails = false;
    watch.Tick();
    EXPECT_TRUE(watch.HasEnded());
    EXPECT_EQ(installer.reads, 2);
}

TEST(CompletionWatch, TickDuringTheReadsYieldDoesNothing) {
    // A tick never starts while an earlier tick is paused inside the read's yield.
    FakeInstaller installer;
    CompletionWatch watch(installer.Actions());
    installer.during_read = [&] {
        TickTimes(watch, 3);
    };
    watch.Tick();
    EXPECT_EQ(installer.reads, 1);
    EXPECT_EQ(watch.TickCount(), 1);
}

TEST(CompletionWatch, OnlyTicksMoveTheCount) {
    // A termination question answered Cancel inside the yield, with ticks falling due while it
    // is open, leaves the count at the number of ticks handled.
    FakeInstaller installer;
    CompletionWatch watch(installer.Actions());
    installer.during_read = [&] {
        watch.Tick();
    };
    TickTimes(watch, 200);
    EXPECT_EQ(watch.TickCount(), 200);
    EXPECT_FALSE(watch.HasEnded());
    watch.Tick();
    EXPECT_TRUE(watch.HasEnded());
}

TEST(CompletionWatch, TicksAfterTheEndDoNothing) {
    FakeInstaller installer{.flag = L"1"};
    CompletionWatch watch(installer.Actions());
    watch.Tick();
    installer.flag = L"1";
    TickTimes(watch, 3);
    EXPECT_EQ(installer.reads, 1);
    EXPECT_EQ(installer.log.size(), 3U);
}

TEST(CompletionWatch, MissingActionsNeverEscapeTheTick) {
    CompletionWatch watch(WatchActions{});
    TickTimes(watch, 201);
    EXPECT_TRUE(watch.HasEnded());
    EXPECT_EQ(watch.TickCount(), 201);
}

} // namespace
} // namespace tamsrove
