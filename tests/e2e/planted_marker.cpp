// A stand-in for a DLL that someone plants beside the program: when any process loads it, it
// creates the file "<its own path>.ran" and does nothing else. It has no C runtime and imports
// kernel32 alone, which every process has loaded before any other DLL.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID /*reserved*/) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    constexpr DWORD room = MAX_PATH;
    wchar_t path[room + 5];
    const DWORD length = ::GetModuleFileNameW(self, path, room);
    if (length == 0 || length >= room) {
        return TRUE; // no name to mark beside: the test then sees nothing, and fails its check
    }
    const wchar_t suffix[] = L".ran";
    for (DWORD i = 0; i < 5; ++i) {
        path[length + i] = suffix[i];
    }
    const HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
        ::CloseHandle(marker);
    }
    return TRUE;
}
