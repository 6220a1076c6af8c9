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

namespace tamsrove::platform::internal {

#ifdef _WIN32
/// A path as the wide file APIs take it.
using NativeString = std::wstring;
/// An open file.
using FileOwner = unique_hfile;
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

/// Creates a new, empty file open for writing that nobody else may open meanwhile; an empty
/// owner when the name is taken. Any other failure throws.
[[nodiscard]] FileOwner CreateNewFile(const NativeString& path);

/// Deletes a file by name; a failure is ignored (the caller is already giving up).
void RemoveFileQuietly(const NativeString& path) noexcept;

/// The calling process's id.
[[nodiscard]] std::uint32_t CurrentProcessId() noexcept;

/// Creates a new, empty file in folder (which is empty or ends in a separator) under a name no
/// other writer uses, and stores that name in temp_path.
[[nodiscard]] FileOwner CreateTemporary(const NativeString& folder, NativeString& temp_path);

#ifndef _WIN32
/// A kernel path (UTF-8) as UTF-16; throws for bytes that are not strict UTF-8.
[[nodiscard]] std::u16string FromNativePath(std::string_view bytes);
#endif

} // namespace tamsrove::platform::internal

namespace tamsrove::platform {

struct InputFile::Impl {
    internal::FileOwner file;
};

struct OutputFile::Impl {
    internal::FileOwner file;
    internal::NativeString target;     // the file that receives the content
    internal::NativeString temp_path;  // non-empty while a replacement is pending
    std::uint32_t kept_attributes = 0; // Windows: the replaced file's hidden and system marks
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    /// A pending replacement is abandoned: its temporary file goes.
    ~Impl();
};

} // namespace tamsrove::platform
