// Replacing saves against real files, natively and under Wine: the two ways a save goes (rename
// or rewrite in place), what each keeps of the file, and that a failure at any step leaves the
// old file byte for byte with nothing behind.
#include "classes/platform/platform.h"

#include "../store_test_support.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using namespace scratch;
using namespace store_test;

namespace platform = tamsrove::platform;
using platform::detail::SaveStep;

// Makes a test's failure injection end with the test.
using FaultScope = SettingScope<SaveStep, &platform::detail::SetSaveFault>;

#ifdef _WIN32
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Runs a Unix shell command in folder from under Wine and waits for it by a marker file (the
// handle of a Unix process does not wait for it).
bool RunUnixShell(const fs::path& folder, const std::wstring& command) {
    std::wstring line = L"sh -c \"" + command + L" && touch .done\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    for (int i = 0; i < 500 && !fs::exists(folder / ".done"); ++i) {
        ::Sleep(10);
    }
    return fs::remove(folder / ".done");
}

// Wine creates no symbolic link for CreateSymbolicLinkW; a Unix one, made by ln, shows to
// Windows programs as the file it points to. On Windows the link needs developer mode.
bool MakeSymlink(const fs::path& folder, const std::string& target, const std::string& link) {
    if (!UnderWine()) {
        return ::CreateSymbolicLinkW((folder / link).c_str(), fs::path(target).c_str(),
                                     SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != FALSE;
    }
    return RunUnixShell(folder, L"ln -s '" + fs::path(target).wstring() + L"' '" +
                                    fs::path(link).wstring() + L"'");
}

// A dangling Unix link is invisible under Wine, and the scratch folder could not go.
void RemoveSymlink(const fs::path& folder, const std::string& link) {
    if (UnderWine()) {
        RunUnixShell(folder, L"rm -f '" + fs::path(link).wstring() + L"'");
    }
}
#else
bool MakeSymlink(const fs::path& folder, const std::string& target, const std::string& link) {
    std::error_code error;
    fs::create_symlink(target, folder / link, error);
    return !error;
}

void RemoveSymlink(const fs::path& /*folder*/, const std::string& /*link*/) {}
#endif

// Wine shows a Unix link as the file it points to: only a Windows link can be told apart.
bool IsSymlinkWhereVisible(const fs::path& path) {
#ifdef _WIN32
    return UnderWine() || fs::is_symlink(path);
#else
    return fs::is_symlink(path);
#endif
}

// --- Through links, and files left behind by crashed saves ---------------------------------------

TEST(Save, ThroughALinkKeepsTheLinkAndWritesItsTarget) {
    for (const bool target_exists : {true, false}) {
        SCOPED_TRACE(target_exists ? "live" : "dangling");
        ScratchFolder scratch;
        if (target_exists) {
            scratch.Put("real", "old content");
        }
        if (!MakeSymlink(scratch.Path(), "real", "link")) {
            GTEST_SKIP() << "this system lets the test make no symbolic link";
        }
        SaveBytes(scratch.Path() / "link", "new");
        EXPECT_EQ(scratch.Bytes("real"), "new");
        EXPECT_TRUE(IsSymlinkWhereVisible(scratch.Path() / "link"));
        EXPECT_EQ(scratch.Names(), NameList({"link", "real"}));
        RemoveSymlink(scratch.Path(), "link");
    }
}

TEST(Save, HardLinkedFileKeepsBothNames) {
    ScratchFolder scratch;
    scratch.Put("one", "old content");
    fs::create_hard_link(scratch.Path() / "one", scratch.Path() / "two");
    SaveBytes(scratch.Path() / "one", "new");
    EXPECT_EQ(scratch.Bytes("two"), "new");
    EXPECT_EQ(scratch.Names(), NameList({"one", "two"}));
}

TEST(Save, FilesLeftByEndedProcessesGoWithTheNextSave) {
    // 99999999 is above Linux's largest process id and no Windows id (those are multiples of
    // 4); the process's own files may belong to a save still running in another thread.
    ScratchFolder scratch;
    scratch.Put("t", "old");
    const std::string own = std::to_string(
#ifdef _WIN32
        ::GetCurrentProcessId()
#else
        ::getpid()
#endif
    );
    for (const std::string& name :
         NameList({".t.tamsrove-99999999-0.tmp", ".t.tamsrove-99999999-1.bak",
                   ".t.tamsrove-" + own + "-9.tmp", ".u.tamsrove-99999999-0.tmp"})) {
        scratch.Put(name, "left over");
    }
    SaveBytes(scratch.Path() / "t", "new");
    EXPECT_EQ(scratch.Names(),
              NameList({".t.tamsrove-" + own + "-9.tmp", ".u.tamsrove-99999999-0.tmp", "t"}));
}

// --- Failures ------------------------------------------------------------------------------------

// Each step of the atomic save and of the rewrite in place fails in turn; the new content is
// longer than the old, so that the rewrite in place must first make room.
TEST(Save, FailureAtAnyStepLeavesTheOldFileAndNothingElse) {
    struct Case {
        SaveStep step;
        bool in_place;
    };
    const Case cases[] = {
        {SaveStep::Stage, false},  {SaveStep::StageFlush, false},  {SaveStep::Publish, false},
        {SaveStep::Stage, true},   {SaveStep::Backup, true},       {SaveStep::Reserve, true},
        {SaveStep::Rewrite, true}, {SaveStep::RewriteFlush, true},
    };
    const std::string old_content = "old content\r\n";
    const std::string new_content(100000, 'n');
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "step " << static_cast<int>(c.step)
                                          << (c.in_place ? " in place" : " atomic"));
        ScratchFolder scratch;
        scratch.Put("t", old_content);
        if (c.in_place) {
            fs::create_hard_link(scratch.Path() / "t", scratch.Path() / "u");
        }
        {
            const FaultScope fault(c.step);
            EXPECT_THROW(SaveBytes(scratch.Path() / "t", new_content), std::system_error);
        }
        EXPECT_EQ(scratch.Bytes("t"), old_content);
        EXPECT_EQ(scratch.Names(), c.in_place ? NameList({"t", "u"}) : NameList({"t"}));
        EXPECT_EQ(store_test::SaveFilesOf(fs::temp_directory_path(), "t"), NameList({}));
    }
}

// A failed save through a dangling link removes only the file it created, even when the link
// has been pointed at another file meanwhile; that file and the link stay.
TEST(Save, FailedSaveThroughARetargetedLinkRemovesOnlyWhatItCreated) {
    ScratchFolder scratch;
    scratch.Put("other", "unrelated");
    if (!MakeSymlink(scratch.Path(), "created", "link")) {
        GTEST_SKIP() << "this system lets the test make no symbolic link";
    }
    {
        auto file = platform::OutputFile::Replace((scratch.Path() / "link").u16string());
        file.Write("new", 3);
        RemoveSymlink(scratch.Path(), "link");
        std::error_code gone; // natively the link is removed here, under Wine by the shell above
        fs::remove(scratch.Path() / "link", gone);
        ASSERT_TRUE(MakeSymlink(scratch.Path(), "other", "link"));
        const FaultScope fault(SaveStep::Rewrite);
        EXPECT_THROW(file.Commit(), std::system_error);
    }
    EXPECT_EQ(scratch.Bytes("other"), "unrelated");
    // Wine applies no deletion disposition to a file opened through a Unix link: the created
    // file stays there, and only the unrelated file's survival can be checked.
    if (!IsSymlinkWhereVisible(scratch.Path() / "other")) {
        EXPECT_EQ(scratch.Names(), NameList({"link", "other"}));
    }
    RemoveSymlink(scratch.Path(), "link");
}

// A load after a rewrite in place that stopped half-way puts the old content back from the
// backup the save left, and removes the backup: the repair happens once, later saves stand.
TEST(Save, ALoadRepairsAStoppedRewriteOnceAndLaterSavesStand) {
    ScratchFolder scratch;
    scratch.Put("t", "torn conte");
    scratch.Put(".t.tamsrove-backup", "old\r\n");
    cls_DBI repaired;
    repaired.FileToDBI(scratch.File("t"));
    EXPECT_EQ(LinesOf(repaired), Lines{u"old"});
    EXPECT_EQ(scratch.Names(), NameList({"t"}));
    ASSERT_TRUE(SaveBytes(scratch.Path() / "t", "new\r\n"));
    cls_DBI loaded;
    loaded.FileToDBI(scratch.File("t"));
    EXPECT_EQ(LinesOf(loaded), Lines{u"new"});
}

// --- Loads and saves at once -----------------------------------------------------------------

// One thread saves two contents in turn while another loads: no save fails and every load
// sees one of the two whole. The held case rewrites in place (a hard link natively; under
// Windows the loads' own handles already stop a rename there).
TEST(Save, ConcurrentLoadsSeeOldOrNewWholeAndNoSaveFails) {
    using store_test::Lines;
    const Lines first(3000, u"first content line");
    const Lines second(2000, u"the second content, longer per line");
    for (const bool hard_linked : {false, true}) {
        SCOPED_TRACE(hard_linked ? "rewritten in place" : "renamed");
        ScratchFolder scratch;
        const std::u16string path = scratch.File("shared");
        cls_DBI writer_a = store_test::StoreOf(first);
        writer_a.DBIToFile(std::u16string(path), 0);
        if (hard_linked) {
            fs::create_hard_link(scratch.Path() / "shared", scratch.Path() / "other");
        }
        cls_DBI writer_b = store_test::StoreOf(second);
        std::atomic<bool> done{false};
        std::atomic<int> torn{0};
        std::atomic<int> loads{0};
        std::thread loader([&] {
            while (!done.load()) {
                cls_DBI reader;
                reader.FileToDBI(std::u16string(path));
                const Lines seen = store_test::LinesOf(reader);
                torn += seen != first && seen != second ? 1 : 0;
                ++loads;
            }
        });
        for (int i = 0; i < 150; ++i) {
            (i % 2 == 0 ? writer_b : writer_a).DBIToFile(std::u16string(path), 0);
        }
        done = true;
        loader.join();
        EXPECT_EQ(writer_a.ErrorCode(), u"");
        EXPECT_EQ(writer_b.ErrorCode(), u"");
        EXPECT_EQ(torn.load(), 0) << "of " << loads.load() << " loads";
        EXPECT_GT(loads.load(), 0);
    }
}

} // namespace
