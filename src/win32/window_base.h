// The one window procedure of the program: every window class registers through
// WindowBase<T>, which keeps the C++ object behind each window in GWLP_USERDATA and forwards
// every message to T::HandleMessage. Messages may come from other processes, so no exception
// leaves the procedure, and posted messages that would carry a pointer never arrive (below).
// Every window is owned by its C++ object, as in the LearnWin32 BaseWindow: the object creates it
// with Create and destroys it at the latest when the object goes, so no message ever reaches an
// object that is gone. A container holds its controls' objects as members.
#pragma once

#include <windows.h>

#include <optional>
#include <utility>

#include "forms/twips.h"
#include "base/win32_handles.h"

namespace tamsrove {

/// What a window class needs beyond its procedure.
struct WindowClass {
    const wchar_t* name = nullptr; ///< class name, unique in the program
    HBRUSH background = nullptr;   ///< erases the background; null when WM_PAINT covers all
    UINT style = 0;                ///< CS_ flags
};

/// The DPI a window is drawn at (GetDpiForWindow), or kBaseDpi for a handle that is no window.
[[nodiscard]] inline UINT WindowDpi(HWND window) noexcept {
    const UINT dpi = ::GetDpiForWindow(window);
    return dpi != 0 ? dpi : static_cast<UINT>(kBaseDpi);
}

/// Copies the structure that a message's lParam points to without trusting the pointer:
/// nullopt when it is null or does not point to readable memory of this process (another
/// process may send any number there).
template <typename T> [[nodiscard]] std::optional<T> ReadMessageStruct(LPARAM lparam) noexcept {
    T value{};
    SIZE_T copied = 0;
    if (lparam == 0 ||
        ::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const void*>(lparam), &value,
                            sizeof(value), &copied) == FALSE ||
        copied != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

/// Stores value in the structure that a message's lParam points to, without trusting the
/// pointer; false when it is null or does not point to writable memory of this process.
template <typename T>
[[nodiscard]] bool WriteMessageStruct(LPARAM lparam, const T& value) noexcept {
    SIZE_T copied = 0;
    return lparam != 0 &&
           ::WriteProcessMemory(::GetCurrentProcess(), reinterpret_cast<void*>(lparam), &value,
                                sizeof(value), &copied) != FALSE &&
           copied == sizeof(value);
}

namespace detail {

/// Turns the DPI messages that carry a pointer (WM_DPICHANGED's RECT, WM_GETDPISCALEDSIZE's
/// SIZE) into WM_NULL when they come through the thread's message queue: the system only
/// sends them, so a posted one comes from another program and its pointer means nothing here.
inline LRESULT CALLBACK DropPostedDpiMessages(int code, WPARAM wparam, LPARAM lparam) noexcept {
    if (code == HC_ACTION) {
        auto* message = reinterpret_cast<MSG*>(lparam);
        if (message->message == WM_DPICHANGED || message->message == WM_GETDPISCALEDSIZE) {
            message->message = WM_NULL;
        }
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

/// Hooks every message the calling thread takes from its queue (its own loop and every modal
/// loop, such as a message box's) with DropPostedDpiMessages, once per thread, until the
/// thread ends. Should the hook fail, the DPI handlers still check what the pointer holds.
inline void DropPostedDpiMessagesOnThisThread() noexcept {
    thread_local const unique_hhook hook(::SetWindowsHookExW(WH_GETMESSAGE, &DropPostedDpiMessages,
                                                             nullptr, ::GetCurrentThreadId()));
}

} // namespace detail

/// The base of every window class: its registration, its window procedure and its HWND.
/// Derived declares `friend WindowBase` and `LRESULT HandleMessage(UINT, WPARAM, LPARAM)`,
/// which gets every message from WM_NCCREATE to WM_NCDESTROY and passes on what it does not
/// handle to DefWindowProcW(Window(), ...). HandleMessage may throw: the base then skips the step
/// that failed (see AnswerAfterFailure) and the window goes on.
template <typename Derived> class WindowBase {
public:
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    WindowBase(WindowBase&&) = delete;
    WindowBase& operator=(WindowBase&&) = delete;

    /// Registers a class whose windows run this base's procedure; true when it is registered
    /// now, by this call or an earlier one.
    static bool RegisterWindowClass(HINSTANCE instance, const WindowClass& info) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = info.style;
        wc.lpfnWndProc = &WindowProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = info.background;
        wc.lpszClassName = info.name;
        if (::RegisterClassExW(&wc) != 0) {
            return true;
        }
        if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            return false;
        }
        // Registered before: by us, or by other code under the same name, whose windows would
        // carry no object of ours.
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof(existing);
        return ::GetClassInfoExW(instance, info.name, &existing) != FALSE &&
               existing.lpfnWndProc == &WindowProc;
    }

    /// The window; null before it is created and after WM_NCDESTROY.
    [[nodiscard]] HWND Window() const noexcept { return window_; }

protected:
    WindowBase() noexcept = default;

    /// A window still there is destroyed without reaching the half-destroyed object: its
    /// messages go to DefWindowProcW from here on.
    ~WindowBase() {
        if (window_ != nullptr) {
            ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            ::DestroyWindow(std::exchange(window_, nullptr));
        }
    }

    /// Creates this object's window (lpCreateParams carries the object); the window, or null
    /// when it could not be created or did not reach this object.
    [[nodiscard]] HWND Create(DWORD ex_style, const wchar_t* class_name, const wchar_t* text,
                              DWORD style, const RECT& rect, HWND parent, HMENU menu,
                              HINSTANCE instance) noexcept {
        if (window_ != nullptr) {
            return nullptr;
        }
        const HWND created = ::CreateWindowExW(
            ex_style, class_name, text, style, rect.left, rect.top, rect.right - rect.left,
            rect.bottom - rect.top, parent, menu, instance, static_cast<Derived*>(this));
        if (created != nullptr && window_ != created) {
            ::DestroyWindow(created); // another class's procedure: no object behind it
            return nullptr;
        }
        return created;
    }

    /// Destroys the window now, while the whole object is still alive.
    void Destroy() noexcept {
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE && !Attach(window, lparam)) {
            return FALSE;
        }
        // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and after WM_NCDESTROY have no object.
        auto* self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) {
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
        LRESULT result = 0;
        try {
            result = self->HandleMessage(message, wparam, lparam);
        } catch (...) {
            // An exception must not unwind through the system's frames, which do not expect one.
            // What threw (an allocation in the fit code or the question, say) is one step of
            // one message: it is skipped, as the handlers skip a step whose call fails.
            result = AnswerAfterFailure(window, message, wparam, lparam);
        }
        if (message == WM_NCDESTROY) {
            Detach(window, self);
        }
        return result;
    }

    /// The answer to a message whose handler threw: what a window that does not handle it
    /// gives, except for WM_CLOSE, which DefWindowProcW would answer by destroying the window
    /// that the user's confirmation alone may end.
    static LRESULT AnswerAfterFailure(HWND window, UINT message, WPARAM wparam,
                                      LPARAM lparam) noexcept {
        if (message == WM_CLOSE) {
            return 0;
        }
        return ::DefWindowProcW(window, message, wparam, lparam);
    }

    static bool Attach(HWND window, LPARAM lparam) noexcept {
        auto* self =
            static_cast<Derived*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
        if (self == nullptr) {
            return false; // created by class name without an object (not by Create): refused
        }
        detail::DropPostedDpiMessagesOnThisThread();
        static_cast<WindowBase*>(self)->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return true;
    }

    static void Detach(HWND window, Derived* self) noexcept {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        static_cast<WindowBase*>(self)->window_ = nullptr;
    }

    HWND window_ = nullptr;
};

} // namespace tamsrove
