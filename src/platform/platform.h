// The platform seam: everything the line store needs from the operating system, with one
// implementation for Win32 (platform_win.cpp) and one for POSIX (platform_posix.cpp).
//
// Paths are UTF-16 and never pass through the ANSI code page: Windows hands them to the wide
// file APIs, POSIX converts them to UTF-8. A path holding U+0000 (or, on POSIX, a lone surrogate)
// names no file: every operation on it fails.
//
// Failures are thrown as std::system_error carrying the system's error code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tamsrove::platform {

// --- Folders ------------------------------------------------------------------------------------

/// The separator between a folder and a name: backslash on Windows, slash on POSIX.
[[nodiscard]] char16_t PathSeparator() noexcept;

/// The folder holding the running program's own file; it ends in a separator only at a root.
[[nodiscard]] std::u16string ApplicationFolder();

// --- ANSI code page ------------------------------------------------------------------------------

/// Byte-to-character table of a single-byte code page.
using AnsiTable = std::array<char16_t, 256>;

/// The number of the ANSI code page: the system's on Windows, 1252 (the stand-in) on POSIX.
[[nodiscard]] std::uint32_t AnsiCodePage() noexcept;

/// The table of the ANSI code page when it is single-byte and maps bytes 0..127 to themselves;
/// nullptr for multi-byte code pages, which need AnsiToWide.
[[nodiscard]] const AnsiTable* SingleByteAnsiTable() noexcept;

/// Converts ANSI code-page bytes to UTF-16.
[[nodiscard]] std::u16string AnsiToWide(std::string_view bytes);

/// What a conversion to the ANSI code page does with a character the code page lacks.
enum class Unmappable {
    Substitute, ///< it becomes the code page's default character, '?'
    Refuse,     ///< the whole conversion fails
};

/// Appends text converted to the ANSI code page and returns true; never writes a best-fit
/// look-alike (U+FF0F must not turn into '/'). Under Refuse, a character without an exact
/// form (or a lone surrogate) makes it return false with out unchanged. The line store's text
/// files substitute; registry names and values refuse.
bool AppendWideAsAnsi(std::u16string_view text, std::string& out,
                      Unmappable rule = Unmappable::Substitute);

// --- Files ---------------------------------------------------------------------------------------

/// The length of a file, asked by name without opening it; nullopt when there is no such file
/// (or it is a folder) or the system cannot tell.
[[nodiscard]] std::optional<std::uint64_t> FileLengthByName(std::u16string_view path) noexcept;

/// An existing file opened for reading only; other handles may still read and write it.
class InputFile {
public:
    /// Opens the file; never creates one. A missing file is a failure.
    explicit InputFile(std::u16string_view path);
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    ~InputFile();

    /// The length in bytes of a regular file; nullopt for devices and pipes, whose length is
    /// not known in advance.
    [[nodiscard]] std::optional<std::uint64_t> RegularFileLength() const;

    /// Reads up to size bytes at the current position; 0 means the end of the file.
    [[nodiscard]] std::size_t ReadSome(void* buffer, std::size_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// A file being written: either a replacement that becomes the target's content only on Commit,
/// or an append to the target's end.
class OutputFile {
public:
    /// Starts an atomic replacement: the bytes go to a temporary file in the target's folder,
    /// which Commit flushes and renames over the target. A target that exists but is not a
    /// regular file (a device, a pipe) cannot be replaced; it is written directly instead.
    [[nodiscard]] static OutputFile Replace(std::u16string_view path);

    /// Opens the target for appending at its end, creating it when missing.
    [[nodiscard]] static OutputFile Append(std::u16string_view path);

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    /// An uncommitted replacement is discarded: the temporary file goes, the target stays.
    ~OutputFile();

    /// Writes all size bytes, or fails.
    void Write(const void* data, std::size_t size);

    /// Finishes the file: a replacement is flushed and renamed over the target, an append or a
    /// direct write is closed. Any failure leaves a replaced target as it was.
    void Commit();

private:
    struct Impl;
    explicit OutputFile(std::unique_ptr<Impl> impl) noexcept;
    std::unique_ptr<Impl> impl_;
};

} // namespace tamsrove::platform
