// The platform seam's files on Win32: wide file APIs, positioned reads and writes, and the
// byte-range locks that keep a load from seeing a rewrite in place half done.
#include "classes/platform/platform_internal.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace tamsrove::platform {
namespace internal {
namespace {

// One ReadFile or WriteFile moves at most this many bytes.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
// A lock held by someone else is asked for again until this long has passed.
constexpr std::chrono::seconds kLockWait{10};

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

} // namespace

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

std::uint32_t CurrentProcessId() noexcept {
    return ::GetCurrentProcessId();
}

std::uint64_t LengthOf(const FileOwner& file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        ThrowLastError("GetFileSizeEx");
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

void SetLength(const FileOwner& file, std::uint64_t length) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
        ThrowLastError("SetEndOfFile");
    }
}

// Setting the end of file allocates the room on NTFS; Wine implements no FileAllocationInfo.
void Reserve(const FileOwner& file, std::uint64_t length) {
    if (length > LengthOf(file)) {
        SetLength(file, length);
    }
}

std::size_t ReadAt(const FileOwner& file, std::uint64_t offset, void* buffer, std::size_t size) {
    OVERLAPPED at = At(offset);
    DWORD got = 0;
    const auto request = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::ReadFile(file.get(), buffer, request, &got, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) {
            return 0;
        }
        ThrowLastError("ReadFile");
    }
    return got;
}

void WriteAt(const FileOwner& file, std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED at = At(offset);
        DWORD written = 0;
        const auto request = static_cast<DWORD>(std::min(size, kMaxTransfer));
        if (!::WriteFile(file.get(), bytes, request, &written, &at)) {
            ThrowLastError("WriteFile");
        }
        if (written == 0) {
            ThrowSystemError(ERROR_WRITE_FAULT, "WriteFile");
        }
        bytes += written;
        offset += written;
        size -= written;
    }
}

void WriteAll(const FileOwner& file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const auto request = static_cast<DWORD>(std::min(size, kMaxTransfer));
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes, request, &written, nullptr)) {
            ThrowLastError("WriteFile");
        }
        if (written == 0) {
            ThrowSystemError(ERROR_WRITE_FAULT, "WriteFile");
        }
        bytes += written;
        size -= written;
    }
}

void FlushToDisk(const FileOwner& file) {
    if (!::FlushFileBuffers(file.get())) {
        ThrowLastError("FlushFileBuffers");
    }
}

void CloseChecked(FileOwner& file) {
    if (!::CloseHandle(file.release())) {
        ThrowLastError("close");
    }
}

// LockFileEx locks are mandatory on Windows: they also stop plain reads and writes through
// other handles (Wine does not stop a write under a shared lock). Waiting goes by polling,
// so that a holder that never lets go makes the call fail instead of hang.
bool LockRange(const FileOwner& file, bool exclusive, std::uint64_t length) {
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return false;
    }
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        OVERLAPPED from_start{};
        if (::LockFileEx(file.get(), flags, 0, static_cast<DWORD>(length),
                         static_cast<DWORD>(length >> 32), &from_start)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            return false; // a file that takes no locks (a network share may not)
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ThrowSystemError(static_cast<int>(error), "LockFileEx");
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

void UnlockRange(const FileOwner& file, std::uint64_t length) noexcept {
    OVERLAPPED from_start{};
    ::UnlockFileEx(file.get(), 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32),
                   &from_start);
}

} // namespace internal

using internal::ThrowLastError;
using internal::ThrowSystemError;

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
            ThrowSystemError(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
        }
        buffer.resize(buffer.size() * 2);
    }
    std::wstring folder = internal::FolderOf(buffer);
    if (folder.empty()) {
        ThrowSystemError(ERROR_PATH_NOT_FOUND, "program path has no folder");
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

std::optional<std::uint64_t> InputFile::RegularFileLength() const {
    if (::GetFileType(impl_->file.get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    return internal::LengthOf(impl_->file);
}

std::size_t InputFile::ReadSome(void* buffer, std::size_t size) {
    DWORD got = 0;
    const auto request = static_cast<DWORD>(std::min(size, std::size_t{1} << 30));
    if (!::ReadFile(impl_->file.get(), buffer, request, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            return 0; // the writing end is gone: that is the end of the data
        }
        ThrowSystemError(static_cast<int>(error), "ReadFile");
    }
    return got;
}

void InputFile::Rewind() {
    if (!::SetFilePointerEx(impl_->file.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        ThrowLastError("SetFilePointerEx");
    }
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

} // namespace tamsrove::platform
