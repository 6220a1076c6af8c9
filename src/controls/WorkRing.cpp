// WorkRing: the eight frame bitmaps are made once, when the control is created (and again only
// when its DPI changes); each timer tick hands the ring box one of them and advances ani_frame.
#include "controls/WorkRing.h"

#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace tamsrove {
namespace {

constexpr int twips_per_inch = 1440;

using FrameBitmaps = std::array<unique_hbitmap, ring_frame_count>;

// The DPI a window is drawn at. GetDpiForWindow exists from Windows 10 1607 on and is looked up
// at run time so that the program still starts on older systems, where every window has the
// system DPI of its screen DC.
int32_t window_dpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto get_dpi_for_window = [] {
        const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        const FARPROC proc =
            user32 != nullptr ? ::GetProcAddress(user32, "GetDpiForWindow") : nullptr;
        // The detour through a plain function pointer type keeps GCC's cast-function-type quiet.
        return reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(proc));
    }();
    int dpi = 0;
    if (get_dpi_for_window != nullptr) {
        dpi = static_cast<int>(get_dpi_for_window(window));
    }
    if (dpi == 0) {
        if (const HDC dc = ::GetDC(window); dc != nullptr) {
            dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
            ::ReleaseDC(window, dc);
        }
    }
    if (dpi <= 0) {
        return ring_design_dpi;
    }
    return dpi < ring_min_dpi ? ring_min_dpi : (dpi > ring_max_dpi ? ring_max_dpi : dpi);
}

int twips_to_pixels(int twips, int32_t dpi) {
    return ::MulDiv(twips, dpi, twips_per_inch);
}

// A 24-bpp DIB section holding the pixels (no alpha, so a plain BitBlt shows it as it is). The
// buffer already has the DIB's layout (top-down, blue-green-red, rows padded to four bytes), so
// one copy fills it.
unique_hbitmap make_bitmap(const PixelBuffer& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height; // negative: rows run from the top, as in the buffer
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) {
        return {};
    }
    std::memcpy(bits, pixels.bytes.data(), pixels.bytes.size());
    return bitmap;
}

// All eight frames at one DPI, or false (and out untouched) when any of them cannot be made.
bool make_frame_bitmaps(int32_t dpi, FrameBitmaps& out) {
    FrameBitmaps frames;
    try {
        for (int32_t k = 0; k < ring_frame_count; ++k) {
            frames[static_cast<std::size_t>(k)] = make_bitmap(draw_ring_frame(k, dpi));
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

// The ring box: a picture box that shows the bitmap handed to it with STM_SETIMAGE at its
// top-left corner, on white, and answers STM_GETIMAGE, like a static bitmap control. It keeps
// the very bitmap it is handed (no copy; it never deletes it) selected in a memory DC of its
// own, and on each new picture does one BitBlt at once: it neither erases first (no flicker)
// nor resizes itself nor asks its parent for a brush, as a SS_BITMAP static does on every
// image. Under Wine that halves the CPU a turning ring costs.
class RingBox {
public:
    static bool Register(HINSTANCE instance) {
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof(existing);
        if (::GetClassInfoExW(instance, WorkRing::BoxClassName, &existing) != FALSE) {
            return existing.lpfnWndProc == &RingBox::WndProc;
        }
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        // A DC of its own: the per-tick GetDC is then only a lookup.
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = &RingBox::WndProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = WorkRing::BoxClassName; // no background brush: WM_PAINT covers all
        return ::RegisterClassExW(&wc) != 0;
    }

    RingBox(const RingBox&) = delete;
    RingBox& operator=(const RingBox&) = delete;
    RingBox(RingBox&&) = delete;
    RingBox& operator=(RingBox&&) = delete;
    ~RingBox() {
        // Give the memory DC its own bitmap back, so the shown one can be deleted later.
        if (memory_ && original_ != nullptr) {
            ::SelectObject(memory_.get(), original_);
        }
    }

private:
    explicit RingBox(HWND self) noexcept : self_(self) {}

    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            std::unique_ptr<RingBox> box(new (std::nothrow) RingBox(window));
            if (!box) {
                return FALSE;
            }
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(box.release()));
            // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks): the window holds it
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
        auto* box = reinterpret_cast<RingBox*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (box == nullptr) {
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            delete box;
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
        return box->HandleMessage(message, wparam, lparam);
    }

    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
        switch (message) {
        case WM_CREATE:
            memory_.reset(::CreateCompatibleDC(nullptr));
            return memory_ ? 0 : -1;
        case WM_ERASEBKGND:
            return 1; // WM_PAINT draws every pixel; erasing first would only flicker
        case WM_PAINT:
            on_paint();
            return 0;
        case STM_SETIMAGE:
            return wparam == IMAGE_BITMAP
                       ? reinterpret_cast<LRESULT>(set_picture(reinterpret_cast<HBITMAP>(lparam)))
                       : 0;
        case STM_GETIMAGE:
            return wparam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(picture_) : 0;
        default:
            return ::DefWindowProcW(self_, message, wparam, lparam);
        }
    }

    // Takes the new picture and draws it at once; returns the previous one.
    HBITMAP set_picture(HBITMAP picture) {
        BITMAP info{};
        if (picture != nullptr && (::GetObjectType(picture) != OBJ_BITMAP ||
                                   ::GetObjectW(picture, sizeof(info), &info) == 0)) {
            return nullptr; // not a bitmap: keep showing what is shown
        }
        const HGDIOBJ previous_selection =
            ::SelectObject(memory_.get(), picture != nullptr ? picture : original_);
        if (previous_selection == nullptr && picture != nullptr) {
            return nullptr; // selected into another DC: it cannot be shown from ours
        }
        if (original_ == nullptr) {
            original_ = previous_selection;
        }
        const SIZE old_size = size_;
        size_ = {info.bmWidth, info.bmHeight};
        const HBITMAP previous = std::exchange(picture_, picture);
        if (::IsWindowVisible(self_) != FALSE) {
            if (const HDC dc = ::GetDC(self_); dc != nullptr) {
                // Same size as before (every frame): the new picture covers the old one.
                if (old_size.cx == size_.cx && old_size.cy == size_.cy) {
                    draw_picture(dc);
                } else {
                    paint(dc);
                }
                ::ReleaseDC(self_, dc);
            }
        }
        return previous;
    }

    void on_paint() const {
        PAINTSTRUCT ps{};
        if (const HDC dc = ::BeginPaint(self_, &ps); dc != nullptr) {
            paint(dc);
            ::EndPaint(self_, &ps);
        }
    }

    void draw_picture(HDC dc) const {
        if (picture_ != nullptr) {
            ::BitBlt(dc, 0, 0, size_.cx, size_.cy, memory_.get(), 0, 0, SRCCOPY);
        }
    }

    // The picture, and white wherever it does not reach; no pixel is drawn twice.
    void paint(HDC dc) const {
        RECT client{};
        ::GetClientRect(self_, &client);
        auto* const white = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        const LONG width = picture_ != nullptr ? size_.cx : 0;
        const LONG height = picture_ != nullptr ? size_.cy : 0;
        draw_picture(dc);
        const RECT right{width, 0, client.right, client.bottom};
        const RECT below{0, height, width < client.right ? width : client.right, client.bottom};
        // FillRect draws backwards from a rectangle whose sides are swapped: skip empty ones.
        for (const RECT& strip : {right, below}) {
            if (strip.right > strip.left && strip.bottom > strip.top) {
                ::FillRect(dc, &strip, white);
            }
        }
    }

    HWND self_ = nullptr;
    HBITMAP picture_ = nullptr;  // shown, not owned
    SIZE size_{};                // of picture_
    unique_hdc memory_;          // holds picture_ selected
    HGDIOBJ original_ = nullptr; // the memory DC's own bitmap, put back before it goes
};

} // namespace

bool WorkRing::RegisterWindowClass(HINSTANCE instance) {
    if (!RingBox::Register(instance)) {
        return false;
    }
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (::GetClassInfoExW(instance, ClassName, &existing) != FALSE) {
        return existing.lpfnWndProc == &WorkRing::WndProc;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &WorkRing::WndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = ClassName;
    return ::RegisterClassExW(&wc) != 0;
}

WorkRing* WorkRing::FromWindow(HWND ring) {
    if (ring == nullptr || ::IsWindow(ring) == FALSE) {
        return nullptr;
    }
    // Another process's window may carry the same class name, but its user data is no pointer
    // of ours.
    DWORD process = 0;
    ::GetWindowThreadProcessId(ring, &process);
    if (process != ::GetCurrentProcessId()) {
        return nullptr;
    }
    std::array<wchar_t, 64> name{};
    const int length = ::GetClassNameW(ring, name.data(), static_cast<int>(name.size()));
    if (length <= 0 || std::wstring_view(name.data(), static_cast<std::size_t>(length)) !=
                           std::wstring_view(ClassName)) {
        return nullptr;
    }
    return reinterpret_cast<WorkRing*>(::GetWindowLongPtrW(ring, GWLP_USERDATA));
}

HBITMAP WorkRing::frame_bitmap(int32_t k) const noexcept {
    if (k < 0 || k >= ring_frame_count) {
        return nullptr;
    }
    return p[static_cast<std::size_t>(k)].get();
}

void WorkRing::ani_start() {
    // SetTimer on a running timer only restarts its interval.
    timer_enabled_ = ::SetTimer(self_, tmr_Animator, animator_interval_ms, nullptr) != 0;
    ::ShowWindow(pic_Ring, SW_SHOW);
}

void WorkRing::ani_stop() {
    ::KillTimer(self_, tmr_Animator);
    timer_enabled_ = false;
    ::ShowWindow(pic_Ring, SW_HIDE);
}

LRESULT CALLBACK WorkRing::WndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        // The control makes its own object; lpCreateParams belongs to the container and may be
        // null.
        std::unique_ptr<WorkRing> ring(new (std::nothrow) WorkRing(window));
        if (!ring) {
            return FALSE;
        }
        // From here the window owns the object: WM_NCDESTROY deletes it, also when the
        // creation fails later on.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ring.release()));
        // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks): the window holds it
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    auto* ring = reinterpret_cast<WorkRing*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (ring == nullptr) {
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        // The ring box, a child, is already gone, so no window still holds a frame bitmap.
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete ring;
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    return ring->HandleMessage(message, wparam, lparam);
}

LRESULT WorkRing::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        return on_create();
    case WM_TIMER:
        on_timer(static_cast<UINT_PTR>(wparam));
        return 0;
    case WM_DPICHANGED_AFTERPARENT:
        on_dpi_changed();
        return 0;
    case WM_DESTROY:
        ::KillTimer(self_, tmr_Animator);
        timer_enabled_ = false;
        return 0;
    default:
        return ::DefWindowProcW(self_, message, wparam, lparam);
    }
}

LRESULT WorkRing::on_create() {
    dpi_ = window_dpi(self_);
    if (!make_frame_bitmaps(dpi_, p)) {
        return -1;
    }
    auto* const instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(self_, GWLP_HINSTANCE));
    const int offset = twips_to_pixels(ring_box_offset_twips, dpi_);
    const int size = twips_to_pixels(ring_box_size_twips, dpi_);
    pic_Ring = ::CreateWindowExW(
        0, BoxClassName, nullptr, WS_CHILD | WS_VISIBLE, offset, offset, size, size, self_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ring_box_id)), instance, nullptr);
    return pic_Ring != nullptr ? 0 : -1;
}

void WorkRing::on_timer(UINT_PTR id) {
    // A tick that was already queued when the timer stopped must not move the ring.
    if (id == tmr_Animator && timer_enabled_) {
        ani_step();
    }
}

void WorkRing::ani_step() {
    show_frame(ani_frame);
    ani_frame = next_ring_frame(ani_frame);
}

void WorkRing::show_frame(int32_t k) {
    // The box keeps the very bitmap it is handed: nothing is drawn, decoded or copied here.
    ::SendMessageW(pic_Ring, STM_SETIMAGE, IMAGE_BITMAP,
                   reinterpret_cast<LPARAM>(p[static_cast<std::size_t>(k)].get()));
    shown_frame_ = k;
}

void WorkRing::on_dpi_changed() {
    // Sent only when the DPI has changed: draw the frames anew at the new scale and move the
    // box. Should that fail, the old frames stay in use.
    const int32_t dpi = window_dpi(self_);
    FrameBitmaps frames;
    const bool remade = make_frame_bitmaps(dpi, frames);
    place_ring_box(dpi);
    if (remade) {
        dpi_ = dpi;
        p.swap(frames);
        // The box lets go of the old bitmap before it is deleted with frames.
        if (shown_frame_ >= 0) {
            show_frame(shown_frame_);
        }
    }
}

void WorkRing::place_ring_box(int32_t dpi) {
    const int offset = twips_to_pixels(ring_box_offset_twips, dpi);
    const int size = twips_to_pixels(ring_box_size_twips, dpi);
    ::SetWindowPos(pic_Ring, nullptr, offset, offset, size, size, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace tamsrove
