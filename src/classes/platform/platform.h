// The platform seam: everything the line store needs from the operating system, with one
// implementation for Win32 (platform_win.cpp, win32_save.cpp) and one for POSIX
// (platform_posix.cpp, posix_save.cpp and the path conversions); platform_common.cpp and
// platform_save.cpp hold what both share.
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

// --- Files ---------------------------------------------------------------------------------------

/// The length of a file, asked by name without opening it; nullopt when there is no such file
/// (or it is a folder) or the system cannot tell.
[[nodiscard]] std::optional<std::uint64_t> FileLengthByName(std::u16string_view path) noexcept;

/// An existing file opened for reading only; other handles may still read, write, rename and
/// delete it (on Windows it shares all three), so a load never blocks a save. A regular file is
/// read under a shared byte-range lock, so that it never shows a rewrite in place half done.
class InputFile {
public:
    /// Opens the file; never creates one. A missing file is a failure, and so is a rewrite in
    /// place that holds the file for longer than a few seconds.
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

    /// Goes back to the start of a regular file, so that a second pass reads the same bytes
    /// under the same open and lock.
    void Rewind();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// A file being written: either a replacement that becomes the target's content only on Commit,
/// or an append to the target's end.
///
/// A replacement first collects the bytes in a temporary file. Commit then either renames it
/// over the target (atomic: a reader sees the old or the new file) or, where a rename would not
/// keep the file what it was, rewrites the target in place: a symbolic link (whose target gets
/// the content; a dangling link's target is created), a file with several hard links, a file
/// in a folder that takes no new files, a file whose owner, group, mode or (Linux) extended
/// attributes and ACL the new file cannot be given, (POSIX) a file in a sticky folder that this
/// user may not rename over, or (Windows) a file another handle holds open. A target held open
/// by another handle that denies writing cannot be saved.
///
/// Safety among other users. The save looks every name up in the target's folder, held open
/// (on POSIX a folder descriptor), and acts on the files it opened there, checked against what
/// it saw first; it never acts on a name looked up again. In a sticky folder that everyone may
/// write it follows a symbolic link only when the link is the saving user's or the folder
/// owner's (as Linux's fs.protected_symlinks does); any other link fails the save, which then
/// changes nothing. Temporaries and backups are created exclusively, never through a link, and
/// nobody but the user may read them (POSIX: mode 0600; Windows: the target's own DACL, or one
/// that grants the user alone); a temporary that is renamed over the target gets the target's
/// owner, group and mode before the first byte is written. A failed save deletes only files it
/// created, identified by the handle it holds. Temporaries and backups are named after the
/// target's whole name and the process; a successful save removes those of processes that no
/// longer run, when they are regular files of the current user with one name.
///
/// A crash at any moment loses nothing. The rewrite in place runs under an exclusive byte-range
/// lock on the target, which loads respect, and in these steps:
///  1. the old content is copied to a new private file, which is flushed to the disk;
///  2. that file is renamed, never over an existing file, to the published backup
///     ".NAME.tamsrove-backup" beside the target (in the user's temporary folder, named after
///     the file's identity, when the target's folder takes no new files), and the folder is
///     flushed: from now on its presence says "the target may be half rewritten";
///  3. the target is overwritten with the new content, cut to its length and flushed;
///  4. the published backup is deleted, while the lock is still held.
/// A save that fails at step 3 copies the backup back before it deletes it; should that fail too,
/// the backup stays. The next load (InputFile) or save of the same name that finds a published
/// backup with no save holding the lock repairs first: it copies the backup over the target,
/// flushes it and only then deletes the backup. A load by a user who may not write the file
/// reads the backup instead, the whole old content. A backup that neither the current user nor
/// the file's owner made, or that others may write, is never used.
class OutputFile {
public:
    /// Starts a replacement of the file at path. A target that exists but is not a regular file
    /// (a device, a pipe) is written directly instead; a folder or a read-only file fails.
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

    /// Finishes the file: a replacement becomes the target's content (flushed to the disk), an
    /// append or a direct write is closed. Any failure leaves a replaced target byte for byte
    /// as it was, with no temporary or backup file left behind; only when even putting the old
    /// content back fails does the backup stay, for the next load or save to restore.
    void Commit();

private:
    struct Impl;
    explicit OutputFile(std::unique_ptr<Impl> impl) noexcept;
    std::unique_ptr<Impl> impl_;
};

namespace detail {

/// The steps of a replacement, for tests that make one of them fail as a failing disk would.
enum class SaveStep {
    None,         ///< no step fails
    Stage,        ///< writing the new content to the temporary file
    StageFlush,   ///< flushing the temporary file
    Publish,      ///< renaming it over the target
    Backup,       ///< copying the old content to the backup (in place)
    Reserve,      ///< extending the target to its new length (in place)
    Rewrite,      ///< overwriting the target, failing half-way (in place)
    RewriteFlush, ///< flushing the rewritten target (in place)
};

/// Makes step fail in every later replacement (None: none fails) and returns the previous
/// setting. A test seam only; product code never sets it.
SaveStep SetSaveFault(SaveStep step) noexcept;

} // namespace detail
} // namespace tamsrove::platform
