// The working ring's accessible object: what screen readers are told about the ring's client
// area instead of the unnamed client object Windows would give it. It names the ring "Working"
// and calls it an animation, so a turning ring reads as work going on.
#pragma once

#include <windows.h>

#include <oleacc.h>

namespace tamsrove {

/// The ring's accessible name.
inline constexpr const wchar_t* kRingAccessibleName = L"Working";

/// A new accessible object for a ring window's client area, with a reference count of 1 that
/// the caller releases; nullptr when out of memory. It holds the window handle only: once the
/// window is gone, every method that needs the window answers CO_E_OBJNOTCONNECTED.
[[nodiscard]] IAccessible* CreateRingAccessible(HWND ring);

/// The ring window procedure's answer to WM_GETOBJECT: for OBJID_CLIENT, a reference to a new
/// ring accessible object made with LresultFromObject; for any other object id, or when that
/// fails, what DefWindowProcW answers (the system's standard objects).
[[nodiscard]] LRESULT AnswerRingGetObject(HWND ring, WPARAM wparam, LPARAM lparam);

} // namespace tamsrove
