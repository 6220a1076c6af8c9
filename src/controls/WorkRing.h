// WorkRing: a child control that turns a ring of eight dots by showing eight ready-made frame
// bitmaps in turn on a 50 ms timer.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "controls/ring_artwork.h"
#include "controls/ring_box.h"
#include "base/win32_handles.h"
#include "win32/window_base.h"

namespace tamsrove {

/// The working-ring control. A container creates it by its class name as a child window; the
/// control owns its C++ object, made on WM_NCCREATE and deleted on WM_NCDESTROY. The ring box
/// sits at (60, 60) twips whatever the control's size.
class WorkRing : public WindowBase<WorkRing, WindowOwner::Window> {
public:
    /// Window class name of the control.
    static constexpr const wchar_t* kClassName = L"Tamsrove.WorkRing";
    /// Window class name of the ring box inside it (pic_Ring).
    static constexpr const wchar_t* kBoxClassName = RingBox::kClassName;
    /// Id of the animation timer, tmr_Animator.
    static constexpr UINT_PTR tmr_Animator = 1;
    /// Interval of tmr_Animator in milliseconds.
    static constexpr UINT kAnimatorIntervalMs = 50;
    /// Left and top of the ring box inside the control, in twips.
    static constexpr int kRingBoxOffsetTwips = 60;
    /// Width and height of the ring box in twips.
    static constexpr int kRingBoxSizeTwips = 885;
    /// Child-window id of the ring box.
    static constexpr int kRingBoxId = 1;

    /// Registers the control's and its ring box's window classes; true when both are registered.
    static bool RegisterWindowClasses(HINSTANCE instance);

    /// Enables tmr_Animator, then shows the ring box.
    void ani_start();
    /// Disables tmr_Animator, then hides the ring box; ani_frame is kept.
    void ani_stop();

    /// ani_frame: the frame (0..7) the next tick shows.
    [[nodiscard]] int32_t Frame() const noexcept { return ani_frame; }
    /// The DPI the frame bitmaps are drawn at (the control's DPI).
    [[nodiscard]] int32_t Dpi() const noexcept { return dpi_; }
    /// p[k]: the stored bitmap of frame k, still owned by the control; nullptr outside 0..7.
    [[nodiscard]] HBITMAP FrameBitmap(int32_t k) const noexcept;

private:
    friend WindowBase;
    WorkRing() noexcept = default;
    ~WorkRing() = default;

    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    [[nodiscard]] LRESULT OnCreate();
    void OnTimer(UINT_PTR id);
    void OnDpiChanged();
    void OnDestroy();

    void ani_step();
    void ShowFrame(int32_t k);
    [[nodiscard]] static RECT RingBoxRect(int32_t dpi) noexcept;

    /// The ring box, a child window destroyed with the control.
    HWND pic_Ring = nullptr;
    /// The eight frame bitmaps, made once for the control's DPI.
    std::array<unique_hbitmap, kRingFrameCount> p;
    int32_t ani_frame = 0;
    /// Frame the ring box holds, or -1 before the first tick.
    int32_t shown_frame_ = -1;
    bool timer_enabled_ = false;
    int32_t dpi_ = kRingDesignDpi;
};

} // namespace tamsrove
