// Tamsrove.exe: shows the Corvellan installation progress window until the installer's flag
// arrives, the wait times out, or the user terminates.
#include <windows.h>

#include <commctrl.h>
#include <sddl.h>

#include <cstddef>
#include <memory>
#include <string>

#include "forms/exit_codes.h"
#include "forms/frm_Main.h"
#include "platform/win32_handles.h"

namespace {

/// Prefix of the name of the object that marks a showing window.
constexpr const wchar_t* kShowingPrefix = L"Local\\Tamsrove.ProgressWindow.";

/// The last Win32 error, or ERROR_GEN_FAILURE when the failing call set none: never 0, the
/// code that means "finished".
unsigned LastErrorCode() {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? static_cast<unsigned>(error) : ERROR_GEN_FAILURE;
}

/// The current user's SID as text ("S-1-5-21-..."), or empty when it cannot be read.
std::wstring UserSidText() {
    tamsrove::unique_handle token;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) == FALSE) {
        return {};
    }
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size); // asks for the size
    if (size == 0) {
        return {};
    }
    // Storage from new is aligned for any type, so TOKEN_USER's pointer member is too.
    const auto buffer = std::make_unique<std::byte[]>(size);
    auto* user = reinterpret_cast<TOKEN_USER*>(buffer.get());
    wchar_t* text = nullptr;
    if (::GetTokenInformation(token.get(), TokenUser, user, size, &size) == FALSE ||
        ::ConvertSidToStringSidW(user->User.Sid, &text) == FALSE) {
        return {};
    }
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

/// The name of a user object (window station or desktop), or empty.
std::wstring UserObjectName(HANDLE object) {
    wchar_t name[256] = {};
    DWORD needed = 0;
    if (object == nullptr ||
        ::GetUserObjectInformationW(object, UOI_NAME, name, sizeof(name), &needed) == FALSE) {
        return {};
    }
    return name;
}

/// The name of the object that marks a window showing for this user on this desktop. The
/// Local\ namespace is the session's; the user's SID and the desktop keep apart windows that
/// read another user's flag or that nobody could see beside ours. Object names may hold no
/// backslash after the namespace, hence the "/" between window station and desktop.
std::wstring ShowingObjectName() {
    return kShowingPrefix + UserSidText() + L"." + UserObjectName(::GetProcessWindowStation()) +
           L"/" + UserObjectName(::GetThreadDesktop(::GetCurrentThreadId()));
}

/// Marks this program's window as showing. False when another copy already shows one; the
/// mark then belongs to that copy. The returned handle must stay open for the life of the
/// process: it goes with the process, so a crash leaves no mark behind.
bool MarkWindowShowing(tamsrove::unique_handle& mark) {
    const std::wstring name = ShowingObjectName();
    ::SetLastError(ERROR_SUCCESS);
    mark.reset(::CreateMutexW(nullptr, FALSE /* not owned */, name.c_str()));
    const DWORD error = ::GetLastError();
    // An existing object opens with ERROR_ALREADY_EXISTS. Access is denied when it belongs to
    // a copy running elevated for the same user, which reads the same flag: showing too.
    // Any other failure leaves no mark, and the window shows rather than none at all.
    if (error == ERROR_ALREADY_EXISTS) {
        return false;
    }
    return mark || error != ERROR_ACCESS_DENIED;
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

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int show_command) {
    // One window at a time: two would share one flag, and the first to see it would leave the
    // other waiting out its time-out. The mark lives until the process ends (ExitProcess does
    // not run this frame's destructors).
    tamsrove::unique_handle showing_mark;
    if (!MarkWindowShowing(showing_mark)) {
        tamsrove::EndProgramAtOnce(tamsrove::kExitAlreadyShowing);
    }

    // Visual styles for the button and labels (the manifest asks for common controls 6).
    INITCOMMONCONTROLSEX common_controls{};
    common_controls.dwSize = sizeof(common_controls);
    common_controls.dwICC = ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&common_controls);

    tamsrove::frm_Main main_window;
    if (!main_window.Create(instance)) {
        tamsrove::EndProgramAtOnce(LastErrorCode());
    }
    main_window.Show(show_command);
    // The window itself ends the program (EndProgramAtOnce); should the loop ever stop, the
    // program ends the same immediate way, without tearing the window down event by event.
    tamsrove::EndProgramAtOnce(RunMessageLoop(main_window.Window()));
}
