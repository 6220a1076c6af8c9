// The platform seam on POSIX: UTF-8 paths, Windows-1252 as the ANSI code page, file
// descriptors, and rename(2) for atomic replacement.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace tamsrove::platform {
namespace {

[[noreturn]] void ThrowErrno(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

[[noreturn]] void ThrowLastErrno(const char* what) {
    ThrowErrno(errno, what);
}

// --- UTF-16 <-> UTF-8 for paths --------------------------------------------------------------

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A path as the kernel takes it. U+0000 would cut the path short and a lone surrogate has no
// UTF-8 form; mapping it to U+FFFD could name a different, existing file, so both fail.
std::string NativePath(std::u16string_view path) {
    if (path.empty()) {
        ThrowErrno(ENOENT, "empty path");
    }
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t c = path[i];
        if (c == 0) {
            ThrowErrno(EINVAL, "path holds U+0000");
        }
        if (IsHighSurrogate(c) && i + 1 < path.size() && IsLowSurrogate(path[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t{path[i + 1]} - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            ThrowErrno(EILSEQ, "path holds a lone surrogate");
        }
        AppendUtf8(c, out);
    }
    return out;
}

// Strict UTF-8 decoding: overlong forms, surrogates and truncated sequences fail.
std::u16string DecodeUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        int extra = 0;
        char32_t c = lead;
        char32_t min = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, c = lead & 0x07, min = 0x10000;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, c = lead & 0x0F, min = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, c = lead & 0x1F, min = 0x80;
        } else if (lead >= 0x80) {
            ThrowErrno(EILSEQ, "invalid UTF-8");
        }
        if (bytes.size() - i <= static_cast<std::size_t>(extra)) {
            ThrowErrno(EILSEQ, "truncated UTF-8");
        }
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                ThrowErrno(EILSEQ, "invalid UTF-8");
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (c < min || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) {
            ThrowErrno(EILSEQ, "invalid UTF-8");
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

// --- Windows-1252 --------------------------------------------------------------------------------

// Bytes 0x80..0x9F; the five bytes 1252 leaves unassigned map to the C1 control of the same
// value, as Windows' own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr AnsiTable MakeCp1252Table() {
    AnsiTable table{};
    for (std::size_t b = 0; b < table.size(); ++b) {
        table[b] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return table;
}

constexpr AnsiTable kCp1252 = MakeCp1252Table();

// The byte of each character U+0000..U+00FF; '?' where 1252 puts another character.
constexpr std::array<char, 256> MakeLatin1Bytes() {
    std::array<char, 256> bytes{};
    for (std::size_t c = 0; c < bytes.size(); ++c) {
        bytes[c] = kCp1252[c] == c ? static_cast<char>(c) : '?';
    }
    return bytes;
}

constexpr std::array<char, 256> kLatin1Bytes = MakeLatin1Bytes();

// The byte for one UTF-16 unit; '?' when 1252 has no such character. Each half of a surrogate
// pair is a unit of its own and becomes '?', as in Windows' conversion for this code page.
char NarrowCp1252(char16_t c) {
    if (c < kLatin1Bytes.size()) {
        return kLatin1Bytes[c];
    }
    for (std::size_t k = 0; k < kCp1252High.size(); ++k) {
        if (kCp1252High[k] == c) {
            return static_cast<char>(0x80 + k);
        }
    }
    return '?';
}

// --- File descriptors ----------------------------------------------------------------------------

// Owns one file descriptor.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    [[nodiscard]] int get() const noexcept { return fd_; }
    // Closes now and reports the result: delayed write errors (NFS, quotas) surface here.
    [[nodiscard]] int close() noexcept {
        const int result = ::close(std::exchange(fd_, -1));
        return result;
    }

private:
    int fd_ = -1;
};

// Opens without blocking on a FIFO that has no partner yet, then makes the descriptor blocking
// again so that reads and writes behave as on any file.
UniqueFd OpenFd(const std::string& path, int flags, mode_t mode = 0) {
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode));
    if (fd.get() < 0) {
        ThrowLastErrno("open");
    }
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) < 0) {
        ThrowLastErrno("fcntl");
    }
    return fd;
}

void WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowLastErrno("write");
        }
        if (written == 0) {
            ThrowErrno(EIO, "write");
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

// The folder part of a path, with its trailing slash; empty for a bare name.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A symbolic link is replaced through the file it points to, so that the link survives.
std::string ResolveLink(const std::string& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return path;
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) {
        return path; // a dangling link: the rename replaces the link itself
    }
    return resolved.get();
}

// Creates a new, empty file with a name no other writer uses, in the given folder.
UniqueFd CreateTemporary(const std::string& folder, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + ".tamsrove-" + std::to_string(::getpid()) + "-" +
                   std::to_string(counter.fetch_add(1)) + ".tmp";
        UniqueFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            tempPath.clear();
            ThrowLastErrno("open temporary");
        }
    }
    tempPath.clear();
    ThrowErrno(EEXIST, "open temporary");
}

// The replacement takes over the old file's permission bits (and, where allowed, its owner),
// so that replacing content does not widen or narrow who may read it. Set-id bits are not
// carried over: a new file should not gain privileges.
void CopyOwnershipAndMode(int fd, const struct stat& old) {
    ::fchmod(fd, old.st_mode & 0777);
    struct stat now {};
    if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid)) {
        // Only a privileged process may give a file away; otherwise the writer keeps it.
        [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
}

// Makes a rename durable. It runs after the rename has happened and can no longer be undone,
// so a failure here is not reported.
void SyncFolder(const std::string& folder) {
    const std::string name = folder.empty() ? std::string(".") : folder;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// --- Folders ------------------------------------------------------------------------------------

char16_t PathSeparator() noexcept {
    return u'/';
}

std::u16string ApplicationFolder() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            ThrowLastErrno("readlink /proc/self/exe");
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2); // the link may have been cut short: ask again
    }
    const std::size_t slash = buffer.rfind('/');
    if (slash == std::string::npos) {
        ThrowErrno(ENOENT, "program path has no folder");
    }
    buffer.resize(slash == 0 ? 1 : slash); // keep the root's own slash
    return DecodeUtf8(buffer);
}

// --- ANSI code page ------------------------------------------------------------------------------

std::uint32_t AnsiCodePage() noexcept {
    return 1252;
}

const AnsiTable* SingleByteAnsiTable() noexcept {
    return &kCp1252;
}

std::u16string AnsiToWide(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[i] = kCp1252[static_cast<unsigned char>(bytes[i])];
    }
    return out;
}

void AppendWideAsAnsi(std::u16string_view text, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[start + i] = NarrowCp1252(text[i]);
    }
}

// --- Files ---------------------------------------------------------------------------------------

std::optional<std::uint64_t> FileLengthByName(std::u16string_view path) noexcept {
    try {
        struct stat info {};
        if (::stat(NativePath(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.st_size);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

struct InputFile::Impl {
    UniqueFd fd;
};

InputFile::InputFile(std::u16string_view path)
    : impl_(std::make_unique<Impl>(Impl{OpenFd(NativePath(path), O_RDONLY)})) {}
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

std::optional<std::uint64_t> InputFile::RegularFileLength() const {
    struct stat info {};
    if (::fstat(impl_->fd.get(), &info) != 0) {
        ThrowLastErrno("fstat");
    }
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t InputFile::ReadSome(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(impl_->fd.get(), buffer, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            ThrowLastErrno("read");
        }
    }
}

struct OutputFile::Impl {
    UniqueFd fd;
    std::string target;   // the file that receives the content
    std::string tempPath; // non-empty while a replacement is pending
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    ~Impl() {
        if (!tempPath.empty()) {
            ::unlink(tempPath.c_str());
        }
    }
};

OutputFile::OutputFile(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = ResolveLink(NativePath(path));
    struct stat old {};
    const bool exists = ::stat(impl->target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        ThrowLastErrno("stat");
    }
    if (exists && S_ISDIR(old.st_mode)) {
        ThrowErrno(EISDIR, "replace");
    }
    if (exists && !S_ISREG(old.st_mode)) {
        // Renaming over a device or a FIFO would replace the node itself (as root, even
        // /dev/null); such a target takes the bytes directly.
        impl->fd = OpenFd(impl->target, O_WRONLY | O_TRUNC);
        return OutputFile(std::move(impl));
    }
    // rename(2) needs only the folder to be writable; the file's own read-only state must
    // still refuse the replacement, as opening it for writing would.
    if (exists && ::faccessat(AT_FDCWD, impl->target.c_str(), W_OK, AT_EACCESS) != 0) {
        ThrowLastErrno("replace");
    }
    impl->fd = CreateTemporary(FolderOf(impl->target), impl->tempPath);
    if (exists) {
        CopyOwnershipAndMode(impl->fd.get(), old);
    }
    return OutputFile(std::move(impl));
}

OutputFile OutputFile::Append(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = NativePath(path);
    impl->fd = OpenFd(impl->target, O_WRONLY | O_CREAT | O_APPEND, 0666);
    return OutputFile(std::move(impl));
}

void OutputFile::Write(const void* data, std::size_t size) {
    WriteAll(impl_->fd.get(), data, size);
}

void OutputFile::Commit() {
    Impl& impl = *impl_;
    if (impl.tempPath.empty()) {
        if (impl.fd.close() != 0) {
            ThrowLastErrno("close");
        }
        return;
    }
    if (::fsync(impl.fd.get()) != 0) {
        ThrowLastErrno("fsync");
    }
    if (impl.fd.close() != 0) {
        ThrowLastErrno("close");
    }
    if (::rename(impl.tempPath.c_str(), impl.target.c_str()) != 0) {
        ThrowLastErrno("rename");
    }
    impl.tempPath.clear();
    SyncFolder(FolderOf(impl.target));
}

} // namespace tamsrove::platform
