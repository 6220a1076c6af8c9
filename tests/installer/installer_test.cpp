// Whole-installer tests of the installer kits: a kit's example installer, built around the real
// Tamsrove.exe, runs silently while the test watches the windows, and its exit code is the
// window's answer as the installer got it. The ctest entry names the kit (TAMSROVE_KIT) and the
// installer (TAMSROVE_INSTALLER); every kit runs the same scenarios. The flag's key is fixed, so
// these tests run in a Wine prefix of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "driver.h"
#include "forms/exit_codes.h"
#include "flag_key.h"
#include "forms/layout.h"

namespace {

using namespace std::chrono_literals;
namespace e2e = tamsrove::e2e;
using e2e::Clock;
namespace test = tamsrove::test;

/// Far longer than any run here takes; a kit that never lets go fails instead of hanging.
constexpr auto kInstallerEnds = 40s;

/// How one installer system is started and what it leaves while it runs.
struct Kit {
    std::wstring_view name;           ///< as TAMSROVE_KIT names it
    std::wstring_view silent;         ///< the options that run it without a user
    bool batch;                       ///< a batch file, run by cmd; takes the work as a number
    std::wstring_view temp_leftovers; ///< what a run leaves in %TEMP% while it runs
    std::wstring_view program_inside; ///< in those folders, or empty: the files themselves
    std::chrono::milliseconds sees_terminate_within; ///< from the window's end to its own
};

// The installers poll the window's state every 100 ms (the batch file once a second) and end a
// terminated run at once; the rest is slack for a busy machine.
constexpr Kit kKits[] = {
    {L"nsis", L"/S", false, L"ns*.tmp", L"Tamsrove.exe", 1500ms},
    {L"inno", L"/VERYSILENT /SUPPRESSMSGBOXES", false, L"is-*.tmp", L"Tamsrove.exe", 1500ms},
    {L"cmd", L"", true, L"Tamsrove-*.code", L"", 2500ms},
};

/// The kit that the ctest entry names, or nothing.
const Kit* KitUnderTest() {
    const std::wstring name = test::EnvironmentText(L"TAMSROVE_KIT");
    for (const Kit& kit : kKits) {
        if (kit.name == name) {
            return &kit;
        }
    }
    return nullptr;
}

std::wstring InstallerPath() {
    return e2e::ToWindowsPath(test::EnvironmentText(L"TAMSROVE_INSTALLER"));
}

std::size_t RunningPrograms() {
    return e2e::ProcessesNamed(L"Tamsrove.exe").size();
}

/// What runs of this kit have left in %TEMP%: the files that match its pattern or, when it
/// unpacks the program into folders, the programs still inside them.
std::set<std::wstring> LeftInTemp(const Kit& kit) {
    wchar_t temp[MAX_PATH + 1] = {};
    const std::wstring folder(temp, ::GetTempPathW(MAX_PATH + 1, temp));
    std::set<std::wstring> left;
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        ::FindFirstFileW((folder + std::wstring(kit.temp_leftovers)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return left;
    }
    do {
        std::wstring path = folder + found.cFileName;
        if (!kit.program_inside.empty()) {
            path += L"\\" + std::wstring(kit.program_inside);
        }
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            left.insert(path);
        }
    } while (::FindNextFileW(search, &found) != FALSE);
    ::FindClose(search);
    return left;
}

/// One run of the kit's example installer, with every progress window seen while it ran.
class ExampleInstaller : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(kit_, nullptr) << "TAMSROVE_KIT names no kit";
        ASSERT_TRUE(flag_key_.Clean()) << "cannot remove the flag's key";
        ASSERT_EQ(RunningPrograms(), 0U) << "a window from elsewhere is running";
        left_before_ = LeftInTemp(*kit_);
    }

    void TearDown() override {
        // Whatever failed, leave no window running for the next test.
        e2e::EndProcessesNamed(L"Tamsrove.exe");
    }

    /// Runs the installer silently until it ends, watching the windows: seconds of work, and
    /// more options for the installers that take them (the batch file takes none). on_window
    /// runs once, when the first window has shown. Returns the installer's exit code.
    std::optional<DWORD> Run(int work_seconds, std::wstring_view options = {},
                             const std::function<void(HWND)>& on_window = {}) {
        std::optional<e2e::Process> installer;
        if (kit_->batch) {
            // The batch file starts Tamsrove.exe from TAMSROVE_EXE, which it inherits.
            ::SetEnvironmentVariableW(L"TAMSROVE_EXE", e2e::ProgramPath().c_str());
            wchar_t system[MAX_PATH + 1] = {};
            const std::wstring cmd =
                std::wstring(system, ::GetSystemDirectoryW(system, MAX_PATH + 1)) + L"\\cmd.exe";
            installer = e2e::Process::Start(cmd, L"/c \"\"" + InstallerPath() + L"\" " +
                                                     std::to_wstring(work_seconds) + L"\"");
        } else {
            installer = e2e::Process::Start(
                InstallerPath(), std::wstring(kit_->silent) + L" /WORK=" +
                                     std::to_wstring(work_seconds) + L" " + std::wstring(options));
        }
        EXPECT_TRUE(installer.has_value()) << "cannot start the installer";
        if (!installer) {
            return std::nullopt;
        }
        e2e::WatchWindowsWhileRunning(
            *installer, tamsrove::layout::kCaption, kInstallerEnds, [&](HWND window) {
                if (windows_.insert(window).second && windows_.size() == 1 && on_window) {
                    on_window(window);
                }
            });
        EXPECT_FALSE(installer->Running()) << "the installer still runs";
        ended_at_ = Clock::now();
        return installer->ExitCode();
    }

    /// What every run leaves: "frx" reading "0", no window running, no program left behind.
    void ExpectCleanEnd() const {
        const std::optional<test::StoredValue> stored = test::ReadFlag();
        ASSERT_TRUE(stored.has_value()) << "the flag is missing";
        EXPECT_EQ(std::wstring(stored->Text().c_str()), L"0");
        EXPECT_EQ(RunningPrograms(), 0U) << "a window is still running";
        EXPECT_EQ(LeftInTemp(*kit_), left_before_) << "the run left files behind";
    }

    const Kit* kit_ = KitUnderTest();
    test::FlagKeyScope flag_key_;
    std::set<std::wstring> left_before_;
    std::set<HWND> windows_; ///< every progress window seen during the run
    Clock::time_point ended_at_;
};

TEST_F(ExampleInstaller, FinishesWithZeroAndLeavesNothingBehind) {
    EXPECT_EQ(Run(2), std::optional<DWORD>(0));
    EXPECT_EQ(windows_.size(), 1U);
    ExpectCleanEnd();
}

TEST_F(ExampleInstaller, StopsItsWorkWithinASecondOfTerminate) {
    Clock::time_point answered_at;
    const std::optional<DWORD> code = Run(30, {}, [&](HWND window) {
        DWORD process_id = 0;
        ::GetWindowThreadProcessId(window, &process_id);
        const HWND terminate =
            e2e::FindDescendant(window, L"Button", std::wstring_view(L"Terminate"));
        ASSERT_NE(terminate, nullptr);
        // Posted: a sent click would wait for the modal question to close.
        ::PostMessageW(terminate, BM_CLICK, 0, 0);
        const HWND box = e2e::WaitForMessageBoxOf(process_id);
        ASSERT_NE(box, nullptr) << "no question";
        ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        answered_at = Clock::now();
    });
    EXPECT_EQ(code, std::optional<DWORD>(1223));
    ASSERT_NE(answered_at, Clock::time_point{}) << "Terminate was not answered";
    RecordProperty("seconds_from_ok_to_installer_end",
                   std::to_string(e2e::SecondsFrom(answered_at, ended_at_)));
    EXPECT_LE(ended_at_ - answered_at, kit_->sees_terminate_within);
    ExpectCleanEnd();
}

TEST_F(ExampleInstaller, ASecondStartGives183AndNoSecondWindow) {
    EXPECT_EQ(Run(3, L"/RESHOW"), std::optional<DWORD>(tamsrove::kExitAlreadyShowing));
    EXPECT_EQ(windows_.size(), 1U);
    ExpectCleanEnd();
}

// Finish leaves the flag clear when no window is left to clear it: here the installer ended the
// window itself after a second start (183), so Finish's own "1" would be read by nobody.
TEST_F(ExampleInstaller, AWindowEndedByTheInstallerItselfLeavesTheFlagClear) {
    EXPECT_EQ(Run(3, L"/RESHOW /SELFEND"), std::optional<DWORD>(tamsrove::kExitAlreadyShowing));
    EXPECT_EQ(windows_.size(), 1U);
    ExpectCleanEnd();
}

} // namespace
