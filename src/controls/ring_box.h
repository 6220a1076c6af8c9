// The ring box pic_Ring inside WorkRing: a picture box that shows the bitmap handed to it with
// STM_SETIMAGE at its top-left corner, on white, and answers STM_GETIMAGE, like a static bitmap
// control. It keeps the very bitmap it is handed (no copy; it never deletes it) selected in a
// memory DC of its own, and on each new picture does one BitBlt at once: it neither erases first
// (no flicker) nor resizes itself nor asks its parent for a brush, as a SS_BITMAP static does on
// every image. Under Wine that halves the CPU a turning ring costs.
#pragma once

#include <windows.h>

#include "base/win32_handles.h"
#include "win32/win32_scopes.h"
#include "win32/window_base.h"

namespace tamsrove {

/// The ring box control; WorkRing creates it by class name and it owns itself.
class RingBox : public WindowBase<RingBox, WindowOwner::Window> {
public:
    /// Window class name of the ring box.
    static constexpr const wchar_t* kClassName = L"Tamsrove.WorkRing.Box";

    /// Registers the ring box's window class; true when it is registered.
    static bool RegisterWindowClasses(HINSTANCE instance);

private:
    friend WindowBase;
    RingBox() noexcept = default;
    ~RingBox() = default;

    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    [[nodiscard]] LRESULT OnCreate();
    [[nodiscard]] HBITMAP SetPicture(HBITMAP picture);
    [[nodiscard]] bool Select(HBITMAP picture);
    void Redraw(bool same_size) const;
    void OnPaint() const;
    void DrawPicture(HDC dc) const;
    void Paint(HDC dc) const;

    HBITMAP picture_ = nullptr; ///< shown, not owned
    SIZE size_{};               ///< of picture_
    unique_hdc memory_;         ///< holds picture_ selected
    /// Puts the memory DC's own bitmap back before the DC goes, so that the shown bitmap can be
    /// deleted later; declared after memory_ so that it ends first.
    unique_select_object selection_;
};

} // namespace tamsrove
