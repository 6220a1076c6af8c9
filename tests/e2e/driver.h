// A small driver for whole-program tests: starts Tamsrove.exe as a separate process and finds
// and works its windows from outside, matching windows by their owning process so that other
// copies of the program running at the same time are never touched.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../win32_test_support.h"
#include "base/win32_handles.h"

/// L"text" from a narrow string literal that a macro (a path from the build) stands for.
#define TAMSROVE_WIDEN2(text) L##text
#define TAMSROVE_WIDEN(text) TAMSROVE_WIDEN2(text)

namespace tamsrove::e2e {

using namespace std::chrono_literals;

/// A path as CreateProcess takes it: a POSIX path /a/b (a Wine build tree) becomes Z:\a\b,
/// and forward slashes become backslashes.
[[nodiscard]] std::wstring ToWindowsPath(std::wstring_view path);

/// Where the build put Tamsrove.exe, as a Windows path.
[[nodiscard]] std::wstring ProgramPath();

/// A started program; ends it (TerminateProcess) on destruction if it is still running.
class Process {
public:
    /// Starts the executable with these arguments (none by default); nullopt when
    /// CreateProcess fails.
    static std::optional<Process> Start(const std::wstring& executable,
                                        std::wstring_view arguments = {});

    Process(Process&&) noexcept = default;
    /// Ends the process this one held, then takes over other's.
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    /// The process id, by which its windows are found.
    [[nodiscard]] DWORD Id() const noexcept { return id_; }
    /// The process handle (full access).
    [[nodiscard]] HANDLE Handle() const noexcept { return handle_.get(); }
    /// True when the process has ended within the timeout.
    [[nodiscard]] bool WaitForExit(std::chrono::milliseconds timeout) const;
    /// True while the process runs.
    [[nodiscard]] bool Running() const;
    /// The exit code once ended; nullopt while it runs.
    [[nodiscard]] std::optional<DWORD> ExitCode() const;
    /// Ends the process if it still runs and waits for it to go.
    void Kill();

private:
    Process(unique_handle handle, DWORD id) noexcept : handle_(std::move(handle)), id_(id) {}
    unique_handle handle_;
    DWORD id_ = 0;
};

using Clock = std::chrono::steady_clock;

/// The seconds from one moment to another (to now when not given), for messages and properties.
[[nodiscard]] inline double SecondsFrom(Clock::time_point from,
                                        Clock::time_point to = Clock::now()) {
    return std::chrono::duration<double>(to - from).count();
}

/// Polls the condition every 10 ms until it holds or the timeout passes; returns the last result.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

using test::win32::ClassNameOf;
using test::win32::TextOf;

/// A top-level window's caption. GetWindowText reads it without a message to the window's
/// process, so a busy or hung window elsewhere on the desktop cannot stall the caller.
[[nodiscard]] std::wstring CaptionOf(HWND window);

/// The ids of the running processes whose image file is named image (Tamsrove.exe, say),
/// whoever started them.
[[nodiscard]] std::vector<DWORD> ProcessesNamed(std::wstring_view image);
/// Ends every running process whose image file is named image, waiting up to 5 s for each, so
/// that a failed test leaves none for the next.
void EndProcessesNamed(std::wstring_view image);
/// While the process runs, for at most limit, calls seen every 10 ms with each visible top-level
/// window whose caption is caption.
void WatchWindowsWhileRunning(const Process& process, std::wstring_view caption,
                              std::chrono::milliseconds limit,
                              const std::function<void(HWND)>& seen);

/// The visible top-level windows of a process (of every process when process_id is 0),
/// optionally only those of one class.
[[nodiscard]] std::vector<HWND> TopLevelWindows(DWORD process_id,
                                                std::wstring_view class_name = {});
/// The visible top-level window of the process with this caption, or null.
[[nodiscard]] HWND FindWindowOf(DWORD process_id, std::wstring_view caption);
/// Waits for the visible top-level window of the process with this caption.
[[nodiscard]] HWND WaitForWindowOf(DWORD process_id, std::wstring_view caption,
                                   std::chrono::milliseconds timeout = 10s);
/// The visible message boxes (class #32770) of the process.
[[nodiscard]] std::vector<HWND> MessageBoxesOf(DWORD process_id);
/// Waits for a visible message box of the process; null when none came.
[[nodiscard]] HWND WaitForMessageBoxOf(DWORD process_id, std::chrono::milliseconds timeout = 5s);

/// All descendants of a window, depth first.
[[nodiscard]] std::vector<HWND> Descendants(HWND parent);
/// The first descendant of this class (and text, when given), or null.
[[nodiscard]] HWND FindDescendant(HWND parent, std::wstring_view class_name,
                                  std::optional<std::wstring_view> text = std::nullopt);

/// Posts a key press (down and up) to the window that has the focus in the thread that owns
/// target, or to target when that thread has no focus in it.
void PostKeyPress(HWND target, WORD virtual_key);

} // namespace tamsrove::e2e
