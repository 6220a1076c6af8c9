// window_bench: Tamsrove.exe side by side with floor_window.exe, a bare Win32 window program.
// For each it measures, in alternating runs, the time from CreateProcess to the first paint
// (the process goes idle with its window shown) and on to its end, the peak working set, and,
// over a longer run, the CPU the program uses while it waits (the ring turning), beside the
// floor idle and the floor animating a bitmap at the ring's 50 ms. Prints a table with the goals.
// Usage: window_bench [runs] [cpu seconds] [tamsrove.exe] [floor_window.exe]
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "../common/bench_win32.h"

namespace {

using bench::HasVisibleWindow;
using bench::NowMs;
using bench::ToWindowsPath;

constexpr double MiB = 1024.0 * 1024.0;

/// True when this program runs under Wine, whose GetProcessTimes reports no CPU time for
/// other processes; there the CPU time is read from Linux's /proc instead.
bool UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

/// The whole content of a small file (such as one under Z:\proc), or nullopt.
std::optional<std::string> ReadSmallFile(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) != FALSE && got > 0) {
        content.append(buffer, got);
    }
    ::CloseHandle(file);
    return content;
}

/// The Linux process id of the process whose command line holds this exact argument, or 0.
unsigned long FindUnixProcess(const std::string& argument) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    unsigned long pid = 0;
    do {
        const std::wstring name = found.cFileName;
        if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        // Wine shows a program's Windows command line as its Linux one, arguments NUL-ended.
        const auto commandLine = ReadSmallFile(L"Z:\\proc\\" + name + L"\\cmdline");
        if (commandLine && commandLine->find('\0' + argument + '\0') != std::string::npos) {
            pid = std::wcstoul(name.c_str(), nullptr, 10);
        }
    } while (pid == 0 && ::FindNextFileW(search, &found) != FALSE);
    ::FindClose(search);
    return pid;
}

/// User plus system CPU time of a Linux process and all its threads, in milliseconds.
std::optional<double> UnixCpuMs(unsigned long pid) {
    const auto stat = ReadSmallFile(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
    if (!stat) {
        return std::nullopt;
    }
    // Fields after the command's closing parenthesis start at field 3 (state); utime and
    // stime are fields 14 and 15, in clock ticks of 10 ms (USER_HZ).
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < stat->size()) {
        const std::size_t space = stat->find(' ', at);
        fields.push_back(stat->substr(at, space - at));
        at = space == std::string::npos ? stat->size() : space + 1;
    }
    if (fields.size() < 13) {
        return std::nullopt;
    }
    const double ticks =
        std::strtod(fields[11].c_str(), nullptr) + std::strtod(fields[12].c_str(), nullptr);
    return ticks * 10.0;
}

/// A started program, ended (TerminateProcess) when it goes out of scope. Its command line
/// carries a marker argument, which both programs ignore, by which its Linux process is found
/// under Wine.
class Child {
public:
    explicit Child(const std::wstring& executable, const std::wstring& argument = {}) {
        static int started = 0;
        marker_ = "--bench-child=" + std::to_string(::GetCurrentProcessId()) + "-" +
                  std::to_string(++started);
        std::wstring commandLine =
            L"\"" + executable + L"\" " + std::wstring(marker_.begin(), marker_.end());
        if (!argument.empty()) {
            commandLine += L" " + argument;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &info) != FALSE) {
            ::CloseHandle(info.hThread);
            process_ = info.hProcess;
            id_ = info.dwProcessId;
        }
    }
    ~Child() {
        End();
        if (process_ != nullptr) {
            ::CloseHandle(process_);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    Child(Child&&) = delete;
    Child& operator=(Child&&) = delete;

    [[nodiscard]] bool started() const { return process_ != nullptr; }

    /// Waits until the program has painted its shown window and waits for input.
    [[nodiscard]] bool WaitForFirstPaint() const {
        // A GUI process goes input-idle once its queue, paint requests included, is empty.
        if (::WaitForInputIdle(process_, 10000) != 0) {
            return false;
        }
        const double deadline = NowMs() + 10000.0;
        while (!HasVisibleWindow(id_)) {
            if (NowMs() > deadline) {
                return false;
            }
            ::Sleep(1);
        }
        return true;
    }

    [[nodiscard]] std::optional<SIZE_T> PeakWorkingSet() const {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof(counters);
        if (::GetProcessMemoryInfo(process_, &counters, sizeof(counters)) == FALSE) {
            return std::nullopt;
        }
        return counters.PeakWorkingSetSize;
    }

    /// Kernel plus user CPU time so far, in milliseconds.
    [[nodiscard]] std::optional<double> CpuMs() {
        if (UnderWine()) {
            if (unixPid_ == 0) {
                unixPid_ = FindUnixProcess(marker_);
            }
            return unixPid_ != 0 ? UnixCpuMs(unixPid_) : std::nullopt;
        }
        FILETIME creation{};
        FILETIME exit{};
        FILETIME kernel{};
        FILETIME user{};
        if (::GetProcessTimes(process_, &creation, &exit, &kernel, &user) == FALSE) {
            return std::nullopt;
        }
        const auto ticks = [](const FILETIME& t) {
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32U) | t.dwLowDateTime;
        };
        return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0; // 100 ns units
    }

    void End() {
        if (process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_, 0);
            ::WaitForSingleObject(process_, 10000);
        }
    }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    std::string marker_;
    unsigned long unixPid_ = 0;
};

struct StartRun {
    double paintedMs = 0;
    double endedMs = 0;
    double peakMiB = 0;
};

std::optional<StartRun> MeasureStart(const std::wstring& executable) {
    const double start = NowMs();
    Child child(executable);
    if (!child.started() || !child.WaitForFirstPaint()) {
        return std::nullopt;
    }
    StartRun run;
    run.paintedMs = NowMs() - start;
    run.peakMiB = static_cast<double>(child.PeakWorkingSet().value_or(0)) / MiB;
    child.End();
    run.endedMs = NowMs() - start;
    return run;
}

struct CpuRun {
    double percentOfCore = 0;
    double peakMiB = 0;
};

std::optional<CpuRun> MeasureCpu(const std::wstring& executable, double seconds,
                                 const std::wstring& argument = {}) {
    Child child(executable, argument);
    if (!child.started() || !child.WaitForFirstPaint()) {
        return std::nullopt;
    }
    ::Sleep(500);                     // past the start-up work
    static_cast<void>(child.CpuMs()); // finds the process before the clock starts
    const std::optional<double> cpuBefore = child.CpuMs();
    const double wallBefore = NowMs();
    ::Sleep(static_cast<DWORD>(seconds * 1000.0));
    const std::optional<double> cpuAfter = child.CpuMs();
    const double wall = NowMs() - wallBefore;
    if (!cpuBefore || !cpuAfter) {
        return std::nullopt;
    }
    CpuRun run;
    run.percentOfCore = (*cpuAfter - *cpuBefore) / wall * 100.0;
    run.peakMiB = static_cast<double>(child.PeakWorkingSet().value_or(0)) / MiB;
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

std::optional<unsigned long long> FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) == FALSE) {
        return std::nullopt;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32U) | data.nFileSizeLow;
}

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text) {
        result.push_back(c < 128 ? static_cast<char>(c) : '?');
    }
    return result;
}

const char* Verdict(bool met) {
    return met ? "met" : "MISSED";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 7;
    const double cpuSeconds = argc > 2 ? std::max(1.0, _wtof(argv[2])) : 10.0;
    const std::wstring program =
        ToWindowsPath(argc > 3 ? argv[3] : TAMSROVE_WIDEN(TAMSROVE_EXE_PATH));
    const std::wstring floor = ToWindowsPath(argc > 4 ? argv[4] : TAMSROVE_WIDEN(FLOOR_EXE_PATH));
    std::printf("Tamsrove.exe: %s\nfloor:        %s\n", Narrow(program).c_str(),
                Narrow(floor).c_str());

    // One discarded start of each fills the file cache and Wine's own start-up state.
    static_cast<void>(MeasureStart(program));
    static_cast<void>(MeasureStart(floor));

    std::vector<double> painted[2];
    std::vector<double> ended[2];
    std::vector<double> peak[2];
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (run + turn) % 2; // alternate which program goes first
            const auto measured = MeasureStart(which == 0 ? program : floor);
            if (!measured) {
                std::fprintf(stderr, "start run %d of %s failed\n", run,
                             which == 0 ? "Tamsrove" : "floor");
                return 1;
            }
            painted[which].push_back(measured->paintedMs);
            ended[which].push_back(measured->endedMs);
            peak[which].push_back(measured->peakMiB);
        }
    }
    const auto cpuProgram = MeasureCpu(program, cpuSeconds);
    const auto cpuFloor = MeasureCpu(floor, cpuSeconds);
    const auto cpuRingFloor = MeasureCpu(floor, cpuSeconds, L"--ring");
    if (!cpuProgram || !cpuFloor || !cpuRingFloor) {
        std::fprintf(stderr, "CPU run failed\n");
        return 1;
    }
    const auto size = FileSize(program);

    const double paintedRatio = Median(painted[0]) / Median(painted[1]);
    const double endedRatio = Median(ended[0]) / Median(ended[1]);
    const double peakProgram = std::max(Median(peak[0]), cpuProgram->peakMiB);
    const double peakFloor = std::max(Median(peak[1]), cpuFloor->peakMiB);
    const double peakRatio = peakProgram / peakFloor;
    const double sizeMiB = static_cast<double>(size.value_or(0)) / MiB;

    std::printf("\nmedians of %d alternating runs; CPU over %.0f s (%s)\n", runs, cpuSeconds,
                UnderWine() ? "Linux /proc utime+stime of the Wine process" : "GetProcessTimes");
    std::printf("%-36s %10s %10s %7s  %-16s\n", "metric", "Tamsrove", "floor", "ratio", "goal");
    std::printf("%-36s %10.1f %10.1f %7.2f  %-16s %s\n", "start to first paint (ms)",
                Median(painted[0]), Median(painted[1]), paintedRatio, "<= 1.5x floor",
                Verdict(paintedRatio <= 1.5));
    std::printf("%-36s %10.1f %10.1f %7.2f  %-16s %s\n", "start to first paint and exit (ms)",
                Median(ended[0]), Median(ended[1]), endedRatio, "<= 1.5x floor",
                Verdict(endedRatio <= 1.5));
    std::printf("%-36s %10.2f %10.2f %7.2f  %-16s %s\n", "peak working set (MiB)", peakProgram,
                peakFloor, peakRatio, "<= 2x floor", Verdict(peakRatio <= 2.0));
    std::printf("%-36s %10.2f %10.2f %7s  %-16s %s\n", "CPU while waiting (% of one core)",
                cpuProgram->percentOfCore, cpuFloor->percentOfCore, "-", "<= 1 %",
                Verdict(cpuProgram->percentOfCore <= 1.0));
    std::printf("%-36s %10.2f %10.2f %7.2f  %-16s\n", "  floor animating at 50 ms (% core)",
                cpuProgram->percentOfCore, cpuRingFloor->percentOfCore,
                cpuProgram->percentOfCore / std::max(cpuRingFloor->percentOfCore, 0.01),
                "(reference)");
    std::printf("%-36s %10.3f %10s %7s  %-16s %s\n", "Tamsrove.exe size (MiB)", sizeMiB, "-", "-",
                "<= 1 MiB", Verdict(size.has_value() && sizeMiB <= 1.0));
    return 0;
}
