// cls_DBI's file operations: text-file load and save, whole-file byte transfer and file probes.
//
// Loads are all or nothing: the store changes only after the whole file has been read and
// converted. Replacing writes go through OutputFile::Replace (platform.h): a temporary file
// renamed over the target or a rewrite in place guarded by a backup, so that neither a failure
// nor a crash loses the old file or leaves a half-written one. All system calls go through the
// platform seam; this file is the same on every platform.
#include "tamsrove/cls_DBI.h"

#include "classes/file_blocks.h"
#include "classes/platform/platform.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>

namespace {

using tamsrove::dbi_files::AnsiBlockWriter;
using tamsrove::platform::InputFile;
using tamsrove::platform::OutputFile;

[[nodiscard]] OutputFile OpenForMode(const std::u16string& path, int32_t mode) {
    return mode == 0 ? OutputFile::Replace(path) : OutputFile::Append(path);
}

bool IsWriteMode(int32_t mode) {
    return mode == 0 || mode == 1;
}

} // namespace

// --- Text files ----------------------------------------------------------------------------------

void cls_DBI::FileToDBI(std::u16string& FilePathName, bool Trace) {
    try {
        ApplyTrace(FilePathName, Trace);
        // The lines of a file are counted, checked against the line limit and given their exact
        // room before the first is made (a pipe's grow as they come); the file is closed before
        // they are taken over. Too many lines or too little memory throw before the store is
        // touched.
        std::vector<std::u16string> loaded = tamsrove::dbi_files::ReadLines(FilePathName);
        if (loaded.empty()) {
            loaded.emplace_back(); // an empty file gives the empty store
        }
        Lines = std::move(loaded);
        LastLineIndex = static_cast<int32_t>(Lines.size() - 1);
    } catch (const std::exception&) {
        // Recording the text allocates; should even that fail, the exception reaches the caller.
        ErrorText = kFileToDBIError;
    }
}

void cls_DBI::FileToDBI(std::u16string&& FilePathName, bool Trace) {
    FileToDBI(FilePathName, Trace);
}

void cls_DBI::DBIToFile(std::u16string& FilePathName, int32_t Mode, bool Trace) {
    try {
        ApplyTrace(FilePathName, Trace);
        if (!IsWriteMode(Mode)) {
            ErrorText = kDBIToFileError;
            return;
        }
        OutputFile file = OpenForMode(FilePathName, Mode);
        const auto count = static_cast<std::size_t>(LastLineIndex) + 1;
        AnsiBlockWriter writer(file, tamsrove::dbi_files::ExpectedBytes(Lines, count));
        for (std::size_t i = 0; i < count; ++i) {
            writer.PutText(Lines[i]);
            writer.PutLineEnd();
        }
        writer.Flush();
        file.Commit();
    } catch (const std::exception&) {
        ErrorText = kDBIToFileError;
    }
}

void cls_DBI::DBIToFile(std::u16string&& FilePathName, int32_t Mode, bool Trace) {
    DBIToFile(FilePathName, Mode, Trace);
}

// --- Whole-file byte transfer --------------------------------------------------------------------

std::u16string cls_DBI::FTS(std::u16string& FilePathName, bool Trace) {
    try {
        ApplyTrace(FilePathName, Trace);
        InputFile file(FilePathName);
        return tamsrove::dbi_files::ReadWholeFileAsWide(file);
    } catch (const std::exception&) {
        ErrorText = kFTSError;
        return {};
    }
}

std::u16string cls_DBI::FTS(std::u16string&& FilePathName, bool Trace) {
    return FTS(FilePathName, Trace);
}

void cls_DBI::STF(const std::u16string& DataString, std::u16string& FileNamePath, int32_t s_Mode,
                  bool Trace) {
    try {
        ApplyTrace(FileNamePath, Trace);
        if (!IsWriteMode(s_Mode)) {
            return; // any other mode does nothing, by design
        }
        OutputFile file = OpenForMode(FileNamePath, s_Mode);
        AnsiBlockWriter writer(file, DataString.size());
        writer.PutText(DataString);
        writer.Flush();
        file.Commit();
    } catch (const std::exception&) {
        if (IsWriteMode(s_Mode)) {
            ErrorText = kSTFError;
        }
    }
}

void cls_DBI::STF(const std::u16string& DataString, std::u16string&& FileNamePath, int32_t s_Mode,
                  bool Trace) {
    STF(DataString, FileNamePath, s_Mode, Trace);
}

// --- File probes ---------------------------------------------------------------------------------

// The probes use no member, but they belong to the store's interface.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
bool cls_DBI::FileExists(std::u16string& Filename, bool Trace) const {
    try {
        ApplyTrace(Filename, Trace);
        return tamsrove::platform::FileLengthByName(Filename).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

bool cls_DBI::FileExists(std::u16string&& Filename, bool Trace) const {
    return FileExists(Filename, Trace);
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
int32_t cls_DBI::GetFileSizeNoFSO(std::u16string& Filename, bool Trace) const {
    try {
        ApplyTrace(Filename, Trace);
        const InputFile file(Filename);
        const std::optional<std::uint64_t> length = file.RegularFileLength();
        // A length int32 cannot hold gives 0, never a truncated or negative count.
        if (!length || *length > static_cast<std::uint64_t>(std::numeric_limits<int32_t>::max())) {
            return 0;
        }
        return static_cast<int32_t>(*length);
    } catch (const std::exception&) {
        return 0;
    }
}

int32_t cls_DBI::GetFileSizeNoFSO(std::u16string&& Filename, bool Trace) const {
    return GetFileSizeNoFSO(Filename, Trace);
}
