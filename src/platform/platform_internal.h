// Private to the platform seam: the types and helpers that platform_common.cpp shares with the
// Win32 and the POSIX implementation files.
#pragma once

#include "platform.h"

#ifdef _WIN32
#include "win32_handles.h"
#else
#include "posix_handles.h"
#endif

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace tamsrove::platform::internal {

#ifdef _WIN32
/// A path as the wide file APIs take it.
using NativeString = std::wstring;
/// An open file.
using FileOwner = unique_hfile;
/// The sharing of a handle that blocks no other: the store's loads and rewrites use it.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
#else
/// A path as the kernel takes it: UTF-8 bytes.
using NativeString = std::string;
/// An open file.
using FileOwner = unique_fd;
#endif

/// Throws std::system_error for one of the system's own error codes (Win32 codes or errno).
[[noreturn]] void ThrowSystemError(int code, const char* what);
/// Throws std::system_error for the calling thread's last error (GetLastError or errno).
[[noreturn]] void ThrowLastError(const char* what);

/// The path for the system's file calls; throws for a path that can name no file (empty,
/// holding U+0000, or on POSIX a lone surrogate).
[[nodiscard]] NativeString ToNativePath(std::u16string_view path);

/// Creates a new, empty file open for reading and writing that nobody else may open
/// meanwhile; an empty owner when the name is taken. Any other failure throws. An owner_only
/// file (a backup of content that may be private) gets no permissions for others on POSIX.
[[nodiscard]] FileOwner CreateNewFile(const NativeString& path, bool owner_only);

/// Opens an existing file for reading, sharing everything.
[[nodiscard]] FileOwner OpenForReading(const NativeString& path);

/// Deletes a file by name; a failure is ignored (the caller is already giving up).
void RemoveFileQuietly(const NativeString& path) noexcept;

/// The calling process's id.
[[nodiscard]] std::uint32_t CurrentProcessId() noexcept;

/// True unless the process of that id is known to have ended.
[[nodiscard]] bool ProcessMayRun(std::uint32_t pid) noexcept;

/// True for a failure that says the folder takes no new files (access refused).
[[nodiscard]] bool IsRefusal(const std::system_error& error) noexcept;

/// The folder part of a path, with its separator; empty for a bare name.
[[nodiscard]] NativeString FolderOf(const NativeString& path);

/// The user's own folder for temporary files, ending in a separator.
[[nodiscard]] NativeString UserTempFolder();

/// The names of the entries in folder (empty: the current one) that begin with prefix.
[[nodiscard]] std::vector<NativeString> NamesStartingWith(const NativeString& folder,
                                                          const NativeString& prefix);

// --- Open files ---------------------------------------------------------------------------------

/// The length of an open file.
[[nodiscard]] std::uint64_t LengthOf(const FileOwner& file);
/// Cuts or extends the file to length.
void SetLength(const FileOwner& file, std::uint64_t length);
/// Extends the file to length, allocating its room where the system can, so that a full disk
/// shows before any old byte is overwritten.
void Reserve(const FileOwner& file, std::uint64_t length);
/// Reads up to size bytes at offset; 0 at the end.
[[nodiscard]] std::size_t ReadAt(const FileOwner& file, std::uint64_t offset, void* buffer,
                                 std::size_t size);
/// Writes all size bytes at offset, or fails.
void WriteAt(const FileOwner& file, std::uint64_t offset, const void* data, std::size_t size);
/// Writes all size bytes at the current position, or fails.
void WriteAll(const FileOwner& file, const void* data, std::size_t size);
/// Waits until the file's content is on the disk.
void FlushToDisk(const FileOwner& file);
/// Closes the file and reports a failure (a delayed write error can surface here).
void CloseChecked(FileOwner& file);

/// The length of a lock that covers the file however long it grows.
inline constexpr std::uint64_t kToTheEnd = UINT64_MAX;

/// Takes a byte-range lock over the first length bytes of a regular file (shared or exclusive),
/// waiting a few seconds at most for another holder; false for a file kind that takes no locks.
[[nodiscard]] bool LockRange(const FileOwner& file, bool exclusive, std::uint64_t length);
/// Releases the lock LockRange took with the same length.
void UnlockRange(const FileOwner& file, std::uint64_t length) noexcept;

/// The lock of a load: shared, over the content as long as it is at the open (at least one
/// byte), so that appends past it are not stopped by Windows' mandatory locks.
[[nodiscard]] std::uint64_t LockForLoad(const FileOwner& file);

/// The exclusive lock of a rewrite over the whole file, released when it goes out of scope
/// (before the file is closed).
class RewriteLock {
public:
    explicit RewriteLock(const FileOwner& file)
        : file_(LockRange(file, true, kToTheEnd) ? &file : nullptr) {}
    RewriteLock(const RewriteLock&) = delete;
    RewriteLock& operator=(const RewriteLock&) = delete;
    RewriteLock(RewriteLock&&) = delete;
    RewriteLock& operator=(RewriteLock&&) = delete;
    ~RewriteLock() {
        if (file_ != nullptr) {
            UnlockRange(*file_, kToTheEnd);
        }
    }

private:
    const FileOwner* file_ = nullptr;
};

// --- Replacing ----------------------------------------------------------------------------------

/// What the leftover file of a save holds.
enum class LeftoverKind { Temporary, Backup };

/// Creates a new, empty file in folder (empty or ending in a separator) named after target and
/// this process, and stores its name in path.
[[nodiscard]] FileOwner CreateLeftover(const NativeString& folder, const NativeString& target,
                                       LeftoverKind kind, NativeString& path);

/// Removes the temporaries and backups of target in folder whose process no longer runs.
void RemoveDeadLeftovers(const NativeString& folder, const NativeString& target) noexcept;

/// Throws as a failing disk would when step is the one a test made fail.
void InjectFault(detail::SaveStep step);
/// True when step is the one a test made fail (for a failure half-way).
[[nodiscard]] bool FaultAt(detail::SaveStep step) noexcept;

#ifndef _WIN32
/// Opens path with flags (O_CLOEXEC and O_NOCTTY added) without blocking on a FIFO that has no
/// partner yet, then makes the descriptor blocking again.
[[nodiscard]] unique_fd OpenFd(const std::string& path, int flags, unsigned mode = 0);

/// A kernel path (UTF-8) as UTF-16; throws for bytes that are not strict UTF-8.
[[nodiscard]] std::u16string FromNativePath(std::string_view bytes);
#endif

} // namespace tamsrove::platform::internal

namespace tamsrove::platform {

struct InputFile::Impl {
    internal::FileOwner file;
    std::uint64_t locked = 0; // the length of the load's lock; 0 for none
    explicit Impl(internal::FileOwner opened)
        : file(std::move(opened)), locked(internal::LockForLoad(file)) {}
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    ~Impl() {
        if (locked != 0) {
            internal::UnlockRange(file, locked);
        }
    }
};

namespace internal {

/// How a replacement reaches its target.
enum class SaveRoad {
    Direct,  ///< the bytes go straight to the file (appends, devices, pipes)
    Atomic,  ///< the temporary file is renamed over the target
    InPlace, ///< the target is rewritten from the temporary file, with a backup
};

/// The state of a file being written.
struct Replacement {
    SaveRoad road = SaveRoad::Direct;
    FileOwner file;                    // the target (Direct) or the temporary file
    NativeString target;               // the name given: a link stays a link
    NativeString temp_path;            // non-empty while a temporary file exists
    NativeString work_folder;          // where the temporary and the backup go
    bool create_target = false;        // a dangling link: the rewrite creates its target
    std::uint32_t kept_attributes = 0; // Windows: the replaced file's hidden and system marks
};

} // namespace internal

struct OutputFile::Impl : internal::Replacement {
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    /// A pending replacement is abandoned: its temporary file goes.
    ~Impl();
};

namespace internal {

/// Starts a replacement on road: creates the temporary file in the target's folder or, when
/// that folder refuses new files and may_leave_folder allows, in the user's temporary folder
/// (and then rewrites in place, since nothing can be renamed across).
void StartReplacement(Replacement& impl, SaveRoad road, bool may_leave_folder);

/// Renames the finished temporary file over the target; false when something holds the
/// target so that only a rewrite in place can save it. Platform-specific.
[[nodiscard]] bool PublishAtomically(Replacement& impl);

/// Opens the target for the rewrite in place (creating a dangling link's target).
/// Platform-specific.
[[nodiscard]] FileOwner OpenForRewrite(const Replacement& impl);

/// Deletes the file a rewrite created through a dangling link, leaving the link as it was.
/// Platform-specific.
void RemoveCreatedTarget(const Replacement& impl) noexcept;

} // namespace internal
} // namespace tamsrove::platform
