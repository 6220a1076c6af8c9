// The platform seam's files on POSIX: file descriptors, positioned reads and writes, and the
// byte-range locks that keep a load from seeing a rewrite in place half done.
#include "classes/platform/platform_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace tamsrove::platform {
namespace internal {
namespace {

// Open file description locks belong to the open file, not to the process, so they also keep
// two threads of one process apart; classic record locks are the fallback where they are
// missing.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

// A lock held by someone else is asked for again until this long has passed.
constexpr std::chrono::seconds kLockWait{10};

bool SetLock(int fd, short type, std::uint64_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_len = length == kToTheEnd ? 0 : static_cast<off_t>(length); // 0: however long it grows
    return ::fcntl(fd, kSetLock, &lock) == 0;
}

} // namespace

void ThrowLastError(const char* what) {
    ThrowSystemError(errno, what);
}

std::uint32_t CurrentProcessId() noexcept {
    return static_cast<std::uint32_t>(::getpid());
}

std::uint64_t LengthOf(const FileOwner& file) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        ThrowLastError("fstat");
    }
    return static_cast<std::uint64_t>(info.st_size);
}

void SetLength(const FileOwner& file, std::uint64_t length) {
    if (::ftruncate(file.get(), static_cast<off_t>(length)) != 0) {
        ThrowLastError("ftruncate");
    }
}

void Reserve(const FileOwner& file, std::uint64_t length) {
    const std::uint64_t old_length = LengthOf(file);
    if (length <= old_length) {
        return;
    }
    const int result = ::posix_fallocate(file.get(), static_cast<off_t>(old_length),
                                         static_cast<off_t>(length - old_length));
    if (result == EOPNOTSUPP || result == ENOSYS || result == EINVAL) {
        SetLength(file, length); // a file system that cannot allocate ahead
    } else if (result != 0) {
        ThrowSystemError(result, "posix_fallocate");
    }
}

std::size_t ReadAt(const FileOwner& file, std::uint64_t offset, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::pread(file.get(), buffer, size, static_cast<off_t>(offset));
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            ThrowLastError("pread");
        }
    }
}

void WriteAt(const FileOwner& file, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(file.get(), bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            ThrowSystemError(written < 0 ? errno : EIO, "pwrite");
        }
        bytes += written;
        offset += static_cast<std::uint64_t>(written);
        size -= static_cast<std::size_t>(written);
    }
}

void WriteAll(const FileOwner& file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(file.get(), bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            ThrowSystemError(written < 0 ? errno : EIO, "write");
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void FlushToDisk(const FileOwner& file) {
    if (::fsync(file.get()) != 0) {
        ThrowLastError("fsync");
    }
}

void CloseChecked(FileOwner& file) {
    if (::close(file.release()) != 0) {
        ThrowLastError("close");
    }
}

bool LockRange(const FileOwner& file, bool exclusive, std::uint64_t length) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const short type = exclusive ? F_WRLCK : F_RDLCK;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::microseconds(100);
    while (!SetLock(file.get(), type, length)) {
        if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP) {
            return false; // a file system without locks: nobody can coordinate there
        }
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) ||
            std::chrono::steady_clock::now() > deadline) {
            ThrowLastError("lock");
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    return true;
}

// Opens without blocking on a FIFO that has no partner yet, then makes the descriptor blocking
// again so that reads and writes behave as on any file.
unique_fd OpenFd(const std::string& path, int flags, unsigned mode) {
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

void UnlockRange(const FileOwner& file, std::uint64_t length) noexcept {
    SetLock(file.get(), F_UNLCK, length);
}

} // namespace internal

using internal::OpenFd;
using internal::ThrowLastError;
using internal::ThrowSystemError;

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

void InputFile::Rewind() {
    if (::lseek(impl_->file.get(), 0, SEEK_SET) != 0) {
        ThrowLastError("lseek");
    }
}

OutputFile OutputFile::Append(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = internal::ToNativePath(path);
    impl->file = OpenFd(impl->target, O_WRONLY | O_CREAT | O_APPEND, 0666);
    return OutputFile(std::move(impl));
}

} // namespace tamsrove::platform
