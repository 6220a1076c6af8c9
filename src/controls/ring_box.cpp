#include "controls/ring_box.h"

#include <initializer_list>
#include <utility>

namespace tamsrove {

bool RingBox::RegisterWindowClasses(HINSTANCE instance) {
    // A DC of its own: the per-tick GetDC is then only a lookup. No background brush: WM_PAINT
    // covers every pixel.
    return RegisterWindowClass(instance, {kClassName, nullptr, CS_OWNDC});
}

LRESULT RingBox::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_ERASEBKGND:
        return 1; // WM_PAINT draws every pixel; erasing first would only flicker
    case WM_PAINT:
        OnPaint();
        return 0;
    case STM_SETIMAGE:
        return wparam == IMAGE_BITMAP
                   ? reinterpret_cast<LRESULT>(SetPicture(reinterpret_cast<HBITMAP>(lparam)))
                   : 0;
    case STM_GETIMAGE:
        return wparam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(picture_) : 0;
    default:
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
}

LRESULT RingBox::OnCreate() {
    memory_.reset(::CreateCompatibleDC(nullptr));
    return memory_ ? 0 : -1;
}

// Takes the new picture and draws it at once; returns the previous one.
HBITMAP RingBox::SetPicture(HBITMAP picture) {
    BITMAP info{};
    if (picture != nullptr && (::GetObjectType(picture) != OBJ_BITMAP ||
                               ::GetObjectW(picture, sizeof(info), &info) == 0)) {
        return nullptr; // not a bitmap: keep showing what is shown
    }
    if (!Select(picture)) {
        return nullptr; // selected into another DC: it cannot be shown from ours
    }
    const SIZE old_size = size_;
    size_ = {info.bmWidth, info.bmHeight};
    const HBITMAP previous = std::exchange(picture_, picture);
    Redraw(old_size.cx == size_.cx && old_size.cy == size_.cy);
    return previous;
}

// Selects picture into the memory DC (none: the DC's own bitmap again); false when it cannot be.
bool RingBox::Select(HBITMAP picture) {
    if (picture == nullptr) {
        selection_.reset();
        return true;
    }
    if (!selection_) {
        selection_ = unique_select_object(memory_.get(), picture);
        return static_cast<bool>(selection_);
    }
    // One frame replaces the other in a single call; the selection still puts the DC's own
    // bitmap back at the end.
    return ::SelectObject(memory_.get(), picture) != nullptr;
}

void RingBox::Redraw(bool same_size) const {
    if (::IsWindowVisible(Window()) == FALSE) {
        return;
    }
    const unique_hdc_window dc(Window());
    if (!dc) {
        return;
    }
    // Same size as before (every frame): the new picture covers the old one.
    if (same_size) {
        DrawPicture(dc.get());
    } else {
        Paint(dc.get());
    }
}

void RingBox::OnPaint() const {
    const unique_hdc_paint paint(Window());
    if (paint) {
        Paint(paint.get());
    }
}

void RingBox::DrawPicture(HDC dc) const {
    if (picture_ != nullptr) {
        ::BitBlt(dc, 0, 0, size_.cx, size_.cy, memory_.get(), 0, 0, SRCCOPY);
    }
}

// The picture, and white wherever it does not reach; no pixel is drawn twice.
void RingBox::Paint(HDC dc) const {
    RECT client{};
    ::GetClientRect(Window(), &client);
    auto* const white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    const LONG width = picture_ != nullptr ? size_.cx : 0;
    const LONG height = picture_ != nullptr ? size_.cy : 0;
    DrawPicture(dc);
    const RECT right{width, 0, client.right, client.bottom};
    const RECT below{0, height, width < client.right ? width : client.right, client.bottom};
    // FillRect draws backwards from a rectangle whose sides are swapped: skip empty ones.
    for (const RECT& strip : {right, below}) {
        if (strip.right > strip.left && strip.bottom > strip.top) {
            ::FillRect(dc, &strip, white);
        }
    }
}

} // namespace tamsrove
