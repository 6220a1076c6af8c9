// The installer's side of the completion flag, HKCU\Software\Marrowfen value "frx", for the
// tests that run the watch: set up and read back with the wide registry API, not with the
// program's own routines, so that a fault in those cannot hide itself.
#pragma once

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/win32_handles.h"

namespace tamsrove::test {

/// The flag's key below HKEY_CURRENT_USER.
inline constexpr const wchar_t* kFlagSubKey = L"Software\\Marrowfen";
/// The flag's value name.
inline constexpr const wchar_t* kFlagValue = L"frx";

/// True when the flag's key exists.
inline bool FlagKeyExists() {
    unique_hkey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, kFlagSubKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

/// Deletes the flag's key with its values; true when it is absent afterwards.
inline bool RemoveFlagKey() {
    static_cast<void>(::RegDeleteTreeW(HKEY_CURRENT_USER, kFlagSubKey));
    return !FlagKeyExists();
}

/// Creates the key when needed and stores the value with this type and these bytes.
inline bool SetFlagRaw(DWORD type, const void* data, DWORD size) {
    unique_hkey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kFlagSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return ::RegSetValueExW(key.get(), kFlagValue, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

/// Stores text as REG_SZ with its terminating NUL, as an installer does.
inline bool SetFlagText(std::wstring_view text) {
    const std::wstring terminated(text);
    return SetFlagRaw(REG_SZ, terminated.c_str(),
                      static_cast<DWORD>((terminated.size() + 1) * sizeof(wchar_t)));
}

/// Stores a number as REG_DWORD.
inline bool SetFlagNumber(DWORD number) {
    return SetFlagRaw(REG_DWORD, &number, sizeof(number));
}

/// The value as stored: its type and raw bytes.
struct StoredFlag {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    /// The bytes as UTF-16 text, every character kept (a terminating NUL included).
    [[nodiscard]] std::wstring Text() const {
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        return text;
    }
};

/// Reads the value back; nothing when the key or the value is missing.
inline std::optional<StoredFlag> ReadFlag() {
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kFlagSubKey, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredFlag stored;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), kFlagValue, nullptr, &stored.type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    stored.bytes.resize(size);
    if (::RegQueryValueExW(key.get(), kFlagValue, nullptr, &stored.type, stored.bytes.data(),
                           &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    stored.bytes.resize(size);
    return stored;
}

/// Removes the flag's key for the length of a test, so that every test starts and ends with
/// the key absent, whatever the test did in between.
class FlagKeyScope {
public:
    FlagKeyScope() { removed_ = RemoveFlagKey(); }
    ~FlagKeyScope() { RemoveFlagKey(); }
    FlagKeyScope(const FlagKeyScope&) = delete;
    FlagKeyScope& operator=(const FlagKeyScope&) = delete;
    FlagKeyScope(FlagKeyScope&&) = delete;
    FlagKeyScope& operator=(FlagKeyScope&&) = delete;

    /// True when the key was absent at the start of the scope.
    [[nodiscard]] bool Clean() const noexcept { return removed_; }

private:
    bool removed_ = false;
};

} // namespace tamsrove::test
