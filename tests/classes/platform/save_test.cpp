// Replacing saves against real files, natively and under Wine: the roads a save takes (rename
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

namespace fs = std::filesystem;
namespace platform = tamsrove::platform;
using platform::detail::SaveStep;
using scratch::NameList;
using scratch::ReadBytes;
using scratch::ScratchFolder;
using scratch::WriteBytes;

void Save(const fs::path& path, const std::string& bytes) {
    auto file = platform::OutputFile::Replace(path.u16string());
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

// The leftovers of saves of a file named name in folder: temporaries and backups.
std::vector<std::string> LeftoversOf(const fs::path& folder, const std::string& name) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string entry_name = entry.path().filename().string();
        if (entry_name.starts_with("." + name + ".tamsrove-")) {
            found.push_back(entry_name);
        }
    }
    return found;
}

// Makes a test's failure injection end with the test.
class FaultScope {
public:
    explicit FaultScope(SaveStep step) : previous_(platform::detail::SetSaveFault(step)) {}
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
    ~FaultScope() { platform::detail::SetSaveFault(previous_); }

private:
    SaveStep previous_;
};

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

// --- Roads -------------------------------------------------------------------------------------

TEST(Save, ThroughALinkKeepsTheLinkAndWritesItsTarget) {
    struct Case {
        const char* what;
        bool target_exists;
    };
    for (const Case c : {Case{"live", true}, Case{"dangling", false}}) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        if (c.target_exists) {
            WriteBytes(scratch.path() / "real", "old content");
        }
        if (!MakeSymlink(scratch.path(), "real", "link")) {
            GTEST_SKIP() << "this system lets the test make no symbolic link";
        }
        Save(scratch.path() / "link", "new");
        EXPECT_EQ(ReadBytes(scratch.path() / "real"), "new");
        EXPECT_TRUE(IsSymlinkWhereVisible(scratch.path() / "link"));
        EXPECT_EQ(scratch.Names(), NameList({"link", "real"}));
        RemoveSymlink(scratch.path(), "link");
    }
}

TEST(Save, HardLinkedFileKeepsBothNames) {
    ScratchFolder scratch;
    WriteBytes(scratch.path() / "one", "old content");
    fs::create_hard_link(scratch.path() / "one", scratch.path() / "two");
    Save(scratch.path() / "one", "new");
    EXPECT_EQ(ReadBytes(scratch.path() / "two"), "new");
    EXPECT_EQ(scratch.Names(), NameList({"one", "two"}));
}

TEST(Save, LeftoversOfEndedProcessesGoWithTheNextSave) {
    // 99999999 is above Linux's largest process id and no Windows id (those are multiples of
    // 4); the process's own leftovers may belong to a save still running in another thread.
    ScratchFolder scratch;
    WriteBytes(scratch.path() / "t", "old");
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
        WriteBytes(scratch.path() / name, "left over");
    }
    Save(scratch.path() / "t", "new");
    EXPECT_EQ(scratch.Names(),
              NameList({".t.tamsrove-" + own + "-9.tmp", ".u.tamsrove-99999999-0.tmp", "t"}));
}

// --- Failures ------------------------------------------------------------------------------------

// Each step of each way of saving fails in turn; the new content is longer than the old, so that the
// rewrite in place must first make room.
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
        WriteBytes(scratch.path() / "t", old_content);
        if (c.in_place) {
            fs::create_hard_link(scratch.path() / "t", scratch.path() / "u");
        }
        {
            const FaultScope fault(c.step);
            EXPECT_THROW(Save(scratch.path() / "t", new_content), std::system_error);
        }
        EXPECT_EQ(ReadBytes(scratch.path() / "t"), old_content);
        EXPECT_EQ(scratch.Names(), c.in_place ? NameList({"t", "u"}) : NameList({"t"}));
        EXPECT_EQ(LeftoversOf(fs::temp_directory_path(), "t"), std::vector<std::string>{});
    }
}

// A failed save through a dangling link removes only the file it created, even when the link
// has been pointed at another file meanwhile; that file and the link stay.
TEST(Save, FailedSaveThroughARetargetedLinkRemovesOnlyWhatItCreated) {
    ScratchFolder scratch;
    WriteBytes(scratch.path() / "other", "unrelated");
    if (!MakeSymlink(scratch.path(), "created", "link")) {
        GTEST_SKIP() << "this system lets the test make no symbolic link";
    }
    {
        auto file = platform::OutputFile::Replace((scratch.path() / "link").u16string());
        file.Write("new", 3);
        RemoveSymlink(scratch.path(), "link");
        std::error_code gone; // natively the link is removed here, under Wine by the shell above
        fs::remove(scratch.path() / "link", gone);
        ASSERT_TRUE(MakeSymlink(scratch.path(), "other", "link"));
        const FaultScope fault(SaveStep::Rewrite);
        EXPECT_THROW(file.Commit(), std::system_error);
    }
    EXPECT_EQ(ReadBytes(scratch.path() / "other"), "unrelated");
    // Wine applies no deletion disposition to a file opened through a Unix link: the created
    // file stays there, and only the unrelated file's survival can be checked.
    if (!IsSymlinkWhereVisible(scratch.path() / "other")) {
        EXPECT_EQ(scratch.Names(), NameList({"link", "other"}));
    }
    RemoveSymlink(scratch.path(), "link");
}

// --- Loads and saves at once
// ----------------------------------------------------------------------

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
            fs::create_hard_link(scratch.path() / "shared", scratch.path() / "other");
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
