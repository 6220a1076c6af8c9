// Small helpers shared by the Windows benchmark programs that run under Wine.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#define TAMSROVE_WIDEN2(text) L##text
#define TAMSROVE_WIDEN(text) TAMSROVE_WIDEN2(text)

namespace bench {

/// A POSIX path (a Wine build tree) as Wine's Z: drive path; slashes turned round.
inline std::wstring ToWindowsPath(std::wstring path) {
    if (!path.empty() && path.front() == L'/') {
        path.insert(0, L"Z:");
    }
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

/// The performance counter, in milliseconds.
inline double NowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency{};
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

namespace detail {
struct VisibleSearch {
    DWORD processId;
    bool found;
};

inline BOOL CALLBACK FindVisible(HWND window, LPARAM state) {
    auto& search = *reinterpret_cast<VisibleSearch*>(state);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && ::IsWindowVisible(window) != FALSE) {
        search.found = true;
        return FALSE;
    }
    return TRUE;
}
} // namespace detail

/// True when the process has a visible top-level window.
inline bool HasVisibleWindow(DWORD processId) {
    detail::VisibleSearch search{processId, false};
    ::EnumWindows(&detail::FindVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace bench
