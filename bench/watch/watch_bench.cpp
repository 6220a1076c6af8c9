// watch_bench: how fast the completion watch reacts and what one tick costs.
//  1. Latency: over N runs, Tamsrove.exe is started with HKCU\Software\Marrowfen "frx" = "0";
//     once its window shows, and after a delay that moves the set through every phase of the
//     one-second tick, "1" is written and the time until the process has ended is taken.
//     Goal: never more than one tick (1000 ms) plus 100 ms.
//  2. Cost: in this process, the tick's read path (RegReadValue with a fresh copy of the path,
//     which also lets pending window events run), a whole tick of the window (WM_TIMER to a
//     real frm_Main, which reads and decides), and a bare RegOpenKeyExA / RegQueryValueExA /
//     RegCloseKey, each repeated, in wall-clock and thread CPU time per call.
// The benchmark owns the flag's key: run it in a prefix of its own (bench/watch/run.sh does).
// Usage: watch_bench [runs] [calls]   (default: 20 runs, 2000 calls)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/completion_watch.h"
#include "forms/frm_Main.h"
#include "modules/mod_Reg.h"

#include "../common/bench_win32.h"

namespace {

using bench::NowMs;
using bench::ToWindowsPath;

constexpr const wchar_t* FlagSubKey = L"Software\\Marrowfen";
constexpr double TickMs = 1000.0;
constexpr double GoalMs = TickMs + 100.0;

/// User plus kernel time of the calling thread, in milliseconds.
double ThreadCpuMs() {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user) == FALSE) {
        return 0.0;
    }
    const auto ms = [](const FILETIME& time) {
        ULARGE_INTEGER value{};
        value.LowPart = time.dwLowDateTime;
        value.HighPart = time.dwHighDateTime;
        return static_cast<double>(value.QuadPart) / 10000.0; // 100 ns units
    };
    return ms(kernel) + ms(user);
}

bool SetFlag(const wchar_t* text) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, FlagSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto size = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    const LSTATUS status =
        ::RegSetValueExW(key, L"frx", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool WaitForVisibleWindow(DWORD processId, double timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    while (NowMs() < deadline) {
        if (bench::HasVisibleWindow(processId)) {
            return true;
        }
        ::Sleep(5);
    }
    return false;
}

struct Stats {
    double min = 0;
    double median = 0;
    double max = 0;
};

Stats StatsOf(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {values.front(), median, values.back()};
}

/// One run: the time from writing "1" to the process's end, or a negative number on failure.
double OneLatencyRun(const std::wstring& program, double delayMs, DWORD& exitCode) {
    if (!SetFlag(L"0")) {
        return -1;
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &info) == FALSE) {
        return -1;
    }
    ::CloseHandle(info.hThread);
    double latency = -1;
    if (WaitForVisibleWindow(info.dwProcessId, 10000)) {
        ::Sleep(static_cast<DWORD>(delayMs));
        if (SetFlag(L"1")) {
            const double setAt = NowMs();
            if (::WaitForSingleObject(info.hProcess, 5000) == WAIT_OBJECT_0) {
                latency = NowMs() - setAt;
                ::GetExitCodeProcess(info.hProcess, &exitCode);
            }
        }
    }
    if (::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(info.hProcess, 1);
        ::WaitForSingleObject(info.hProcess, 5000);
    }
    ::CloseHandle(info.hProcess);
    return latency;
}

bool MeasureLatency(const std::wstring& program, int runs) {
    std::printf("Flag set to process end, %d runs of %ls\n", runs, program.c_str());
    std::vector<double> latencies;
    for (int run = 0; run < runs; ++run) {
        // The set moves through the tick: 1.0 s, 1.05 s, ... after the window shows.
        const double delayMs = 1000.0 + (TickMs * run) / runs;
        DWORD exitCode = STILL_ACTIVE;
        const double latency = OneLatencyRun(program, delayMs, exitCode);
        if (latency < 0 || exitCode != 0) {
            std::printf("  run %2d: failed (exit code %lu)\n", run + 1,
                        static_cast<unsigned long>(exitCode));
            continue;
        }
        std::printf("  run %2d: set %6.0f ms after the window showed, ended %6.1f ms later\n",
                    run + 1, delayMs, latency);
        latencies.push_back(latency);
    }
    const Stats stats = StatsOf(latencies);
    const bool met =
        !latencies.empty() && static_cast<int>(latencies.size()) == runs && stats.max <= GoalMs;
    std::printf("  min %.1f ms, median %.1f ms, max %.1f ms (goal: max <= %.0f ms): %s\n\n",
                stats.min, stats.median, stats.max, GoalMs, met ? "met" : "NOT met");
    return met;
}

struct Cost {
    double wallUs;
    double cpuUs;
};

Cost MeasureCalls(int calls, const std::function<void()>& call) {
    call(); // warm: the first call loads and caches what later calls reuse
    const double cpuStart = ThreadCpuMs();
    const double wallStart = NowMs();
    for (int i = 0; i < calls; ++i) {
        call();
    }
    const double wall = NowMs() - wallStart;
    const double cpu = ThreadCpuMs() - cpuStart;
    return {wall * 1000.0 / calls, cpu * 1000.0 / calls};
}

void BareRead() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Marrowfen", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    char buffer[16] = {};
    DWORD size = sizeof(buffer);
    DWORD type = REG_NONE;
    ::RegQueryValueExA(key, "frx", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(key);
}

void TickReadPath() {
    // Exactly the window's read port: a fresh copy of the path for every call.
    static_cast<void>(
        tamsrove::RegReadValue(std::wstring(tamsrove::kFlagKeyPath), tamsrove::kFlagValueName));
}

/// A real window whose watch gets only the ticks sent to it.
std::unique_ptr<tamsrove::frm_Main> MakeQuietWindow() {
    auto form = std::make_unique<tamsrove::frm_Main>(tamsrove::frm_Main::TerminationActions{
        [](HWND, const wchar_t*, const wchar_t*, UINT) { return IDCANCEL; },
        [](unsigned) {
        }});
    if (!form->Create(::GetModuleHandleW(nullptr))) {
        return nullptr;
    }
    ::KillTimer(form->Window(), tamsrove::frm_Main::kUnloaderTimerId);
    return form;
}

/// Whole ticks of real windows: WM_TIMER sent to frm_Main, which counts, reads and decides. A
/// watch ends on its 201st tick, so each window gets 200 ticks; making the windows is not timed.
Cost MeasureWholeTicks(int calls) {
    double wallMs = 0;
    double cpuMs = 0;
    int done = 0;
    while (done < calls) {
        const std::unique_ptr<tamsrove::frm_Main> form = MakeQuietWindow();
        if (!form) {
            break;
        }
        const int batch = std::min<int>(calls - done, tamsrove::kTickCap);
        const double cpuStart = ThreadCpuMs();
        const double wallStart = NowMs();
        for (int i = 0; i < batch; ++i) {
            ::SendMessageW(form->Window(), WM_TIMER, tamsrove::frm_Main::kUnloaderTimerId, 0);
        }
        wallMs += NowMs() - wallStart;
        cpuMs += ThreadCpuMs() - cpuStart;
        done += batch;
    }
    return done > 0 ? Cost{wallMs * 1000.0 / done, cpuMs * 1000.0 / done} : Cost{0, 0};
}

void MeasureCost(int calls) {
    SetFlag(L"0");
    std::printf("Cost per call with the flag \"0\", %d calls each (wall-clock / thread CPU)\n",
                calls);
    const Cost bare = MeasureCalls(calls, &BareRead);
    const Cost read = MeasureCalls(calls, &TickReadPath);
    const Cost tick = MeasureWholeTicks(calls);
    std::printf("  %-58s %9.1f us %9.1f us\n",
                "bare RegOpenKeyExA + RegQueryValueExA + RegCloseKey", bare.wallUs, bare.cpuUs);
    std::printf("  %-58s %9.1f us %9.1f us\n", "tick read path (RegReadValue, with its yield)",
                read.wallUs, read.cpuUs);
    std::printf("  %-58s %9.1f us %9.1f us\n", "whole tick (WM_TIMER to frm_Main)", tick.wallUs,
                tick.cpuUs);
    std::printf("  read path / bare: %.2fx wall; one tick a second costs %.4f %% of a core\n",
                read.wallUs / bare.wallUs, tick.wallUs / 10000.0);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 20;
    const int calls = argc > 2 ? std::max(1, _wtoi(argv[2])) : 2000;
    const std::wstring program = ToWindowsPath(TAMSROVE_WIDEN(TAMSROVE_EXE_PATH));
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    const bool met = MeasureLatency(program, runs);
    MeasureCost(calls);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, FlagSubKey);
    return met ? 0 : 1;
}
