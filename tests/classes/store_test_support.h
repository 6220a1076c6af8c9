// Builders shared by the line store tests, and the store's file operations as rows of a table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classes/cls_DBI.h"

namespace store_test {

using Lines = std::vector<std::u16string>;

/// A store holding exactly these lines (at least one), leading empty lines included.
inline cls_DBI StoreOf(const Lines& lines) {
    cls_DBI store;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        store.AddLineEnd(u"#"); // placeholders that AddLineEnd cannot absorb
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        store.SetLine(lines[i], static_cast<int32_t>(i));
    }
    return store;
}

/// The store's lines, in order.
inline Lines LinesOf(const cls_DBI& store) {
    return {store.begin(), store.end()};
}

/// A file operation of the store that records a text when it fails: a load, a read, or a write
/// in mode 0 (replace) or 1 (append).
struct FileCall {
    enum Kind { kFileToDBI, kFTS, kDBIToFile, kSTF } kind;
    int32_t mode;
};

/// Every operation that records a text on failure, each write in both modes.
inline constexpr FileCall kFileCalls[] = {
    {FileCall::kFileToDBI, 0}, {FileCall::kFTS, 0}, {FileCall::kDBIToFile, 0},
    {FileCall::kDBIToFile, 1}, {FileCall::kSTF, 0}, {FileCall::kSTF, 1},
};

/// The writes of kFileCalls.
inline constexpr FileCall kWriteCalls[] = {
    {FileCall::kDBIToFile, 0}, {FileCall::kDBIToFile, 1}, {FileCall::kSTF, 0}, {FileCall::kSTF, 1}};

/// The operation's name and mode, for SCOPED_TRACE.
inline std::string NameOf(const FileCall& call) {
    const char* const names[] = {"FileToDBI", "FTS", "DBIToFile", "STF"};
    return std::string(names[call.kind]) + " mode " + std::to_string(call.mode);
}

/// The text the operation records when it fails.
inline std::u16string ErrorOf(const FileCall& call) {
    const char16_t* const errors[] = {cls_DBI::kFileToDBIError, cls_DBI::kFTSError,
                                      cls_DBI::kDBIToFileError, cls_DBI::kSTFError};
    return errors[call.kind];
}

/// Calls the operation on name (STF writes data); returns what FTS read, "" for the others.
inline std::u16string Call(cls_DBI& store, const FileCall& call, std::u16string& name,
                           bool trace = false, const std::u16string& data = u"new") {
    switch (call.kind) {
    case FileCall::kFileToDBI:
        store.FileToDBI(name, trace);
        break;
    case FileCall::kFTS:
        return store.FTS(name, trace);
    case FileCall::kDBIToFile:
        store.DBIToFile(name, call.mode, trace);
        break;
    case FileCall::kSTF:
        store.STF(data, name, call.mode, trace);
        break;
    }
    return {};
}

} // namespace store_test
