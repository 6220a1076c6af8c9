// Registry access by textual key path ("HKEY_CURRENT_USER\Software\Marrowfen") and value name.
// Every call opens its key with the least access it needs and closes it before returning; no
// failure reaches the caller, it shows as an empty read or a write that did not happen.
// Texts cross the registry in the system's ANSI code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace tamsrove {

/// Data for RegSetTyped: a text for REG_SZ, a number for REG_DWORD.
using RegData = std::variant<std::wstring_view, DWORD>;

/// Takes a root key's full name (and the backslash after it) off the front of path and returns
/// that predefined root; returns null and leaves path unchanged when no root name matches.
[[nodiscard]] HKEY RegSplitRoot(std::wstring& path) noexcept;

/// Reads a REG_SZ value: its text up to the first NUL, or nothing (missing key or value, other
/// type, failure). Shortens path like RegSplitRoot; lets pending window events run after the
/// key is closed, so window handlers may run before it returns.
[[nodiscard]] std::optional<std::wstring> RegReadValue(std::wstring& path,
                                                       std::wstring_view value_name) noexcept;
/// RegReadValue for a path the caller does not keep.
[[nodiscard]] std::optional<std::wstring> RegReadValue(std::wstring&& path,
                                                       std::wstring_view value_name) noexcept;

/// Stores data as the REG_SZ text of an existing value; creates no key and no value, and does
/// nothing when either is missing or the write is refused. Shortens path like RegSplitRoot.
void RegWriteValue(std::wstring& path, std::wstring_view value_name,
                   std::wstring_view data) noexcept;
/// RegWriteValue for a path the caller does not keep.
void RegWriteValue(std::wstring&& path, std::wstring_view value_name,
                   std::wstring_view data) noexcept;

/// Queries a value of a key opened with KEY_QUERY_VALUE; sets value to the text of a REG_SZ
/// value and leaves it unchanged otherwise (also when the text keeps growing over a few
/// attempts to read it). Beeps on a run-time failure such as no memory.
LSTATUS RegQueryTyped(HKEY key, std::wstring_view value_name,
                      std::optional<std::wstring>& value) noexcept;

/// Writes a REG_SZ text (its ANSI length, no NUL counted) or a REG_DWORD number to a key opened
/// with KEY_SET_VALUE; other types write nothing and answer ERROR_UNSUPPORTED_TYPE.
LSTATUS RegSetTyped(HKEY key, std::wstring_view value_name, DWORD type,
                    const RegData& data) noexcept;

namespace detail {

/// The system calls that this module reports to an observer.
enum class RegCall { OpenKey, QueryValue, SetValue, CloseKey, Beep };

/// One reported call, after it returned; unused fields stay zero.
struct RegCallRecord {
    RegCall call = RegCall::OpenKey;
    HKEY key = nullptr;     ///< Key passed (the root for OpenKey).
    HKEY opened = nullptr;  ///< Key handed back (OpenKey).
    std::string_view name;  ///< ANSI sub-key path (OpenKey) or value name (QueryValue, SetValue).
    REGSAM access = 0;      ///< Access mask asked for (OpenKey).
    DWORD type = 0;         ///< Type reported (QueryValue) or written (SetValue).
    DWORD data_length = 0;  ///< Size reported (QueryValue) or length passed (SetValue).
    bool with_data = false; ///< QueryValue: a data buffer was passed.
    LSTATUS status = ERROR_SUCCESS;
};

/// Receives every reported call; a test seam only, product code never sets one.
using RegCallObserver = void (*)(const RegCallRecord& record);

/// Installs observer (null for none) and returns the one it replaces.
RegCallObserver SetRegCallObserver(RegCallObserver observer) noexcept;

} // namespace detail
} // namespace tamsrove
