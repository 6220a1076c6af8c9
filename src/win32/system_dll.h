// Loading Windows' own DLLs so that none can be planted: the program imports only KnownDLLs
// (which Windows always takes from System32), narrows every later load by name to System32
// before anything else happens, and loads what else it needs from there, by name, when it
// first needs it. A DLL placed beside the program (an installer's temporary folder, a
// Downloads folder) is then never loaded.
#pragma once

#include <windows.h>

#include "base/win32_handles.h"

namespace tamsrove {

/// Makes System32 the only folder that later loads by name search, for the whole process
/// (SetDefaultDllDirectories). False, with the reason in GetLastError, when it fails.
[[nodiscard]] bool NarrowDllSearchToSystem32() noexcept;

/// The DLL of this name from System32 (or the side-by-side assembly that the program's
/// manifest asks for), never from the program's folder; empty, with the reason in
/// GetLastError, when it cannot be loaded.
[[nodiscard]] unique_hmodule LoadSystemDll(const wchar_t* name) noexcept;

/// The exported function `name` of module as Function (a pointer type such as
/// decltype(&::LresultFromObject)); nullptr when module is null or exports no such function.
template <typename Function>
[[nodiscard]] Function ExportedFunction(HMODULE module, const char* name) noexcept {
    if (module == nullptr) {
        return nullptr;
    }
    // FARPROC is a generic function pointer; the caller names the export's real type. The
    // step through void (*)() is the cast compilers accept between function pointer types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

} // namespace tamsrove
