// The replacing save on Win32: ReplaceFileW (which keeps the file's attributes, security,
// streams and identity) where nothing holds the target, MoveFileExW for a new file, and the
// folder and process queries that the shared save code needs.
#include "classes/platform/platform_internal.h"

#include <windows.h>

#include <aclapi.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace tamsrove::platform {
namespace internal {

bool ProcessMayRun(std::uint32_t pid) noexcept {
    const unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        return ::GetLastError() != ERROR_INVALID_PARAMETER; // no such process: it has ended
    }
    DWORD code = 0;
    return !::GetExitCodeProcess(process.get(), &code) || code == STILL_ACTIVE;
}

bool IsRefusal(const std::system_error& error) noexcept {
    const int code = error.code().value();
    return error.code().category() == std::system_category() &&
           (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT);
}

// The folder part of a path with its trailing separator, or the drive of "C:name".
NativeString FolderOf(const NativeString& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos) {
        return path.substr(0, separator + 1);
    }
    if (path.size() >= 2 && path[1] == L':') {
        return path.substr(0, 2);
    }
    return {};
}

NativeString UserTempFolder() {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length > buffer.size()) {
        ThrowLastError("GetTempPathW");
    }
    buffer.resize(length);
    return buffer;
}

std::vector<NativeString> NamesStartingWith(const FolderOwner& folder, const NativeString& prefix) {
    std::vector<NativeString> names;
    WIN32_FIND_DATAW found{};
    const NativeString pattern = folder + prefix + L"*";
    const unique_hfind search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search) {
        return names;
    }
    do {
        const std::wstring_view name(found.cFileName);
        if (name.starts_with(prefix)) { // the pattern also matches short 8.3 names
            names.emplace_back(name);
        }
    } while (::FindNextFileW(search.get(), &found));
    return names;
}

namespace {

// The current user's SID, as the process token holds it.
class CurrentUser {
public:
    CurrentUser() {
        HANDLE opened = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) {
            ThrowLastError("OpenProcessToken");
        }
        const unique_handle token(opened);
        DWORD size = 0;
        ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        buffer_.resize(size);
        if (size == 0 ||
            !::GetTokenInformation(token.get(), TokenUser, buffer_.data(), size, &size)) {
            ThrowLastError("GetTokenInformation");
        }
    }
    [[nodiscard]] PSID Sid() const {
        return reinterpret_cast<const TOKEN_USER*>(buffer_.data())->User.Sid;
    }

private:
    std::vector<BYTE> buffer_;
};

// The security a new temporary or backup gets: the DACL of the file it stands in for where that
// has its own, else one that grants the current user alone. Either is protected, so that the
// folder's inheritable entries add nobody.
class WorkFileSecurity {
public:
    explicit WorkFileSecurity(const FileOwner* like) {
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR found = nullptr;
        if (like != nullptr && *like &&
            ::GetSecurityInfo(like->get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &found) == ERROR_SUCCESS) {
            target_.reset(found);
        }
        if (dacl == nullptr) { // none, or a null DACL that lets everyone in
            const CurrentUser user;
            const DWORD size =
                sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(user.Sid());
            own_acl_.resize(size);
            dacl = reinterpret_cast<PACL>(own_acl_.data());
            if (!::InitializeAcl(dacl, size, ACL_REVISION) ||
                !::AddAccessAllowedAce(dacl, ACL_REVISION, FILE_ALL_ACCESS, user.Sid())) {
                ThrowLastError("InitializeAcl");
            }
        }
        if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !::SetSecurityDescriptorDacl(&descriptor_, TRUE, dacl, FALSE) ||
            !::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            ThrowLastError("SetSecurityDescriptorDacl");
        }
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    WorkFileSecurity(const WorkFileSecurity&) = delete;
    WorkFileSecurity& operator=(const WorkFileSecurity&) = delete;
    WorkFileSecurity(WorkFileSecurity&&) = delete;
    WorkFileSecurity& operator=(WorkFileSecurity&&) = delete;
    ~WorkFileSecurity() = default;

    [[nodiscard]] SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

private:
    unique_hlocal target_; // owns the target's descriptor, which holds its DACL
    std::vector<BYTE> own_acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

// A path that query (a call of the GetFullPathNameW kind) writes into a buffer; empty when it
// fails.
template <typename Query> std::wstring QueryPath(Query query) {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length >= buffer.size()) { // the size needed, with room for the terminator
        buffer.resize(length);
        length = query(buffer.data(), length);
    }
    if (length == 0 || length >= buffer.size()) {
        return {};
    }
    buffer.resize(length);
    return buffer;
}

// The full path of a name, as a rename through a handle takes it.
std::wstring QueryFullPath(const std::wstring& path) {
    std::wstring full = QueryPath([&](wchar_t* out, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, out, nullptr);
    });
    if (full.empty()) {
        ThrowLastError("GetFullPathNameW");
    }
    return full;
}

bool IsNameTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// The owner's SID of an open file, in its descriptor (freed with it); false when unknown.
bool OwnerOf(const FileOwner& file, unique_hlocal& descriptor, PSID& owner) {
    PSECURITY_DESCRIPTOR found = nullptr;
    owner = nullptr;
    if (::GetSecurityInfo(file.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &found) != ERROR_SUCCESS) {
        return false;
    }
    descriptor.reset(found);
    return owner != nullptr;
}

bool ByHandle(const FileOwner& file, BY_HANDLE_FILE_INFORMATION& info) {
    return file && ::GetFileInformationByHandle(file.get(), &info) != FALSE;
}

// Marks the open file for deletion when its last handle closes: it is the file held, whatever
// its name names now.
void DeleteOnClose(const FileOwner& file) noexcept {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

} // namespace

FolderOwner OpenFolder(const NativeString& folder) {
    return folder;
}

FileOwner CreateNewFileIn(const FolderOwner& folder, const NativeString& name,
                          const FileOwner* like) {
    WorkFileSecurity security(like);
    FileOwner file(::CreateFileW((folder + name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 0 /* no sharing */, security.Attributes(), CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && !IsNameTaken(::GetLastError())) {
        ThrowLastError("create temporary");
    }
    return file;
}

FileOwner OpenExistingIn(const FolderOwner& folder, const NativeString& name) {
    // With DELETE where this user may delete it, so that RemoveIfSame can remove this very file
    // (a repaired backup); read alone where not.
    const auto open = [path = folder + name](DWORD access) {
        return FileOwner(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    };
    FileOwner file = open(GENERIC_READ | DELETE);
    if (!file && ::GetLastError() == ERROR_ACCESS_DENIED) {
        file = open(GENERIC_READ);
    }
    return file && IsRegularFile(file) ? std::move(file) : FileOwner();
}

void RemoveIfSame(const FolderOwner& folder, const NativeString& name,
                  const FileOwner& file) noexcept {
    if (file) {
        DeleteOnClose(file);
    } else {
        ::DeleteFileW((folder + name).c_str()); // closed already: only its own unique name is left
    }
}

bool PublishUnder(const FolderOwner& folder, const NativeString& /*from: file's name*/,
                  const NativeString& to, const FileOwner& file) {
    // Renamed through the handle held, so that it is this file that takes the name.
    const std::wstring full = QueryFullPath(folder + to);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + full.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(full.size() * sizeof(wchar_t));
    std::copy(full.begin(), full.end(), static_cast<wchar_t*>(rename->FileName));
    if (!::SetFileInformationByHandle(file.get(), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size()))) {
        if (IsNameTaken(::GetLastError())) {
            return false;
        }
        ThrowLastError("rename");
    }
    return true;
}

void FlushFolder(const FolderOwner& /*folder*/) noexcept {
    // Windows has no call that flushes a folder. A move into place asks for
    // MOVEFILE_WRITE_THROUGH; a rename through a handle (PublishUnder) has no such flag, so the
    // file system decides when that new name reaches the disk.
}

void RemoveOwnWorkFile(const FolderOwner& folder, const NativeString& name) noexcept {
    const FileOwner file(
        ::CreateFileW((folder + name).c_str(), DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES,
                      kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    unique_hlocal descriptor;
    PSID owner = nullptr;
    try {
        const CurrentUser user;
        if (ByHandle(file, info) && info.nNumberOfLinks == 1 &&
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0 &&
            OwnerOf(file, descriptor, owner) && ::EqualSid(owner, user.Sid())) {
            DeleteOnClose(file);
        }
    } catch (const std::exception&) {
        // Tidying up is a courtesy: without the user's SID nothing is removed.
    }
}

NativeString IdentityOf(const FileOwner& file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!ByHandle(file, info)) {
        ThrowLastError("GetFileInformationByHandle");
    }
    wchar_t text[40] = {};
    std::swprintf(text, 40, L"%08lx-%08lx%08lx", info.dwVolumeSerialNumber, info.nFileIndexHigh,
                  info.nFileIndexLow);
    return text;
}

bool IsRegularFile(const FileOwner& file) noexcept {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(file.get()) == FILE_TYPE_DISK && ByHandle(file, info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool BackupBelongsTo(const FileOwner& backup, const FileOwner& target) noexcept {
    BY_HANDLE_FILE_INFORMATION info{};
    unique_hlocal backup_descriptor;
    unique_hlocal target_descriptor;
    PSID backup_owner = nullptr;
    PSID target_owner = nullptr;
    try {
        const CurrentUser user;
        return ByHandle(backup, info) && info.nNumberOfLinks == 1 &&
               OwnerOf(backup, backup_descriptor, backup_owner) &&
               (::EqualSid(backup_owner, user.Sid()) ||
                (OwnerOf(target, target_descriptor, target_owner) &&
                 ::EqualSid(backup_owner, target_owner)));
    } catch (const std::exception&) {
        return false; // without the user's SID no backup is trusted
    }
}

FileOwner OpenLoadTarget(const NativeString& path) {
    FileOwner file(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        ThrowLastError("open for reading");
    }
    return file;
}

FileOwner OpenForRepair(const FolderOwner& folder, const NativeString& name, bool& writable) {
    const NativeString path = folder + name;
    writable = true;
    FileOwner file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        writable = false;
        file.reset(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return file && IsRegularFile(file) ? std::move(file) : FileOwner();
}

FileOwner OpenForRewrite(Replacement& impl) {
    if (impl.held_for_rewrite) {
        return std::move(impl.held_target);
    }
    // A rename that something held at the last moment: the file is opened now.
    FileOwner file(::CreateFileW(impl.target.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ThrowLastError("open for rewriting"); // another handle that denies writing ends here
    }
    return file;
}

void RemoveCreatedTarget(const Replacement& /*impl*/, const FileOwner& created) noexcept {
    DeleteOnClose(created); // the file this save created, whatever the link names now
}

void FinishCreatedTarget(const Replacement& /*impl*/, const FileOwner& /*created*/) {
    // It was created with the folder's inherited security, as any new file is.
}

namespace {

// Whether another handle blocks renaming over the target: one that does not share deleting.
bool ReplaceIsBlocked(const std::wstring& target) {
    const unique_hfile probe(
        ::CreateFileW(target.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    return !probe && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A failure of ReplaceFileW that leaves the target whole and says that it is held.
bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_USER_MAPPED_FILE ||
           error == ERROR_LOCK_VIOLATION;
}

// Wine's ReplaceFileW moves the old file aside before it moves the new one in, so that for a
// moment there is no file at all (a load fails), and it leaves the old file behind when the
// second move fails. Its MoveFileExW is one rename(2), which is atomic.
bool UnderWine() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

bool MoveIntoPlace(const std::wstring& temp, const Replacement& impl, DWORD flags) {
    if (::MoveFileExW(temp.c_str(), impl.target.c_str(), flags | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (IsNameTaken(error) || IsHeld(error)) {
        return false; // created meanwhile, or held: it is rewritten in place instead
    }
    ThrowSystemError(static_cast<int>(error), "MoveFileExW");
}

// Puts the closed temporary file in place of the target; false when something holds the target.
bool MoveOrReplace(const std::wstring& temp, const Replacement& impl) {
    if (!Exists(impl.target)) {
        return MoveIntoPlace(temp, impl, 0);
    }
    if (UnderWine()) {
        return MoveIntoPlace(temp, impl, MOVEFILE_REPLACE_EXISTING);
    }
    if (::ReplaceFileW(impl.target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                       nullptr, nullptr)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && !Exists(impl.target)) {
        return MoveIntoPlace(temp, impl, 0); // the old file is gone already: the new one goes in
    }
    if (IsHeld(error) || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        return false;
    }
    ThrowSystemError(static_cast<int>(error), "ReplaceFileW");
}

} // namespace

bool PublishAtomically(Replacement& impl) {
    InjectFault(detail::SaveStep::Publish);
    impl.held_target.reset(); // held for its security only, which the temporary file has now
    if (Exists(impl.target) && ReplaceIsBlocked(impl.target)) {
        return false; // the temporary file stays open for the rewrite in place
    }
    // ReplaceFileW and MoveFileExW need the temporary file closed; should they still find the
    // target held, it is opened again and must be the very file closed.
    BY_HANDLE_FILE_INFORMATION staged{};
    if (!ByHandle(impl.file, staged)) {
        ThrowLastError("GetFileInformationByHandle");
    }
    CloseChecked(impl.file);
    const std::wstring temp = impl.WorkFolder() + impl.temp_name;
    if (impl.kept_attributes != 0 && !::SetFileAttributesW(temp.c_str(), impl.kept_attributes)) {
        ThrowLastError("SetFileAttributesW");
    }
    if (MoveOrReplace(temp, impl)) {
        return true;
    }
    impl.file.reset(::CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION reopened{};
    if (!ByHandle(impl.file, reopened) ||
        reopened.dwVolumeSerialNumber != staged.dwVolumeSerialNumber ||
        reopened.nFileIndexHigh != staged.nFileIndexHigh ||
        reopened.nFileIndexLow != staged.nFileIndexLow) {
        impl.file.reset();
        impl.temp_name.clear(); // the name holds another file now: not ours to remove
        ThrowSystemError(ERROR_FILE_INVALID, "temporary file replaced");
    }
    return false;
}

} // namespace internal
} // namespace tamsrove::platform

namespace tamsrove::platform {
namespace {

using internal::SaveMethod;
using internal::ThrowLastError;
using internal::ThrowSystemError;

enum class TargetKind { Missing, DanglingLink, RegularFile, Folder, Device };

struct TargetInfo {
    TargetKind kind = TargetKind::Missing;
    DWORD attributes = 0;
    DWORD links = 1;
    bool is_link = false;
};

// "\\?\C:\x" and "\\?\UNC\server\share\x" as GetFullPathNameW writes them.
std::wstring WithoutLongPrefix(std::wstring path) {
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        return L"\\\\" + path.substr(8);
    }
    return path.starts_with(L"\\\\?\\") ? path.substr(4) : path;
}

// A name that the system resolves to another file: a reparse point (a symbolic link or a
// junction), or, under Wine, a Unix symbolic link, which shows only in the final path.
bool IsLink(HANDLE handle, const std::wstring& path) {
    const DWORD own = ::GetFileAttributesW(path.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return true;
    }
    const std::wstring final_path =
        WithoutLongPrefix(internal::QueryPath([&](wchar_t* out, DWORD size) {
            return ::GetFinalPathNameByHandleW(handle, out, size, 0);
        }));
    const std::wstring full_path = internal::QueryPath([&](wchar_t* out, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, out, nullptr);
    });
    if (final_path.empty() || full_path.empty()) {
        return false; // cannot tell: the rename keeps what it can
    }
    return ::CompareStringOrdinal(final_path.c_str(), static_cast<int>(final_path.size()),
                                  full_path.c_str(), static_cast<int>(full_path.size()),
                                  TRUE) != CSTR_EQUAL;
}

// A name that no file answers to is either free or a dangling link, which refuses to be
// created anew. The probe deletes itself.
TargetKind ProbeMissing(const std::wstring& path) {
    const unique_hfile probe(::CreateFileW(path.c_str(), GENERIC_WRITE, internal::kShareAll,
                                           nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                                           nullptr));
    const DWORD error = probe ? ERROR_SUCCESS : ::GetLastError();
    return internal::IsNameTaken(error) ? TargetKind::DanglingLink : TargetKind::Missing;
}

// What a replacement would replace. The open asks for attributes only, which no share mode of
// another handle can refuse.
TargetInfo ClassifyTarget(const std::wstring& path) {
    unique_hfile handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, internal::kShareAll,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    TargetInfo info;
    if (!handle) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            ThrowSystemError(static_cast<int>(error), "open target");
        }
        info.kind = error == ERROR_FILE_NOT_FOUND ? ProbeMissing(path) : TargetKind::Missing;
        return info;
    }
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
        info.kind = TargetKind::Device;
        return info;
    }
    BY_HANDLE_FILE_INFORMATION file{};
    if (!::GetFileInformationByHandle(handle.get(), &file)) {
        ThrowLastError("query target");
    }
    info.attributes = file.dwFileAttributes;
    info.links = file.nNumberOfLinks;
    info.is_link = IsLink(handle.get(), path);
    info.kind = (info.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TargetKind::Folder
                                                                  : TargetKind::RegularFile;
    return info;
}

void OpenDevice(internal::Replacement& impl) {
    // A device (NUL, CON, a pipe) cannot be renamed over; it takes the bytes directly.
    impl.file.reset(::CreateFileW(impl.target.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!impl.file) {
        ThrowLastError("open device");
    }
}

// Holds the target open from the start: for the rewrite in place, which then writes the file
// that was looked at, or (for a rename) as the source of the temporary file's security.
void HoldTarget(internal::Replacement& impl, bool for_rewrite, DWORD disposition) {
    const DWORD access =
        for_rewrite ? GENERIC_READ | GENERIC_WRITE | DELETE : READ_CONTROL | FILE_READ_ATTRIBUTES;
    impl.held_target.reset(::CreateFileW(impl.target.c_str(), access, internal::kShareAll, nullptr,
                                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!impl.held_target && for_rewrite) {
        ThrowLastError("open for rewriting"); // another handle that denies writing ends here
    }
    impl.held_for_rewrite = for_rewrite && impl.held_target;
}

} // namespace

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    internal::BeginReplacement(*impl, path);
    const TargetInfo info = ClassifyTarget(impl->target);
    switch (info.kind) {
    case TargetKind::Device:
        OpenDevice(*impl);
        break;
    case TargetKind::Folder:
        ThrowSystemError(ERROR_ACCESS_DENIED, "target is a folder");
    case TargetKind::Missing:
        internal::StartReplacement(*impl, SaveMethod::Atomic, false);
        break;
    case TargetKind::DanglingLink:
        // OPEN_ALWAYS follows the link and creates its target, as a shell redirect does; the
        // link stays. Created now, it is the file a failure removes, whatever the link names then.
        HoldTarget(*impl, true, OPEN_ALWAYS);
        impl->create_target = ::GetLastError() != ERROR_ALREADY_EXISTS;
        internal::StartReplacement(*impl, SaveMethod::InPlace, true);
        break;
    case TargetKind::RegularFile:
        // A read-only file refuses to be replaced, as it refuses to be opened for writing.
        if ((info.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ThrowSystemError(ERROR_ACCESS_DENIED, "target is read-only");
        }
        impl->kept_attributes = info.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        const bool in_place = info.links > 1 || info.is_link;
        HoldTarget(*impl, in_place, OPEN_EXISTING);
        internal::StartReplacement(*impl, in_place ? SaveMethod::InPlace : SaveMethod::Atomic,
                                   true);
        break;
    }
    return OutputFile(std::move(impl));
}

} // namespace tamsrove::platform
