// The platform seam's files on Win32: wide file APIs, and MoveFileExW for atomic replacement.
#include "platform_internal.h"

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <utility>

namespace tamsrove::platform {

namespace internal {

void ThrowLastError(const char* what) {
    ThrowSystemError(static_cast<int>(::GetLastError()), what);
}

// The wide APIs stop at U+0000, so a path holding one would name another file.
NativeString ToNativePath(std::u16string_view path) {
    if (path.empty()) {
        ThrowSystemError(ERROR_PATH_NOT_FOUND, "empty path");
    }
    if (path.find(u'\0') != std::u16string_view::npos) {
        ThrowSystemError(ERROR_INVALID_NAME, "path holds U+0000");
    }
    return {path.begin(), path.end()};
}

FileOwner CreateNewFile(const NativeString& path) {
    FileOwner file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0 /* no sharing */, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            ThrowSystemError(static_cast<int>(error), "create temporary");
        }
    }
    return file;
}

void RemoveFileQuietly(const NativeString& path) noexcept {
    ::DeleteFileW(path.c_str());
}

std::uint32_t CurrentProcessId() noexcept {
    return ::GetCurrentProcessId();
}

} // namespace internal

namespace {

using internal::ThrowLastError;

[[noreturn]] void ThrowWin32(DWORD error, const char* what) {
    internal::ThrowSystemError(static_cast<int>(error), what);
}

// The folder part of a path with its trailing separator, or the drive of "C:name"; empty for
// a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos) {
        return path.substr(0, separator + 1);
    }
    if (path.size() >= 2 && path[1] == L':') {
        return path.substr(0, 2);
    }
    return {};
}

enum class TargetKind { Missing, RegularFile, Folder, Device };

// What a replacement would replace. The open asks for attributes only, which no share mode of
// another handle can refuse.
TargetKind ClassifyTarget(const std::wstring& path, DWORD& attributes) {
    unique_hfile handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return TargetKind::Missing;
        }
        ThrowWin32(error, "open target");
    }
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
        return TargetKind::Device;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) {
        ThrowLastError("query target");
    }
    attributes = info.dwFileAttributes;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TargetKind::Folder
                                                        : TargetKind::RegularFile;
}

// Closes now and reports the result: a delayed write error can surface here.
void CloseChecked(unique_hfile& file) {
    if (!::CloseHandle(file.release())) {
        ThrowLastError("close");
    }
}

} // namespace

// --- Folders ------------------------------------------------------------------------------------

char16_t PathSeparator() noexcept {
    return u'\\';
}

std::u16string ApplicationFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            ThrowLastError("GetModuleFileNameW");
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        // A full buffer means the name was cut short: ask again with more room.
        if (buffer.size() >= 0x10000) {
            ThrowWin32(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
        }
        buffer.resize(buffer.size() * 2);
    }
    std::wstring folder = FolderOf(buffer);
    if (folder.empty()) {
        ThrowWin32(ERROR_PATH_NOT_FOUND, "program path has no folder");
    }
    // "C:\" keeps its separator: "C:" alone would mean the drive's current folder.
    if (folder.size() > 1 && folder[folder.size() - 2] != L':' &&
        (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return {folder.begin(), folder.end()};
}

// --- Files ---------------------------------------------------------------------------------------

std::optional<std::uint64_t> FileLengthByName(std::u16string_view path) noexcept {
    try {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(internal::ToNativePath(path).c_str(), GetFileExInfoStandard,
                                    &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return std::nullopt;
        }
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

InputFile::InputFile(std::u16string_view path) : impl_(std::make_unique<Impl>()) {
    impl_->file.reset(::CreateFileW(internal::ToNativePath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!impl_->file) {
        ThrowLastError("open for reading");
    }
}
std::optional<std::uint64_t> InputFile::RegularFileLength() const {
    if (::GetFileType(impl_->file.get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(impl_->file.get(), &size)) {
        ThrowLastError("GetFileSizeEx");
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t InputFile::ReadSome(void* buffer, std::size_t size) {
    DWORD got = 0;
    const auto request = static_cast<DWORD>(std::min(size, std::size_t{1} << 30));
    if (!::ReadFile(impl_->file.get(), buffer, request, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            return 0; // the writing end is gone: that is the end of the data
        }
        ThrowWin32(error, "ReadFile");
    }
    return got;
}

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = internal::ToNativePath(path);
    DWORD attributes = 0;
    switch (ClassifyTarget(impl->target, attributes)) {
    case TargetKind::Device:
        // A device (NUL, CON, a pipe) cannot be renamed over; it takes the bytes directly.
        impl->file.reset(::CreateFileW(impl->target.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!impl->file) {
            ThrowLastError("open device");
        }
        return OutputFile(std::move(impl));
    case TargetKind::Folder:
        ThrowWin32(ERROR_ACCESS_DENIED, "target is a folder");
    case TargetKind::RegularFile:
        // A read-only file refuses to be replaced, as it refuses to be opened for writing.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ThrowWin32(ERROR_ACCESS_DENIED, "target is read-only");
        }
        impl->kept_attributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        break;
    case TargetKind::Missing:
        break;
    }
    impl->file = internal::CreateTemporary(FolderOf(impl->target), impl->temp_path);
    return OutputFile(std::move(impl));
}

OutputFile OutputFile::Append(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = internal::ToNativePath(path);
    impl->file.reset(::CreateFileW(impl->target.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!impl->file) {
        ThrowLastError("open for appending");
    }
    if (::GetFileType(impl->file.get()) == FILE_TYPE_DISK &&
        !::SetFilePointerEx(impl->file.get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
        ThrowLastError("seek to end");
    }
    return OutputFile(std::move(impl));
}

void OutputFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const auto request = static_cast<DWORD>(std::min(size, std::size_t{1} << 30));
        DWORD written = 0;
        if (!::WriteFile(impl_->file.get(), bytes, request, &written, nullptr)) {
            ThrowLastError("WriteFile");
        }
        if (written == 0) {
            ThrowWin32(ERROR_WRITE_FAULT, "WriteFile");
        }
        bytes += written;
        size -= written;
    }
}

void OutputFile::Commit() {
    Impl& impl = *impl_;
    if (impl.temp_path.empty()) {
        CloseChecked(impl.file);
        return;
    }
    if (!::FlushFileBuffers(impl.file.get())) {
        ThrowLastError("FlushFileBuffers");
    }
    CloseChecked(impl.file);
    if (impl.kept_attributes != 0 &&
        !::SetFileAttributesW(impl.temp_path.c_str(), impl.kept_attributes)) {
        ThrowLastError("SetFileAttributesW");
    }
    if (!::MoveFileExW(impl.temp_path.c_str(), impl.target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ThrowLastError("MoveFileExW");
    }
    impl.temp_path.clear();
}

} // namespace tamsrove::platform
