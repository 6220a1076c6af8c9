// frm_Main at its DPI: the font, the icons, the window's size and place, and what a change of
// DPI (a move to another monitor) does to them.
#include "forms/frm_Main.h"

#include <exception>
#include <utility>

#include "artwork/logo.h"
#include "controls/pixel_bitmap.h"
#include "forms/logo_choice.h"
#include "resources/resource.h"

namespace tamsrove {

namespace {

using layout::ControlEntry;
using layout::ControlKind;

/// The work area of the primary monitor, where the window is first created.
RECT PrimaryWorkArea() {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    const HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (::GetMonitorInfoW(monitor, &info) == FALSE) {
        return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    return info.rcWork;
}

/// The work area of the monitor that holds most of the window.
RECT WorkAreaOf(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    const HMONITOR monitor = ::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (::GetMonitorInfoW(monitor, &info) == FALSE) {
        return PrimaryWorkArea();
    }
    return info.rcWork;
}

} // namespace

RECT frm_Main::CreationRect() {
    // Created on the primary monitor so that its DPI is the one the layout uses.
    const RECT work = PrimaryWorkArea();
    const layout::PixelSize client = layout::ClientPixels(kBaseDpi);
    return {work.left, work.top, work.left + client.width, work.top + client.height};
}

void frm_Main::OnGetDpiScaledSize(UINT dpi, SIZE& size) const {
    size = WindowSizeForDpi(dpi);
}

void frm_Main::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi != 0 ? dpi : static_cast<UINT>(kBaseDpi);
    ::SetWindowPos(Window(), nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    LoadIcons();
    LoadLogo();
    PlaceControls();
    FitTexts();
}

void frm_Main::PlaceControls() {
    for (const ControlEntry& entry : layout::kControls) {
        const HWND child = Control(entry.id);
        if (child == nullptr) {
            continue;
        }
        const layout::PixelRect rect = layout::ControlPixels(entry.id, static_cast<int32_t>(dpi_));
        ::SetWindowPos(child, nullptr, rect.left, rect.top, rect.Width(), rect.Height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void frm_Main::LoadLogo() {
    // Drawn at the window's own DPI, so it is sharp and fills its box at every scale.
    unique_hbitmap bitmap;
    try {
        bitmap = MakeBitmap(artwork::ToPixelBuffer(
            artwork::DrawLogo(logo_choice::LogoDpi(static_cast<int32_t>(dpi_)))));
    } catch (const std::exception&) {
        // Out of memory: the window works without a new logo; it keeps the one it has.
        return;
    }
    if (!bitmap) {
        return; // keep showing the logo we have
    }
    // Picture1 lets go of the previous logo before it is deleted with `bitmap`.
    if (const auto& box = boxes_.at(static_cast<std::size_t>(layout::ControlId::Picture1)); box) {
        box->SetPicture(bitmap.get());
    }
    std::swap(logo_, bitmap);
}

void frm_Main::LoadIcons() {
    const auto load = [this](int width_metric, int height_metric) {
        return unique_hicon(static_cast<HICON>(
            ::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TAMSROVE), IMAGE_ICON,
                         ::GetSystemMetricsForDpi(width_metric, dpi_),
                         ::GetSystemMetricsForDpi(height_metric, dpi_), LR_DEFAULTCOLOR)));
    };
    // The window keeps using the previous icon until it has the new one; only then is the
    // previous one destroyed.
    if (unique_hicon big = load(SM_CXICON, SM_CYICON); big) {
        ::SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
        big_icon_ = std::move(big);
    }
    if (unique_hicon small = load(SM_CXSMICON, SM_CYSMICON); small) {
        ::SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
        small_icon_ = std::move(small);
    }
}

SIZE frm_Main::WindowSizeForDpi(UINT dpi) const {
    const layout::PixelSize client = layout::ClientPixels(static_cast<int32_t>(dpi));
    RECT rect{0, 0, client.width, client.height};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(::GetWindowLongPtrW(Window(), GWL_EXSTYLE));
    if (::AdjustWindowRectExForDpi(&rect, style, FALSE, ex_style, dpi) == FALSE) {
        ::AdjustWindowRectEx(&rect, style, FALSE, ex_style);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void frm_Main::SizeAndCentre() {
    const SIZE size = WindowSizeForDpi(dpi_);
    const RECT work = WorkAreaOf(Window());
    const layout::PixelPoint origin =
        layout::CentredOrigin({work.left, work.top, work.right, work.bottom}, {size.cx, size.cy});
    ::SetWindowPos(Window(), nullptr, origin.x, origin.y, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace tamsrove
