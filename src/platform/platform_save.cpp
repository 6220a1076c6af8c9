// The replacing save, the same on every platform: the temporary file, the choice between the
// atomic rename and the rewrite in place, the backup that makes the rewrite safe, and the
// removal of what crashed saves left behind.
#include "platform_internal.h"

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

// Names tried for a new temporary or backup before giving up.
constexpr int kLeftoverAttempts = 100;
// Copies go through a buffer of this size.
constexpr std::size_t kCopyBlock = std::size_t{1} << 20;
// A leftover's name carries at most this much of the target's name, so that it stays within
// the system's limit on name lengths.
constexpr std::size_t kMaxNameInLeftover = 64;

NativeString FromAscii(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

NativeString NameOf(const NativeString& path) {
    return path.substr(FolderOf(path).size());
}

// ".NAME.tamsrove-": what every leftover of target begins with. A cut name ends at a whole
// character (never inside a UTF-8 sequence or a surrogate pair).
NativeString LeftoverPrefix(const NativeString& target) {
    NativeString name = NameOf(target);
    if (name.size() > kMaxNameInLeftover) {
        std::size_t cut = kMaxNameInLeftover;
        while (cut > 0 && ((sizeof(name[0]) == 1 && (name[cut] & 0xC0) == 0x80) ||
                           (sizeof(name[0]) == 2 && (name[cut] & 0xFC00) == 0xDC00))) {
            --cut;
        }
        name.resize(cut);
    }
    return FromAscii(".") + name + FromAscii(".tamsrove-");
}

// The process id in a leftover's name after the prefix ("1234-7.tmp"); 0 when it has none.
std::uint32_t ProcessOfLeftover(const NativeString& rest) {
    std::uint64_t pid = 0;
    std::size_t i = 0;
    for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && pid <= UINT32_MAX; ++i) {
        pid = pid * 10 + static_cast<std::uint64_t>(rest[i] - '0');
    }
    const bool well_formed = i > 0 && i < rest.size() && rest[i] == '-' && pid <= UINT32_MAX;
    return well_formed ? static_cast<std::uint32_t>(pid) : 0;
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

// A copy of the target's old content, deleted when the save is done with it.
struct Backup {
    FileOwner file;
    NativeString path;
    Backup() = default;
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;
    Backup(Backup&&) = delete;
    Backup& operator=(Backup&&) = delete;
    ~Backup() {
        if (!path.empty()) {
            file.reset();
            RemoveFileQuietly(path);
        }
    }
};

void MakeBackup(const FileOwner& target, std::uint64_t length, const Replacement& impl,
                Backup& backup) {
    InjectFault(detail::SaveStep::Backup);
    backup.file = CreateLeftover(impl.work_folder, impl.target, LeftoverKind::Backup, backup.path);
    CopyContent(target, backup.file, length);
    FlushToDisk(backup.file);
}

void Overwrite(const FileOwner& target, const FileOwner& content, std::uint64_t length) {
    InjectFault(detail::SaveStep::Reserve);
    Reserve(target, length);
    CopyContent(content, target, length, FaultAt(detail::SaveStep::Rewrite));
    SetLength(target, length);
    InjectFault(detail::SaveStep::RewriteFlush);
    FlushToDisk(target);
}

// Puts the old content back. Should even that fail, the backup stays where it is: it is then
// the only whole copy of the old file.
void Restore(const FileOwner& target, Backup& backup, std::uint64_t length) noexcept {
    try {
        if (length > 0) {
            CopyContent(backup.file, target, length);
        }
        SetLength(target, length);
        FlushToDisk(target);
    } catch (const std::exception&) {
        backup.path.clear();
    }
}

void RewriteInPlace(Replacement& impl) {
    const FileOwner content = OpenForReading(impl.temp_path);
    const std::uint64_t new_length = LengthOf(content);
    const FileOwner target = OpenForRewrite(impl);
    const RewriteLock lock(target);
    const std::uint64_t old_length = LengthOf(target);
    Backup backup;
    if (old_length > 0) {
        MakeBackup(target, old_length, impl, backup);
    }
    try {
        Overwrite(target, content, new_length);
    } catch (...) {
        Restore(target, backup, old_length);
        if (impl.create_target) {
            RemoveCreatedTarget(impl);
        }
        throw;
    }
}

} // namespace

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

FileOwner CreateLeftover(const NativeString& folder, const NativeString& target, LeftoverKind kind,
                         NativeString& path) {
    static std::atomic<unsigned> counter{0};
    const NativeString stem =
        folder + LeftoverPrefix(target) + FromAscii(std::to_string(CurrentProcessId()) + "-");
    const NativeString suffix = FromAscii(kind == LeftoverKind::Temporary ? ".tmp" : ".bak");
    for (int attempt = 0; attempt < kLeftoverAttempts; ++attempt) {
        path = stem;
        path += FromAscii(std::to_string(counter.fetch_add(1)));
        path += suffix;
        FileOwner file = CreateNewFile(path, kind == LeftoverKind::Backup);
        if (file) {
            return file;
        }
    }
    path.clear();
    throw std::system_error(std::make_error_code(std::errc::file_exists), "create temporary");
}

void RemoveDeadLeftovers(const NativeString& folder, const NativeString& target) noexcept {
    try {
        const NativeString prefix = LeftoverPrefix(target);
        for (const NativeString& name : NamesStartingWith(folder, prefix)) {
            const std::uint32_t pid = ProcessOfLeftover(name.substr(prefix.size()));
            if (pid != 0 && pid != CurrentProcessId() && !ProcessMayRun(pid)) {
                RemoveFileQuietly(folder + name);
            }
        }
    } catch (const std::exception&) {
        // Tidying up is a courtesy: the save itself has succeeded.
    }
}

void StartReplacement(Replacement& impl, SaveRoad road, bool may_leave_folder) {
    impl.road = road;
    impl.work_folder = FolderOf(impl.target);
    try {
        impl.file =
            CreateLeftover(impl.work_folder, impl.target, LeftoverKind::Temporary, impl.temp_path);
        return;
    } catch (const std::system_error& error) {
        if (!IsRefusal(error) || !may_leave_folder) {
            throw;
        }
    }
    impl.road = SaveRoad::InPlace; // the folder takes no new files: nothing can be renamed
    impl.work_folder = UserTempFolder();
    impl.file =
        CreateLeftover(impl.work_folder, impl.target, LeftoverKind::Temporary, impl.temp_path);
}

} // namespace internal

detail::SaveStep detail::SetSaveFault(SaveStep step) noexcept {
    return internal::g_fault.exchange(step);
}

void OutputFile::Write(const void* data, std::size_t size) {
    if (impl_->road != internal::SaveRoad::Direct) {
        internal::InjectFault(detail::SaveStep::Stage);
    }
    internal::WriteAll(impl_->file, data, size);
}

void OutputFile::Commit() {
    Impl& impl = *impl_;
    if (impl.road == internal::SaveRoad::Direct) {
        internal::CloseChecked(impl.file);
        return;
    }
    if (impl.road == internal::SaveRoad::Atomic) {
        internal::InjectFault(detail::SaveStep::StageFlush);
        internal::FlushToDisk(impl.file);
    }
    internal::CloseChecked(impl.file);
    if (impl.road == internal::SaveRoad::Atomic && internal::PublishAtomically(impl)) {
        impl.temp_path.clear();
    } else {
        internal::RewriteInPlace(impl);
        impl.file.reset();
        internal::RemoveFileQuietly(impl.temp_path);
        impl.temp_path.clear();
    }
    internal::RemoveDeadLeftovers(internal::FolderOf(impl.target), impl.target);
    if (impl.work_folder != internal::FolderOf(impl.target)) {
        internal::RemoveDeadLeftovers(impl.work_folder, impl.target);
    }
}

} // namespace tamsrove::platform
