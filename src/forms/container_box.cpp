#include "forms/container_box.h"

#include "controls/pixel_bitmap.h"
#include "win32/win32_scopes.h"

namespace tamsrove {

namespace {
/// Both classes repaint wholly on a resize: the edges run along the whole client area.
constexpr UINT kStyle = CS_HREDRAW | CS_VREDRAW;
} // namespace

bool ContainerBox::RegisterWindowClasses(HINSTANCE instance) {
    return RegisterWindowClass(instance,
                               {kFrameClassName, ::GetSysColorBrush(COLOR_BTNFACE), kStyle}) &&
           RegisterWindowClass(
               instance,
               {kPictureBoxClassName, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)), kStyle});
}

HWND ContainerBox::CreateChild(const wchar_t* class_name, HWND parent, int id, const RECT& rect,
                               HINSTANCE instance) {
    return Create(WS_EX_CONTROLPARENT, class_name, nullptr,
                  WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, rect, parent,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance);
}

void ContainerBox::SetPicture(HBITMAP picture) noexcept {
    picture_ = picture;
    if (Window() != nullptr) {
        ::InvalidateRect(Window(), nullptr, TRUE);
    }
}

LRESULT ContainerBox::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_PRINTCLIENT: // PrintWindow and other snapshots draw the same as the screen
        Draw(reinterpret_cast<HDC>(wparam));
        return 0;
    default:
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
}

void ContainerBox::OnPaint() const {
    const unique_hdc_paint paint(Window());
    if (paint) {
        Draw(paint.get());
    }
}

void ContainerBox::Draw(HDC dc) const {
    DrawBitmap(dc, picture_, 0, 0);
    DrawEdgeInside(dc);
}

void ContainerBox::DrawEdgeInside(HDC dc) const {
    RECT client{};
    ::GetClientRect(Window(), &client);
    if (edge_ == Edge::Etched) {
        ::DrawEdge(dc, &client, EDGE_ETCHED, BF_RECT);
    } else if (edge_ == Edge::Sunken) {
        // Flat: a sunken edge's light half would vanish against the white inside.
        ::DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT | BF_FLAT);
    }
}

} // namespace tamsrove
