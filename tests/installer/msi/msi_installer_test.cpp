// Whole-installer tests of the MSI kit: installer/msi/example.wxs, built by wixl around the real
// Tamsrove.exe and TamsroveMsi.dll for each architecture and install scope, is installed with
// msiexec /qn while the test watches the windows. The flag's key is fixed, so these tests run in
// the installer kits' Wine prefix, one at a time.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "driver.h"
#include "flag_key.h"
#include "forms/layout.h"

namespace {

using namespace std::chrono_literals;
namespace e2e = tamsrove::e2e;
using e2e::Clock;

/// Far longer than an install takes here; a kit that never lets go fails instead of hanging.
constexpr auto kInstallEnds = 60s;
/// The example's work (ping -n 3) takes about two seconds; the window then ends within about
/// one second. The rest is slack for a busy machine.
constexpr auto kWindowLivesAtMost = 2s + 1s + 1500ms;
/// What msiexec gives for an install that failed and rolled back: Windows says
/// ERROR_INSTALL_FAILURE, Wine 8 passes the failed action's ERROR_FUNCTION_FAILED on.
constexpr DWORD kInstallFailure = 1603;
constexpr DWORD kInstallFailureOnWine = 1627;

struct Package {
    const wchar_t* arch;  ///< wixl -a
    const wchar_t* scope; ///< TAMSROVE_EXAMPLE_SCOPE
    bool fail;            ///< TAMSROVE_EXAMPLE_FAIL

    /// Shown when a test fails, in place of the bytes.
    friend void PrintTo(const Package& package, std::ostream* out) {
        *out << tamsrove::test::Narrow(package.arch) << ' ' << tamsrove::test::Narrow(package.scope)
             << (package.fail ? " failing" : " succeeding");
    }
};

std::string NameOf(const ::testing::TestParamInfo<Package>& info) {
    return tamsrove::test::Narrow(info.param.arch) + "_" +
           tamsrove::test::Narrow(info.param.scope) + (info.param.fail ? "_Fails" : "_Succeeds");
}

/// The package as the build made it, without its extension: <arch>\<arch>-<scope>-<fail>.
std::wstring PackagePath(const Package& package) {
    return e2e::ToWindowsPath(TAMSROVE_WIDEN(TAMSROVE_MSI_DIR)) + L"\\" + package.arch + L"\\" +
           package.arch + L"-" + package.scope + L"-" + (package.fail ? L"1" : L"0");
}

/// True when this Windows runs 32-bit programs (a Wine without its 32-bit half does not).
bool Runs32BitPrograms() {
    std::optional<e2e::Process> probe =
        e2e::Process::Start(L"C:\\windows\\syswow64\\cmd.exe", L"/c exit 7");
    return probe && probe->WaitForExit(20s) && probe->ExitCode() == std::optional<DWORD>(7);
}

std::size_t RunningPrograms() {
    return e2e::ProcessesNamed(L"Tamsrove.exe").size();
}

/// Runs msiexec with these arguments until it ends; its exit code.
std::optional<DWORD> Msiexec(const std::wstring& arguments) {
    std::optional<e2e::Process> msiexec =
        e2e::Process::Start(L"C:\\windows\\system32\\msiexec.exe", arguments);
    if (!msiexec || !msiexec->WaitForExit(kInstallEnds)) {
        return std::nullopt;
    }
    return msiexec->ExitCode();
}

class ExamplePackage : public ::testing::TestWithParam<Package> {
protected:
    void SetUp() override {
        if (std::wstring_view(GetParam().arch) == L"x86" && !Runs32BitPrograms()) {
            GTEST_SKIP() << "this Wine runs no 32-bit programs (wine32 missing, or a kernel "
                            "without 32-bit support)";
        }
        ASSERT_TRUE(flag_key_.Clean()) << "cannot remove the flag's key";
        ASSERT_EQ(RunningPrograms(), 0U) << "a window from elsewhere is running";
    }

    void TearDown() override {
        // Whatever failed, leave no window running for the next test.
        e2e::EndProcessesNamed(L"Tamsrove.exe");
        if (installed_) {
            EXPECT_EQ(Msiexec(L"/x \"" + PackagePath(GetParam()) + L".msi\" /qn"),
                      std::optional<DWORD>(0))
                << "cannot remove the example";
        }
    }

    /// Installs the package silently, watching the progress windows until msiexec ends.
    /// Returns msiexec's exit code.
    std::optional<DWORD> Install() {
        const std::wstring package = PackagePath(GetParam());
        std::optional<e2e::Process> msiexec =
            e2e::Process::Start(L"C:\\windows\\system32\\msiexec.exe",
                                L"/i \"" + package + L".msi\" /qn /l*v \"" + package + L".log\"");
        EXPECT_TRUE(msiexec.has_value()) << "cannot start msiexec";
        if (!msiexec) {
            return std::nullopt;
        }
        e2e::WatchWindowsWhileRunning(
            *msiexec, tamsrove::layout::kCaption, kInstallEnds, [&](HWND window) {
                last_seen_at_ = Clock::now();
                if (windows_.insert(window).second && windows_.size() == 1) {
                    shown_at_ = last_seen_at_;
                }
            });
        EXPECT_FALSE(msiexec->Running()) << "msiexec still runs";
        running_after_ = RunningPrograms();
        const std::optional<DWORD> code = msiexec->ExitCode();
        installed_ = code == std::optional<DWORD>(0);
        return code;
    }

    tamsrove::test::FlagKeyScope flag_key_;
    std::set<HWND> windows_; ///< every progress window seen during the install
    Clock::time_point shown_at_;
    Clock::time_point last_seen_at_;
    std::size_t running_after_ = 0; ///< Tamsrove.exe processes left once msiexec had ended
    bool installed_ = false;
};

TEST_P(ExamplePackage, ShowsTheWindowWhileItWorksAndEndsItWithTheInstall) {
    const Package& package = GetParam();
    const std::optional<DWORD> code = Install();
    if (package.fail) {
        EXPECT_TRUE(code == kInstallFailure || code == kInstallFailureOnWine)
            << "msiexec gave " << code.value_or(0);
    } else {
        EXPECT_EQ(code, std::optional<DWORD>(0));
    }
    EXPECT_EQ(windows_.size(), 1U) << "the window did not show (once)";
    EXPECT_EQ(running_after_, 0U) << "the window outlived msiexec";
    if (!windows_.empty()) {
        RecordProperty("window_seconds",
                       std::to_string(e2e::SecondsFrom(shown_at_, last_seen_at_)));
        EXPECT_LE(last_seen_at_ - shown_at_, kWindowLivesAtMost)
            << "the window did not end with the work";
    }
    const std::optional<tamsrove::test::StoredValue> stored = tamsrove::test::ReadFlag();
    ASSERT_TRUE(stored.has_value()) << "the flag is missing";
    EXPECT_EQ(std::wstring(stored->Text().c_str()), L"0");
}

INSTANTIATE_TEST_SUITE_P(
    EveryArchScopeAndEnd, ExamplePackage,
    ::testing::Values(Package{L"x64", L"perUser", false}, Package{L"x64", L"perUser", true},
                      Package{L"x64", L"perMachine", false}, Package{L"x64", L"perMachine", true},
                      Package{L"x86", L"perUser", false}, Package{L"x86", L"perUser", true},
                      Package{L"x86", L"perMachine", false}, Package{L"x86", L"perMachine", true}),
    NameOf);

} // namespace
