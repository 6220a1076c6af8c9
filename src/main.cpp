// Tamsrove.exe: shows the Corvellan installation progress window until the installer's flag
// arrives, the wait times out, or the user terminates.
#include <windows.h>

#include <commctrl.h>

#include "forms/frm_Main.h"

namespace {

/// Exit code when the window cannot be created: the failing call's own error, if it set one.
unsigned StartFailureCode() {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? static_cast<unsigned>(error) : ERROR_GEN_FAILURE;
}

/// Runs the window's messages until a WM_QUIT (which only another program could send) and
/// returns its exit code. Every message passes the dialog keyboard handling first, so Tab,
/// Enter and Space reach the "Terminate" button as they would in a dialog.
unsigned RunMessageLoop(HWND window) {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(window, &message) == FALSE) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return static_cast<unsigned>(message.wParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int showCommand) {
    // Visual styles for the button and labels (the manifest asks for common controls 6).
    INITCOMMONCONTROLSEX commonControls{};
    commonControls.dwSize = sizeof(commonControls);
    commonControls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&commonControls);

    tamsrove::frm_Main mainWindow;
    if (!mainWindow.Create(instance)) {
        tamsrove::EndProgramAtOnce(StartFailureCode());
    }
    mainWindow.Show(showCommand);
    // The window itself ends the program (EndProgramAtOnce); should the loop ever stop, the
    // program ends the same immediate way, without tearing the window down event by event.
    tamsrove::EndProgramAtOnce(RunMessageLoop(mainWindow.Window()));
}
