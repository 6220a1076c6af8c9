#include "modules/mod_Reg.h"

#include "platform/win32_handles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

namespace tamsrove {
namespace {

std::atomic<detail::RegCallObserver> g_observer{nullptr};

void Report(const detail::RegCallRecord& record) {
    if (const detail::RegCallObserver observer = g_observer.load()) {
        observer(record);
    }
}

detail::RegCallRecord Record(detail::RegCall call, HKEY key, LSTATUS status) noexcept {
    detail::RegCallRecord record;
    record.call = call;
    record.key = key;
    record.status = status;
    return record;
}

// The same owner as unique_hkey, whose closer also reports the close to the observer.
void CloseKeyReported(HKEY key) noexcept {
    const LSTATUS status = ::RegCloseKey(key);
    try {
        Report(Record(detail::RegCall::CloseKey, key, status));
    } catch (...) {
        // A closer cannot fail; the observer's trouble is its own.
    }
}
using owned_hkey = unique_any<HKEY, CloseKeyReported>;

// The predefined keys are the handle values from 0x80000000 to 0x800000FF, sign-extended on
// 64-bit Windows; they belong to the system and are never closed.
bool IsPredefinedKey(HKEY key) noexcept {
    const std::intptr_t first = reinterpret_cast<std::intptr_t>(HKEY_CLASSES_ROOT);
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(key);
    return value >= first && value <= first + 0xFF;
}

struct RootName {
    std::wstring_view name;
    HKEY key;
};

const std::array<RootName, 4> RootNames{{
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_USERS", HKEY_USERS},
}};

// Attempts at a text value that keeps growing between the size query and the data query;
// after them the read gives up and yields empty rather than chase a writer for ever.
constexpr int MaxTextQueries = 4;
// Messages handled by one yield at most: a handler that keeps posting to itself must not hold
// the read (and the tick that called it) for ever; the rest run in the program's own loop.
constexpr int MaxMessagesPerYield = 1000;

// Converts text to the ANSI code page, or nothing when a character has no exact form there:
// a substituted "?" or a best-fit look-alike would name, or store, something else than asked.
std::optional<std::string> ToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return std::string{};
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    // Under a UTF-8 code page the function takes no substitution arguments, and only an
    // unpaired surrogate has no form.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int length = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, nullptr,
                                             0 /* size query */, nullptr, usedDefaultOut);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    const int written = ::WideCharToMultiByte(CP_ACP, flags, text.data(), length, ansi.data(),
                                              needed, nullptr, usedDefaultOut);
    if (written != needed || usedDefault != FALSE) {
        return std::nullopt;
    }
    return ansi;
}

// A key path or value name goes to the API as a C string: an embedded NUL would cut it short
// and address another key or value, so such a name is refused like an unconvertible one.
std::optional<std::string> ToAnsiName(std::wstring_view name) {
    if (name.find(L'\0') != std::wstring_view::npos) {
        return std::nullopt;
    }
    return ToAnsi(name);
}

std::wstring FromAnsi(std::string_view ansi) {
    if (ansi.empty()) {
        return {};
    }
    if (ansi.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("registry text too long");
    }
    const int length = static_cast<int>(ansi.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    const int written = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, text.data(), needed);
    text.resize(static_cast<std::size_t>(std::max(written, 0)));
    return text;
}

// The characters before the first NUL: the terminator the stored text usually carries, or an
// embedded one. No ANSI code page uses a zero byte inside a character, so the byte search
// finds exactly the first NUL character.
std::string_view UpToFirstNul(std::string_view bytes) noexcept {
    return bytes.substr(0, bytes.find('\0'));
}

void Beep() noexcept {
    ::MessageBeep(MB_OK);
    try {
        Report(Record(detail::RegCall::Beep, nullptr, ERROR_SUCCESS));
    } catch (...) {
        // The beep has sounded; nothing else to do.
    }
}

LSTATUS QueryValue(HKEY key, const std::string& name, DWORD* type, BYTE* data, DWORD* size) {
    const LSTATUS status =
        ::RegQueryValueExA(key, name.c_str(), nullptr /* reserved */, type, data, size);
    detail::RegCallRecord record = Record(detail::RegCall::QueryValue, key, status);
    record.name = name;
    record.type = type != nullptr ? *type : 0;
    record.dataLength = size != nullptr ? *size : 0;
    record.withData = data != nullptr;
    Report(record);
    return status;
}

// Reads a REG_SZ value whose size the first query reported. The ANSI API reports sizes in
// bytes of ANSI text, and the size query may report more than the data query fills (it can
// count the stored UTF-16 bytes), so only the filled byte count is converted.
LSTATUS QueryText(HKEY key, const std::string& name, DWORD size,
                  std::optional<std::wstring>& value) {
    std::string buffer;
    for (int attempt = 0; attempt < MaxTextQueries; ++attempt) {
        buffer.assign(size, '\0');
        DWORD type = REG_NONE;
        DWORD filled = size;
        const LSTATUS status =
            QueryValue(key, name, &type, reinterpret_cast<BYTE*>(buffer.data()), &filled);
        if (status == ERROR_MORE_DATA) {
            size = filled; // the value grew since the size query: filled is the size needed now
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (type != REG_SZ) {
            return ERROR_UNSUPPORTED_TYPE; // replaced by another type between the queries
        }
        const std::string_view bytes(buffer.data(), std::min<std::size_t>(filled, buffer.size()));
        value = FromAnsi(UpToFirstNul(bytes));
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

LSTATUS QueryTyped(HKEY key, std::wstring_view valueName, std::optional<std::wstring>& value) {
    const std::optional<std::string> name = ToAnsiName(valueName);
    if (!name) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LSTATUS status = QueryValue(key, *name, &type, nullptr /* size only */, &size);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (type != REG_SZ) {
        return ERROR_UNSUPPORTED_TYPE; // numbers, expandable and multi-strings read as empty
    }
    return QueryText(key, *name, size, value);
}

// A key opened for one call. The owner closes it on every path; it stays empty if the system
// should ever hand back a predefined key, which is not ours to close.
struct KeyForCall {
    HKEY handle = nullptr;
    owned_hkey owner;
};

KeyForCall OpenKey(HKEY root, const std::wstring& subKey, REGSAM access) {
    KeyForCall key;
    if (root == nullptr) {
        return key; // no root recognised: nothing to open
    }
    const std::optional<std::string> ansiSubKey = ToAnsiName(subKey);
    if (!ansiSubKey) {
        return key;
    }
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExA(root, ansiSubKey->c_str(), 0 /* options */, access, &opened);
    if (status == ERROR_SUCCESS && opened != nullptr) {
        key.handle = opened;
        if (!IsPredefinedKey(opened)) {
            key.owner.reset(opened);
        }
    }
    detail::RegCallRecord record = Record(detail::RegCall::OpenKey, root, status);
    record.name = *ansiSubKey;
    record.access = access;
    record.opened = key.handle;
    Report(record);
    return key;
}

// Reads with the key scoped to this function, so that it is closed before any window event
// runs.
std::optional<std::wstring> ReadClosed(std::wstring& path, std::wstring_view valueName) {
    const HKEY root = RegSplitRoot(path);
    const KeyForCall key = OpenKey(root, path, KEY_QUERY_VALUE);
    std::optional<std::wstring> value;
    if (key.handle != nullptr) {
        RegQueryTyped(key.handle, valueName, value);
    }
    return value;
}

bool ValueExists(HKEY root, const std::wstring& subKey, std::wstring_view valueName) {
    const KeyForCall key = OpenKey(root, subKey, KEY_QUERY_VALUE);
    const std::optional<std::string> name = ToAnsiName(valueName);
    if (key.handle == nullptr || !name) {
        return false;
    }
    return QueryValue(key.handle, *name, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void Write(std::wstring& path, std::wstring_view valueName, std::wstring_view data) {
    const HKEY root = RegSplitRoot(path);
    // RegSetValueEx would create a missing value; the installer owns the value, so it is only
    // ever replaced. The check opens the key for reading alone, the write for writing alone.
    if (!ValueExists(root, path, valueName)) {
        return;
    }
    const KeyForCall key = OpenKey(root, path, KEY_SET_VALUE);
    if (key.handle != nullptr) {
        RegSetTyped(key.handle, valueName, REG_SZ, RegData{data});
    }
}

// Lets the window events that are pending run, like the program's own message loop would.
// Keyboard navigation between dialog controls is not needed in this short pause.
void LetPendingEventsRun() noexcept {
    MSG message{};
    for (int handled = 0; handled < MaxMessagesPerYield; ++handled) {
        if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) == FALSE) {
            return;
        }
        if (message.message == WM_QUIT) {
            // Taken here, WM_QUIT would be lost to the loop that ends the program: put it back.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

LSTATUS SetValue(HKEY key, const std::string& name, DWORD type, const BYTE* data, DWORD length) {
    const LSTATUS status =
        ::RegSetValueExA(key, name.c_str(), 0 /* reserved */, type, data, length);
    detail::RegCallRecord record = Record(detail::RegCall::SetValue, key, status);
    record.name = name;
    record.type = type;
    record.dataLength = length;
    Report(record);
    return status;
}

LSTATUS SetText(HKEY key, const std::string& name, std::wstring_view text) {
    const std::optional<std::string> ansi = ToAnsi(text);
    if (!ansi) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    if (ansi->size() > MAXDWORD) {
        return ERROR_INVALID_PARAMETER;
    }
    // The length counts the text's bytes and no NUL. The API looks at the byte after the
    // counted data (it adds a NUL found there to the stored text), and std::string keeps one
    // there, so that look stays inside the buffer.
    return SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(ansi->c_str()),
                    static_cast<DWORD>(ansi->size()));
}

LSTATUS SetTyped(HKEY key, std::wstring_view valueName, DWORD type, const RegData& data) {
    if (type != REG_SZ && type != REG_DWORD) {
        return ERROR_UNSUPPORTED_TYPE;
    }
    const std::optional<std::string> name = ToAnsiName(valueName);
    if (!name) {
        return ERROR_NO_UNICODE_TRANSLATION;
    }
    if (type == REG_SZ) {
        const auto* text = std::get_if<std::wstring_view>(&data);
        return text != nullptr ? SetText(key, *name, *text) : ERROR_INVALID_PARAMETER;
    }
    const auto* number = std::get_if<DWORD>(&data);
    return number != nullptr ? SetValue(key, *name, REG_DWORD,
                                        reinterpret_cast<const BYTE*>(number), sizeof(DWORD))
                             : ERROR_INVALID_PARAMETER;
}

} // namespace

HKEY RegSplitRoot(std::wstring& path) noexcept {
    for (const RootName& root : RootNames) {
        if (!path.starts_with(root.name)) {
            continue;
        }
        // Only the full name counts, alone or before a backslash: "HKEY_CURRENT_CONFIG" and
        // "HKEY_USERSX" begin like roots but are not them.
        const std::size_t nameLength = root.name.size();
        if (path.size() == nameLength) {
            path.clear();
            return root.key;
        }
        if (path[nameLength] == L'\\') {
            path.erase(0, nameLength + 1);
            return root.key;
        }
    }
    return nullptr;
}

std::optional<std::wstring> RegReadValue(std::wstring& path, std::wstring_view valueName) noexcept {
    std::optional<std::wstring> value;
    try {
        value = ReadClosed(path, valueName);
    } catch (...) {
        value.reset(); // no failure reaches the caller: it reads as empty
    }
    LetPendingEventsRun();
    return value;
}

std::optional<std::wstring> RegReadValue(std::wstring&& path,
                                         std::wstring_view valueName) noexcept {
    return RegReadValue(path, valueName);
}

void RegWriteValue(std::wstring& path, std::wstring_view valueName,
                   std::wstring_view data) noexcept {
    try {
        Write(path, valueName, data);
    } catch (...) {
        // No failure reaches the caller: the write simply did not happen.
    }
}

void RegWriteValue(std::wstring&& path, std::wstring_view valueName,
                   std::wstring_view data) noexcept {
    RegWriteValue(path, valueName, data);
}

LSTATUS RegQueryTyped(HKEY key, std::wstring_view valueName,
                      std::optional<std::wstring>& value) noexcept {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    try {
        return QueryTyped(key, valueName, value);
    } catch (const std::bad_alloc&) {
        Beep();
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        Beep();
        return ERROR_GEN_FAILURE;
    }
}

LSTATUS RegSetTyped(HKEY key, std::wstring_view valueName, DWORD type,
                    const RegData& data) noexcept {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    try {
        return SetTyped(key, valueName, type, data);
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY; // the converted text found no memory
    }
}

namespace detail {

RegCallObserver SetRegCallObserver(RegCallObserver observer) noexcept {
    return g_observer.exchange(observer);
}

} // namespace detail
} // namespace tamsrove
