// frm_Main: the program's only window. It shows the installation message, the turning ring
// beside the logo and the "Terminate" button, hosts the timer tmr_Unloader, and asks the
// termination question on "Terminate" and on every close request.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "forms/completion_watch.h"
#include "forms/layout.h"
#include "platform/win32_handles.h"

namespace tamsrove {

/// Ends the whole program at once with exitCode: every window, control and timer goes and no
/// close or unload event runs. It is the program's only way to end.
[[noreturn]] void EndProgramAtOnce(unsigned exitCode);

namespace detail {
class ContainerBox;
} // namespace detail

/// The progress window with its controls, laid out in twips at the window's DPI.
class frm_Main {
public:
    /// Window class of the top-level window.
    static constexpr const wchar_t* ClassName = L"Tamsrove.frm_Main";
    /// Window class of the frame, the container that groups everything but the button.
    static constexpr const wchar_t* FrameClassName = L"Tamsrove.Frame";
    /// Window class of the white picture boxes pic_C and Picture1.
    static constexpr const wchar_t* PictureBoxClassName = L"Tamsrove.PictureBox";
    /// Timer id of tmr_Unloader on the top-level window.
    static constexpr UINT_PTR UnloaderTimerId = 1;
    /// tmr_Unloader's interval.
    static constexpr UINT UnloaderIntervalMs = 1000;

    /// How the termination question is asked and how a confirmed termination ends the program.
    /// The program uses MessageBoxW and EndProgramAtOnce; tests replace both.
    struct TerminationActions {
        /// Shows the question; the arguments and result are those of MessageBoxW.
        std::function<int(HWND owner, const wchar_t* text, const wchar_t* title, UINT type)> ask;
        /// Ends the program with the exit code; never returns in the program.
        std::function<void(unsigned exitCode)> end;
    };

    /// The actions the program itself uses: MessageBoxW and EndProgramAtOnce.
    static TerminationActions ProgramTerminationActions();

    /// A window not yet created; empty actions fall back to the program's own.
    explicit frm_Main(TerminationActions actions = ProgramTerminationActions());
    ~frm_Main();
    frm_Main(const frm_Main&) = delete;
    frm_Main& operator=(const frm_Main&) = delete;
    frm_Main(frm_Main&&) = delete;
    frm_Main& operator=(frm_Main&&) = delete;

    /// Registers the window, frame, picture box and ring classes; true when all are available.
    static bool RegisterWindowClasses(HINSTANCE instance);

    /// Creates the hidden window with its controls, centred on its monitor's work area, and
    /// starts tmr_Unloader. False when the window or a control could not be created.
    [[nodiscard]] bool Create(HINSTANCE instance);

    /// Runs the load event once (the ring starts, the window asks for focus), then shows it.
    void Show(int showCommand);

    /// The top-level window; null before Create.
    [[nodiscard]] HWND window() const noexcept;
    /// A control's window; null before Create.
    [[nodiscard]] HWND control(layout::ControlId id) const noexcept;
    /// The child-window id a control carries (GetDlgCtrlID).
    [[nodiscard]] static int ControlWindowId(layout::ControlId id) noexcept;
    /// The DPI the window is laid out for.
    [[nodiscard]] UINT dpi() const noexcept { return dpi_; }
    /// i_TickCount: the number of tmr_Unloader ticks so far.
    [[nodiscard]] int16_t TickCount() const noexcept { return watch_.TickCount(); }

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Events.
    void OnLoad();
    void OnCommand(WPARAM wParam);
    void OnClose();
    void OnTimer(UINT_PTR timerId);
    void OnUnloaderTick();
    [[nodiscard]] WatchPorts CompletionFlagPorts();
    void OnSetFocus();
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnGetDpiScaledSize(UINT dpi, SIZE& size) const;

    // Private procedures.
    void ConfirmTermination();
    [[nodiscard]] bool CreateControls();
    [[nodiscard]] HWND CreateControl(const layout::ControlEntry& entry);
    void PlaceControls();
    void LoadFont();
    void LoadIcons();
    void SizeAndCentre();
    [[nodiscard]] SIZE WindowSizeForDpi(UINT dpi) const;
    [[nodiscard]] HWND ContainerOf(const layout::ControlEntry& entry) const noexcept;

    TerminationActions actions_;
    HINSTANCE instance_ = nullptr;
    UINT dpi_ = static_cast<UINT>(layout::BaseDpi);
    /// tmr_Unloader's tick handler; it keeps i_TickCount, which is never reset. Declared after
    /// actions_, whose end it uses.
    CompletionWatch watch_{CompletionFlagPorts()};
    bool loaded_ = false; ///< the load event has run
    bool asking_ = false; ///< the termination question is open
    unique_hfont font_;   ///< the message font at dpi_, used by every text
    unique_hicon big_icon_;
    unique_hicon small_icon_;
    unique_hbitmap logo_;
    /// The objects behind the frame, pic_C and Picture1 (null for other controls). The frame
    /// bears the window's own name, frm_Main, in the control table.
    std::array<std::unique_ptr<detail::ContainerBox>, layout::ControlCount> boxes_;
    /// The control windows, owned (and destroyed) by the top-level window.
    std::array<HWND, layout::ControlCount> controls_{};
    /// The top-level window; declared last so that it goes before everything it uses.
    unique_hwnd window_;
};

} // namespace tamsrove
