// A DLL planted beside Tamsrove.exe never runs inside it. The program is copied into a fresh
// folder together with a marker DLL under the name of every DLL it loads that Windows would
// search for there, and run the way an installer runs it; the marker's file must not appear.
//
// Wine has no KnownDLLs of its own and loads its built-in DLLs unless told otherwise, so the
// run gives every planted DLL Wine's load order "native, then built-in" (as WINEDLLOVERRIDES
// would, but for this copy of the program only): Wine then searches for it as Windows searches
// for a DLL that is no KnownDLL, the program's folder first. KnownDLLs are left out: Windows
// never searches for them, while Wine would take the planted one.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "driver.h"
#include "forms/exit_codes.h"
#include "forms/layout.h"

#define TAMSROVE_WIDEN2(text) L##text
#define TAMSROVE_WIDEN(text) TAMSROVE_WIDEN2(text)

namespace {

using namespace std::chrono_literals;
namespace e2e = tamsrove::e2e;
namespace fs = std::filesystem;
using tamsrove::test::Narrow;

using Names = std::set<std::wstring>;

/// What the marker DLL creates beside itself when it is loaded.
constexpr const wchar_t* kMarkerSuffix = L".ran";

/// Modules that no planted copy can replace on Windows although the KnownDLLs key does not
/// list them, and Wine's own modules that Windows does not have or load.
const Names kNeverSearched = {
    L"tamsrove.exe", // the program itself
    // Static dependencies of KnownDLLs, which Windows maps from System32 with them.
    L"kernelbase.dll",
    L"win32u.dll",
    L"ucrtbase.dll",
    // Wine's display driver and a library of its own, loaded by full path from its system
    // folder, and version.dll, which Wine's user32 imports before the program's first line
    // runs (Windows' user32 does not; an import of it by the program fails import_table).
    L"winex11.drv",
    L"zlib1.dll",
    L"version.dll",
};

/// DLLs the program loads that are no KnownDLLs: the test must find these among the loaded
/// modules, or it would plant too little.
const Names kMustBePlanted = {L"comctl32.dll", L"uxtheme.dll", L"oleacc.dll"};

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

std::string Listed(const Names& names) {
    std::string result;
    for (const std::wstring& name : names) {
        result += Narrow(name) + " ";
    }
    return result;
}

/// The KnownDLLs, as the import check's table lists them ("dll NAME" lines).
Names KnownDlls() {
    std::ifstream table(fs::path(e2e::ToWindowsPath(TAMSROVE_WIDEN(TAMSROVE_KNOWN_DLLS_TABLE))));
    Names known;
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string kind;
        std::string name;
        if (fields >> kind >> name && kind == "dll") {
            known.insert(Lower(std::wstring(name.begin(), name.end())));
        }
    }
    return known;
}

/// The modules the process has loaded: base name in lower case, and full path.
std::map<std::wstring, std::wstring> LoadedModules(DWORD process) {
    std::map<std::wstring, std::wstring> modules;
    const tamsrove::unique_hfile snapshot(
        ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, process));
    if (!snapshot) {
        return modules;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more != FALSE;
         more = ::Module32NextW(snapshot.get(), &entry)) {
        modules.emplace(Lower(entry.szModule), entry.szExePath);
    }
    return modules;
}

/// Runs the program through everything that loads DLLs: its window, a screen reader's request
/// for the ring's object and the termination question, which OK answers. The modules it has
/// loaded while the question is open, or nullopt when it did not go that way and end with
/// the terminated code.
std::optional<std::map<std::wstring, std::wstring>> RunThrough(const std::wstring& program) {
    std::optional<e2e::Process> process = e2e::Process::Start(program);
    if (!process) {
        ADD_FAILURE() << "cannot start " << Narrow(program);
        return std::nullopt;
    }
    const HWND window = e2e::WaitForWindowOf(process->Id(), tamsrove::layout::kCaption);
    const HWND ring = e2e::FindDescendant(window, L"Tamsrove.WorkRing");
    if (window == nullptr || ring == nullptr) {
        ADD_FAILURE() << "no window with a ring";
        return std::nullopt;
    }
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(ring, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), SMTO_BLOCK,
                          5000, &answer);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    const HWND box = e2e::WaitForMessageBoxOf(process->Id());
    if (box == nullptr) {
        ADD_FAILURE() << "no question";
        return std::nullopt;
    }
    auto loaded = LoadedModules(process->Id());
    ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    if (!process->WaitForExit(5s) ||
        process->ExitCode() != std::optional<DWORD>(tamsrove::kExitTerminated)) {
        ADD_FAILURE() << "the program did not end with the terminated code";
        return std::nullopt;
    }
    return loaded;
}

/// A fresh folder in the temporary folder, removed with everything in it.
class FreshFolder {
public:
    FreshFolder() {
        std::error_code ignored; // a leftover of an earlier run goes; none is fine too
        fs::remove_all(path_, ignored);
        fs::create_directories(path_);
    }
    FreshFolder(const FreshFolder&) = delete;
    FreshFolder& operator=(const FreshFolder&) = delete;
    ~FreshFolder() {
        std::error_code ignored; // a file still held only leaves the folder in the temporary one
        fs::remove_all(path_, ignored);
    }
    [[nodiscard]] const fs::path& Path() const noexcept { return path_; }

    /// The names of the marker files in the folder.
    [[nodiscard]] Names Markers() const {
        Names found;
        for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
            if (entry.path().extension() == kMarkerSuffix) {
                found.insert(entry.path().filename().wstring());
            }
        }
        return found;
    }

private:
    fs::path path_ = fs::temp_directory_path() /
                     (L"tamsrove-planted-" + std::to_wstring(::GetCurrentProcessId()));
};

/// The name the program's copy runs under, so that its DLL load order applies to no other
/// test's program.
constexpr const wchar_t* kCopyName = L"Tamsrove-planted.exe";

/// Wine's load order for the program's copy, while it lives: these DLLs native first, then
/// built-in (HKCU\Software\Wine\AppDefaults\<program>\DllOverrides). Windows ignores the key.
class NativeFirst : public tamsrove::test::UserKeyScope {
public:
    explicit NativeFirst(const Names& dlls)
        : UserKeyScope(std::wstring(L"Software\\Wine\\AppDefaults\\") + kCopyName) {
        const tamsrove::test::UserKey overrides{Key().sub_key + L"\\DllOverrides"};
        for (const std::wstring& dll : dlls) {
            EXPECT_TRUE(overrides.SetText(fs::path(dll).stem().c_str(), L"native,builtin"))
                << "cannot write Wine's load order";
        }
    }
};

// Loaded by name from System32, comctl32 is still the version 6 assembly that the manifest
// asks for (which draws the button with visual styles), not System32's own older copy.
TEST(PlantedDlls, CommonControlsAreStillTheVersionSixAssembly) {
    const auto loaded = RunThrough(e2e::ProgramPath());
    ASSERT_TRUE(loaded.has_value());
    const auto comctl32 = loaded->find(L"comctl32.dll");
    ASSERT_NE(comctl32, loaded->end());
    const std::wstring path = Lower(comctl32->second);
    EXPECT_NE(path.find(L"\\winsxs\\"), std::wstring::npos) << Narrow(path);
    EXPECT_NE(path.find(L"common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
        << Narrow(path);
}

TEST(PlantedDlls, NoneRunsInsideTheProgram) {
    const auto loaded = RunThrough(e2e::ProgramPath());
    ASSERT_TRUE(loaded.has_value());
    const Names known = KnownDlls();
    ASSERT_TRUE(known.count(L"user32.dll") != 0) << "no KnownDLLs read";
    Names planted;
    for (const auto& [name, path] : *loaded) {
        if (known.count(name) == 0 && kNeverSearched.count(name) == 0) {
            planted.insert(name);
        }
    }
    ASSERT_TRUE(
        std::includes(planted.begin(), planted.end(), kMustBePlanted.begin(), kMustBePlanted.end()))
        << "loaded beyond KnownDLLs: " << Listed(planted);

    const FreshFolder folder;
    const fs::path program = folder.Path() / kCopyName;
    fs::copy_file(e2e::ProgramPath(), program);
    const fs::path marker = e2e::ToWindowsPath(TAMSROVE_WIDEN(TAMSROVE_PLANTED_MARKER_PATH));
    for (const std::wstring& name : planted) {
        fs::copy_file(marker, folder.Path() / name);
    }
    // The marker works: loaded by its full path (under a name Wine has no DLL of its own for),
    // it leaves its file.
    const fs::path control = folder.Path() / L"marker-check.dll";
    fs::copy_file(marker, control);
    ASSERT_TRUE(tamsrove::unique_hmodule(::LoadLibraryW(control.c_str())));
    ASSERT_EQ(folder.Markers(), Names{control.filename().wstring() + kMarkerSuffix});
    fs::remove(control.wstring() + kMarkerSuffix);

    const NativeFirst native_first(planted);
    EXPECT_TRUE(RunThrough(program.wstring()).has_value());
    EXPECT_EQ(folder.Markers(), Names{}) << "planted: " << Listed(planted);
}

} // namespace
