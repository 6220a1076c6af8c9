// frm_Main: the program's only window. It shows the installation message, the turning ring
// beside the logo and the "Terminate" button, hosts the timer tmr_Unloader, and asks the
// termination question on "Terminate" and on every close request.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "controls/WorkRing.h"
#include "forms/com_apartment.h"
#include "forms/completion_watch.h"
#include "forms/container_box.h"
#include "forms/layout.h"
#include "forms/twips.h"
#include "base/win32_handles.h"
#include "win32/window_base.h"

namespace tamsrove {

/// Ends the whole program at once with exit_code: every window, control and timer goes and no
/// close or unload event runs. It is the program's only way to end.
[[noreturn]] void EndProgramAtOnce(unsigned exit_code);

/// The progress window with its controls, laid out in twips at the window's DPI.
class frm_Main : public WindowBase<frm_Main> {
public:
    /// Window class of the top-level window.
    static constexpr const wchar_t* kClassName = L"Tamsrove.frm_Main";
    /// Window class of the frame, the container that groups everything but the button.
    static constexpr const wchar_t* kFrameClassName = ContainerBox::kFrameClassName;
    /// Window class of the white picture boxes pic_C and Picture1.
    static constexpr const wchar_t* kPictureBoxClassName = ContainerBox::kPictureBoxClassName;
    /// Timer id of tmr_Unloader on the top-level window.
    static constexpr UINT_PTR kUnloaderTimerId = 1;
    /// tmr_Unloader's interval: the completion watch runs once a tick.
    static constexpr UINT kUnloaderIntervalMs = 1000;

    /// How the termination question is asked and how a confirmed termination ends the program.
    /// The program uses MessageBoxW and EndProgramAtOnce; tests replace both.
    struct TerminationActions {
        /// Shows the question; the arguments and result are those of MessageBoxW.
        std::function<int(HWND owner, const wchar_t* text, const wchar_t* title, UINT type)> ask;
        /// Ends the program with the exit code; never returns in the program.
        std::function<void(unsigned exit_code)> end;
    };

    /// The actions the program itself uses: MessageBoxW and EndProgramAtOnce.
    static TerminationActions ProgramTerminationActions();

    /// A window not yet created; empty actions fall back to the program's own.
    explicit frm_Main(TerminationActions actions = ProgramTerminationActions());
    ~frm_Main();

    /// Registers the window, frame, picture box and ring classes; true when all are registered.
    static bool RegisterWindowClasses(HINSTANCE instance);

    /// Creates the hidden window with its controls, centred on its monitor's work area, and
    /// starts tmr_Unloader. False when the window or a control could not be created.
    [[nodiscard]] bool Create(HINSTANCE instance);

    /// Runs the load event once (the ring starts, the window asks for focus), then shows it.
    void Show(int show_command);

    /// A control's window; null before Create.
    [[nodiscard]] HWND Control(layout::ControlId id) const noexcept;
    /// The child-window id a control carries (GetDlgCtrlID).
    [[nodiscard]] static int ControlWindowId(layout::ControlId id) noexcept;
    /// The DPI the window is laid out for.
    [[nodiscard]] UINT Dpi() const noexcept { return dpi_; }
    /// i_TickCount: the number of tmr_Unloader ticks so far.
    [[nodiscard]] int16_t TickCount() const noexcept { return watch_.TickCount(); }

private:
    friend WindowBase;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

    // Events.
    void OnLoad();
    void OnCommand(WPARAM wparam);
    void OnClose();
    void OnTimer(UINT_PTR timer_id);
    void OnUnloaderTick();
    [[nodiscard]] WatchActions CompletionWatchActions();
    void OnSetFocus();
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnGetDpiScaledSize(UINT dpi, SIZE& size) const;
    void OnNcDestroy();

    // Private procedures.
    void ConfirmTermination();
    [[nodiscard]] bool CreateControls();
    [[nodiscard]] HWND CreateControl(const layout::ControlEntry& entry);
    [[nodiscard]] HWND CreateContainerBox(const layout::ControlEntry& entry, HWND parent,
                                          const RECT& rect);
    [[nodiscard]] static RECT CreationRect();
    void OrderByTabIndex();
    void PlaceControls();
    void FitTexts();
    void GiveFontToTexts();
    void LoadLogo();
    void LoadIcons();
    void SizeAndCentre();
    [[nodiscard]] SIZE WindowSizeForDpi(UINT dpi) const;
    [[nodiscard]] HWND ContainerOf(const layout::ControlEntry& entry) const noexcept;

    /// COM on the window's thread, from before the window is made until after it has gone.
    ComApartment com_;
    TerminationActions actions_;
    HINSTANCE instance_ = nullptr;
    UINT dpi_ = static_cast<UINT>(kBaseDpi);
    /// tmr_Unloader's tick handler; it keeps i_TickCount, which is never reset. Declared after
    /// actions_, whose end it uses.
    CompletionWatch watch_{CompletionWatchActions()};
    bool loaded_ = false; ///< the load event has run
    bool asking_ = false; ///< the termination question is open
    unique_hfont font_;   ///< the size of the message font at dpi_ that every text uses
    unique_hicon big_icon_;
    unique_hicon small_icon_;
    unique_hbitmap logo_; ///< the logo drawn at dpi_, shown by Picture1
    /// The objects behind the frame, pic_C and Picture1 (null for other controls). The frame
    /// bears the window's own name, frm_Main, in the control table.
    std::array<std::unique_ptr<ContainerBox>, layout::kControlCount> boxes_;
    /// The object behind WorkRing1.
    WorkRing ring_;
    /// The control windows, destroyed with the top-level window before any object behind them.
    std::array<HWND, layout::kControlCount> controls_{};
};

} // namespace tamsrove
