// Shared helpers for the in-process Win32 tests: per-monitor DPI awareness for the whole test
// program, the DPI a test prefix promises, a plain host window, message pumping, reading back
// the pixels a window shows, a window's class name and text, a log of the registry calls mod_Reg
// makes, and a test's own keys below HKEY_CURRENT_USER. The whole-program driver (e2e/driver.h)
// shares the class name and text.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modules/mod_Reg.h"
#include "base/win32_handles.h"

namespace tamsrove::test {

/// Makes the test program per-monitor (v2) DPI aware before any test makes a window, as the
/// product's manifest does for Tamsrove.exe (the test program has no manifest). Without it,
/// windows would be scaled by the system and report 96 DPI in a 144-DPI prefix.
class DpiAwareEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
};

/// Registers DpiAwareEnvironment once per test program, whichever test files include this.
inline ::testing::Environment* const kDpiAwareEnvironment =
    ::testing::AddGlobalTestEnvironment(new DpiAwareEnvironment);

/// An environment variable's text; empty when it is unset or longer than 1,023 characters.
inline std::wstring EnvironmentText(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length < 1024 ? std::wstring(value, length) : std::wstring();
}

/// The number a test prefix promises in an environment variable (set by ctest for prefixes at
/// another DPI or message font); 0 if unset.
inline int32_t PromisedByPrefix(const wchar_t* variable) {
    return static_cast<int32_t>(std::wcstol(EnvironmentText(variable).c_str(), nullptr, 10));
}

/// The DPI promised by TAMSROVE_TEST_DPI; 0 if unset.
inline int32_t PromisedTestDpi() {
    return PromisedByPrefix(L"TAMSROVE_TEST_DPI");
}

/// An ASCII rendering of a text for test messages, '?' for every other character.
inline std::string Narrow(std::wstring_view text) {
    std::string result;
    for (const wchar_t c : text) {
        result.push_back(c < 128 ? static_cast<char>(c) : '?');
    }
    return result;
}

/// Converts twips to pixels at a DPI the way the product does.
inline int TwipsToPixels(int twips, int32_t dpi) {
    return ::MulDiv(twips, dpi, 1440);
}

/// Runs every message already waiting for this thread.
inline void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

/// Runs this thread's messages until done() holds or the time is up; returns done().
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return done();
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()),
                                    QS_ALLINPUT);
        PumpMessages();
    }
    return true;
}

/// Runs this thread's messages for a while.
inline void PumpFor(std::chrono::milliseconds period) {
    PumpUntil([] { return false; }, period);
}

/// Registers a test window class once per process; false when it is neither registered nor
/// registrable.
inline bool EnsureTestClass(const wchar_t* class_name, WNDPROC procedure,
                            HBRUSH background = nullptr) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(instance, class_name, &existing) != FALSE) {
        return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hbrBackground = background;
    wc.lpszClassName = class_name;
    return ::RegisterClassExW(&wc) != 0;
}

/// A shown, white top-level popup window of the given client size, to host controls.
inline unique_hwnd MakeHostWindow(int width, int height) {
    static const wchar_t* const class_name = L"Tamsrove.TestHost";
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!EnsureTestClass(class_name, ::DefWindowProcW,
                         static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)))) {
        return {};
    }
    unique_hwnd host(::CreateWindowExW(0, class_name, L"test host", WS_POPUP | WS_VISIBLE, 40, 40,
                                       width, height, nullptr, nullptr, instance, nullptr));
    if (host) {
        ::UpdateWindow(host.get());
    }
    return host;
}

// The window helpers every test shares, the whole-program driver's among them (e2e/driver.h).
namespace win32 {

/// The window's class name.
[[nodiscard]] inline std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return {name, static_cast<std::size_t>(length > 0 ? length : 0)};
}

/// The window's text, whatever its length. WM_GETTEXT rather than GetWindowText: the latter
/// does not ask other processes' controls.
[[nodiscard]] inline std::wstring TextOf(HWND window) {
    const auto length = static_cast<std::size_t>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto copied = static_cast<std::size_t>(
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(copied < length ? copied : length);
    return text;
}

} // namespace win32

/// The bitmap a picture window shows now, as STM_GETIMAGE answers it; the ring answers with its
/// frame, whose handle value tells the frames apart, also from another process.
[[nodiscard]] inline HBITMAP ShownBitmap(HWND window) {
    return reinterpret_cast<HBITMAP>(::SendMessageW(window, STM_GETIMAGE, IMAGE_BITMAP, 0));
}

/// The pixels of a window's client area, as 0x00RRGGBB values, rows from the top.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    /// The colour at (x, y) as RGB(r, g, b).
    [[nodiscard]] COLORREF At(int x, int y) const {
        const uint32_t v = pixels.at(static_cast<size_t>(y) * width + x);
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

/// How CaptureClient gets the pixels.
enum class CaptureBy {
    Copy,  ///< copied from the window's own drawing surface, as shown now
    Print, ///< drawn anew by the window into the bitmap (PrintWindow, client area only)
};

/// Reads back what a window's client area shows, its children included, from the window itself
/// (not the screen, so other windows on top do not matter).
inline Capture CaptureClient(HWND window, CaptureBy by = CaptureBy::Copy) {
    Capture out;
    RECT client{};
    if (::GetClientRect(window, &client) == FALSE || client.right <= 0 || client.bottom <= 0) {
        return out;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    unique_hdc memory(::CreateCompatibleDC(nullptr));
    if (!dib || !memory || bits == nullptr) {
        return out;
    }
    const HGDIOBJ previous = ::SelectObject(memory.get(), dib.get());
    bool drawn = false;
    if (by == CaptureBy::Print) {
        drawn = ::PrintWindow(window, memory.get(), PW_CLIENTONLY) != FALSE;
    } else if (const HDC source = ::GetDC(window); source != nullptr) {
        drawn = ::BitBlt(memory.get(), 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY) !=
                FALSE;
        ::ReleaseDC(window, source);
    }
    ::GdiFlush();
    ::SelectObject(memory.get(), previous);
    if (!drawn) {
        return out;
    }
    out.width = client.right;
    out.height = client.bottom;
    const auto* first = static_cast<const uint32_t*>(bits);
    out.pixels.assign(first, first + static_cast<size_t>(out.width) * out.height);
    for (uint32_t& v : out.pixels) {
        v &= 0x00FFFFFFU;
    }
    return out;
}

/// A copy of one registry call mod_Reg reported; the module's record points into its own
/// temporaries.
struct SeenCall {
    detail::RegCall call = detail::RegCall::OpenKey;
    HKEY key = nullptr;
    HKEY opened = nullptr;
    std::string name;
    REGSAM access = 0;
    DWORD type = 0;
    DWORD data_length = 0;
    bool with_data = false;
    LSTATUS status = ERROR_SUCCESS;
};

/// Records every registry call mod_Reg makes while it lives; on_call runs inside the reported
/// call, where a test can change the registry between two queries, throw a run-time failure or
/// note the call among events of its own.
class RegCallLog {
public:
    RegCallLog() noexcept : previous_(detail::SetRegCallObserver(&Observe)) { current = this; }
    ~RegCallLog() {
        detail::SetRegCallObserver(previous_);
        current = nullptr;
    }
    RegCallLog(const RegCallLog&) = delete;
    RegCallLog& operator=(const RegCallLog&) = delete;
    RegCallLog(RegCallLog&&) = delete;
    RegCallLog& operator=(RegCallLog&&) = delete;

    /// The recorded calls of one kind, in order.
    [[nodiscard]] std::vector<SeenCall> Of(detail::RegCall call) const {
        std::vector<SeenCall> found;
        for (const SeenCall& seen : calls) {
            if (seen.call == call) {
                found.push_back(seen);
            }
        }
        return found;
    }
    [[nodiscard]] std::size_t Count(detail::RegCall call) const { return Of(call).size(); }

    std::vector<SeenCall> calls;
    std::function<void(const SeenCall&)> on_call;

private:
    static void Observe(const detail::RegCallRecord& r) {
        current->calls.push_back({r.call, r.key, r.opened, std::string(r.name), r.access, r.type,
                                  r.data_length, r.with_data, r.status});
        if (current->on_call) {
            current->on_call(current->calls.back());
        }
    }
    static inline RegCallLog* current = nullptr;
    detail::RegCallObserver previous_;
};

/// True when the window's frame lies centred, to a pixel, on its monitor's work area.
inline bool CentredOnWorkArea(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    RECT rect{};
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor) ||
        !::GetWindowRect(window, &rect)) {
        return false;
    }
    const RECT& work = monitor.rcWork;
    return std::abs((rect.left - work.left) - (work.right - rect.right)) <= 1 &&
           std::abs((rect.top - work.top) - (work.bottom - rect.bottom)) <= 1;
}

/// A registry value as stored: its type and raw bytes.
struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    /// The bytes as UTF-16 text, every character kept (a terminating NUL included).
    [[nodiscard]] std::wstring Text() const {
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        return text;
    }
};

/// A key below HKEY_CURRENT_USER that a test sets up and reads back with the wide registry API,
/// not with the program's own routines, so that a fault in those cannot hide itself.
struct UserKey {
    std::wstring sub_key;

    [[nodiscard]] bool Exists() const {
        unique_hkey key;
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, sub_key.c_str(), 0, KEY_READ, key.put()) ==
               ERROR_SUCCESS;
    }
    /// Deletes the key with everything below it; true when it is absent afterwards.
    bool Remove() const {
        static_cast<void>(::RegDeleteTreeW(HKEY_CURRENT_USER, sub_key.c_str())); // see Exists
        return !Exists();
    }
    /// Creates the key when needed and stores the value with this type and these bytes.
    [[nodiscard]] bool SetRaw(const wchar_t* name, DWORD type, const void* data,
                              std::size_t size) const {
        unique_hkey key;
        return ::RegCreateKeyExW(HKEY_CURRENT_USER, sub_key.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                                 nullptr) == ERROR_SUCCESS &&
               ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                                static_cast<DWORD>(size)) == ERROR_SUCCESS;
    }
    /// Stores text as REG_SZ with its terminating NUL, as an installer does.
    [[nodiscard]] bool SetText(const wchar_t* name, std::wstring_view text) const {
        const std::wstring terminated(text);
        return SetRaw(name, REG_SZ, terminated.c_str(), (terminated.size() + 1) * sizeof(wchar_t));
    }
    /// Reads a value back; nothing when the key or the value is missing.
    [[nodiscard]] std::optional<StoredValue> Read(const wchar_t* name) const {
        unique_hkey key;
        StoredValue stored;
        DWORD size = 0;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, sub_key.c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
                ERROR_SUCCESS ||
            ::RegQueryValueExW(key.get(), name, nullptr, &stored.type, nullptr, &size) !=
                ERROR_SUCCESS) {
            return std::nullopt;
        }
        stored.bytes.resize(size);
        if (::RegQueryValueExW(key.get(), name, nullptr, &stored.type, stored.bytes.data(),
                               &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        stored.bytes.resize(size);
        return stored;
    }
};

/// Owns a key for the length of a test: removed (a crashed run's) when the scope begins and
/// again when it ends, whatever the test did in between.
class UserKeyScope {
public:
    explicit UserKeyScope(std::wstring sub_key) : key_{std::move(sub_key)} {
        clean_ = key_.Remove();
    }
    ~UserKeyScope() { key_.Remove(); }
    UserKeyScope(const UserKeyScope&) = delete;
    UserKeyScope& operator=(const UserKeyScope&) = delete;
    UserKeyScope(UserKeyScope&&) = delete;
    UserKeyScope& operator=(UserKeyScope&&) = delete;

    [[nodiscard]] const UserKey& Key() const noexcept { return key_; }
    /// True when the key was absent at the start of the scope.
    [[nodiscard]] bool Clean() const noexcept { return clean_; }

private:
    UserKey key_;
    bool clean_ = false;
};

} // namespace tamsrove::test
