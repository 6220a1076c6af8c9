#include "forms/frm_Main.h"

#include <commctrl.h>

#include <string>
#include <utility>

#include "controls/WorkRing.h"
#include "forms/completion_watch.h"
#include "forms/exit_codes.h"
#include "modules/mod_Reg.h"
#include "resources/resource.h"

namespace tamsrove {

namespace {

using layout::ControlEntry;
using layout::ControlId;
using layout::ControlKind;

/// Child-window ids start above IDOK and IDCANCEL so that no control is mistaken for either.
constexpr int FirstControlWindowId = 100;

/// A fixed-size window with a caption, the system menu, a close box and a minimise box.
constexpr DWORD WindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD WindowExStyle = WS_EX_CONTROLPARENT;

/// BeginPaint and EndPaint as one scope.
class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &ps_)) {}
    ~PaintScope() { ::EndPaint(window_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    PaintScope(PaintScope&&) = delete;
    PaintScope& operator=(PaintScope&&) = delete;
    [[nodiscard]] HDC dc() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_;
};

/// Selects an object into a DC and puts the previous one back at the end of the scope.
class SelectScope {
public:
    SelectScope(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectScope() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }
    SelectScope(const SelectScope&) = delete;
    SelectScope& operator=(const SelectScope&) = delete;
    SelectScope(SelectScope&&) = delete;
    SelectScope& operator=(SelectScope&&) = delete;
    [[nodiscard]] bool ok() const noexcept {
        return previous_ != nullptr && previous_ != HGDI_ERROR;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

/// Raises a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
    FlagScope(FlagScope&&) = delete;
    FlagScope& operator=(FlagScope&&) = delete;

private:
    bool& flag_;
};

/// True when the class is registered now, by this call or an earlier one.
bool RegisterClassOnce(const WNDCLASSEXW& windowClass) {
    if (::RegisterClassExW(&windowClass) != 0) {
        return true;
    }
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

RECT ToRect(const layout::PixelRect& r) noexcept {
    return {r.left, r.top, r.right, r.bottom};
}

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

int MessageBoxQuestion(HWND owner, const wchar_t* text, const wchar_t* title, UINT type) {
    return ::MessageBoxW(owner, text, title, type);
}

} // namespace

namespace detail {

/// A plain container window: the frame (button face with an etched edge) or a white picture
/// box, either with a thin grey edge or showing a bitmap unscaled at its top-left corner.
/// The edges are painted inside the client area, so children sit at their table positions.
class ContainerBox {
public:
    enum class Edge : uint8_t { None, Etched, Sunken };

    ContainerBox(Edge edge, HBITMAP picture) noexcept : edge_(edge), picture_(picture) {}

    /// Registers the frame and picture box classes.
    static bool RegisterWindowClasses(HINSTANCE instance) {
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof(frame);
        frame.style = CS_HREDRAW | CS_VREDRAW;
        frame.lpfnWndProc = &ContainerBox::WndProc;
        frame.hInstance = instance;
        frame.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        frame.lpszClassName = frm_Main::FrameClassName;
        WNDCLASSEXW picture = frame;
        picture.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        picture.lpszClassName = frm_Main::PictureBoxClassName;
        return RegisterClassOnce(frame) && RegisterClassOnce(picture);
    }

    /// Creates the box's window as a child of parent.
    HWND Create(const wchar_t* className, HWND parent, int id, const RECT& rect,
                HINSTANCE instance) {
        return ::CreateWindowExW(WS_EX_CONTROLPARENT, className, nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                 rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this);
    }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            auto* self = static_cast<ContainerBox*>(create->lpCreateParams);
            self->window_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<ContainerBox*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self == nullptr) {
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        }
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        }
        return self->HandleMessage(message, wParam, lParam);
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_PRINTCLIENT: // PrintWindow and other snapshots draw the same as the screen
            Draw(reinterpret_cast<HDC>(wParam));
            return 0;
        default:
            return ::DefWindowProcW(window_, message, wParam, lParam);
        }
    }

    void OnPaint() {
        const PaintScope paint(window_);
        if (paint.dc() != nullptr) {
            Draw(paint.dc());
        }
    }

    void Draw(HDC dc) const {
        DrawPicture(dc);
        DrawEdgeInside(dc);
    }

    void DrawPicture(HDC dc) const {
        BITMAP info{};
        if (picture_ == nullptr || ::GetObjectW(picture_, sizeof(info), &info) == 0) {
            return;
        }
        const unique_hdc memory(::CreateCompatibleDC(dc));
        if (!memory) {
            return;
        }
        const SelectScope select(memory.get(), picture_);
        if (select.ok()) {
            ::BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
        }
    }

    void DrawEdgeInside(HDC dc) const {
        RECT client{};
        ::GetClientRect(window_, &client);
        if (edge_ == Edge::Etched) {
            ::DrawEdge(dc, &client, EDGE_ETCHED, BF_RECT);
        } else if (edge_ == Edge::Sunken) {
            // Flat: a sunken edge's light half would vanish against the white inside.
            ::DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT | BF_FLAT);
        }
    }

    HWND window_ = nullptr;
    Edge edge_;
    HBITMAP picture_; ///< owned by frm_Main, which outlives the window
};

} // namespace detail

void EndProgramAtOnce(unsigned exitCode) {
    // ExitProcess ends every thread and destroys the windows without sending them close or
    // destroy messages, so no event handler of ours runs after this call.
    ::ExitProcess(exitCode);
}

frm_Main::TerminationActions frm_Main::ProgramTerminationActions() {
    return {&MessageBoxQuestion, [](unsigned exitCode) {
                EndProgramAtOnce(exitCode);
            }};
}

frm_Main::frm_Main(TerminationActions actions) : actions_(std::move(actions)) {
    TerminationActions program = ProgramTerminationActions();
    if (!actions_.ask) {
        actions_.ask = std::move(program.ask);
    }
    if (!actions_.end) {
        actions_.end = std::move(program.end);
    }
}

frm_Main::~frm_Main() {
    // Destroy the window while every member it uses is still alive.
    window_.reset();
}

bool frm_Main::RegisterWindowClasses(HINSTANCE instance) {
    WNDCLASSEXW main{};
    main.cbSize = sizeof(main);
    main.lpfnWndProc = &frm_Main::WndProc;
    main.hInstance = instance;
    main.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    main.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    main.lpszClassName = ClassName;
    return RegisterClassOnce(main) && detail::ContainerBox::RegisterWindowClasses(instance) &&
           WorkRing::RegisterWindowClass(instance);
}

bool frm_Main::Create(HINSTANCE instance) {
    if (window_ || !RegisterWindowClasses(instance)) {
        return false;
    }
    instance_ = instance;
    // Created on the primary monitor so that its DPI is the one the layout uses.
    const RECT work = PrimaryWorkArea();
    const layout::PixelSize client = layout::ClientPixels(layout::BaseDpi);
    const std::wstring caption(layout::Caption);
    const HWND created =
        ::CreateWindowExW(WindowExStyle, ClassName, caption.c_str(), WindowStyle, work.left,
                          work.top, client.width, client.height, nullptr, nullptr, instance, this);
    if (created == nullptr || window_.get() != created) {
        return false;
    }
    dpi_ = ::GetDpiForWindow(created);
    if (dpi_ == 0) {
        dpi_ = static_cast<UINT>(layout::BaseDpi);
    }
    logo_.reset(static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(IDB_LOGO),
                                                  IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    LoadFont();
    LoadIcons();
    if (!CreateControls()) {
        window_.reset();
        return false;
    }
    SizeAndCentre();
    if (::SetTimer(created, UnloaderTimerId, UnloaderIntervalMs, nullptr) == 0) {
        window_.reset();
        return false;
    }
    return true;
}

void frm_Main::Show(int showCommand) {
    if (!window_) {
        return;
    }
    if (!loaded_) {
        loaded_ = true;
        OnLoad();
    }
    // The window is the user's only way to stop the installation, so a start-up request to
    // keep it hidden is not honoured.
    ::ShowWindow(window(), showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
    ::UpdateWindow(window());
}

HWND frm_Main::window() const noexcept {
    return window_.get();
}

HWND frm_Main::control(ControlId id) const noexcept {
    return controls_.at(static_cast<std::size_t>(id));
}

int frm_Main::ControlWindowId(ControlId id) noexcept {
    return FirstControlWindowId + static_cast<int>(id);
}

LRESULT CALLBACK frm_Main::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<frm_Main*>(create->lpCreateParams);
        self->window_.reset(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frm_Main*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        // The window is going by itself; the owner must not destroy it a second time.
        static_cast<void>(self->window_.release());
        self->controls_.fill(nullptr);
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT frm_Main::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(wParam);
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0; // never DefWindowProc: it would destroy the window
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case DM_GETDEFID:
        // IsDialogMessage asks this when Enter is pressed: the button is the default one.
        return MAKELRESULT(ControlWindowId(ControlId::CbStopAndQuit), DC_HASDEFID);
    case WM_GETDPISCALEDSIZE:
        // Asked before a DPI change: the exact size keeps the client area 7620 x 3450 twips.
        OnGetDpiScaledSize(LOWORD(wParam), *reinterpret_cast<SIZE*>(lParam));
        return TRUE;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        return ::DefWindowProcW(window(), message, wParam, lParam);
    }
}

void frm_Main::OnLoad() {
    if (WorkRing* ring = WorkRing::FromWindow(control(ControlId::WorkRing1)); ring != nullptr) {
        ring->ani_start();
    }
    // Asking for the focus may fail (the window is not shown yet); that is of no consequence.
    static_cast<void>(::SetFocus(window()));
}

void frm_Main::OnCommand(WPARAM wParam) {
    if (LOWORD(wParam) == ControlWindowId(ControlId::CbStopAndQuit) &&
        HIWORD(wParam) == BN_CLICKED) {
        ConfirmTermination();
    }
}

void frm_Main::OnClose() {
    // The close box, Alt+F4 and a WM_CLOSE from another process all end up here. If the
    // question returns, the user declined: the window stays.
    ConfirmTermination();
}

void frm_Main::OnTimer(UINT_PTR timerId) {
    if (timerId == UnloaderTimerId) {
        OnUnloaderTick();
    }
}

// The installer's completion flag is polled by tmr_Unloader, so both must tick alike.
static_assert(frm_Main::UnloaderIntervalMs == WatchIntervalMs);

void frm_Main::OnUnloaderTick() {
    // The watch counts, reads, clears and ends; this window only supplies its ports. The read
    // lets window events run, so a "Terminate" click or a close request may open the question
    // inside a tick; OK then ends the program before the tick goes on. While a question opened
    // that way is open, the watch's re-entry guard lets no further tick run until it closes.
    // A question opened between ticks does not block them: its modal loop dispatches ticks,
    // and a set flag or the last tick ends the program, the question with it.
    watch_.Tick();
}

WatchPorts frm_Main::CompletionFlagPorts() {
    // Both registry routines cut the root's name off the path they are handed: every call
    // gets a fresh copy of it.
    return {
        [] { return RegReadValue(std::wstring(FlagKeyPath), FlagValueName); },
        [] { RegWriteValue(std::wstring(FlagKeyPath), FlagValueName, FlagClearedText); },
        [this](WatchOutcome outcome) { actions_.end(ExitCodeFor(outcome)); },
    };
}

void frm_Main::OnSetFocus() {
    // As in a dialog, the focus that reaches the window goes on to its one tab stop, so that
    // Space and Enter work the button.
    if (const HWND button = control(ControlId::CbStopAndQuit); button != nullptr) {
        ::SetFocus(button);
    }
}

void frm_Main::OnGetDpiScaledSize(UINT dpi, SIZE& size) const {
    size = WindowSizeForDpi(dpi);
}

void frm_Main::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi != 0 ? dpi : static_cast<UINT>(layout::BaseDpi);
    ::SetWindowPos(window(), nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    LoadFont();
    LoadIcons();
    PlaceControls();
}

void frm_Main::ConfirmTermination() {
    // One question at a time: a close request that arrives while the box is open (posted by
    // another process, say) is refused rather than stacking a second box.
    if (asking_) {
        return;
    }
    const std::wstring text(layout::QuestionText);
    const std::wstring title(layout::QuestionTitle);
    int answer = IDCANCEL;
    {
        const FlagScope asking(asking_);
        // No icon: MB_OKCANCEL alone, with OK the default button.
        answer = actions_.ask(window(), text.c_str(), title.c_str(), MB_OKCANCEL | MB_DEFBUTTON1);
    }
    if (answer == IDOK) {
        actions_.end(ExitTerminated);
    }
}

bool frm_Main::CreateControls() {
    for (const ControlEntry& entry : layout::Controls) {
        const HWND created = CreateControl(entry);
        if (created == nullptr) {
            return false;
        }
        controls_.at(static_cast<std::size_t>(entry.id)) = created;
        if (entry.kind == ControlKind::Label || entry.kind == ControlKind::CommandButton) {
            ::SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        }
    }
    return true;
}

HWND frm_Main::CreateControl(const ControlEntry& entry) {
    const HWND parent = ContainerOf(entry);
    if (parent == nullptr) {
        return nullptr;
    }
    const RECT rect = ToRect(layout::ControlPixels(entry.id, static_cast<int32_t>(dpi_)));
    const int id = ControlWindowId(entry.id);
    const auto menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const std::wstring text(entry.text);
    switch (entry.kind) {
    case ControlKind::Frame:
    case ControlKind::PictureBox: {
        const bool isFrame = entry.kind == ControlKind::Frame;
        const bool showsLogo = entry.id == ControlId::Picture1;
        const auto edge = isFrame     ? detail::ContainerBox::Edge::Etched
                          : showsLogo ? detail::ContainerBox::Edge::None
                                      : detail::ContainerBox::Edge::Sunken;
        auto& box = boxes_.at(static_cast<std::size_t>(entry.id));
        box = std::make_unique<detail::ContainerBox>(edge, showsLogo ? logo_.get() : nullptr);
        return box->Create(isFrame ? FrameClassName : PictureBoxClassName, parent, id, rect,
                           instance_);
    }
    case ControlKind::WorkRing:
        return ::CreateWindowExW(0, WorkRing::ClassName, nullptr, WS_CHILD | WS_VISIBLE, rect.left,
                                 rect.top, width, height, parent, menu, instance_, nullptr);
    case ControlKind::Label:
        return ::CreateWindowExW(0, WC_STATICW, text.c_str(),
                                 WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, rect.left,
                                 rect.top, width, height, parent, menu, instance_, nullptr);
    case ControlKind::CommandButton:
        return ::CreateWindowExW(0, WC_BUTTONW, text.c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, rect.left,
                                 rect.top, width, height, parent, menu, instance_, nullptr);
    }
    return nullptr;
}

HWND frm_Main::ContainerOf(const ControlEntry& entry) const noexcept {
    return entry.container ? control(*entry.container) : window();
}

void frm_Main::PlaceControls() {
    for (const ControlEntry& entry : layout::Controls) {
        const HWND child = control(entry.id);
        if (child == nullptr) {
            continue;
        }
        const layout::PixelRect rect = layout::ControlPixels(entry.id, static_cast<int32_t>(dpi_));
        ::SetWindowPos(child, nullptr, rect.left, rect.top, rect.width(), rect.height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void frm_Main::LoadFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi_) ==
        FALSE) {
        return; // keep the font we have; the controls go on using it
    }
    unique_hfont font(::CreateFontIndirectW(&metrics.lfMessageFont));
    if (!font) {
        return;
    }
    // The controls still use the old font: it is deleted (when `font` goes out of scope) only
    // after they all have the new one.
    std::swap(font_, font);
    for (const ControlEntry& entry : layout::Controls) {
        const HWND child = control(entry.id);
        if (child != nullptr &&
            (entry.kind == ControlKind::Label || entry.kind == ControlKind::CommandButton)) {
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        }
    }
}

void frm_Main::LoadIcons() {
    const auto load = [this](int widthMetric, int heightMetric) {
        return unique_hicon(static_cast<HICON>(
            ::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_TAMSROVE), IMAGE_ICON,
                         ::GetSystemMetricsForDpi(widthMetric, dpi_),
                         ::GetSystemMetricsForDpi(heightMetric, dpi_), LR_DEFAULTCOLOR)));
    };
    // The window keeps using the previous icon until it has the new one; only then is the
    // previous one destroyed.
    if (unique_hicon big = load(SM_CXICON, SM_CYICON); big) {
        ::SendMessageW(window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
        big_icon_ = std::move(big);
    }
    if (unique_hicon small = load(SM_CXSMICON, SM_CYSMICON); small) {
        ::SendMessageW(window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
        small_icon_ = std::move(small);
    }
}

SIZE frm_Main::WindowSizeForDpi(UINT dpi) const {
    const layout::PixelSize client = layout::ClientPixels(static_cast<int32_t>(dpi));
    RECT rect{0, 0, client.width, client.height};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window(), GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window(), GWL_EXSTYLE));
    if (::AdjustWindowRectExForDpi(&rect, style, FALSE, exStyle, dpi) == FALSE) {
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void frm_Main::SizeAndCentre() {
    const SIZE size = WindowSizeForDpi(dpi_);
    const RECT work = WorkAreaOf(window());
    const layout::PixelPoint origin =
        layout::CentredOrigin({work.left, work.top, work.right, work.bottom}, {size.cx, size.cy});
    ::SetWindowPos(window(), nullptr, origin.x, origin.y, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace tamsrove
