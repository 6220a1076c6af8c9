#include "driver.h"

#include <tlhelp32.h>

#include <thread>
#include <utility>

namespace tamsrove::e2e {

namespace {

struct EnumState {
    DWORD process_id;
    std::wstring_view class_name;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM state) {
    auto& s = *reinterpret_cast<EnumState*>(state);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if ((s.process_id == 0 || owner == s.process_id) && ::IsWindowVisible(window) != FALSE &&
        (s.class_name.empty() || ClassNameOf(window) == s.class_name)) {
        s.found.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM found) {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

} // namespace

std::wstring ToWindowsPath(std::wstring_view path) {
    std::wstring result;
    if (!path.empty() && path.front() == L'/') {
        result = L"Z:"; // Wine maps the Linux root to drive Z:
    }
    result.append(path);
    for (wchar_t& c : result) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return result;
}

std::wstring ProgramPath() {
    return ToWindowsPath(TAMSROVE_WIDEN(TAMSROVE_EXE_PATH));
}

std::optional<Process> Process::Start(const std::wstring& executable, std::wstring_view arguments) {
    std::wstring command_line = L"\"" + executable + L"\"";
    if (!arguments.empty()) {
        command_line.append(L" ").append(arguments);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(executable.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                         nullptr, nullptr, &startup, &info) == FALSE) {
        return std::nullopt;
    }
    const unique_handle thread(info.hThread);
    return Process(unique_handle(info.hProcess), info.dwProcessId);
}

Process::~Process() {
    Kill();
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Kill();
        handle_ = std::move(other.handle_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

bool Process::WaitForExit(std::chrono::milliseconds timeout) const {
    return handle_ && ::WaitForSingleObject(handle_.get(), static_cast<DWORD>(timeout.count())) ==
                          WAIT_OBJECT_0;
}

bool Process::Running() const {
    return handle_ && ::WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::ExitCode() const {
    DWORD code = 0;
    if (Running() || !handle_ || ::GetExitCodeProcess(handle_.get(), &code) == FALSE) {
        return std::nullopt;
    }
    return code;
}

void Process::Kill() {
    if (Running()) {
        ::TerminateProcess(handle_.get(), 1);
        ::WaitForSingleObject(handle_.get(), 5000);
    }
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::wstring CaptionOf(HWND window) {
    wchar_t text[256] = {};
    const int length = ::GetWindowTextW(window, text, 256);
    return {text, static_cast<std::size_t>(length > 0 ? length : 0)};
}

std::vector<DWORD> ProcessesNamed(std::wstring_view image) {
    std::vector<DWORD> found;
    const unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return found;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more != FALSE;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        const std::wstring_view name(entry.szExeFile);
        if (::CompareStringOrdinal(name.data(), static_cast<int>(name.size()), image.data(),
                                   static_cast<int>(image.size()), TRUE) == CSTR_EQUAL) {
            found.push_back(entry.th32ProcessID);
        }
    }
    return found;
}

void EndProcessesNamed(std::wstring_view image) {
    for (const DWORD process_id : ProcessesNamed(image)) {
        const unique_handle process(
            ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id));
        if (process) {
            ::TerminateProcess(process.get(), 1);
            ::WaitForSingleObject(process.get(), 5000);
        }
    }
}

void WatchWindowsWhileRunning(const Process& process, std::wstring_view caption,
                              std::chrono::milliseconds limit,
                              const std::function<void(HWND)>& seen) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (process.Running() && std::chrono::steady_clock::now() < deadline) {
        for (const HWND window : TopLevelWindows(0)) {
            if (CaptionOf(window) == caption) {
                seen(window);
            }
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::vector<HWND> TopLevelWindows(DWORD process_id, std::wstring_view class_name) {
    EnumState state{process_id, class_name, {}};
    ::EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND FindWindowOf(DWORD process_id, std::wstring_view caption) {
    for (const HWND window : TopLevelWindows(process_id)) {
        if (TextOf(window) == caption) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForWindowOf(DWORD process_id, std::wstring_view caption,
                     std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    static_cast<void>(WaitUntil(
        [&] {
            found = FindWindowOf(process_id, caption);
            return found != nullptr;
        },
        timeout));
    return found;
}

std::vector<HWND> MessageBoxesOf(DWORD process_id) {
    return TopLevelWindows(process_id, L"#32770");
}

HWND WaitForMessageBoxOf(DWORD process_id, std::chrono::milliseconds timeout) {
    HWND found = nullptr;
    static_cast<void>(WaitUntil(
        [&] {
            const std::vector<HWND> boxes = MessageBoxesOf(process_id);
            found = boxes.empty() ? nullptr : boxes.front();
            return found != nullptr;
        },
        timeout));
    return found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    ::EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND FindDescendant(HWND parent, std::wstring_view class_name,
                    std::optional<std::wstring_view> text) {
    for (const HWND child : Descendants(parent)) {
        if (ClassNameOf(child) == class_name && (!text || TextOf(child) == *text)) {
            return child;
        }
    }
    return nullptr;
}

void PostKeyPress(HWND target, WORD virtual_key) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND receiver = target;
    const DWORD thread = ::GetWindowThreadProcessId(target, nullptr);
    if (::GetGUIThreadInfo(thread, &info) != FALSE && info.hwndFocus != nullptr &&
        (info.hwndFocus == target || ::IsChild(target, info.hwndFocus) != FALSE)) {
        receiver = info.hwndFocus;
    }
    const UINT scan_code = ::MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
    const auto down = static_cast<LPARAM>(1U | (scan_code << 16U));
    const auto up = static_cast<LPARAM>(down | (1U << 30U) | (1U << 31U));
    ::PostMessageW(receiver, WM_KEYDOWN, virtual_key, down);
    ::PostMessageW(receiver, WM_KEYUP, virtual_key, up);
}

} // namespace tamsrove::e2e
