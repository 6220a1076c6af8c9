// The installer's side of the completion flag, HKCU\Software\Marrowfen value "frx", for the
// tests that run the watch.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "../win32_test_support.h"

namespace tamsrove::test {

/// The flag's key below HKEY_CURRENT_USER.
inline const UserKey kFlagKey{L"Software\\Marrowfen"};
/// The flag's value name.
inline constexpr const wchar_t* kFlagValue = L"frx";

/// Stores text as REG_SZ with its terminating NUL, as an installer does.
inline bool SetFlagText(std::wstring_view text) {
    return kFlagKey.SetText(kFlagValue, text);
}
/// Stores a number as REG_DWORD.
inline bool SetFlagNumber(DWORD number) {
    return kFlagKey.SetRaw(kFlagValue, REG_DWORD, &number, sizeof(number));
}
/// The value as stored; nothing when the key or the value is missing.
inline std::optional<StoredValue> ReadFlag() {
    return kFlagKey.Read(kFlagValue);
}

/// Removes the flag's key for the length of a test, so that every test starts and ends with
/// the key absent.
class FlagKeyScope : public UserKeyScope {
public:
    FlagKeyScope() : UserKeyScope(kFlagKey.sub_key) {}
};

} // namespace tamsrove::test
