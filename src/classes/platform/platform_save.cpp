// The replacing save, the same on every platform: the temporary file, the choice between the
// atomic rename and the rewrite in place, the backup that makes the rewrite safe (even against
// a crash), and the removal of what crashed saves left behind.
#include "classes/platform/platform_internal.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace tamsrove::platform {
namespace internal {
namespace {

// The test seam's one switch; product code never sets it.
std::atomic<detail::SaveStep> g_fault{// NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
                                      detail::SaveStep::None};

// A save's work files are its temporary file and its backup. They lie beside the target (or in
// the user's temporary folder) and are named after it and the saving process:
// ".NAME.tamsrove-PID-N.tmp" and ".NAME.tamsrove-PID-N.bak", the backup published as
// ".NAME.tamsrove-backup" (in the user's temporary folder, named after the target's identity
// instead of NAME).

// Names tried for a new temporary or backup before giving up.
constexpr int kNameAttempts = 100;
// Copies go through a buffer of this size.
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;
// A work file's name carries at most this much of the target's name, so that it stays within
// the system's limit on name lengths; a longer name is cut and followed by a digest of the
// whole name, so that two names alike in their first part still get work files of their own.
constexpr std::size_t kMaxShownName = 64;
// What the published backup of a rewrite in place is called after the work files' prefix.
constexpr std::string_view kBackupSuffix = "backup";

// What a work file of a save holds.
enum class WorkFileKind { Temporary, Backup };

NativeString FromAscii(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

// FNV-1a over the name's code units, as 16 hex digits.
NativeString DigestOf(const NativeString& name) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const auto unit : name) {
        hash = (hash ^ static_cast<std::uint64_t>(
                           static_cast<std::make_unsigned_t<NativeString::value_type>>(unit))) *
               1099511628211ULL;
    }
    constexpr std::string_view hex = "0123456789abcdef";
    std::string digits(16, '0');
    for (std::size_t i = 16; i-- > 0; hash >>= 4) {
        digits[i] = hex[hash & 0xF];
    }
    return FromAscii(digits);
}

// ".NAME.tamsrove-": what every work file of the file called name begins with. A cut name ends
// at a whole character (never inside a UTF-8 sequence or a surrogate pair) and carries the
// whole name's digest.
NativeString WorkFilePrefix(const NativeString& name) {
    NativeString shown = name;
    if (shown.size() > kMaxShownName) {
        std::size_t cut = kMaxShownName;
        while (cut > 0 && ((sizeof(shown[0]) == 1 && (shown[cut] & 0xC0) == 0x80) ||
                           (sizeof(shown[0]) == 2 && (shown[cut] & 0xFC00) == 0xDC00))) {
            --cut;
        }
        shown.resize(cut);
        shown += FromAscii("~") + DigestOf(name);
    }
    return FromAscii(".") + shown + FromAscii(".tamsrove-");
}

// The process id of a work file whose name after the prefix is exactly "PID-N.tmp" or
// "PID-N.bak"; 0 for any other name.
std::uint32_t ProcessOfWorkFile(const NativeString& rest) {
    std::uint64_t pid = 0;
    std::size_t i = 0;
    for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && pid <= UINT32_MAX; ++i) {
        pid = pid * 10 + static_cast<std::uint64_t>(rest[i] - '0');
    }
    if (i == 0 || i >= rest.size() || rest[i] != '-' || pid > UINT32_MAX) {
        return 0;
    }
    std::size_t j = i + 1;
    while (j < rest.size() && rest[j] >= '0' && rest[j] <= '9') {
        ++j;
    }
    const NativeString suffix = rest.substr(j);
    const bool well_formed =
        j > i + 1 && (suffix == FromAscii(".tmp") || suffix == FromAscii(".bak"));
    return well_formed ? static_cast<std::uint32_t>(pid) : 0;
}

// Where the backup of a rewrite in place is published: beside the target under its name, or,
// when the target's folder takes no new files, in the user's temporary folder under the file's
// identity.
NativeString BackupName(const NativeString& name) {
    return WorkFilePrefix(name) + FromAscii(kBackupSuffix);
}

// Copies length bytes from the start of one file to the start of another. With fail_half_way
// it stops with a failure after half of them, as a disk that fills up would.
void CopyContent(const FileOwner& from, const FileOwner& to, std::uint64_t length,
                 bool fail_half_way = false) {
    std::vector<char> buffer(kCopyBlock);
    const std::uint64_t stop = fail_half_way ? length / 2 : length;
    std::uint64_t done = 0;
    while (done < stop) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, stop - done));
        const std::size_t got = ReadAt(from, done, buffer.data(), want);
        if (got == 0) {
            throw std::system_error(std::make_error_code(std::errc::io_error), "file shrank");
        }
        WriteAt(to, done, buffer.data(), got);
        done += got;
    }
    if (fail_half_way) {
        InjectFault(detail::SaveStep::Rewrite);
    }
}

// Makes target hold exactly the backup's content, on the disk.
void CopyBack(const FileOwner& backup, const FileOwner& target) {
    const std::uint64_t length = LengthOf(backup);
    CopyContent(backup, target, length);
    SetLength(target, length);
    FlushToDisk(target);
}

// Creates a new work file of the file called name in folder, named after it and this process,
// and stores its name in work_name. It takes the security of like where given (Windows).
FileOwner CreateWorkFile(const FolderOwner& folder, const NativeString& name, WorkFileKind kind,
                         NativeString& work_name, const FileOwner* like) {
    static std::atomic<unsigned> counter{0};
    const NativeString stem =
        WorkFilePrefix(name) + FromAscii(std::to_string(CurrentProcessId()) + "-");
    const NativeString suffix = FromAscii(kind == WorkFileKind::Temporary ? ".tmp" : ".bak");
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        work_name = stem;
        work_name += FromAscii(std::to_string(counter.fetch_add(1)));
        work_name += suffix;
        FileOwner file = CreateNewFileIn(folder, work_name, like);
        if (file) {
            return file;
        }
    }
    work_name.clear();
    throw std::system_error(std::make_error_code(std::errc::file_exists), "create temporary");
}

// The published backup of a rewrite in place: its presence says that the target may hold a
// mix of old and new content.
class Backup {
public:
    Backup(const FolderOwner& folder, NativeString name)
        : folder_(folder), name_(std::move(name)) {}
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;
    Backup(Backup&&) = delete;
    Backup& operator=(Backup&&) = delete;
    ~Backup() = default; // a backup still held stays: it may be the only whole copy

    /// Copies the target's content to a new exclusive file, puts it on the disk and only then
    /// publishes it under the backup's name.
    void Make(const FileOwner& target, std::uint64_t length, const NativeString& target_name) {
        InjectFault(detail::SaveStep::Backup);
        NativeString staged;
        file_ = CreateWorkFile(folder_, target_name, WorkFileKind::Backup, staged, &target);
        try {
            CopyContent(target, file_, length);
            FlushToDisk(file_);
            if (!PublishUnder(folder_, staged, name_, file_)) {
                throw std::system_error(std::make_error_code(std::errc::file_exists), "backup");
            }
        } catch (...) {
            RemoveIfSame(folder_, staged, file_);
            file_.reset();
            throw;
        }
        FlushFolder(folder_);
    }

    /// Puts the old content back into target; true when it is whole again. Should even that
    /// fail, the backup stays published: it is then the only whole copy of the old file.
    [[nodiscard]] bool Restore(const FileOwner& target) noexcept {
        try {
            CopyBack(file_, target);
            return true;
        } catch (const std::exception&) {
            return false; // the next load or save of the file tries again
        }
    }

    /// Removes the backup once the target is whole on the disk.
    void Remove() noexcept {
        if (file_) {
            RemoveIfSame(folder_, name_, file_);
            FlushFolder(folder_);
            file_.reset();
        }
    }

private:
    const FolderOwner& folder_;
    NativeString name_;
    FileOwner file_;
};

// Repairs target (held under the rewrite lock) from a published backup in folder that a save
// which no longer runs left behind. A backup this user did not make, nor the file's owner, is
// not trusted with the file's content.
void RepairLocked(const FolderOwner& folder, const NativeString& backup_name,
                  const FileOwner& target) {
    const FileOwner backup = OpenExistingIn(folder, backup_name);
    if (!backup || !BackupBelongsTo(backup, target)) {
        return;
    }
    CopyBack(backup, target);
    RemoveIfSame(folder, backup_name, backup);
    FlushFolder(folder);
}

void Overwrite(const FileOwner& target, const FileOwner& content, std::uint64_t length) {
    InjectFault(detail::SaveStep::Reserve);
    Reserve(target, length);
    CopyContent(content, target, length, FaultAt(detail::SaveStep::Rewrite));
    SetLength(target, length);
    InjectFault(detail::SaveStep::RewriteFlush);
    FlushToDisk(target);
}

// The backup's name for a rewrite of target working in impl's work folder.
NativeString BackupNameFor(const Replacement& impl, const FileOwner& target) {
    return BackupName(impl.work_elsewhere ? IdentityOf(target) : impl.name);
}

// The rewrite in place reads the new content from the temporary file it still holds open.
void RewriteInPlace(Replacement& impl) {
    const std::uint64_t new_length = LengthOf(impl.file);
    const FileOwner target = OpenForRewrite(impl);
    const RewriteLock lock(target);
    const NativeString backup_name = BackupNameFor(impl, target);
    RepairLocked(impl.WorkFolder(), backup_name, target); // a crashed save's backup comes first
    Backup backup(impl.WorkFolder(), backup_name);
    backup.Make(target, LengthOf(target), impl.name);
    try {
        Overwrite(target, impl.file, new_length);
        if (impl.create_target) {
            FinishCreatedTarget(impl, target);
        }
    } catch (...) {
        if (backup.Restore(target)) {
            backup.Remove();
            if (impl.create_target) {
                RemoveCreatedTarget(impl, target);
            }
        }
        throw;
    }
    backup.Remove();
}

// Removes the work files of the file called name in folder that crashed saves left behind:
// those whose process no longer runs. The published backup of a rewrite is never among them.
void RemoveFilesOfEndedSaves(const FolderOwner& folder, const NativeString& name) noexcept {
    try {
        const NativeString prefix = WorkFilePrefix(name);
        for (const NativeString& found : NamesStartingWith(folder, prefix)) {
            const std::uint32_t pid = ProcessOfWorkFile(found.substr(prefix.size()));
            if (pid != 0 && pid != CurrentProcessId() && !ProcessMayRun(pid)) {
                RemoveOwnWorkFile(folder, found);
            }
        }
    } catch (const std::exception&) {
        // Tidying up is a courtesy: the save itself has succeeded.
    }
}

} // namespace

NativeString NameOf(const NativeString& path) {
    return path.substr(FolderOf(path).size());
}

std::uint64_t LockForLoad(const FileOwner& file) {
    std::uint64_t length = 1;
    try {
        length = std::max(LengthOf(file), length);
    } catch (const std::system_error&) {
        return 0; // a pipe or a device has no length, and takes no lock either
    }
    return LockRange(file, false, length) ? length : 0;
}

void InjectFault(detail::SaveStep step) {
    if (FaultAt(step)) {
        throw std::system_error(std::make_error_code(std::errc::io_error), "injected failure");
    }
}

bool FaultAt(detail::SaveStep step) noexcept {
    return step != detail::SaveStep::None && g_fault.load() == step;
}

bool RepairInterruptedRewrite(const FolderOwner& folder, const NativeString& name,
                              FileOwner& backup) {
    const NativeString backup_name = BackupName(name);
    FileOwner found = OpenExistingIn(folder, backup_name);
    if (!found) {
        return false;
    }
    bool writable = false;
    const FileOwner target = OpenForRepair(folder, name, writable);
    if (!target || !BackupBelongsTo(found, target)) {
        return false;
    }
    if (!writable) {
        backup = std::move(found);
        return true;
    }
    // A save still running holds the lock and removes its backup before it lets go.
    const RewriteLock lock(target);
    RepairLocked(folder, backup_name, target);
    return false;
}

FileOwner OpenForLoad(const NativeString& path, std::uint64_t& locked) {
    FileOwner file = OpenLoadTarget(path);
    locked = LockForLoad(file);
    if (!IsRegularFile(file)) {
        return file;
    }
    const NativeString name = NameOf(path);
    FolderOwner folder;
    try {
        folder = OpenFolder(FolderOf(path));
    } catch (const std::system_error&) {
        return file; // a folder this user may only pass through holds no backup of ours
    }
    if (!OpenExistingIn(folder, BackupName(name))) {
        return file; // no rewrite of this name was stopped half-way
    }
    if (locked != 0) {
        UnlockRange(file, locked);
        locked = 0;
    }
    file.reset();
    FileOwner backup;
    if (RepairInterruptedRewrite(folder, name, backup)) {
        return backup; // the whole old content, which this user may not write back
    }
    file = OpenLoadTarget(path);
    locked = LockForLoad(file);
    return file;
}

void BeginReplacement(Replacement& impl, std::u16string_view path) {
    impl.target = ToNativePath(path);
    impl.name = NameOf(impl.target);
    impl.folder = OpenFolder(FolderOf(impl.target));
    FileOwner unused;
    // Only a load serves the backup instead; a save goes on and fails at the file if need be.
    static_cast<void>(RepairInterruptedRewrite(impl.folder, impl.name, unused));
}

void StartReplacement(Replacement& impl, SaveMethod method, bool may_leave_folder) {
    impl.method = method;
    const FileOwner* like = impl.held_target ? &impl.held_target : nullptr;
    try {
        impl.file =
            CreateWorkFile(impl.folder, impl.name, WorkFileKind::Temporary, impl.temp_name, like);
        return;
    } catch (const std::system_error& error) {
        if (!IsRefusal(error) || !may_leave_folder) {
            throw;
        }
    }
    impl.method = SaveMethod::InPlace; // the folder takes no new files: nothing can be renamed
    impl.work_elsewhere = true;
    impl.work_folder = OpenFolder(UserTempFolder());
    impl.file =
        CreateWorkFile(impl.work_folder, impl.name, WorkFileKind::Temporary, impl.temp_name, like);
}

} // namespace internal

detail::SaveStep detail::SetSaveFault(SaveStep step) noexcept {
    return internal::g_fault.exchange(step);
}

void OutputFile::Write(const void* data, std::size_t size) {
    if (impl_->method != internal::SaveMethod::Direct) {
        internal::InjectFault(detail::SaveStep::Stage);
    }
    internal::WriteAll(impl_->file, data, size);
}

void OutputFile::Commit() {
    Impl& impl = *impl_;
    if (impl.method == internal::SaveMethod::Direct) {
        internal::CloseChecked(impl.file);
        return;
    }
    if (impl.method == internal::SaveMethod::Atomic) {
        internal::InjectFault(detail::SaveStep::StageFlush);
        internal::FlushToDisk(impl.file);
    }
    if (impl.method == internal::SaveMethod::Atomic && internal::PublishAtomically(impl)) {
        impl.temp_name.clear();
    } else {
        internal::RewriteInPlace(impl);
        internal::RemoveIfSame(impl.WorkFolder(), impl.temp_name, impl.file);
        impl.temp_name.clear();
        impl.file.reset();
    }
    internal::RemoveFilesOfEndedSaves(impl.folder, impl.name);
    if (impl.work_elsewhere) {
        internal::RemoveFilesOfEndedSaves(impl.work_folder, impl.name);
    }
}

} // namespace tamsrove::platform
