// WorkRing: the eight frame bitmaps are made once, when the control is created (and again only
// when its DPI changes); each timer tick hands the ring box one of them and advances ani_frame.
#include "controls/WorkRing.h"

#include <algorithm>
#include <exception>

#include "controls/pixel_bitmap.h"
#include "controls/ring_accessible.h"
#include "forms/twips.h"

namespace tamsrove {
namespace {

using FrameBitmaps = std::array<unique_hbitmap, kRingFrameCount>;

// The window's DPI, within the range the frames can be drawn at.
int32_t RingDpi(HWND window) {
    return std::clamp(static_cast<int32_t>(WindowDpi(window)), kRingMinDpi, kRingMaxDpi);
}

// All eight frames at one DPI, or false (and out untouched) when any of them cannot be made.
bool MakeFrameBitmaps(int32_t dpi, FrameBitmaps& out) {
    FrameBitmaps frames;
    try {
        for (int32_t k = 0; k < kRingFrameCount; ++k) {
            frames[static_cast<std::size_t>(k)] = MakeBitmap(DrawRingFrame(k, dpi));
            if (!frames[static_cast<std::size_t>(k)]) {
                return false;
            }
        }
    } catch (const std::exception&) {
        return false; // out of memory: the caller keeps what it has
    }
    out.swap(frames);
    return true;
}

} // namespace

bool WorkRing::RegisterWindowClasses(HINSTANCE instance) {
    return RingBox::RegisterWindowClasses(instance) &&
           RegisterWindowClass(instance,
                               {kClassName, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH))});
}

HBITMAP WorkRing::FrameBitmap(int32_t k) const noexcept {
    if (k < 0 || k >= kRingFrameCount) {
        return nullptr;
    }
    return p[static_cast<std::size_t>(k)].get();
}

void WorkRing::ani_start() {
    // SetTimer on a running timer only restarts its interval.
    timer_enabled_ = ::SetTimer(Window(), tmr_Animator, kAnimatorIntervalMs, nullptr) != 0;
    ::ShowWindow(pic_Ring, SW_SHOW);
}

void WorkRing::ani_stop() {
    ::KillTimer(Window(), tmr_Animator);
    timer_enabled_ = false;
    ::ShowWindow(pic_Ring, SW_HIDE);
}

LRESULT WorkRing::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wparam));
        return 0;
    case WM_GETOBJECT:
        // Screen readers ask for the client object: the ring names itself as work going on.
        return AnswerRingGetObject(Window(), wparam, lparam);
    case WM_DPICHANGED_AFTERPARENT:
        OnDpiChanged();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        // At WM_NCDESTROY the ring box, a child, is already gone, so no window still holds a
        // frame bitmap when the base deletes this object with them.
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
}

LRESULT WorkRing::OnCreate() {
    dpi_ = RingDpi(Window());
    if (!MakeFrameBitmaps(dpi_, p)) {
        return -1;
    }
    auto* const instance =
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(Window(), GWLP_HINSTANCE));
    const RingBox* box = RingBox::CreateControl(Window(), kRingBoxId, RingBoxRect(dpi_),
                                                WS_CHILD | WS_VISIBLE, instance);
    pic_Ring = box != nullptr ? box->Window() : nullptr;
    return pic_Ring != nullptr ? 0 : -1;
}

void WorkRing::OnTimer(UINT_PTR id) {
    // A tick that was already queued when the timer stopped must not move the ring.
    if (id == tmr_Animator && timer_enabled_) {
        ani_step();
    }
}

void WorkRing::OnDestroy() {
    ::KillTimer(Window(), tmr_Animator);
    timer_enabled_ = false;
}

void WorkRing::ani_step() {
    ShowFrame(ani_frame);
    ani_frame = NextRingFrame(ani_frame);
}

void WorkRing::ShowFrame(int32_t k) {
    // The box keeps the very bitmap it is handed: nothing is drawn, decoded or copied here.
    ::SendMessageW(pic_Ring, STM_SETIMAGE, IMAGE_BITMAP,
                   reinterpret_cast<LPARAM>(p[static_cast<std::size_t>(k)].get()));
    shown_frame_ = k;
}

void WorkRing::OnDpiChanged() {
    // Sent only when the DPI has changed: draw the frames anew at the new scale and move the
    // box. Should that fail, the old frames stay in use.
    const int32_t dpi = RingDpi(Window());
    FrameBitmaps frames;
    const bool remade = MakeFrameBitmaps(dpi, frames);
    const RECT box = RingBoxRect(dpi);
    ::SetWindowPos(pic_Ring, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (remade) {
        dpi_ = dpi;
        p.swap(frames);
        // The box lets go of the old bitmap before it is deleted with frames.
        if (shown_frame_ >= 0) {
            ShowFrame(shown_frame_);
        }
    }
}

RECT WorkRing::RingBoxRect(int32_t dpi) noexcept {
    const int32_t offset = TwipsToPixels(kRingBoxOffsetTwips, dpi);
    const int32_t size = TwipsToPixels(kRingBoxSizeTwips, dpi);
    return {offset, offset, offset + size, offset + size};
}

} // namespace tamsrove
