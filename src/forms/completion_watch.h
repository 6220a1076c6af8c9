// The completion watch: once a second the progress window asks whether the installer has set its
// flag in the registry, clears it when it has, and gives up after a fixed number of ticks. The
// decisions are plain functions of the tick count and the text read; CompletionWatch runs one
// tick through the actions it is handed, so the window only supplies the registry calls and the
// end.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tamsrove {

/// Key path of the installer's completion flag; each registry call gets its own copy.
inline constexpr std::wstring_view kFlagKeyPath = L"HKEY_CURRENT_USER\\Software\\Marrowfen";
/// Name of the REG_SZ value that holds the flag.
inline constexpr std::wstring_view kFlagValueName = L"frx";
/// Text written to clear the flag once it has been seen.
inline constexpr std::wstring_view kFlagClearedText = L"0";
/// Last tick that still reads the flag; the tick after it ends the wait.
inline constexpr std::int16_t kTickCap = 200;

/// What a tick does before it reads the flag.
enum class BeforeReadAction {
    EndTimedOut, ///< Past the cap: end the program without reading.
    Read,        ///< Read the flag.
};

/// What a tick does with the flag text it read.
enum class AfterReadAction {
    ClearFlagAndEndFinished, ///< The flag is set: write "0", then end the program.
    Wait,                    ///< The flag is not set: nothing more this tick.
};

/// Why the watch ended the program.
enum class WatchOutcome { Finished, TimedOut };

/// The tick count after one more tick; it stops at its maximum instead of overflowing.
[[nodiscard]] std::int16_t NextTickCount(std::int16_t count) noexcept;
/// Decision before reading, given the count already advanced for this tick.
[[nodiscard]] BeforeReadAction DecideBeforeRead(std::int16_t tick_count) noexcept;
/// True when the flag text begins with the character "1".
[[nodiscard]] bool FlagIsSet(std::wstring_view flag_text) noexcept;
/// Decision after reading the flag text (an empty read is the empty text).
[[nodiscard]] AfterReadAction DecideAfterRead(std::wstring_view flag_text) noexcept;
/// The process exit code for an outcome.
[[nodiscard]] unsigned ExitCodeFor(WatchOutcome outcome) noexcept;

/// The effects a tick needs, supplied by the window (or by fakes in tests).
struct WatchActions {
    /// Reads the flag's text, or nothing; may let window events run (and re-enter Tick).
    std::function<std::optional<std::wstring>()> read_flag;
    /// Writes kFlagClearedText into the flag; its outcome is not needed.
    std::function<void()> clear_flag;
    /// Ends the program at once; normally does not return.
    std::function<void(WatchOutcome)> end_program;
};

/// Runs the ticks of the watch: counts them, reads, clears and ends through its actions.
class CompletionWatch {
public:
    /// A watch in its first state: no ticks counted, not ended.
    explicit CompletionWatch(WatchActions actions) noexcept;

    /// Handles one timer tick. A tick that arrives while an earlier one is still inside its
    /// read (the read lets window events run), or after the watch has ended, does nothing.
    void Tick() noexcept;

    /// Ticks handled so far.
    [[nodiscard]] std::int16_t TickCount() const noexcept { return tick_count_; }
    /// True once the watch has asked for the program's end.
    [[nodiscard]] bool HasEnded() const noexcept { return ended_; }

private:
    void RunTick() noexcept;
    [[nodiscard]] std::wstring ReadFlagText() const noexcept;
    void ClearFlag() const noexcept;
    void End(WatchOutcome outcome) noexcept;

    WatchActions actions_;
    std::int16_t tick_count_ = 0;
    bool in_tick_ = false;
    bool ended_ = false;
};

} // namespace tamsrove
