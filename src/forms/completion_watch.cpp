#include "forms/completion_watch.h"

#include "forms/exit_codes.h"

#include <limits>
#include <utility>

namespace tamsrove {

std::int16_t NextTickCount(std::int16_t count) noexcept {
    // The cap ends the watch at 201, so the maximum is never met in practice; stopping there
    // keeps the step defined whatever happens.
    if (count == std::numeric_limits<std::int16_t>::max()) {
        return count;
    }
    return static_cast<std::int16_t>(count + 1);
}

BeforeReadAction DecideBeforeRead(std::int16_t tick_count) noexcept {
    return tick_count > kTickCap ? BeforeReadAction::EndTimedOut : BeforeReadAction::Read;
}

bool FlagIsSet(std::wstring_view flag_text) noexcept {
    return !flag_text.empty() && flag_text.front() == L'1';
}

AfterReadAction DecideAfterRead(std::wstring_view flag_text) noexcept {
    return FlagIsSet(flag_text) ? AfterReadAction::ClearFlagAndEndFinished : AfterReadAction::Wait;
}

unsigned ExitCodeFor(WatchOutcome outcome) noexcept {
    return outcome == WatchOutcome::Finished ? kExitFinished : kExitTimedOut;
}

CompletionWatch::CompletionWatch(WatchActions actions) noexcept : actions_(std::move(actions)) {}

void CompletionWatch::Tick() noexcept {
    // The read lets window events run, and a timer tick among them would start a second tick
    // inside the first: it would count and read again before the first had decided.
    if (in_tick_ || ended_) {
        return;
    }
    in_tick_ = true;
    RunTick();
    in_tick_ = false;
}

void CompletionWatch::RunTick() noexcept {
    tick_count_ = NextTickCount(tick_count_);
    if (DecideBeforeRead(tick_count_) == BeforeReadAction::EndTimedOut) {
        End(WatchOutcome::TimedOut);
        return;
    }
    if (DecideAfterRead(ReadFlagText()) == AfterReadAction::ClearFlagAndEndFinished) {
        ClearFlag();
        End(WatchOutcome::Finished);
    }
}

// Each step below traps its own failure, so that a failing step is skipped and the tick goes
// on with the next one: a failed read counts as "not set", a failed clear still ends.
std::wstring CompletionWatch::ReadFlagText() const noexcept {
    try {
        return actions_.read_flag().value_or(std::wstring{});
    } catch (...) {
        return {};
    }
}

void CompletionWatch::ClearFlag() const noexcept {
    try {
        actions_.clear_flag();
    } catch (...) {
        // The program ends all the same; the flag then still reads as set next run.
    }
}

void CompletionWatch::End(WatchOutcome outcome) noexcept {
    ended_ = true;
    try {
        actions_.end_program(outcome);
    } catch (...) {
        // Nothing follows the end in this tick, and later ticks do nothing.
    }
}

} // namespace tamsrove
