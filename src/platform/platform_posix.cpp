// The platform seam's files on POSIX: file descriptors, and rename(2) for atomic replacement.
#include "platform_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace tamsrove::platform {

namespace internal {

void ThrowLastError(const char* what) {
    ThrowSystemError(errno, what);
}

FileOwner CreateNewFile(const NativeString& path) {
    FileOwner file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file && errno != EEXIST) {
        ThrowLastError("create temporary");
    }
    return file;
}

void RemoveFileQuietly(const NativeString& path) noexcept {
    ::unlink(path.c_str());
}

std::uint32_t CurrentProcessId() noexcept {
    return static_cast<std::uint32_t>(::getpid());
}

} // namespace internal

namespace {

using internal::ThrowLastError;
using internal::ThrowSystemError;

// Opens without blocking on a FIFO that has no partner yet, then makes the descriptor blocking
// again so that reads and writes behave as on any file.
unique_fd OpenFd(const std::string& path, int flags, mode_t mode = 0) {
    unique_fd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode));
    if (!fd) {
        ThrowLastError("open");
    }
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) < 0) {
        ThrowLastError("fcntl");
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
            ThrowLastError("write");
        }
        if (written == 0) {
            ThrowSystemError(EIO, "write");
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
    const unique_fd fd(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) {
        ::fsync(fd.get());
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
            ThrowLastError("readlink /proc/self/exe");
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2); // the link may have been cut short: ask again
    }
    const std::size_t slash = buffer.rfind('/');
    if (slash == std::string::npos) {
        ThrowSystemError(ENOENT, "program path has no folder");
    }
    buffer.resize(slash == 0 ? 1 : slash); // keep the root's own slash
    return internal::FromNativePath(buffer);
}

// --- Files ---------------------------------------------------------------------------------------

std::optional<std::uint64_t> FileLengthByName(std::u16string_view path) noexcept {
    try {
        struct stat info {};
        if (::stat(internal::ToNativePath(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.st_size);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

InputFile::InputFile(std::u16string_view path)
    : impl_(std::make_unique<Impl>(Impl{OpenFd(internal::ToNativePath(path), O_RDONLY)})) {}

std::optional<std::uint64_t> InputFile::RegularFileLength() const {
    struct stat info {};
    if (::fstat(impl_->file.get(), &info) != 0) {
        ThrowLastError("fstat");
    }
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t InputFile::ReadSome(void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(impl_->file.get(), buffer, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            ThrowLastError("read");
        }
    }
}

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = ResolveLink(internal::ToNativePath(path));
    struct stat old {};
    const bool exists = ::stat(impl->target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        ThrowLastError("stat");
    }
    if (exists && S_ISDIR(old.st_mode)) {
        ThrowSystemError(EISDIR, "replace");
    }
    if (exists && !S_ISREG(old.st_mode)) {
        // Renaming over a device or a FIFO would replace the node itself (as root, even
        // /dev/null); such a target takes the bytes directly.
        impl->file = OpenFd(impl->target, O_WRONLY | O_TRUNC);
        return OutputFile(std::move(impl));
    }
    // rename(2) needs only the folder to be writable; the file's own read-only state must
    // still refuse the replacement, as opening it for writing would.
    if (exists && ::faccessat(AT_FDCWD, impl->target.c_str(), W_OK, AT_EACCESS) != 0) {
        ThrowLastError("replace");
    }
    impl->file = internal::CreateTemporary(FolderOf(impl->target), impl->temp_path);
    if (exists) {
        CopyOwnershipAndMode(impl->file.get(), old);
    }
    return OutputFile(std::move(impl));
}

OutputFile OutputFile::Append(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = internal::ToNativePath(path);
    impl->file = OpenFd(impl->target, O_WRONLY | O_CREAT | O_APPEND, 0666);
    return OutputFile(std::move(impl));
}

void OutputFile::Write(const void* data, std::size_t size) {
    WriteAll(impl_->file.get(), data, size);
}

void OutputFile::Commit() {
    Impl& impl = *impl_;
    if (impl.temp_path.empty()) {
        if (::close(impl.file.release()) != 0) {
            ThrowLastError("close");
        }
        return;
    }
    if (::fsync(impl.file.get()) != 0) {
        ThrowLastError("fsync");
    }
    if (::close(impl.file.release()) != 0) {
        ThrowLastError("close");
    }
    if (::rename(impl.temp_path.c_str(), impl.target.c_str()) != 0) {
        ThrowLastError("rename");
    }
    impl.temp_path.clear();
    SyncFolder(FolderOf(impl.target));
}

} // namespace tamsrove::platform
