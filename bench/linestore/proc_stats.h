// Process memory and time probes shared by the benchmark drivers (Linux).
#pragma once

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

namespace linestore_bench {

/// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 when absent.
inline long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::stol(line.substr(length + 1));
        }
    }
    return 0;
}

/// Starts a new peak-RSS measurement: VmHWM drops to the current RSS.
inline void ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

/// Milliseconds since start.
inline double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

/// Processor time of the whole process in milliseconds (user and system).
inline double ProcessCpuMilliseconds() {
    return static_cast<double>(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

/// Times op and prints "op_ms=... op_cpu_ms=... added_peak_kib=... held_kib=..."; the peak is
/// what op added on top of the memory in use before it, held what is still in use after it. On
/// a busy machine the wall time also counts waiting for a core, so the processor time is
/// reported beside it.
template <typename Op> void TimeAndReport(Op&& op) {
    const long before = StatusKiB("VmRSS");
    ResetPeak();
    const double cpu_start = ProcessCpuMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    op();
    const double ms = MillisecondsSince(start);
    const double cpu_ms = ProcessCpuMilliseconds() - cpu_start;
    std::printf("op_ms=%.3f op_cpu_ms=%.3f added_peak_kib=%ld held_kib=%ld\n", ms, cpu_ms,
                StatusKiB("VmHWM") - before, StatusKiB("VmRSS") - before);
}

} // namespace linestore_bench
