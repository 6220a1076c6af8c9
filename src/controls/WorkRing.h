// WorkRing: a child control that turns a ring of eight dots by showing eight ready-made frame
// bitmaps in turn on a 50 ms timer.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "controls/ring_artwork.h"
#include "forms/twips.h"
#include "base/win32_handles.h"
#include "win32/window_base.h"

namespace tamsrove {

/// The working-ring control. Its container holds the object and creates its window with Create.
/// The ring box pic_Ring is the place inside the control where the current frame is drawn: at
/// (60, 60) twips whatever the control's size, on white. Like a picture static, the control
/// answers STM_GETIMAGE with the frame bitmap the ring box holds (another process sees the ring
/// turn by it).
class WorkRing : public WindowBase<WorkRing> {
public:
    /// Window class name of the control.
    static constexpr const wchar_t* kClassName = L"Tamsrove.WorkRing";
    /// Id of the animation timer, tmr_Animator.
    static constexpr UINT_PTR tmr_Animator = 1;
    /// Interval of tmr_Animator in milliseconds.
    static constexpr UINT kAnimatorIntervalMs = 50;
    /// Left and top of the ring box inside the control, in twips.
    static constexpr int kRingBoxOffsetTwips = 60;

    /// A ring whose window is not yet created.
    WorkRing() noexcept = default;

    /// Registers the control's window class; true when it is registered.
    static bool RegisterWindowClasses(HINSTANCE instance);

    /// Creates the control's visible window as a child of parent with the child-window id and
    /// rectangle given; false when the window or its frame bitmaps could not be made.
    [[nodiscard]] bool Create(HWND parent, int id, const RECT& rect, HINSTANCE instance);

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

    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    [[nodiscard]] LRESULT OnCreate();
    void OnTimer(UINT_PTR id);
    void OnDpiChanged();
    void OnDestroy();
    void OnPaint() const;

    void ani_step();
    void ShowFrame(int32_t k);
    void ShowRingBox(bool visible);
    [[nodiscard]] bool ShowsFrame() const noexcept;
    [[nodiscard]] RECT FrameRect() const;
    void DrawFrame(HDC dc) const;
    void Paint(HDC dc) const;

    /// The eight frame bitmaps, made once for the control's DPI.
    std::array<unique_hbitmap, kRingFrameCount> p;
    int32_t ani_frame = 0;
    /// Frame the ring box holds, or -1 before the first tick.
    int32_t shown_frame_ = -1;
    /// Whether the ring box shows (its frame, once it holds one); visible as designed.
    bool ring_box_visible_ = true;
    bool timer_enabled_ = false;
    int32_t dpi_ = kBaseDpi;
};

} // namespace tamsrove
