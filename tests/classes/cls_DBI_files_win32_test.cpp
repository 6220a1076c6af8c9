// The line store's file operations where Windows differs: share modes of other handles,
// file attributes, names Windows refuses, devices, and the system's own answers.
#include "tamsrove/cls_DBI.h"
#include "classes/platform/platform.h"
#include "base/win32_handles.h"

#include "platform/scratch_folder.h"
#include "store_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace scratch;
using namespace store_test;

namespace platform = tamsrove::platform;

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

/// Another open handle on the file, with the given share mode, as another program would hold.
tamsrove::unique_hfile HoldOpen(const std::u16string& path, DWORD share) {
    tamsrove::unique_hfile file(::CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE, share,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
    EXPECT_TRUE(file) << "error " << ::GetLastError();
    return file;
}

TEST(Win32Files, AnsiCodePageIsThe1252OfTheGoldenTables) {
    EXPECT_EQ(::GetACP(), 1252U);
}

TEST(Win32Files, ApplicationFolderIsTheModulesFolder) {
    wchar_t module[MAX_PATH * 4] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    ASSERT_GT(length, 0U);
    std::u16string path(module, module + length);
    path.resize(path.find_last_of(u'\\'));
    EXPECT_EQ(platform::ApplicationFolder(), path);
}

TEST(Win32Files, ExclusivelyHeldFileCannotBeReadOrWrittenButExists) {
    ScratchFolder scratch;
    const std::u16string path = scratch.Put("held", "old\r\n");
    {
        const auto holder = HoldOpen(path, 0 /* no sharing */);
        ExpectCallsFail(path, kFileCalls);
        const cls_DBI probe;
        EXPECT_TRUE(probe.FileExists(std::u16string(path))); // asked by name, not opened
        EXPECT_EQ(probe.GetFileSizeNoFSO(std::u16string(path)), 0);
    }
    EXPECT_EQ(scratch.Bytes("held"), "old\r\n");
    EXPECT_EQ(scratch.Names(), NameList({"held"}));
}

TEST(Win32Files, FileSharedForReadAndWriteIsReadAndAppended) {
    // Reads share read and write access: a file that a logger keeps open can still be read.
    ScratchFolder scratch;
    const std::u16string path = scratch.Put("log", "one\r\n");
    {
        const auto holder = HoldOpen(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
        cls_DBI store;
        store.FileToDBI(std::u16string(path));
        EXPECT_EQ(LinesOf(store), Lines{u"one"});
        EXPECT_EQ(store.FTS(std::u16string(path)), u"one\r\n");
        EXPECT_EQ(store.GetFileSizeNoFSO(std::u16string(path)), 5);
        cls_DBI appender = StoreOf({u"two"});
        appender.DBIToFile(std::u16string(path), 1);
        EXPECT_EQ(appender.ErrorCode(), u"");
        EXPECT_EQ(store.ErrorCode(), u"");

        // Without FILE_SHARE_DELETE the holder keeps the name, but it shares writing: the
        // replacement rewrites the file in place.
        cls_DBI replacer = StoreOf({u"new"});
        replacer.DBIToFile(std::u16string(path), 0);
        EXPECT_EQ(replacer.ErrorCode(), u"");
    }
    EXPECT_EQ(scratch.Bytes("log"), "new\r\n");
    EXPECT_EQ(scratch.Names(), NameList({"log"}));
}

TEST(Win32Files, ReadOnlyMarkRefusesReplacementAndHiddenMarkIsKept) {
    for (const DWORD mark : {DWORD{FILE_ATTRIBUTE_READONLY}, DWORD{FILE_ATTRIBUTE_HIDDEN}}) {
        const bool read_only = mark == FILE_ATTRIBUTE_READONLY;
        for (const FileCall call : {FileCall{FileCall::DBIToFile, 0}, FileCall{FileCall::STF, 0}}) {
            SCOPED_TRACE(NameOf(call) + (read_only ? ", read-only" : ", hidden"));
            ScratchFolder scratch;
            std::u16string name = scratch.Put("f", "old");
            ASSERT_TRUE(::SetFileAttributesW(Wide(name), mark));
            cls_DBI store = StoreOf({u"new"});
            Call(store, call, name);
            EXPECT_EQ(store.ErrorCode(), read_only ? ErrorOf(call) : u"");
            const char* const after = read_only                    ? "old"
                                      : call.kind == FileCall::STF ? "new"
                                                                   : "new\r\n";
            EXPECT_EQ(store.FTS(std::u16string(name)),
                      std::u16string(after, after + strlen(after)));
            EXPECT_NE(::GetFileAttributesW(Wide(name)) & mark, 0U);
            ::SetFileAttributesW(Wide(name), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(scratch.Bytes("f"), after);
            EXPECT_EQ(scratch.Names(), NameList({"f"}));
        }
    }
}

TEST(Win32Files, NamesWindowsRefusesFailEverywhere) {
    ScratchFolder scratch;
    for (const char* bad : {"a<b", "a>b", "a|b", "a\"b", "a?b", "a*b"}) {
        SCOPED_TRACE(bad);
        const std::u16string path = scratch.File(bad);
        ExpectCallsFail(path, kFileCalls);
        const cls_DBI probe;
        EXPECT_FALSE(probe.FileExists(std::u16string(path)));
        EXPECT_EQ(probe.GetFileSizeNoFSO(std::u16string(path)), 0);
    }
    EXPECT_EQ(scratch.Names(), NameList({}));
}

TEST(Win32Files, NulDeviceIsWrittenNotReplaced) {
    // A device cannot be renamed over; it takes the bytes, and no temporary file appears.
    ScratchFolder scratch;
    cls_DBI store = StoreOf({u"a", u"b"});
    store.DBIToFile(scratch.File("NUL"), 0);
    std::u16string name = scratch.File("nul");
    store.STF(u"data", name, 0);
    EXPECT_EQ(store.ErrorCode(), u"");
    EXPECT_EQ(scratch.Names(), NameList({}));
}

} // namespace
