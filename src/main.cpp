// Tamsrove.exe: shows the Corvellan installation progress window until the installer's flag
// arrives, the wait times out, or the user terminates.
#include <windows.h>

#include <commctrl.h>

#include <array>
#include <new>

#include "forms/exit_codes.h"
#include "forms/frm_Main.h"
#include "forms/showing_mark.h"
#include "win32/system_dll.h"

namespace {

/// The last Win32 error, or ERROR_GEN_FAILURE when the failing call set none: never 0, the
/// code that means "finished".
unsigned LastErrorCode() {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? static_cast<unsigned>(error) : ERROR_GEN_FAILURE;
}

/// Runs the window's messages for as long as the program lives. The program never posts
/// WM_QUIT (the window ends it through EndProgramAtOnce), so a WM_QUIT comes from another
/// program and would end a window still waiting with a code that means nothing here: it is
/// dropped, and the flag, the tick cap or the user still end the program. Every message passes
/// the dialog keyboard handling first, so Tab, Enter and Space reach the "Terminate" button as
/// they would in a dialog. Returns only when GetMessage fails, with that failure's code.
unsigned RunMessageLoop(HWND window) {
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) {
            return LastErrorCode();
        }
        if (got == 0) {
            continue; // WM_QUIT, taken off the queue and ignored
        }
        if (::IsDialogMessageW(window, &message) == FALSE) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

/// Shows the window and runs it until the program ends; never returns.
[[noreturn]] void RunProgram(HINSTANCE instance, int show_command) {
    // One window at a time: two would share one flag, and the first to see it would leave the
    // other waiting out its time-out. The mark lives until the process ends (ExitProcess does
    // not run this frame's destructors).
    tamsrove::unique_handle showing_mark;
    if (!tamsrove::MarkWindowShowing(showing_mark)) {
        tamsrove::EndProgramAtOnce(tamsrove::kExitAlreadyShowing);
    }

    // Visual styles for the button and labels: the manifest asks for common controls 6, which
    // side-by-side activation picks for a load by name. Its dependencies that are no KnownDLLs
    // (uxtheme, and msimg32, which draws the themed parts) come first: Windows searches
    // System32 for the dependencies of a DLL loaded from there, but not every loader does (Wine
    // looks in the program's folder), and a DLL already loaded is never searched for again.
    // Should comctl32 fail to load, the controls still work, drawn by user32 in the classic
    // style, so the window goes on. All of them stay loaded until the program ends.
    const std::array<tamsrove::unique_hmodule, 3> common_controls_dlls = {
        tamsrove::LoadSystemDll(L"uxtheme.dll"),
        tamsrove::LoadSystemDll(L"msimg32.dll"),
        tamsrove::LoadSystemDll(L"comctl32.dll"),
    };
    if (const auto init_common_controls =
            tamsrove::ExportedFunction<decltype(&::InitCommonControlsEx)>(
                common_controls_dlls.back().get(), "InitCommonControlsEx");
        init_common_controls != nullptr) {
        INITCOMMONCONTROLSEX common_controls{};
        common_controls.dwSize = sizeof(common_controls);
        common_controls.dwICC = ICC_STANDARD_CLASSES;
        init_common_controls(&common_controls);
    }

    tamsrove::frm_Main main_window;
    if (!main_window.Create(instance)) {
        tamsrove::EndProgramAtOnce(LastErrorCode());
    }
    main_window.Show(show_command);
    // The window itself ends the program (EndProgramAtOnce); should the loop ever stop, the
    // program ends the same immediate way, without tearing the window down event by event.
    tamsrove::EndProgramAtOnce(RunMessageLoop(main_window.Window()));
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int show_command) {
    // First of all: from here on every DLL loaded by name comes from System32, never from the
    // folder the program was started from, which others may be able to write to. Until now only
    // KnownDLLs have been loaded (the import table holds no other), and the C runtime's start-up
    // and the static initialisers load none. A Windows that cannot narrow the search is not
    // one the program runs on safely: it ends with the reason.
    if (!tamsrove::NarrowDllSearchToSystem32()) {
        tamsrove::EndProgramAtOnce(LastErrorCode());
    }

    // The window procedures let no exception out; what throws before the window runs (an
    // allocation while it is made) ends the start with a code that says so.
    try {
        RunProgram(instance, show_command);
    } catch (const std::bad_alloc&) {
        tamsrove::EndProgramAtOnce(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        tamsrove::EndProgramAtOnce(ERROR_GEN_FAILURE); // any other failure of the start
    }
}
