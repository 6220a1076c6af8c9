// The replacing save on Win32: ReplaceFileW (which keeps the file's attributes, security,
// streams and identity) where nothing holds the target, MoveFileExW for a new file, and the
// folder and process queries that the shared save code needs.
#include "platform_internal.h"

#include <windows.h>

#include <utility>

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

std::vector<NativeString> NamesStartingWith(const NativeString& folder,
                                            const NativeString& prefix) {
    std::vector<NativeString> names;
    WIN32_FIND_DATAW found{};
    const NativeString pattern = folder + prefix + L"*";
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring_view name(found.cFileName);
        if (name.starts_with(prefix)) { // the pattern also matches short 8.3 names
            names.emplace_back(name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

FileOwner OpenForRewrite(const Replacement& impl) {
    // OPEN_ALWAYS follows a dangling link and creates its target, as a shell redirect does.
    FileOwner file(::CreateFileW(impl.target.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                 nullptr, impl.create_target ? OPEN_ALWAYS : OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ThrowLastError("open for rewriting"); // another handle that denies writing ends here
    }
    return file;
}

void RemoveCreatedTarget(const Replacement& impl) noexcept {
    // Opened through the link, so that the file it created goes and the link stays.
    const unique_hfile created(::CreateFileW(impl.target.c_str(), DELETE, kShareAll, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
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

bool MoveIntoPlace(const Replacement& impl, DWORD flags) {
    if (::MoveFileExW(impl.temp_path.c_str(), impl.target.c_str(),
                      flags | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || IsHeld(error)) {
        return false; // created meanwhile, or held: it is rewritten in place instead
    }
    ThrowSystemError(static_cast<int>(error), "MoveFileExW");
}

} // namespace

bool PublishAtomically(Replacement& impl) {
    if (impl.kept_attributes != 0 &&
        !::SetFileAttributesW(impl.temp_path.c_str(), impl.kept_attributes)) {
        ThrowLastError("SetFileAttributesW");
    }
    InjectFault(detail::SaveStep::Publish);
    if (!Exists(impl.target)) {
        return MoveIntoPlace(impl, 0);
    }
    if (ReplaceIsBlocked(impl.target)) {
        return false;
    }
    if (UnderWine()) {
        return MoveIntoPlace(impl, MOVEFILE_REPLACE_EXISTING);
    }
    if (::ReplaceFileW(impl.target.c_str(), impl.temp_path.c_str(), nullptr,
                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && !Exists(impl.target)) {
        return MoveIntoPlace(impl, 0); // the old file is gone already: the new one takes its name
    }
    if (IsHeld(error) || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        return false;
    }
    ThrowSystemError(static_cast<int>(error), "ReplaceFileW");
}

} // namespace internal
} // namespace tamsrove::platform

namespace tamsrove::platform {
namespace {

using internal::SaveRoad;
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

// A name that the system resolves to another file: a reparse point (a symbolic link or a
// junction), or, under Wine, a Unix symbolic link, which shows only in the final path.
bool IsLink(HANDLE handle, const std::wstring& path) {
    const DWORD own = ::GetFileAttributesW(path.c_str());
    if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return true;
    }
    const std::wstring final_path = WithoutLongPrefix(QueryPath([&](wchar_t* out, DWORD size) {
        return ::GetFinalPathNameByHandleW(handle, out, size, 0);
    }));
    const std::wstring full_path = QueryPath([&](wchar_t* out, DWORD size) {
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
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TargetKind::DanglingLink
                                                                       : TargetKind::Missing;
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

} // namespace

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = internal::ToNativePath(path);
    const TargetInfo info = ClassifyTarget(impl->target);
    switch (info.kind) {
    case TargetKind::Device:
        OpenDevice(*impl);
        break;
    case TargetKind::Folder:
        ThrowSystemError(ERROR_ACCESS_DENIED, "target is a folder");
    case TargetKind::Missing:
        internal::StartReplacement(*impl, SaveRoad::Atomic, false);
        break;
    case TargetKind::DanglingLink:
        impl->create_target = true; // its target gets created, the link stays
        internal::StartReplacement(*impl, SaveRoad::InPlace, true);
        break;
    case TargetKind::RegularFile:
        // A read-only file refuses to be replaced, as it refuses to be opened for writing.
        if ((info.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ThrowSystemError(ERROR_ACCESS_DENIED, "target is read-only");
        }
        impl->kept_attributes = info.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        internal::StartReplacement(
            *impl, info.links > 1 || info.is_link ? SaveRoad::InPlace : SaveRoad::Atomic, true);
        break;
    }
    return OutputFile(std::move(impl));
}

} // namespace tamsrove::platform
