#include "modules/mod_Reg.h"

#include "base/code_page.h"
#include "base/win32_handles.h"
#include "base/win32_text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
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

// Closes like unique_hkey (never a predefined root) and reports the close to the observer.
void CloseKeyReported(HKEY key) noexcept {
    if (IsPredefinedKey(key)) {
        return;
    }
    const LSTATUS status = ::RegCloseKey(key);
    try {
        Report(Record(detail::RegCall::CloseKey, key, status));
    } catch (...) {
        // A closer cannot fail; the observer's trouble is its own.
    }
}
using unique_reported_hkey = unique_any<HKEY, CloseKeyReported>;

struct RootName {
    std::wstring_view name;
    HKEY key;
};

const std::array<RootName, 4> kRootNames{{
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_USERS", HKEY_USERS},
}};

// Attempts at a text value that keeps growing between the size query and the data query;
// after them the read gives up and yields empty rather than chase a writer for ever.
constexpr int kMaxTextQueries = 4;
// Messages handled by one yield at most: a handler that keeps posting to itself must not hold
// the read (and the tick that called it) for ever; the rest run in the program's own loop.
constexpr int kMaxMessagesPerYield = 1000;

// Converts text to the ANSI code page, or nothing when a character has no exact form there:
// a substituted "?" or a best-fit look-alike would name, or store, something else than asked.
std::optional<std::string> ToAnsi(std::wstring_view text) {
    std::string ansi;
    if (!platform::AppendWideAsAnsi(platform::AsUtf16(text), ansi, platform::Unmappable::Refuse)) {
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
    const std::u16string text = platform::AnsiToWide(ansi);
    return std::wstring(platform::AsWide(text));
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
    record.data_length = size != nullptr ? *size : 0;
    record.with_data = data != nullptr;
    Report(record);
    return status;
}

// Reads a REG_SZ value whose size the first query reported. The ANSI API reports sizes in
// bytes of ANSI text, and the size query may report more than the data query fills (it can
// count the stored UTF-16 bytes), so only the filled byte count is converted.
LSTATUS QueryText(HKEY key, const std::string& name, DWORD size,
                  std::optional<std::wstring>& value) {
    std::string buffer;
    for (int attempt = 0; attempt < kMaxTextQueries; ++attempt) {
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

LSTATUS QueryTyped(HKEY key, std::wstring_view value_name, std::optional<std::wstring>& value) {
    const std::optional<std::string> name = ToAnsiName(value_name);
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

// A key opened for one call; empty when there is no root or the open fails.
unique_reported_hkey OpenKey(HKEY root, const std::wstring& sub_key, REGSAM access) {
    if (root == nullptr) {
        return {}; // no root recognised: nothing to open
    }
    const std::optional<std::string> ansi_sub_key = ToAnsiName(sub_key);
    if (!ansi_sub_key) {
        return {};
    }
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegOpenKeyExA(root, ansi_sub_key->c_str(), 0 /* options */, access, &opened);
    unique_reported_hkey key(status == ERROR_SUCCESS ? opened : nullptr);
    detail::RegCallRecord record = Record(detail::RegCall::OpenKey, root, status);
    record.name = *ansi_sub_key;
    record.access = access;
    record.opened = key.get();
    Report(record);
    return key;
}

// Reads with the key scoped to this function, so that it is closed before any window event
// runs.
std::optional<std::wstring> ReadClosed(std::wstring& path, std::wstring_view value_name) {
    const HKEY root = RegSplitRoot(path);
    const unique_reported_hkey key = OpenKey(root, path, KEY_QUERY_VALUE);
    std::optional<std::wstring> value;
    if (key) {
        RegQueryTyped(key.get(), value_name, value);
    }
    return value;
}

bool ValueExists(HKEY root, const std::wstring& sub_key, std::wstring_view value_name) {
    const unique_reported_hkey key = OpenKey(root, sub_key, KEY_QUERY_VALUE);
    const std::optional<std::string> name = ToAnsiName(value_name);
    if (!key || !name) {
        return false;
    }
    return QueryValue(key.get(), *name, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void Write(std::wstring& path, std::wstring_view value_name, std::wstring_view data) {
    const HKEY root = RegSplitRoot(path);
    // RegSetValueEx would create a missing value; the installer owns the value, so it is only
    // ever replaced. The check opens the key for reading alone, the write for writing alone.
    if (!ValueExists(root, path, value_name)) {
        return;
    }
    const unique_reported_hkey key = OpenKey(root, path, KEY_SET_VALUE);
    if (key) {
        RegSetTyped(key.get(), value_name, REG_SZ, RegData{data});
    }
}

// Lets the window events that are pending run, like the program's own message loop would.
// Keyboard navigation between dialog controls is not needed in this short pause.
void LetPendingEventsRun() noexcept {
    MSG message{};
    for (int handled = 0; handled < kMaxMessagesPerYield; ++handled) {
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
    record.data_length = length;
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

LSTATUS SetTyped(HKEY key, std::wstring_view value_name, DWORD type, const RegData& data) {
    if (type != REG_SZ && type != REG_DWORD) {
        return ERROR_UNSUPPORTED_TYPE;
    }
    const std::optional<std::string> name = ToAnsiName(value_name);
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
    for (const RootName& root : kRootNames) {
        if (!path.starts_with(root.name)) {
            continue;
        }
        // Only the full name counts, alone or before a backslash: "HKEY_CURRENT_CONFIG" and
        // "HKEY_USERSX" begin like roots but are not them.
        const std::size_t name_length = root.name.size();
        if (path.size() == name_length) {
            path.clear();
            return root.key;
        }
        if (path[name_length] == L'\\') {
            path.erase(0, name_length + 1);
            return root.key;
        }
    }
    return nullptr;
}

std::optional<std::wstring> RegReadValue(std::wstring& path,
                                         std::wstring_view value_name) noexcept {
    std::optional<std::wstring> value;
    try {
        value = ReadClosed(path, value_name);
    } catch (...) {
        value.reset(); // no failure reaches the caller: it reads as empty
    }
    LetPendingEventsRun();
    return value;
}

std::optional<std::wstring> RegReadValue(std::wstring&& path,
                                         std::wstring_view value_name) noexcept {
    return RegReadValue(path, value_name);
}

void RegWriteValue(std::wstring& path, std::wstring_view value_name,
                   std::wstring_view data) noexcept {
    try {
        Write(path, value_name, data);
    } catch (...) {
        // No failure reaches the caller: the write simply did not happen.
    }
}

void RegWriteValue(std::wstring&& path, std::wstring_view value_name,
                   std::wstring_view data) noexcept {
    RegWriteValue(path, value_name, data);
}

LSTATUS RegQueryTyped(HKEY key, std::wstring_view value_name,
                      std::optional<std::wstring>& value) noexcept {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    try {
        return QueryTyped(key, value_name, value);
    } catch (const std::bad_alloc&) {
        Beep();
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        Beep();
        return ERROR_GEN_FAILURE;
    }
}

LSTATUS RegSetTyped(HKEY key, std::wstring_view value_name, DWORD type,
                    const RegData& data) noexcept {
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    try {
        return SetTyped(key, value_name, type, data);
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
