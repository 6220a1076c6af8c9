// Move-only owners for Win32 handles: one template, one alias per handle kind, so that no path
// can leak a handle or close it twice.
#pragma once

#include <windows.h>

#include <utility>

namespace tamsrove {

/// The empty value of most handle kinds: null.
template <typename Handle> struct null_is_empty {
    static Handle value() noexcept { return Handle{}; }
};

/// The empty value of file handles. INVALID_HANDLE_VALUE is a cast pointer, which cannot be a
/// template argument, hence a policy type rather than a value parameter.
struct invalid_handle_is_empty {
    static HANDLE value() noexcept { return INVALID_HANDLE_VALUE; }
};

/// Owns one handle of a kind and releases it with Close; Empty::value() marks the empty state.
template <typename Handle, auto Close, typename Empty = null_is_empty<Handle>> class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(Handle h) noexcept : handle_(h) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : handle_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~unique_any() { reset(); }

    /// The handle, still owned.
    [[nodiscard]] Handle get() const noexcept { return handle_; }
    /// Gives up ownership and returns the handle.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Empty::value()); }
    /// Closes the owned handle, if any, and takes h.
    void reset(Handle h = Empty::value()) noexcept {
        const Handle old = std::exchange(handle_, h);
        if (old != Empty::value()) {
            Close(old);
        }
    }
    /// Out-parameter for APIs that return a handle: closes the current one first.
    [[nodiscard]] Handle* put() noexcept {
        reset();
        return &handle_;
    }
    explicit operator bool() const noexcept { return handle_ != Empty::value(); }

private:
    Handle handle_ = Empty::value();
};

namespace detail {
inline void close_hkey(HKEY key) noexcept {
    ::RegCloseKey(key);
}
inline void close_handle(HANDLE h) noexcept {
    ::CloseHandle(h);
}
inline void delete_gdi(HGDIOBJ obj) noexcept {
    ::DeleteObject(obj);
}
inline void delete_dc(HDC dc) noexcept {
    ::DeleteDC(dc);
}
inline void destroy_icon(HICON icon) noexcept {
    ::DestroyIcon(icon);
}
inline void destroy_window(HWND wnd) noexcept {
    ::DestroyWindow(wnd);
}
} // namespace detail

/// A registry key opened by RegOpenKeyEx; never holds a predefined root key.
using unique_hkey = unique_any<HKEY, detail::close_hkey>;
/// A kernel handle whose empty value is null (events, processes, threads).
using unique_handle = unique_any<HANDLE, detail::close_handle>;
/// A file handle from CreateFile, whose empty value is INVALID_HANDLE_VALUE.
using unique_hfile = unique_any<HANDLE, detail::close_handle, invalid_handle_is_empty>;
using unique_hbitmap = unique_any<HBITMAP, detail::delete_gdi>;
using unique_hfont = unique_any<HFONT, detail::delete_gdi>;
using unique_hdc = unique_any<HDC, detail::delete_dc>;
using unique_hicon = unique_any<HICON, detail::destroy_icon>;
using unique_hwnd = unique_any<HWND, detail::destroy_window>;

} // namespace tamsrove
