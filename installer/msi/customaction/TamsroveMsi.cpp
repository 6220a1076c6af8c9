// TamsroveMsi.dll: custom actions that show the Tamsrove progress window while a Windows
// Installer package works and end it when the work is done, or when the install fails.
//
// A package sequences them like this (installer/msi/example.wxs is a whole one):
//   TamsrovePrepare   immediate, before InstallInitialize: copies the Binary row "TamsroveExe"
//                     to a folder of its own in the user's %TEMP% and hands that path to the
//                     three deferred actions below as their CustomActionData.
//   TamsroveRollback  rollback, impersonated, DllEntry TamsroveEnd: sequenced before
//                     TamsroveShow, so that a failed install ends the window too.
//   TamsroveShow      deferred, impersonated, DllEntry TamsroveShow: creates
//                     HKCU\Software\Marrowfen "frx" = "0" and starts the window without waiting.
//   ... the work ...
//   TamsroveFinish    deferred, impersonated, DllEntry TamsroveEnd: writes "1" to a window
//                     that still runs, waits for it to end, and deletes the copy.
//
// A deferred action cannot keep anything for a later one: the installer may call each in a
// thread or process of its own. So the window's process is found again by the full path of
// the copy, which is unique to this install, and the one-installer mutex is held only while
// the window is being started. Every action logs what it did; none fails the install, since
// the window only shows progress.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <array>
#include <cwchar>
#include <random>
#include <string>
#include <string_view>

#include "base/win32_handles.h"

#define TAMSROVE_MSI_EXPORT extern "C" __declspec(dllexport)

TAMSROVE_MSI_EXPORT UINT __stdcall TamsrovePrepare(MSIHANDLE install);
TAMSROVE_MSI_EXPORT UINT __stdcall TamsroveShow(MSIHANDLE install);
TAMSROVE_MSI_EXPORT UINT __stdcall TamsroveEnd(MSIHANDLE install);

namespace {

using tamsrove::unique_handle;
using tamsrove::unique_hfile;
using tamsrove::unique_hkey;

void CloseMsiHandle(MSIHANDLE handle) noexcept {
    ::MsiCloseHandle(handle);
}
/// A database, view or record handle of the installer.
using unique_msihandle = tamsrove::unique_any<MSIHANDLE, CloseMsiHandle>;

/// The Binary row that holds Tamsrove.exe.
constexpr const wchar_t* kProgramBinary = L"TamsroveExe";
/// The deferred actions whose CustomActionData TamsrovePrepare sets: their Ids in the package.
constexpr std::array<const wchar_t*, 3> kDeferredActions = {L"TamsroveShow", L"TamsroveFinish",
                                                            L"TamsroveRollback"};
constexpr const wchar_t* kFlagKey = L"Software\\Marrowfen";
constexpr const wchar_t* kFlagValue = L"frx";
/// The mutex every Tamsrove installer kit holds while it uses the flag.
constexpr const wchar_t* kFlagMutex = L"Local\\Tamsrove.InstallerFlag";
/// How long TamsroveShow waits for another installer: longer than a window can live (201 s).
constexpr DWORD kFlagWaitMs = 240000;
/// How long TamsroveEnd waits for the window to see the flag; it takes about one second.
constexpr DWORD kFinishWaitMs = 5000;

/// Writes "Tamsrove: text" to the installer's log.
void Log(MSIHANDLE install, const std::wstring& text) {
    const unique_msihandle record(::MsiCreateRecord(1));
    if (!record) {
        return; // nothing to log with; the action itself goes on
    }
    // The text goes into field 1, so that brackets in a path are not taken for properties.
    ::MsiRecordSetStringW(record.get(), 0, L"Tamsrove: [1]");
    ::MsiRecordSetStringW(record.get(), 1, text.c_str());
    ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
}

std::wstring ErrorText(DWORD error) {
    return L" (error " + std::to_wstring(error) + L")";
}

/// A property's value; in a deferred action, "CustomActionData" is the only one there is.
std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    DWORD size = 0;
    wchar_t empty[1] = {};
    if (::MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) {
        return {};
    }
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (::MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    value.resize(size);
    return value;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

/// The folder part of a path (without the last backslash).
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

/// HKEY_CURRENT_USER of the user the calling thread runs as (the installing user here).
unique_hkey CurrentUserKey(REGSAM access) {
    unique_hkey root;
    if (::RegOpenCurrentUser(access, root.put()) != ERROR_SUCCESS) {
        root.reset();
    }
    return root;
}

/// Stores text as "frx" (REG_SZ, with its terminating NUL), creating the key when needed.
DWORD WriteFlag(std::wstring_view text) {
    const unique_hkey root = CurrentUserKey(KEY_CREATE_SUB_KEY | KEY_SET_VALUE);
    if (!root) {
        return ERROR_ACCESS_DENIED;
    }
    unique_hkey key;
    const LSTATUS opened =
        ::RegCreateKeyExW(root.get(), kFlagKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, key.put(), nullptr);
    if (opened != ERROR_SUCCESS) {
        return static_cast<DWORD>(opened);
    }
    const std::wstring terminated(text);
    return static_cast<DWORD>(::RegSetValueExW(
        key.get(), kFlagValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated.c_str()),
        static_cast<DWORD>((terminated.size() + 1) * sizeof(wchar_t))));
}

/// True when "frx" reads exactly "0" (a terminating NUL aside).
bool FlagReadsZero() {
    const unique_hkey root = CurrentUserKey(KEY_QUERY_VALUE);
    if (!root) {
        return false;
    }
    std::array<wchar_t, 4> text{};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    if (::RegGetValueW(root.get(), kFlagKey, kFlagValue, RRF_RT_ANY, &type, text.data(), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    return type == REG_SZ && std::wstring_view(text.data()) == L"0";
}

/// The mutex every installer kit holds while it uses the flag, taken for one scope.
class FlagMutexScope {
public:
    explicit FlagMutexScope(MSIHANDLE install)
        : mutex_(::CreateMutexW(nullptr, FALSE /* not owned yet */, kFlagMutex)) {
        if (!mutex_) {
            Log(install, L"cannot create the installer mutex" + ErrorText(::GetLastError()));
            return;
        }
        DWORD waited = ::WaitForSingleObject(mutex_.get(), 0);
        if (waited == WAIT_TIMEOUT) {
            Log(install, L"waiting for another installer's progress window to end");
            waited = ::WaitForSingleObject(mutex_.get(), kFlagWaitMs);
        }
        // An abandoned mutex is owned all the same: its installer ended without letting go.
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!owned_) {
            // Past the wait, go on all the same: a window that cannot be ended is better than
            // none, and the other installer's window ends by itself at its time-out.
            Log(install, L"another installer still holds the flag; going on");
        }
    }
    ~FlagMutexScope() {
        if (owned_) {
            ::ReleaseMutex(mutex_.get());
        }
    }
    FlagMutexScope(const FlagMutexScope&) = delete;
    FlagMutexScope& operator=(const FlagMutexScope&) = delete;
    FlagMutexScope(FlagMutexScope&&) = delete;
    FlagMutexScope& operator=(FlagMutexScope&&) = delete;

private:
    unique_handle mutex_;
    bool owned_ = false;
};

/// A new, empty folder of this install's own in the user's %TEMP%, by its long path; empty
/// when none could be made.
std::wstring MakeOwnFolder() {
    std::array<wchar_t, MAX_PATH + 1> temp{};
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (length == 0 || length >= temp.size()) {
        return {};
    }
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<wchar_t, 24> name{};
        std::swprintf(name.data(), name.size(), L"Tamsrove-%08X", static_cast<unsigned>(random()));
        const std::wstring folder = std::wstring(temp.data(), length) + name.data();
        if (::CreateDirectoryW(folder.c_str(), nullptr) != FALSE) {
            // The process is found again by its image path, which Windows gives in long form;
            // %TEMP% may be in 8.3 form.
            std::array<wchar_t, MAX_PATH + 1> long_path{};
            const DWORD long_length = ::GetLongPathNameW(folder.c_str(), long_path.data(),
                                                         static_cast<DWORD>(long_path.size()));
            if (long_length == 0 || long_length >= long_path.size()) {
                ::RemoveDirectoryW(folder.c_str());
                return {};
            }
            return std::wstring(long_path.data(), long_length);
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    return {};
}

/// Copies the Binary row kProgramBinary to path; false (with the reason logged) on failure.
bool ExtractProgram(MSIHANDLE install, const std::wstring& path) {
    const unique_msihandle database(::MsiGetActiveDatabase(install));
    if (!database) {
        Log(install, L"cannot open the package's database");
        return false;
    }
    const std::wstring query =
        L"SELECT `Data` FROM `Binary` WHERE `Name`='" + std::wstring(kProgramBinary) + L"'";
    unique_msihandle view;
    unique_msihandle record;
    if (::MsiDatabaseOpenViewW(database.get(), query.c_str(), view.put()) != ERROR_SUCCESS ||
        ::MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
        ::MsiViewFetch(view.get(), record.put()) != ERROR_SUCCESS) {
        Log(install, L"the package has no Binary row " + std::wstring(kProgramBinary));
        return false;
    }
    const unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        Log(install, L"cannot create " + path + ErrorText(::GetLastError()));
        return false;
    }
    std::string chunk(65536, '\0');
    for (;;) {
        auto size = static_cast<DWORD>(chunk.size());
        if (::MsiRecordReadStream(record.get(), 1, chunk.data(), &size) != ERROR_SUCCESS) {
            Log(install, L"cannot read the Binary row " + std::wstring(kProgramBinary));
            return false;
        }
        if (size == 0) {
            return true;
        }
        DWORD written = 0;
        if (::WriteFile(file.get(), chunk.data(), size, &written, nullptr) == FALSE ||
            written != size) {
            Log(install, L"cannot write " + path + ErrorText(::GetLastError()));
            return false;
        }
    }
}

/// Deletes the copy of the program and its folder. The window may have only just ended, and
/// Windows lets go of an image a little after its process ends: a few tries.
void RemoveProgram(MSIHANDLE install, const std::wstring& path) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (::DeleteFileW(path.c_str()) != FALSE || ::GetLastError() == ERROR_FILE_NOT_FOUND) {
            ::RemoveDirectoryW(FolderOf(path).c_str());
            return;
        }
        ::Sleep(100);
    }
    Log(install, L"cannot delete " + path + ErrorText(::GetLastError()));
}

/// The running process whose image is the file at path, or none.
unique_handle FindProcessOf(const std::wstring& path) {
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    const unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return {};
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more != FALSE;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (!SameText(entry.szExeFile, name)) {
            continue;
        }
        unique_handle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE,
                          FALSE, entry.th32ProcessID));
        if (!process) {
            continue; // another user's program of that name
        }
        std::array<wchar_t, MAX_PATH + 1> image{};
        auto size = static_cast<DWORD>(image.size());
        if (::QueryFullProcessImageNameW(process.get(), 0, image.data(), &size) != FALSE &&
            SameText(std::wstring_view(image.data(), size), path) &&
            ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            return process;
        }
    }
    return {};
}

/// Puts the window into a job that ends it once the process running these actions ends, that
/// is when the install is over. TamsroveFinish and the rollback end it gently before that; the
/// job is what ends it when neither runs: a package built with a tool that turns the rollback
/// action into an immediate one (wixl does), or an installer that ends abruptly.
void BindToInstaller(MSIHANDLE install, HANDLE process) {
    unique_handle job(::CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job ||
        ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                  sizeof(limits)) == FALSE ||
        ::AssignProcessToJobObject(job.get(), process) == FALSE) {
        Log(install, L"cannot tie the window to the install" + ErrorText(::GetLastError()));
        return; // the window still shows, and TamsroveFinish still ends it
    }
    // Left open on purpose: the handle closes when this process ends, and the job then ends
    // the window.
    static_cast<void>(job.release());
}

} // namespace

UINT __stdcall TamsrovePrepare(MSIHANDLE install) {
    const std::wstring folder = MakeOwnFolder();
    if (folder.empty()) {
        Log(install, L"cannot make a folder in %TEMP%; no progress window");
        return ERROR_SUCCESS; // the window only shows progress: the install goes on without it
    }
    const std::wstring program = folder + L"\\Tamsrove.exe";
    if (!ExtractProgram(install, program)) {
        ::DeleteFileW(program.c_str());
        ::RemoveDirectoryW(folder.c_str());
        return ERROR_SUCCESS; // the reason is logged; the install goes on without a window
    }
    for (const wchar_t* action : kDeferredActions) {
        ::MsiSetPropertyW(install, action, program.c_str());
    }
    Log(install, L"the window is " + program);
    return ERROR_SUCCESS;
}

UINT __stdcall TamsroveShow(MSIHANDLE install) {
    const std::wstring program = Property(install, L"CustomActionData");
    if (program.empty()) {
        return ERROR_SUCCESS; // TamsrovePrepare logged why there is no window
    }
    const FlagMutexScope flag_mutex(install);
    // The window never creates the value: "0" first, so that an old "1" cannot end it at once.
    if (const DWORD written = WriteFlag(L"0"); written != ERROR_SUCCESS) {
        Log(install, L"cannot write HKCU\\Software\\Marrowfen frx" + ErrorText(written) +
                         L"; no progress window");
        return ERROR_SUCCESS; // the window only shows progress: the install goes on without it
    }
    std::wstring command_line = L"\"" + program + L"\"";
    const std::wstring folder = FolderOf(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    // Started in its own folder, so that it holds no folder of the install open; suspended
    // until it is in the job.
    if (::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                         CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &started) == FALSE) {
        Log(install, L"cannot start " + program + ErrorText(::GetLastError()));
        return ERROR_SUCCESS; // logged; the install goes on without a window
    }
    const unique_handle process(started.hProcess);
    const unique_handle thread(started.hThread);
    BindToInstaller(install, process.get());
    ::ResumeThread(thread.get());
    Log(install, L"the window started, process " + std::to_wstring(started.dwProcessId));
    return ERROR_SUCCESS;
}

UINT __stdcall TamsroveEnd(MSIHANDLE install) {
    if (::MsiGetMode(install, MSIRUNMODE_SCHEDULED) == FALSE &&
        ::MsiGetMode(install, MSIRUNMODE_ROLLBACK) == FALSE) {
        // Sequenced as an immediate action (wixl makes Execute="rollback" one): here it would
        // end the window before the work even began, so it does nothing.
        Log(install, L"TamsroveEnd runs only as a deferred or rollback action");
        return ERROR_SUCCESS;
    }
    const std::wstring program = Property(install, L"CustomActionData");
    if (program.empty()) {
        return ERROR_SUCCESS; // no window was prepared
    }
    const unique_handle window = FindProcessOf(program);
    if (!window) {
        // Its exit code went with it: Terminate (1223), the time-out (1460), or a window that
        // was already showing (183) cannot be told apart from here.
        Log(install, L"the window had already ended");
    } else if (const DWORD written = WriteFlag(L"1"); written != ERROR_SUCCESS) {
        Log(install, L"cannot write HKCU\\Software\\Marrowfen frx" + ErrorText(written));
    } else {
        if (::WaitForSingleObject(window.get(), kFinishWaitMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(window.get(), &code);
            Log(install, L"the window ended with " + std::to_wstring(code));
        } else {
            // It did not see the flag: it must not outlive the install all the same.
            Log(install, L"the window did not end within 5 seconds; ending it");
            ::TerminateProcess(window.get(), ERROR_TIMEOUT);
            ::WaitForSingleObject(window.get(), kFinishWaitMs);
        }
        // Ended without clearing the "1" (it ended just before seeing it): set it back.
        if (!FlagReadsZero()) {
            if (const DWORD reset = WriteFlag(L"0"); reset != ERROR_SUCCESS) {
                Log(install, L"cannot set frx back to 0" + ErrorText(reset));
            }
        }
    }
    RemoveProgram(install, program);
    return ERROR_SUCCESS;
}
