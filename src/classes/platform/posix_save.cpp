// The replacing save on POSIX: every name is looked up in the target's folder held open, every
// file is checked against what lstat saw before it is acted on, and rename(2) is taken only when
// it keeps the file what it was.
#include "classes/platform/platform_internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace tamsrove::platform {
namespace internal {
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether name in folder is still the very entry lstat saw as seen.
bool StillTheSame(int folder, const std::string& name, const struct stat& seen) {
    struct stat now {};
    return ::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(now, seen);
}

// Whether a link that lstat saw as link may be followed in folder, as Linux's
// fs.protected_symlinks decides (fs/namei.c, may_follow_link): in a sticky folder that everyone
// may write, only a link of the follower or of the folder's owner. Elsewhere the setting may be
// off, or missing, so the save asks itself.
bool MayFollowLink(int folder, const struct stat& link) {
    struct stat info {};
    if (::fstat(folder, &info) != 0) {
        return false;
    }
    const bool shared = (info.st_mode & S_ISVTX) != 0 && (info.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == info.st_uid;
}

// In a sticky folder (such as /tmp) only the file's or the folder's owner may rename over it.
bool StickyFolderForbidsRename(int folder, const struct stat& file) {
    struct stat info {};
    if (::fstat(folder, &info) != 0) {
        return false;
    }
    const uid_t self = ::geteuid();
    return (info.st_mode & S_ISVTX) != 0 && self != 0 && file.st_uid != self && info.st_uid != self;
}

// The process's file creation mask, read without changing it where /proc tells it (umask(2)
// can only be read by setting it, which other threads would see).
mode_t CurrentUmask() {
    const unique_fd status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (status) {
        std::string text(4096, '\0');
        const ssize_t got = ::read(status.get(), text.data(), text.size());
        const std::size_t at = got > 0 ? text.find("Umask:\t") : std::string::npos;
        if (at != std::string::npos) {
            return static_cast<mode_t>(std::strtoul(text.c_str() + at + 7, nullptr, 8)) & 0777;
        }
    }
    static std::mutex guard;
    const std::scoped_lock lock(guard);
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

// The mode a file created anew gets, as open(2) would give it.
unsigned NewFileMode() {
    return 0666U & ~static_cast<unsigned>(CurrentUmask());
}

#ifdef __linux__
// Copies every extended attribute, which carries the POSIX ACL (system.posix_acl_access) and
// security labels; false when one cannot be read or set.
bool CopyExtendedAttributes(int from, int to) {
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0) {
        return errno == ENOTSUP; // a file system without them has none to lose
    }
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0) {
        return false;
    }
    names.resize(static_cast<std::size_t>(size));
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* const name = names.c_str() + at;
        ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        std::string value(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
        length = length < 0 ? -1 : ::fgetxattr(from, name, value.data(), value.size());
        if (length < 0 ||
            ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0) {
            return false;
        }
    }
    return true;
}
#else
// The BSDs and macOS keep extended attributes behind other calls; none are copied there.
bool CopyExtendedAttributes(int /*from*/, int /*to*/) {
    return true;
}
#endif

// Gives the new file the old one's owner, group, permission bits and extended attributes;
// false when any of them cannot be given (only a privileged process may give a file away, and
// only a member of a group may give it that group). Set-id bits are not carried over: a new
// file should not gain privileges.
bool TakeOverOwnership(int fd, const struct stat& old, int old_fd) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        return false;
    }
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        return false;
    }
    return ::fchmod(fd, old.st_mode & 0777) == 0 && CopyExtendedAttributes(old_fd, fd);
}

// Opens name in folder with flags (O_CLOEXEC, O_NOCTTY and O_NONBLOCK added, so that a FIFO
// without a partner does not block), then makes the descriptor blocking again.
unique_fd OpenAt(int folder, const std::string& name, int flags, mode_t mode = 0) {
    unique_fd fd(::openat(folder, name.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode));
    if (fd) {
        const int status = ::fcntl(fd.get(), F_GETFL);
        if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) < 0) {
            ThrowLastError("fcntl");
        }
    }
    return fd;
}

// Creates the target of a dangling link, exclusively, in the folder the link names; the link
// must still be the one lstat saw once it has been read.
void CreateLinkTarget(Replacement& impl, const struct stat& link) {
    std::string points_to(4096, '\0');
    const ssize_t length =
        ::readlinkat(impl.folder.get(), impl.name.c_str(), points_to.data(), points_to.size());
    if (length < 0 || static_cast<std::size_t>(length) >= points_to.size()) {
        ThrowSystemError(length < 0 ? errno : ENAMETOOLONG, "readlink");
    }
    points_to.resize(static_cast<std::size_t>(length));
    if (!StillTheSame(impl.folder.get(), impl.name, link)) {
        ThrowSystemError(EAGAIN, "link changed while saving");
    }
    const std::string folder = FolderOf(points_to);
    impl.created_name = NameOf(points_to);
    if (impl.created_name.empty()) {
        ThrowSystemError(EISDIR, "link names a folder");
    }
    impl.created_folder.reset(::openat(impl.folder.get(), folder.empty() ? "." : folder.c_str(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!impl.created_folder) {
        ThrowLastError("open link's folder");
    }
    impl.held_target = OpenAt(impl.created_folder.get(), impl.created_name,
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (!impl.held_target) {
        ThrowLastError("create link's target");
    }
    impl.create_target = true;
    impl.final_mode = NewFileMode();
}

// A link: the rewrite in place writes through it, where it may be followed at all.
void StartThroughLink(Replacement& impl, const struct stat& link) {
    if (!MayFollowLink(impl.folder.get(), link)) {
        ThrowSystemError(EACCES, "link of another user in a shared folder");
    }
    unique_fd fd = OpenAt(impl.folder.get(), impl.name, O_RDWR);
    if (!fd) {
        if (errno != ENOENT) {
            ThrowLastError("open through link");
        }
        CreateLinkTarget(impl, link);
    } else {
        if (!StillTheSame(impl.folder.get(), impl.name, link)) {
            ThrowSystemError(EAGAIN, "link changed while saving");
        }
        struct stat file {};
        if (::fstat(fd.get(), &file) != 0) {
            ThrowLastError("fstat");
        }
        if (!S_ISREG(file.st_mode)) {
            // A device or a FIFO takes the bytes directly.
            impl.file = std::move(fd);
            return;
        }
        impl.held_target = std::move(fd);
    }
    StartReplacement(impl, SaveMethod::InPlace, true);
}

// A regular file: renamed over only where the new file can be what the old one was.
void StartOverFile(Replacement& impl, const struct stat& seen) {
    // Opening for writing refuses a read-only file, as a rename (which needs only the folder
    // to be writable) would not.
    impl.held_target = OpenAt(impl.folder.get(), impl.name, O_RDWR | O_NOFOLLOW);
    if (!impl.held_target && errno == EACCES) {
        impl.held_target = OpenAt(impl.folder.get(), impl.name, O_WRONLY | O_NOFOLLOW);
    }
    if (!impl.held_target) {
        ThrowLastError("replace");
    }
    struct stat file {};
    if (::fstat(impl.held_target.get(), &file) != 0 || !SameFile(file, seen)) {
        ThrowSystemError(EAGAIN, "file changed while saving");
    }
    // A file with other names, or one this user may not rename over, is rewritten in place.
    const bool in_place = file.st_nlink > 1 || StickyFolderForbidsRename(impl.folder.get(), file);
    StartReplacement(impl, in_place ? SaveMethod::InPlace : SaveMethod::Atomic, true);
    if (impl.method == SaveMethod::Atomic &&
        !TakeOverOwnership(impl.file.get(), file, impl.held_target.get())) {
        // The new file cannot be what the old one was: a fresh, private temporary for the
        // rewrite in place instead.
        RemoveIfSame(impl.folder, impl.temp_name, impl.file);
        impl.temp_name.clear();
        impl.file.reset();
        StartReplacement(impl, SaveMethod::InPlace, true);
    }
}

} // namespace

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

FolderOwner OpenFolder(const NativeString& folder) {
    const char* const path = folder.empty() ? "." : folder.c_str();
    unique_fd fd(::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
#ifdef O_PATH
    if (!fd && errno == EACCES) {
        fd.reset(::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC)); // a folder one may only pass
    }
#endif
    if (!fd) {
        ThrowLastError("open folder");
    }
    return fd;
}

FileOwner CreateNewFileIn(const FolderOwner& folder, const NativeString& name,
                          const FileOwner* /*like: the mode is given after creation*/) {
    FileOwner file(::openat(folder.get(), name.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (!file && errno != EEXIST) {
        ThrowLastError("create temporary");
    }
    return file;
}

FileOwner OpenExistingIn(const FolderOwner& folder, const NativeString& name) {
    FileOwner file = OpenAt(folder.get(), name, O_RDONLY | O_NOFOLLOW);
    return file && IsRegularFile(file) ? std::move(file) : FileOwner();
}

void RemoveIfSame(const FolderOwner& folder, const NativeString& name,
                  const FileOwner& file) noexcept {
    struct stat held {};
    if (file && ::fstat(file.get(), &held) == 0 && StillTheSame(folder.get(), name, held)) {
        ::unlinkat(folder.get(), name.c_str(), 0);
    }
}

bool PublishUnder(const FolderOwner& folder, const NativeString& from, const NativeString& to,
                  const FileOwner& /*file: named by from*/) {
#ifdef RENAME_NOREPLACE
    // One step, so that a crash never leaves the backup with two names.
    if (::renameat2(folder.get(), from.c_str(), folder.get(), to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        ThrowLastError("rename");
    }
#endif
    // A second name, not a rename: link(2) never replaces what is there.
    if (::linkat(folder.get(), from.c_str(), folder.get(), to.c_str(), 0) != 0) {
        if (errno == EEXIST) {
            return false;
        }
        ThrowLastError("link");
    }
    // Should the old name stay, the file keeps two names; the save goes on regardless, but a
    // backup with two names is not trusted by a later repair (BackupBelongsTo).
    ::unlinkat(folder.get(), from.c_str(), 0);
    return true;
}

void FlushFolder(const FolderOwner& folder) noexcept {
    ::fsync(folder.get()); // a folder opened only to pass through cannot be flushed
}

void RemoveOwnWorkFile(const FolderOwner& folder, const NativeString& name) noexcept {
    struct stat info {};
    if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_uid == ::geteuid()) {
        ::unlinkat(folder.get(), name.c_str(), 0);
    }
}

NativeString IdentityOf(const FileOwner& file) {
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        ThrowLastError("fstat");
    }
    return std::to_string(info.st_dev) + "-" + std::to_string(info.st_ino);
}

bool IsRegularFile(const FileOwner& file) noexcept {
    struct stat info {};
    return ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode);
}

bool BackupBelongsTo(const FileOwner& backup, const FileOwner& target) noexcept {
    struct stat copy {};
    struct stat file {};
    return ::fstat(backup.get(), &copy) == 0 && ::fstat(target.get(), &file) == 0 &&
           S_ISREG(copy.st_mode) && copy.st_nlink == 1 && (copy.st_mode & 022) == 0 &&
           (copy.st_uid == ::geteuid() || copy.st_uid == file.st_uid);
}

std::vector<NativeString> NamesStartingWith(const FolderOwner& folder, const NativeString& prefix) {
    struct CloseDir {
        void operator()(DIR* dir) const noexcept { ::closedir(dir); }
    };
    std::vector<NativeString> names;
    unique_fd listing(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing) {
        return names; // a folder this user may not list
    }
    const std::unique_ptr<DIR, CloseDir> dir(::fdopendir(listing.get()));
    if (!dir) {
        return names;
    }
    static_cast<void>(listing.release()); // the DIR owns it now
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
    if (!impl.held_target && ::fchmod(impl.file.get(), impl.final_mode) != 0) {
        ThrowLastError("fchmod"); // a new file: it has been private until its content was whole
    }
    if (::renameat(impl.folder.get(), impl.temp_name.c_str(), impl.folder.get(),
                   impl.name.c_str()) != 0) {
        // A sticky folder lets only the owners rename over a file; a busy mount point refuses.
        if (errno == EPERM || errno == EACCES || errno == EBUSY) {
            return false;
        }
        ThrowLastError("rename");
    }
    // The rename has happened and cannot be undone: the content was flushed before it, and a
    // failure to close or to make the rename durable is not reported.
    FlushFolder(impl.folder);
    impl.file.reset();
    return true;
}

FileOwner OpenForRewrite(Replacement& impl) {
    if (!impl.held_target) {
        ThrowSystemError(EACCES, "no file to rewrite"); // a new file that could not be renamed
    }
    return std::move(impl.held_target);
}

void RemoveCreatedTarget(const Replacement& impl, const FileOwner& created) noexcept {
    RemoveIfSame(impl.created_folder, impl.created_name, created);
}

void FinishCreatedTarget(const Replacement& impl, const FileOwner& created) {
    if (::fchmod(created.get(), impl.final_mode) != 0) {
        ThrowLastError("fchmod");
    }
}

FileOwner OpenLoadTarget(const NativeString& path) {
    return OpenFd(path, O_RDONLY);
}

FileOwner OpenForRepair(const FolderOwner& folder, const NativeString& name, bool& writable) {
    struct stat seen {};
    if (::fstatat(folder.get(), name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
        return {};
    }
    const bool is_link = S_ISLNK(seen.st_mode);
    if (is_link && !MayFollowLink(folder.get(), seen)) {
        return {};
    }
    const int follow = is_link ? 0 : O_NOFOLLOW;
    writable = true;
    FileOwner file = OpenAt(folder.get(), name, O_RDWR | follow);
    if (!file) {
        writable = false;
        file = OpenAt(folder.get(), name, O_RDONLY | follow);
    }
    struct stat info {};
    if (!file || !StillTheSame(folder.get(), name, seen) || ::fstat(file.get(), &info) != 0 ||
        !S_ISREG(info.st_mode) || (!is_link && !SameFile(info, seen))) {
        return {};
    }
    return file;
}

} // namespace internal

OutputFile OutputFile::Replace(std::u16string_view path) {
    using internal::SaveMethod;
    auto impl = std::make_unique<Impl>();
    internal::BeginReplacement(*impl, path);
    if (impl->name.empty()) {
        internal::ThrowSystemError(EISDIR, "replace");
    }
    struct stat seen {};
    if (::fstatat(impl->folder.get(), impl->name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            internal::ThrowLastError("stat");
        }
        impl->final_mode = internal::NewFileMode();
        internal::StartReplacement(*impl, SaveMethod::Atomic, false); // a new file
    } else if (S_ISLNK(seen.st_mode)) {
        internal::StartThroughLink(*impl, seen);
    } else if (S_ISDIR(seen.st_mode)) {
        internal::ThrowSystemError(EISDIR, "replace");
    } else if (!S_ISREG(seen.st_mode)) {
        // Renaming over a device or a FIFO would replace the node itself (as root, even
        // /dev/null); such a target takes the bytes directly. Opened without O_TRUNC (which
        // such nodes ignore) and checked by its descriptor: a regular file put under the name
        // meanwhile is neither cut short nor written.
        impl->file = internal::OpenAt(impl->folder.get(), impl->name, O_WRONLY | O_NOFOLLOW);
        if (!impl->file) {
            internal::ThrowLastError("open");
        }
        struct stat opened {};
        if (::fstat(impl->file.get(), &opened) != 0 || !internal::SameFile(opened, seen)) {
            impl->file.reset();
            internal::ThrowSystemError(EAGAIN, "file changed while saving");
        }
    } else {
        internal::StartOverFile(*impl, seen);
    }
    return OutputFile(std::move(impl));
}

} // namespace tamsrove::platform
