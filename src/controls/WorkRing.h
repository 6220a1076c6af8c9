// WorkRing: a child control that turns a ring of eight dots by showing eight ready-made frame
// bitmaps in turn on a 50 ms timer.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "controls/ring_artwork.h"
#include "platform/win32_handles.h"

namespace tamsrove {

/// The working-ring control. A container creates it with CreateWindowExW(0, ClassName, ...) as
/// a child window; the control owns its C++ object, made on WM_NCCREATE and deleted on
/// WM_NCDESTROY. The ring box sits at (60, 60) twips whatever the control's size.
class WorkRing {
public:
    /// Window class name of the control.
    static constexpr const wchar_t* ClassName = L"Tamsrove.WorkRing";
    /// Window class name of the ring box inside it (pic_Ring).
    static constexpr const wchar_t* BoxClassName = L"Tamsrove.WorkRing.Box";
    /// Id of the animation timer, tmr_Animator.
    static constexpr UINT_PTR tmr_Animator = 1;
    /// Interval of tmr_Animator in milliseconds.
    static constexpr UINT animator_interval_ms = 50;
    /// Left and top of the ring box inside the control, in twips.
    static constexpr int ring_box_offset_twips = 60;
    /// Width and height of the ring box in twips.
    static constexpr int ring_box_size_twips = 885;
    /// Child-window id of the ring box.
    static constexpr int ring_box_id = 1;

    /// Registers the control's window classes for this module; true when they are registered
    /// (idempotent).
    static bool RegisterWindowClass(HINSTANCE instance);
    /// The control's object behind a window, or nullptr when the window is not a ring.
    static WorkRing* FromWindow(HWND ring);

    WorkRing(const WorkRing&) = delete;
    WorkRing& operator=(const WorkRing&) = delete;
    WorkRing(WorkRing&&) = delete;
    WorkRing& operator=(WorkRing&&) = delete;
    ~WorkRing() = default;

    /// Enables tmr_Animator, then shows the ring box.
    void ani_start();
    /// Disables tmr_Animator, then hides the ring box; ani_frame is kept.
    void ani_stop();

    /// ani_frame: the frame (0..7) the next tick shows.
    [[nodiscard]] int32_t frame() const noexcept { return ani_frame; }
    /// pic_Ring: the ring box child window that shows one frame bitmap at a time.
    [[nodiscard]] HWND ring_box() const noexcept { return pic_Ring; }
    /// The control's own window.
    [[nodiscard]] HWND window() const noexcept { return self_; }
    /// True while tmr_Animator is enabled.
    [[nodiscard]] bool animating() const noexcept { return timer_enabled_; }
    /// The DPI the frame bitmaps are drawn at (the control's DPI).
    [[nodiscard]] int32_t dpi() const noexcept { return dpi_; }
    /// p[k]: the stored bitmap of frame k, still owned by the control; nullptr outside 0..7.
    [[nodiscard]] HBITMAP frame_bitmap(int32_t k) const noexcept;

private:
    explicit WorkRing(HWND self) noexcept : self_(self) {}

    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

    LRESULT on_create();
    void on_timer(UINT_PTR id);
    void on_dpi_changed();

    void ani_step();
    void show_frame(int32_t k);
    void place_ring_box(int32_t dpi);

    HWND self_ = nullptr;
    /// The ring box, a child window destroyed with the control.
    HWND pic_Ring = nullptr;
    /// The eight frame bitmaps, made once for the control's DPI.
    std::array<unique_hbitmap, ring_frame_count> p;
    int32_t ani_frame = 0;
    /// Frame the ring box holds, or -1 before the first tick.
    int32_t shown_frame_ = -1;
    bool timer_enabled_ = false;
    int32_t dpi_ = ring_design_dpi;
};

} // namespace tamsrove
