#include "forms/frm_Main.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

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
constexpr int kFirstControlWindowId = 100;

/// A fixed-size window with a caption, the system menu, a close box and a minimise box.
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

/// The largest window coordinate the system gives (they are 16-bit).
constexpr LONG kCoordinateLimit = 0x7FFF;

/// True for a DPI and suggested rectangle that a real DPI change can bring: a DPI from a
/// quarter of 96 to sixteen times it (Windows offers 100 % to 500 %), and a rectangle of
/// positive size whose edges are window coordinates (16-bit) as the system gives them.
bool IsSaneDpiChange(UINT dpi, const RECT& suggested) noexcept {
    const auto in_range = [](LONG value) {
        return value >= -kCoordinateLimit && value <= kCoordinateLimit;
    };
    return dpi >= kBaseDpi / 4 && dpi <= kBaseDpi * 16 && in_range(suggested.left) &&
           in_range(suggested.top) && in_range(suggested.right) && in_range(suggested.bottom) &&
           suggested.right > suggested.left && suggested.bottom > suggested.top;
}

/// Raises a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) noexcept : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

RECT ToRect(const layout::PixelRect& r) noexcept {
    return {r.left, r.top, r.right, r.bottom};
}

int MessageBoxQuestion(HWND owner, const wchar_t* text, const wchar_t* title, UINT type) {
    return ::MessageBoxW(owner, text, title, type);
}

} // namespace

void EndProgramAtOnce(unsigned exit_code) {
    // ExitProcess ends every thread and destroys the windows without sending them close or
    // destroy messages, so no event handler of ours runs after this call.
    ::ExitProcess(exit_code);
}

frm_Main::TerminationActions frm_Main::ProgramTerminationActions() {
    return {&MessageBoxQuestion, [](unsigned exit_code) {
                EndProgramAtOnce(exit_code);
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
    Destroy();
}

bool frm_Main::RegisterWindowClasses(HINSTANCE instance) {
    return RegisterWindowClass(instance, {kClassName, ::GetSysColorBrush(COLOR_BTNFACE)}) &&
           ContainerBox::RegisterWindowClasses(instance) &&
           WorkRing::RegisterWindowClasses(instance);
}

bool frm_Main::Create(HINSTANCE instance) {
    if (Window() != nullptr || !RegisterWindowClasses(instance)) {
        return false;
    }
    instance_ = instance;
    const std::wstring caption(layout::kCaption);
    const HWND created =
        WindowBase::Create(kWindowExStyle, kClassName, caption.c_str(), kWindowStyle,
                           CreationRect(), nullptr, nullptr, instance);
    if (created == nullptr) {
        return false;
    }
    dpi_ = WindowDpi(created);
    LoadLogo();
    LoadIcons();
    if (!CreateControls()) {
        Destroy();
        return false;
    }
    OrderByTabIndex();
    FitTexts();
    SizeAndCentre();
    if (::SetTimer(created, kUnloaderTimerId, kUnloaderIntervalMs, nullptr) == 0) {
        Destroy();
        return false;
    }
    return true;
}

void frm_Main::Show(int show_command) {
    if (Window() == nullptr) {
        return;
    }
    if (!loaded_) {
        loaded_ = true;
        OnLoad();
    }
    // The window is the user's only way to stop the installation, so a start-up request to
    // keep it hidden is not honoured.
    ::ShowWindow(Window(), show_command == SW_HIDE ? SW_SHOWNORMAL : show_command);
    ::UpdateWindow(Window());
}

HWND frm_Main::Control(ControlId id) const noexcept {
    return controls_.at(static_cast<std::size_t>(id));
}

int frm_Main::ControlWindowId(ControlId id) noexcept {
    return kFirstControlWindowId + static_cast<int>(id);
}

LRESULT frm_Main::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(wparam);
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0; // never DefWindowProc: it would destroy the window
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wparam));
        return 0;
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case WM_NCDESTROY:
        OnNcDestroy();
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    case DM_GETDEFID:
        // IsDialogMessage asks this when Enter is pressed: the button is the default one.
        return MAKELRESULT(ControlWindowId(ControlId::CbStopAndQuit), DC_HASDEFID);
    case WM_GETDPISCALEDSIZE: {
        // Asked before a DPI change: the exact size keeps the client area 7620 x 3450 twips.
        // Posted ones never arrive (the window base drops them); a sent one whose pointer
        // cannot take the size gets FALSE, and the system scales the size itself.
        SIZE size{};
        OnGetDpiScaledSize(LOWORD(wparam), size);
        return WriteMessageStruct(lparam, size) ? TRUE : FALSE;
    }
    case WM_DPICHANGED:
        // Acted on only with a readable, sane rectangle: another program may send any number.
        if (const std::optional<RECT> suggested = ReadMessageStruct<RECT>(lparam);
            suggested && IsSaneDpiChange(LOWORD(wparam), *suggested)) {
            OnDpiChanged(LOWORD(wparam), *suggested);
        }
        return 0;
    default:
        return ::DefWindowProcW(Window(), message, wparam, lparam);
    }
}

void frm_Main::OnLoad() {
    ring_.ani_start();
    // Asking for the focus may fail (the window is not shown yet); that is of no consequence.
    static_cast<void>(::SetFocus(Window()));
}

void frm_Main::OnCommand(WPARAM wparam) {
    if (LOWORD(wparam) == ControlWindowId(ControlId::CbStopAndQuit) &&
        HIWORD(wparam) == BN_CLICKED) {
        ConfirmTermination();
    }
}

void frm_Main::OnClose() {
    // The close box, Alt+F4 and a WM_CLOSE from another process all end up here. If the
    // question returns, the user declined: the window stays.
    ConfirmTermination();
}

void frm_Main::OnTimer(UINT_PTR timer_id) {
    if (timer_id == kUnloaderTimerId) {
        OnUnloaderTick();
    }
}

void frm_Main::OnUnloaderTick() {
    // The watch counts, reads, clears and ends; this window only supplies the registry calls
    // and the end it uses (CompletionWatchActions). The read lets window events run, so a
    // "Terminate" click or a close request may open the question inside a tick; OK then ends
    // the program before the tick goes on. While a question opened that way is open, the
    // watch's re-entry guard lets no further tick run until it closes. A question opened
    // between ticks does not block them: its modal loop dispatches ticks, and a set flag or the
    // last tick ends the program, the question with it.
    watch_.Tick();
}

WatchActions frm_Main::CompletionWatchActions() {
    // Both registry routines cut the root's name off the path they are handed: every call
    // gets a fresh copy of it.
    return {
        [] { return RegReadValue(std::wstring(kFlagKeyPath), kFlagValueName); },
        [] { RegWriteValue(std::wstring(kFlagKeyPath), kFlagValueName, kFlagClearedText); },
        [this](WatchOutcome outcome) { actions_.end(ExitCodeFor(outcome)); },
    };
}

void frm_Main::OnSetFocus() {
    // As in a dialog, the focus that reaches the window goes on to its one tab stop, so that
    // Space and Enter work the button.
    if (const HWND button = Control(ControlId::CbStopAndQuit); button != nullptr) {
        ::SetFocus(button);
    }
}

void frm_Main::ConfirmTermination() {
    // One question at a time: a close request that arrives while the box is open (posted by
    // another process, say) is refused rather than stacking a second box.
    if (asking_) {
        return;
    }
    const std::wstring text(layout::kQuestionText);
    const std::wstring title(layout::kQuestionTitle);
    int answer = IDCANCEL;
    {
        const FlagScope asking(asking_);
        // No icon: MB_OKCANCEL alone, with OK the default button.
        answer = actions_.ask(Window(), text.c_str(), title.c_str(), MB_OKCANCEL | MB_DEFBUTTON1);
    }
    if (answer == IDOK) {
        actions_.end(kExitTerminated);
    }
}

bool frm_Main::CreateControls() {
    for (const ControlEntry& entry : layout::kControls) {
        const HWND created = CreateControl(entry);
        if (created == nullptr) {
            return false;
        }
        controls_.at(static_cast<std::size_t>(entry.id)) = created;
    }
    return true;
}

void frm_Main::OrderByTabIndex() {
    // Tab order and the order screen readers read siblings in is the windows' z-order, first
    // child first: each control in turn goes below those before it in tab order.
    std::array<const ControlEntry*, layout::kControlCount> by_tab{};
    std::transform(layout::kControls.begin(), layout::kControls.end(), by_tab.begin(),
                   [](const ControlEntry& entry) { return &entry; });
    std::sort(by_tab.begin(), by_tab.end(), [](const ControlEntry* a, const ControlEntry* b) {
        return a->tab_index < b->tab_index;
    });
    for (const ControlEntry* entry : by_tab) {
        ::SetWindowPos(Control(entry->id), HWND_BOTTOM, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
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
    case ControlKind::PictureBox:
        return CreateContainerBox(entry, parent, rect);
    case ControlKind::WorkRing:
        return ring_.Create(parent, id, rect, instance_) ? ring_.Window() : nullptr;
    case ControlKind::Label:
        // One line, centred both ways: SS_CENTERIMAGE makes a text static draw a single line,
        // so no word of a text that only just fits can wrap onto a hidden second line.
        return ::CreateWindowExW(0, WC_STATICW, text.c_str(),
                                 WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX,
                                 rect.left, rect.top, width, height, parent, menu, instance_,
                                 nullptr);
    case ControlKind::CommandButton:
        return ::CreateWindowExW(0, WC_BUTTONW, text.c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, rect.left,
                                 rect.top, width, height, parent, menu, instance_, nullptr);
    }
    return nullptr;
}

HWND frm_Main::CreateContainerBox(const ControlEntry& entry, HWND parent, const RECT& rect) {
    const bool is_frame = entry.kind == ControlKind::Frame;
    const bool shows_logo = entry.id == ControlId::Picture1;
    const auto edge = is_frame     ? ContainerBox::Edge::Etched
                      : shows_logo ? ContainerBox::Edge::None
                                   : ContainerBox::Edge::Sunken;
    auto& box = boxes_.at(static_cast<std::size_t>(entry.id));
    box = std::make_unique<ContainerBox>(edge, shows_logo ? logo_.get() : nullptr);
    return box->CreateChild(is_frame ? kFrameClassName : kPictureBoxClassName, parent,
                            ControlWindowId(entry.id), rect, instance_);
}

void frm_Main::OnNcDestroy() {
    // The child windows are gone with the window.
    controls_.fill(nullptr);
}

HWND frm_Main::ContainerOf(const ControlEntry& entry) const noexcept {
    return entry.container ? Control(*entry.container) : Window();
}

} // namespace tamsrove
