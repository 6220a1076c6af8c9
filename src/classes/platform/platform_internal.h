// Private to the platform seam: the types and helpers that the shared files (platform_common.cpp,
// platform_save.cpp) and the Win32 and POSIX implementation files use together.
#pragma once

#include "classes/platform/platform.h"

#ifdef _WIN32
#include "base/win32_handles.h"
#else
#include "classes/platform/posix_handles.h"
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

#ifdef _WIN32
/// A folder that a save makes and removes names in. Win32 has no calls relative to a folder
/// handle, so it is held as its path (empty, or ending in a separator); a file is still checked
/// against the handle the save holds before it is removed.
using FolderOwner = NativeString;
#else
/// A folder held open: every name a save makes, renames or removes is looked up in it.
using FolderOwner = unique_fd;
#endif

/// Opens a folder (a path as FolderOf gives it; empty: the current one).
[[nodiscard]] FolderOwner OpenFolder(const NativeString& folder);

/// Creates a new, empty file named name in folder, open for reading and writing, following no
/// link, that nobody else may open meanwhile; an empty owner when the name is taken. Others get
/// no access to it: on Windows it takes the security of like (the file it stands in for) when
/// that has its own, else a DACL that grants the current user alone; on POSIX mode 0600. Any
/// other failure throws.
[[nodiscard]] FileOwner CreateNewFileIn(const FolderOwner& folder, const NativeString& name,
                                        const FileOwner* like);

/// Opens an existing regular file named name in folder for reading, following no link; an
/// empty owner when there is none.
[[nodiscard]] FileOwner OpenExistingIn(const FolderOwner& folder, const NativeString& name);

/// Deletes the name in folder only while it still names the very file that file holds open;
/// a failure is ignored (the caller is already giving up, or the file is gone already).
void RemoveIfSame(const FolderOwner& folder, const NativeString& name,
                  const FileOwner& file) noexcept;

/// Renames file, named from in folder, to to, never replacing an existing to; false when to is
/// taken.
[[nodiscard]] bool PublishUnder(const FolderOwner& folder, const NativeString& from,
                                const NativeString& to, const FileOwner& file);

/// Makes the names made or removed in folder durable; a failure is ignored, since what was
/// done cannot be undone.
void FlushFolder(const FolderOwner& folder) noexcept;

/// Removes name from folder when it is a temporary or backup file that a save of this store left
/// behind: a regular file of the current user with one name. Anything else stays.
void RemoveOwnWorkFile(const FolderOwner& folder, const NativeString& name) noexcept;

/// A name that tells the open file apart from every other on the system (device and file
/// number), for a backup kept outside the file's own folder.
[[nodiscard]] NativeString IdentityOf(const FileOwner& file);

/// True for an open regular file (not a device, a pipe or a folder).
[[nodiscard]] bool IsRegularFile(const FileOwner& file) noexcept;

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

/// The names of the entries in folder that begin with prefix.
[[nodiscard]] std::vector<NativeString> NamesStartingWith(const FolderOwner& folder,
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

/// The name part of a path.
[[nodiscard]] NativeString NameOf(const NativeString& path);

/// Throws as a failing disk would when step is the one a test made fail.
void InjectFault(detail::SaveStep step);
/// True when step is the one a test made fail (for a failure half-way).
[[nodiscard]] bool FaultAt(detail::SaveStep step) noexcept;

/// Puts back the old content of a rewrite in place that a crash stopped half-way (the backup of
/// name in folder, see platform.h), before anything else reads or writes the file. True when
/// there was such a backup and it could not be put back because this user may not write the
/// file: then backup holds it open, the whole old content, for a load to read instead.
bool RepairInterruptedRewrite(const FolderOwner& folder, const NativeString& name,
                              FileOwner& backup);

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
    Impl(internal::FileOwner opened, std::uint64_t lock_length)
        : file(std::move(opened)), locked(lock_length) {}
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
enum class SaveMethod {
    Direct,  ///< the bytes go straight to the file (appends, devices, pipes)
    Atomic,  ///< the temporary file is renamed over the target
    InPlace, ///< the target is rewritten from the temporary file, with a backup
};

/// The state of a file being written.
struct Replacement {
    SaveMethod method = SaveMethod::Direct;
    FileOwner file;                    // the target (Direct) or the temporary file
    NativeString target;               // the name given: a link stays a link
    FolderOwner folder;                // the target's folder
    NativeString name;                 // the target's name in it
    FolderOwner work_folder;           // where the temporary and the backup go
    bool work_elsewhere = false;       // work_folder is the user's temporary folder
    NativeString temp_name;            // non-empty while the temporary file exists
    FileOwner held_target;             // the target as opened and checked when the save began
    bool create_target = false;        // a dangling link: the rewrite creates its target
    bool held_for_rewrite = false;     // held_target is open for reading and writing
    std::uint32_t kept_attributes = 0; // Windows: the replaced file's hidden and system marks
#ifndef _WIN32
    FolderOwner created_folder; // a dangling link's target: the folder it was created in
    NativeString created_name;  // and its name there
    unsigned final_mode = 0;    // the mode a new file gets once its content is whole
#endif

    /// Where the temporary file and the backup go.
    [[nodiscard]] const FolderOwner& WorkFolder() const {
        return work_elsewhere ? work_folder : folder;
    }
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

/// Holds the target's folder and name, and repairs a rewrite a crash stopped there.
void BeginReplacement(Replacement& impl, std::u16string_view path);

/// Starts a replacement that reaches its target the way method says: creates the temporary file
/// in the target's folder or, when that folder refuses new files and may_leave_folder allows, in
/// the user's temporary folder (and then rewrites in place, since nothing can be renamed
/// across).
void StartReplacement(Replacement& impl, SaveMethod method, bool may_leave_folder);

/// Renames the finished temporary file over the target; false when something holds the
/// target so that only a rewrite in place can save it. Platform-specific.
[[nodiscard]] bool PublishAtomically(Replacement& impl);

/// The target opened for the rewrite in place: the one held since the save began, or (a dangling
/// link's target) the one created then. Platform-specific.
[[nodiscard]] FileOwner OpenForRewrite(Replacement& impl);

/// Deletes the file a rewrite created through a dangling link, only while it is the file held
/// open in created, leaving the link as it was. Platform-specific.
void RemoveCreatedTarget(const Replacement& impl, const FileOwner& created) noexcept;

/// Gives a file created through a dangling link its final mode once it holds its content.
/// Platform-specific.
void FinishCreatedTarget(const Replacement& impl, const FileOwner& created);

/// Opens the file of a load; a rewrite a crash stopped is repaired first, or, where this user
/// may not repair it, its backup is what the load reads. Sets locked to the length of the
/// load's lock. Platform-specific: OpenLoadTarget.
[[nodiscard]] FileOwner OpenForLoad(const NativeString& path, std::uint64_t& locked);

/// Opens the file at path as a load reads it (following links). Platform-specific.
[[nodiscard]] FileOwner OpenLoadTarget(const NativeString& path);

/// Opens name in folder for a repair, following a link only as a save would: for reading and
/// writing where this user may (writable then true), else for reading; an empty owner when
/// there is no such file or the link is not followed. Platform-specific.
[[nodiscard]] FileOwner OpenForRepair(const FolderOwner& folder, const NativeString& name,
                                      bool& writable);

/// True when a published backup may stand for target: a regular file with one name, made by
/// the current user or by the target's owner, that nobody else may write. Platform-specific.
[[nodiscard]] bool BackupBelongsTo(const FileOwner& backup, const FileOwner& target) noexcept;

} // namespace internal
} // namespace tamsrove::platform
