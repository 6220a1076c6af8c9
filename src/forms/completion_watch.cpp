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

TickAction DecideBeforeRead(std::int16_t tickCount) noexcept {
    return tickCount > TickCap ? TickAction::EndTimedOut : TickAction::Read;
}

bool FlagIsSet(std::wstring_view flagText) noexcept {
    return !flagText.empty() && flagText.front() == L'1';
}

TickAction DecideAfterRead(std::wstring_view flagText) noexcept {
    return FlagIsSet(flagText) ? TickAction::ClearFlagAndEndFinished : TickAction::Wait;
}

unsigned ExitCodeFor(WatchOutcome outcome) noexcept {
    return outcome == WatchOutcome::Finished ? ExitFinished : ExitTimedOut;
}

CompletionWatch::CompletionWatch(WatchPorts ports) noexcept : ports_(std::move(ports)) {}

void CompletionWatch::Tick() noexcept {
    // The read lets window events run, and a timer tick among them would start a second tick
    // inside the first: it would count and read again before the first had decided.
    if (inTick_ || ended_) {
        return;
    }
    inTick_ = true;
    RunTick();
    inTick_ = false;
}

void CompletionWatch::RunTick() noexcept {
    tickCount_ = NextTickCount(tickCount_);
    if (DecideBeforeRead(tickCount_) == TickAction::EndTimedOut) {
        End(WatchOutcome::TimedOut);
        return;
    }
    if (DecideAfterRead(ReadFlagText()) == TickAction::ClearFlagAndEndFinished) {
        ClearFlag();
        End(WatchOutcome::Finished);
    }
}

// Each step below traps its own failure, so that a failing step is skipped and the tick goes
// on with the next one: a failed read counts as "not set", a failed clear still ends.
std::wstring CompletionWatch::ReadFlagText() const noexcept {
    try {
        return ports_.readFlag().value_or(std::wstring{});
    } catch (...) {
        return {};
    }
}

void CompletionWatch::ClearFlag() const noexcept {
    try {
        ports_.clearFlag();
    } catch (...) {
        // The program ends all the same; the flag then still reads as set next run.
    }
}

void CompletionWatch::End(WatchOutcome outcome) noexcept {
    ended_ = true;
    try {
        ports_.endProgram(outcome);
    } catch (...) {
        // Nothing follows the end in this tick, and later ticks do nothing.
    }
}

} // namespace tamsrove
