// The replacing save on POSIX: when rename(2) keeps the file what it was, and the folder and
// process queries that the shared save code needs.
#include "platform_internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <utility>

namespace tamsrove::platform {
namespace internal {

bool ProcessMayRun(std::uint32_t pid) noexcept {
    // Signal 0 only asks whether the process exists; EPERM means it does, as someone else's.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

bool IsRefusal(const std::system_error& error) noexcept {
    const int code = error.code().value();
    return error.code().category() == std::generic_category() &&
           (code == EACCES || code == EPERM || code == EROFS);
}

NativeString FolderOf(const NativeString& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

NativeString UserTempFolder() {
    const char* const folder = std::getenv("TMPDIR");
    std::string path = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    if (path.back() != '/') {
        path += '/';
    }
    return path;
}

std::vector<NativeString> NamesStartingWith(const NativeString& folder,
                                            const NativeString& prefix) {
    struct CloseDir {
        void operator()(DIR* dir) const noexcept { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.empty() ? "." : folder.c_str()));
    std::vector<NativeString> names;
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(static_cast<const char*>(entry->d_name));
        if (name.starts_with(prefix)) {
            names.emplace_back(name);
        }
    }
    return names;
}

bool PublishAtomically(Replacement& impl) {
    InjectFault(detail::SaveStep::Publish);
    if (::rename(impl.temp_path.c_str(), impl.target.c_str()) != 0) {
        // A sticky folder lets only the owners rename over a file; a busy mount point refuses.
        if (errno == EPERM || errno == EACCES || errno == EBUSY) {
            return false;
        }
        ThrowLastError("rename");
    }
    const std::string name = FolderOf(impl.target);
    const unique_fd folder(
        ::open(name.empty() ? "." : name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) {
        // The rename has happened and cannot be undone: a failure to make it durable is not
        // reported.
        ::fsync(folder.get());
    }
    return true;
}

FileOwner OpenForRewrite(const Replacement& impl) {
    // O_CREAT follows a dangling link and creates its target, as a shell redirect does.
    const int create = impl.create_target ? O_CREAT : 0;
    FileOwner file(::open(impl.target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | create, 0666));
    if (!file) {
        ThrowLastError("open for rewriting");
    }
    return file;
}

void RemoveCreatedTarget(const Replacement& impl) noexcept {
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(impl.target.c_str(), nullptr), &std::free);
    if (resolved) {
        ::unlink(resolved.get());
    }
}

} // namespace internal

namespace {

using internal::ThrowLastError;
using internal::ThrowSystemError;

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

// In a sticky folder (such as /tmp) only the file's or the folder's owner may rename over it.
bool StickyFolderForbidsRename(const std::string& target, const struct stat& file) {
    const std::string folder = internal::FolderOf(target);
    struct stat info {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &info) != 0) {
        return false;
    }
    const uid_t self = ::geteuid();
    return (info.st_mode & S_ISVTX) != 0 && self != 0 && file.st_uid != self && info.st_uid != self;
}

// Where a rename would make a different file: a link (the link would become a regular file,
// its target keeping the old content), a file with other names, or a folder that does not
// let this user rename over the file.
bool NeedsRewriteInPlace(const std::string& target, bool is_link, const struct stat& file) {
    return is_link || file.st_nlink > 1 || StickyFolderForbidsRename(target, file);
}

void StartAtomicOrInPlace(internal::Replacement& impl, const struct stat* old, bool in_place) {
    using internal::SaveRoad;
    internal::StartReplacement(impl, in_place ? SaveRoad::InPlace : SaveRoad::Atomic,
                               old != nullptr || in_place);
    if (old != nullptr && impl.road == SaveRoad::Atomic) {
        CopyOwnershipAndMode(impl.file.get(), *old);
    }
}

} // namespace

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = internal::ToNativePath(path);
    struct stat link {};
    if (::lstat(impl->target.c_str(), &link) != 0) {
        if (errno != ENOENT) {
            ThrowLastError("stat");
        }
        StartAtomicOrInPlace(*impl, nullptr, false); // a new file
        return OutputFile(std::move(impl));
    }
    const bool is_link = S_ISLNK(link.st_mode);
    struct stat file = link;
    if (is_link && ::stat(impl->target.c_str(), &file) != 0) {
        if (errno != ENOENT) {
            ThrowLastError("stat");
        }
        impl->create_target = true; // a dangling link: its target gets created
        StartAtomicOrInPlace(*impl, nullptr, true);
        return OutputFile(std::move(impl));
    }
    if (S_ISDIR(file.st_mode)) {
        ThrowSystemError(EISDIR, "replace");
    }
    if (!S_ISREG(file.st_mode)) {
        // Renaming over a device or a FIFO would replace the node itself (as root, even
        // /dev/null); such a target takes the bytes directly.
        impl->file = internal::OpenFd(impl->target, O_WRONLY | O_TRUNC);
        return OutputFile(std::move(impl));
    }
    // rename(2) needs only the folder to be writable; the file's own read-only state must
    // still refuse the replacement, as opening it for writing would.
    if (::faccessat(AT_FDCWD, impl->target.c_str(), W_OK, AT_EACCESS) != 0) {
        ThrowLastError("replace");
    }
    StartAtomicOrInPlace(*impl, &file, NeedsRewriteInPlace(impl->target, is_link, file));
    return OutputFile(std::move(impl));
}

} // namespace tamsrove::platform
