// Move-only owners for Win32 handles: the portable unique_any with one alias per handle kind.
#pragma once

#include "base/unique_any.h"

#include <windows.h>

#include <cstdint>

namespace tamsrove {

/// The empty value of file handles. INVALID_HANDLE_VALUE is a cast pointer, which cannot be a
/// template argument, hence a policy type rather than a value parameter.
struct InvalidHandleIsEmpty {
    static HANDLE Value() noexcept { return INVALID_HANDLE_VALUE; }
};

/// True for the predefined root keys (HKEY_CLASSES_ROOT and its siblings): the handle values
/// 0x80000000 to 0x800000FF, sign-extended on 64-bit Windows. They belong to the system.
[[nodiscard]] inline bool IsPredefinedKey(HKEY key) noexcept {
    const auto first = reinterpret_cast<std::intptr_t>(HKEY_CLASSES_ROOT);
    const auto value = reinterpret_cast<std::intptr_t>(key);
    return value >= first && value <= first + 0xFF;
}

namespace detail {
// A predefined root is never closed, so one owner serves every key RegOpenKeyEx hands back,
// even when that is a root itself.
inline void CloseKey(HKEY key) noexcept {
    if (!IsPredefinedKey(key)) {
        ::RegCloseKey(key);
    }
}
inline void CloseKernelHandle(HANDLE h) noexcept {
    ::CloseHandle(h);
}
inline void DeleteGdiObject(HGDIOBJ obj) noexcept {
    ::DeleteObject(obj);
}
inline void DeleteMemoryDc(HDC dc) noexcept {
    ::DeleteDC(dc);
}
inline void DestroyIconHandle(HICON icon) noexcept {
    ::DestroyIcon(icon);
}
inline void DestroyWindowHandle(HWND wnd) noexcept {
    ::DestroyWindow(wnd);
}
inline void FreeDll(HMODULE module) noexcept {
    ::FreeLibrary(module);
}
inline void UnhookHook(HHOOK hook) noexcept {
    ::UnhookWindowsHookEx(hook);
}
inline void CloseFind(HANDLE find) noexcept {
    ::FindClose(find);
}
inline void FreeLocal(HLOCAL memory) noexcept {
    ::LocalFree(memory);
}
} // namespace detail

/// A registry key from RegOpenKeyEx or RegCreateKeyEx; a predefined root is held, never closed.
using unique_hkey = unique_any<HKEY, detail::CloseKey>;
/// A kernel handle whose empty value is null (events, processes, threads).
using unique_handle = unique_any<HANDLE, detail::CloseKernelHandle>;
/// A file handle from CreateFile, whose empty value is INVALID_HANDLE_VALUE.
using unique_hfile = unique_any<HANDLE, detail::CloseKernelHandle, InvalidHandleIsEmpty>;
/// A search from FindFirstFileW, whose empty value is INVALID_HANDLE_VALUE.
using unique_hfind = unique_any<HANDLE, detail::CloseFind, InvalidHandleIsEmpty>;
/// Memory the system allocated with LocalAlloc (a security descriptor from GetSecurityInfo).
using unique_hlocal = unique_any<HLOCAL, detail::FreeLocal>;
/// A bitmap from CreateDIBSection, CreateCompatibleBitmap or LoadImage.
using unique_hbitmap = unique_any<HBITMAP, detail::DeleteGdiObject>;
/// A font from CreateFontIndirect.
using unique_hfont = unique_any<HFONT, detail::DeleteGdiObject>;
/// A memory device context from CreateCompatibleDC.
using unique_hdc = unique_any<HDC, detail::DeleteMemoryDc>;
/// An icon from CreateIconIndirect or LoadImage (not a shared resource icon).
using unique_hicon = unique_any<HICON, detail::DestroyIconHandle>;
/// A window the owner destroys.
using unique_hwnd = unique_any<HWND, detail::DestroyWindowHandle>;
/// A DLL from LoadLibraryEx.
using unique_hmodule = unique_any<HMODULE, detail::FreeDll>;
/// A hook from SetWindowsHookEx.
using unique_hhook = unique_any<HHOOK, detail::UnhookHook>;

} // namespace tamsrove
