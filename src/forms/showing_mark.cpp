// The mark of a showing window: a named mutex per user and desktop, so that a second copy of the
// program can tell that a window already waits for the same flag.
#include "forms/showing_mark.h"

#include <windows.h>

#include <sddl.h>

#include <cstddef>
#include <memory>
#include <string>

namespace tamsrove {
namespace {

/// Prefix of the name of the object that marks a showing window.
constexpr const wchar_t* kShowingPrefix = L"Local\\Tamsrove.ProgressWindow.";

/// The current user's SID as text ("S-1-5-21-..."), or empty when it cannot be read.
std::wstring UserSidText() {
    unique_handle token;
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
    const unique_hlocal owned(text); // freed also when the copy below throws
    return std::wstring(text);
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

} // namespace

bool MarkWindowShowing(unique_handle& mark) {
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

} // namespace tamsrove
