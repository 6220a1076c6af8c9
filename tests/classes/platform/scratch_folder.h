// Test helpers for file tests: a fresh scratch folder per test, removed with everything in it,
// whole-file byte reads and writes that do not go through the code under test, and (on POSIX)
// a child process to run a save in as another user or with a file size limit.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace scratch {

namespace fs = std::filesystem;

/// Creates or empties the file and writes the bytes.
inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

/// The whole file's bytes.
inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

/// A fresh folder under the system's temporary folder, unique across parallel test processes.
class ScratchFolder {
public:
    /// A folder in under (by default the system's temporary folder).
    explicit ScratchFolder(const fs::path& under = fs::temp_directory_path()) {
        static std::atomic<int> counter{0};
        static const unsigned token = std::random_device{}();
        path_ = under / ("tamsrove-test-" + std::to_string(token) + "-" +
                         std::to_string(counter.fetch_add(1)));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
            // Read-only files and folders would refuse removal on Windows.
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add | fs::perm_options::nofollow, ignored);
        }
        fs::remove_all(path_, ignored);
    }

    /// The folder itself.
    [[nodiscard]] const fs::path& Path() const { return path_; }
    /// The full name of a file in the folder, as the line store takes it.
    [[nodiscard]] std::u16string File(const std::string& name) const {
        return (path_ / name).u16string();
    }
    /// Creates or empties the file name in the folder and writes the bytes; its full name.
    std::u16string Put(const std::string& name, const std::string& bytes) const {
        WriteBytes(path_ / name, bytes);
        return File(name);
    }
    /// The bytes of the file name in the folder ("" when there is none).
    [[nodiscard]] std::string Bytes(const std::string& name) const {
        return ReadBytes(path_ / name);
    }
    /// The sorted names in the folder: tests use it to see that no temporary file stayed.
    [[nodiscard]] std::vector<std::string> Names() const { return NamesIn(path_); }

    /// The sorted names in any folder.
    [[nodiscard]] static std::vector<std::string> NamesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

/// Names as one vector, for comparisons with Names().
inline std::vector<std::string> NameList(std::initializer_list<std::string> names) {
    return {names.begin(), names.end()};
}

#ifndef _WIN32
/// Runs body in a child process, after setup there when one is given. The child's exit status:
/// 0 when body returned true, 1 when false, 2 when it threw, 3 when setup failed; -1 when the
/// child did not end by itself.
inline int RunInChild(const std::function<bool()>& body, const std::function<bool()>& setup = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (setup && !setup()) {
            ::_exit(3);
        }
        int status = 2;
        try {
            status = body() ? 0 : 1;
        } catch (const std::exception&) {
            // status 2 tells the parent that body threw
        }
        ::_exit(status);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// A setup for RunInChild: no file grows past limit bytes, and a write past it fails with EFBIG
/// (instead of raising SIGXFSZ), as on a full disk.
inline std::function<bool()> FileSizeLimit(rlim_t limit) {
    return [limit] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        return ::setrlimit(RLIMIT_FSIZE, &size) == 0;
    };
}
#endif

} // namespace scratch
