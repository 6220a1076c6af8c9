// The replacing save against its floor, natively: one process, alternating rounds, medians.
//   saves_bench FOLDER SIZE_MIB ROUNDS
// floor:    open the existing file with O_TRUNC, write the bytes from one buffer, fsync, close
// atomic:   OutputFile::Replace in 512 KiB writes (as the line store writes), Commit: temporary,
//           fsync, rename, fsync of the folder
// in place: the same on a file with a second hard link: temporary, backup of the old content
//           (copied and fsynced), room reserved, rewrite, fsync, backup and temporary removed
#include "classes/platform/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBlock = std::size_t{1} << 19;

double Milliseconds(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Floor(const fs::path& path, const std::string& bytes) {
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::fsync(fd) != 0 || ::close(fd) != 0) {
        std::perror("floor");
        std::exit(1);
    }
    return Milliseconds(start);
}

double Save(const fs::path& path, const std::string& bytes) {
    const auto start = Clock::now();
    auto file = tamsrove::platform::OutputFile::Replace(path.u16string());
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        file.Write(bytes.data() + at, std::min(kBlock, bytes.size() - at));
    }
    file.Commit();
    return Milliseconds(start);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: saves_bench FOLDER SIZE_MIB ROUNDS\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const std::size_t size = std::strtoull(argv[2], nullptr, 10) << 20;
    const int rounds = std::atoi(argv[3]);
    fs::create_directories(folder);
    const fs::path plain = folder / "plain.txt";
    const fs::path linked = folder / "linked.txt";
    std::string bytes(size, 'x');
    for (std::size_t i = 79; i < bytes.size(); i += 80) {
        bytes[i - 1] = '\r';
        bytes[i] = '\n';
    }
    Save(plain, bytes);
    Save(linked, bytes);
    fs::remove(folder / "linked-other.txt");
    fs::create_hard_link(linked, folder / "linked-other.txt");
    std::vector<double> floor;
    std::vector<double> atomic;
    std::vector<double> in_place;
    for (int round = 0; round < rounds; ++round) {
        floor.push_back(Floor(plain, bytes));
        atomic.push_back(Save(plain, bytes));
        in_place.push_back(Save(linked, bytes));
    }
    const double f = Median(floor);
    std::printf("size_mib=%zu rounds=%d\n", size >> 20, rounds);
    std::printf("floor_ms=%.1f atomic_ms=%.1f in_place_ms=%.1f\n", f, Median(atomic),
                Median(in_place));
    std::printf("atomic_x=%.2f in_place_x=%.2f\n", Median(atomic) / f, Median(in_place) / f);
    fs::remove(plain);
    fs::remove(linked);
    fs::remove(folder / "linked-other.txt");
    return 0;
}
