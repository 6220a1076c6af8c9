// Builders shared by the line store tests, and the store's file operations as rows of a table.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tamsrove/cls_DBI.h"
#include "classes/platform/platform.h"

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

/// Sets one of the store's test settings (a line limit, a failing save step) while it lives, and
/// puts back the earlier value at its end; Set returns the earlier value.
template <typename Value, auto Set> class SettingScope {
public:
    explicit SettingScope(Value value) : previous_(Set(value)) {}
    SettingScope(const SettingScope&) = delete;
    SettingScope& operator=(const SettingScope&) = delete;
    ~SettingScope() { Set(previous_); }

private:
    Value previous_;
};

/// Replaces the file's content with bytes by the store's own save (which throws on failure);
/// true, so that it can be the body of a child process.
inline bool SaveBytes(const std::filesystem::path& path, const std::string& bytes) {
    auto file = tamsrove::platform::OutputFile::Replace(path.u16string());
    file.Write(bytes.data(), bytes.size());
    file.Commit();
    return true;
}

/// The files that saves of the file named name make beside it in folder (temporary files and
/// backups), which a finished save never leaves behind.
inline std::vector<std::string> SaveFilesOf(const std::filesystem::path& folder,
                                            const std::string& name) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string entry_name = entry.path().filename().string();
        if (entry_name.starts_with("." + name + ".tamsrove-")) {
            found.push_back(std::move(entry_name));
        }
    }
    return found;
}

/// A file operation of the store that records a text when it fails: a load, a read, or a write
/// in mode 0 (replace) or 1 (append).
struct FileCall {
    enum Kind { FileToDBI, FTS, DBIToFile, STF } kind;
    int32_t mode;
};

/// Every operation that records a text on failure, each write in both modes.
inline constexpr FileCall kFileCalls[] = {
    {FileCall::FileToDBI, 0}, {FileCall::FTS, 0}, {FileCall::DBIToFile, 0},
    {FileCall::DBIToFile, 1}, {FileCall::STF, 0}, {FileCall::STF, 1},
};

/// The loads and reads of kFileCalls.
inline constexpr FileCall kReadCalls[] = {{FileCall::FileToDBI, 0}, {FileCall::FTS, 0}};

/// The writes of kFileCalls.
inline constexpr FileCall kWriteCalls[] = {
    {FileCall::DBIToFile, 0}, {FileCall::DBIToFile, 1}, {FileCall::STF, 0}, {FileCall::STF, 1}};

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
    case FileCall::FileToDBI:
        store.FileToDBI(name, trace);
        break;
    case FileCall::FTS:
        return store.FTS(name, trace);
    case FileCall::DBIToFile:
        store.DBIToFile(name, call.mode, trace);
        break;
    case FileCall::STF:
        store.STF(data, name, call.mode, trace);
        break;
    }
    return {};
}

/// Calls each operation on name and expects it to fail with its text, to return nothing and to
/// leave the store's lines as they were.
template <typename Calls> void ExpectCallsFail(const std::u16string& name, const Calls& calls) {
    for (const FileCall& call : calls) {
        SCOPED_TRACE(NameOf(call));
        const Lines lines = {u"keep", u"", u"these"};
        cls_DBI store = StoreOf(lines);
        std::u16string passed = name;
        EXPECT_EQ(Call(store, call, passed), u"");
        EXPECT_EQ(store.ErrorCode(), ErrorOf(call));
        EXPECT_EQ(LinesOf(store), lines);
        EXPECT_EQ(store.LinesNumber(), 2);
    }
}

} // namespace store_test
