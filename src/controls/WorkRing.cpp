// WorkRing: the eight frame bitmaps are made once, when the control is created (and again only
// when its DPI changes); each timer tick draws one of them into the ring box and advances
// ani_frame.
#include "controls/WorkRing.h"

#include <algorithm>
#include <exception>
#include <initializer_list>

#include "controls/pixel_bitmap.h"
#include "controls/ring_accessible.h"
#include "forms/twips.h"
#include "win32/win32_scopes.h"

namespace tamsrove {
namespace {

using FrameBitmaps = std::array<unique_hbitmap, kRingFrameCount>;

// The window's DPI, within the range the frames can be drawn at.
int32_t RingDpi(HWND window) {
    return std::clamp(static_cast<int32_t>(WindowDpi(window)), artwork::kMinDrawableDpi,
                      artwork::kMaxDrawableDpi);
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
    // A DC of its own: the per-tick GetDC is then only a lookup. No background brush: WM_PAINT
    // covers every pixel.
    return RegisterWindowClass(instance, {kClassName, nullptr, CS_OWNDC});
}

bool WorkRing::Create(HWND parent, int id, const RECT& rect, HINSTANCE instance) {
    return WindowBase::Create(0, kClassName, nullptr, WS_CHILD | WS_VISIBLE, rect, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              instance) != nullptr;
}

HBITMAP WorkRing::FrameBitmap(int32_t k) const noexcept {
    if (k < 0 || k >= kRingFrameCount) {
        return nullptr;
    }
    return p[static_cast<std::size_t>(k)].get();
}

void WorkRing::ani_start() {
    if (Window() == nullptr) {
        return; // no window (yet, or any more): a null one would make a thread timer
    }
    // SetTimer on a running timer only restarts its interval.
    timer_enabled_ = ::SetTimer(Window(), tmr_Animator, kAnimatorIntervalMs, nullptr) != 0;
    ShowRingBox(true);
}

void WorkRing::ani_stop() {
    if (Window() == nullptr) {
        return;
    }
    ::KillTimer(Window(), tmr_Animator);
    timer_enabled_ = false;
    ShowRingBox(false);
}

LRESULT WorkRing::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wparam));
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT draws every pixel; erasing first would only flicker
    case WM_PAINT:
        OnPaint();
        return 0;
    case STM_GETIMAGE:
        return wparam == IMAGE_BITMAP && shown_frame_ >= 0
                   ? reinterpret_cast<LRESULT>(FrameBitmap(shown_frame_))
                   : 0;
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
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
}

LRESULT WorkRing::OnCreate() {
    dpi_ = RingDpi(Window());
    return MakeFrameBitmaps(dpi_, p) ? 0 : -1;
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
    shown_frame_ = k;
    // Every frame has the same size, so the new one covers the old one: one blit, no erase and
    // no repaint of the rest. Nothing is drawn, decoded or copied into the stored bitmap.
    if (ShowsFrame() && ::IsWindowVisible(Window()) != FALSE) {
        const unique_hdc_window dc(Window());
        if (dc) {
            DrawFrame(dc.get());
        }
    }
}

void WorkRing::ShowRingBox(bool visible) {
    if (visible != ring_box_visible_) {
        ring_box_visible_ = visible;
        ::InvalidateRect(Window(), nullptr, FALSE);
    }
}

void WorkRing::OnDpiChanged() {
    // Sent only when the DPI has changed: draw the frames anew at the new scale. Should that
    // fail, the old frames stay in use.
    const int32_t dpi = RingDpi(Window());
    FrameBitmaps frames;
    if (MakeFrameBitmaps(dpi, frames)) {
        dpi_ = dpi;
        p.swap(frames);
        ::InvalidateRect(Window(), nullptr, FALSE);
    }
}

bool WorkRing::ShowsFrame() const noexcept {
    return ring_box_visible_ && shown_frame_ >= 0;
}

RECT WorkRing::FrameRect() const {
    if (!ShowsFrame()) {
        return {};
    }
    const int32_t offset = TwipsToPixels(kRingBoxOffsetTwips, dpi_);
    const PixelSize size = RingFrameSize(dpi_);
    return {offset, offset, offset + size.width, offset + size.height};
}

void WorkRing::DrawFrame(HDC dc) const {
    if (ShowsFrame()) {
        const RECT frame = FrameRect();
        DrawBitmap(dc, p[static_cast<std::size_t>(shown_frame_)].get(), frame.left, frame.top);
    }
}

void WorkRing::OnPaint() const {
    const unique_hdc_paint paint(Window());
    if (paint) {
        Paint(paint.get());
    }
}

// The frame, and white wherever it does not reach; no pixel is drawn twice.
void WorkRing::Paint(HDC dc) const {
    RECT client{};
    ::GetClientRect(Window(), &client);
    const RECT frame = FrameRect();
    DrawFrame(dc);
    auto* const white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    const RECT above{client.left, client.top, client.right, frame.top};
    const RECT below{client.left, frame.bottom, client.right, client.bottom};
    const RECT left{client.left, frame.top, frame.left, frame.bottom};
    const RECT right{frame.right, frame.top, client.right, frame.bottom};
    // FillRect draws backwards from a rectangle whose sides are swapped: skip empty ones.
    for (const RECT& strip : {above, below, left, right}) {
        if (strip.right > strip.left && strip.bottom > strip.top) {
            ::FillRect(dc, &strip, white);
        }
    }
}

} // namespace tamsrove
