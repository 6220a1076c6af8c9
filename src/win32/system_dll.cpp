#include "win32/system_dll.h"

namespace tamsrove {

bool NarrowDllSearchToSystem32() noexcept {
    return ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

unique_hmodule LoadSystemDll(const wchar_t* name) noexcept {
    return unique_hmodule(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

} // namespace tamsrove
