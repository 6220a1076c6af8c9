// Replacing saves where POSIX differs: folders that take no new files, other users in shared
// folders (real users: the tests run as root and act as fixed unused ids), a size limit that
// makes every write past it fail, and saves killed at any moment.
#include "classes/platform/platform.h"

#include "../store_test_support.h"
#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace scratch;
using namespace store_test;

namespace platform = tamsrove::platform;

// A user a test acts as: ids no account uses, and the groups it belongs to.
struct Actor {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
};
const Actor kAttacker{60001, 60001, {}};
const Actor kVictim{60002, 60002, {}};
constexpr gid_t kSharedGroup = 60003;
const Actor kMember{60002, 60002, {kSharedGroup}};

// A setup for RunInChild: the child takes on actor's ids and groups.
std::function<bool()> As(const Actor& actor) {
    return [&actor] {
        return ::setgroups(actor.groups.size(), actor.groups.data()) == 0 &&
               ::setresgid(actor.gid, actor.gid, actor.gid) == 0 &&
               ::setresuid(actor.uid, actor.uid, actor.uid) == 0;
    };
}

// True when the test may act as other users.
bool ActsAsOthers() {
    return ::geteuid() == 0;
}

constexpr const char* kNeedsRoot = "acting as other users needs root (CI runs the tests as root)";

// A fresh scratch folder that everyone may write, sticky, as /tmp is.
fs::path MakeShared(const ScratchFolder& scratch) {
    fs::permissions(scratch.Path(), fs::perms(01777));
    return scratch.Path();
}

// Gives path (not what a link names) to actor.
void GiveTo(const fs::path& path, uid_t uid, gid_t gid) {
    ASSERT_EQ(::lchown(path.c_str(), uid, gid), 0) << path;
}

// Saves lines as DBIToFile does; true when no error was recorded.
bool StoreSaves(const fs::path& path, const std::string& line) {
    cls_DBI store = store_test::StoreOf({std::u16string(line.begin(), line.end())});
    store.DBIToFile(path.u16string(), 0);
    return store.ErrorCode().empty();
}

// A writable file in a folder that takes no new files for its user: a 0555 folder, and a
// world-writable file of another user in a sticky folder (there only owners may rename).
TEST(SavePosix, WritableFileInAFolderThatTakesNoNewFilesIsRewritten) {
    const passwd* const nobody = ::getpwnam("nobody");
    if (::geteuid() == 0 && nobody == nullptr) {
        GTEST_SKIP() << "running as root and there is no user 'nobody' to drop to";
    }
    struct Case {
        const char* what;
        fs::perms folder;
        bool file_is_the_users;
    };
    const Case cases[] = {
        {"read-only folder", fs::perms(0555), true},
        {"sticky folder", fs::perms(01777), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (::geteuid() != 0 && !c.file_is_the_users) {
            continue; // the other user's file needs root to set up
        }
        ScratchFolder scratch;
        const fs::path folder = scratch.Path() / "folder";
        fs::create_directory(folder);
        WriteBytes(folder / "f", "old content");
        fs::permissions(folder / "f", fs::perms(0666));
        const Actor as_nobody{
            nobody != nullptr ? nobody->pw_uid : 0, nobody != nullptr ? nobody->pw_gid : 0, {}};
        const Actor* const user = ::geteuid() == 0 ? &as_nobody : nullptr;
        if (user != nullptr) {
            ::chmod(scratch.Path().c_str(), 0755);
            const uid_t owner = c.file_is_the_users ? user->uid : 0;
            ASSERT_EQ(::chown(folder.c_str(), owner, user->gid), 0);
            ASSERT_EQ(::chown((folder / "f").c_str(), owner, user->gid), 0);
        }
        fs::permissions(folder, c.folder);
        EXPECT_EQ(RunInChild([&] { return SaveBytes(folder / "f", "new"); },
                             user != nullptr ? As(*user) : nullptr),
                  0);
        fs::permissions(folder, fs::perms(0755));
        EXPECT_EQ(ReadBytes(folder / "f"), "new");
        EXPECT_EQ(scratch::ScratchFolder::NamesIn(folder), NameList({"f"}));
        EXPECT_EQ(SaveFilesOf(fs::temp_directory_path(), "f"), NameList({}));
    }
}

// A size limit (RLIMIT_FSIZE) below the new content's length fails the save, whether it renames
// or rewrites in place; the old file stays whole and nothing is left behind.
TEST(SavePosix, SizeLimitFailsTheSaveAndKeepsTheOldFile) {
    for (const bool in_place : {false, true}) {
        SCOPED_TRACE(in_place ? "in place" : "atomic");
        ScratchFolder scratch;
        const std::string old_content(1000, 'o');
        scratch.Put("t", old_content);
        if (in_place) {
            fs::create_hard_link(scratch.Path() / "t", scratch.Path() / "u");
        }
        const int status =
            RunInChild([&] { return SaveBytes(scratch.Path() / "t", std::string(100000, 'n')); },
                       scratch::FileSizeLimit(4096));
        EXPECT_EQ(status, 2) << "the save must fail";
        EXPECT_EQ(scratch.Bytes("t"), old_content);
        EXPECT_EQ(scratch.Names(), in_place ? NameList({"t", "u"}) : NameList({"t"}));
    }
}

// --- Other users in shared folders -------------------------------------------------------------

// A save follows a link in a sticky folder that everyone may write only where the link is the
// saver's own or the folder owner's, as Linux's fs.protected_symlinks does; otherwise it fails
// with its text and changes nothing, whatever the kernel's own setting is.
TEST(SavePosix, LinkInASharedFolderIsFollowedOnlyWhenTrusted) {
    if (!ActsAsOthers()) {
        GTEST_SKIP() << kNeedsRoot;
    }
    struct Case {
        const char* what;
        uid_t link_owner;
        bool target_exists;
        bool followed;
    };
    const Case cases[] = {
        {"another user's link to a private file", kAttacker.uid, true, false},
        {"another user's dangling link", kAttacker.uid, false, false},
        {"the saver's own link", kVictim.uid, true, true},
        {"the folder owner's link", 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        const fs::path shared = MakeShared(scratch);
        const fs::path own = shared / "own";
        fs::create_directory(own);
        GiveTo(own, kVictim.uid, kVictim.gid);
        fs::permissions(own, fs::perms(0700));
        if (c.target_exists) {
            WriteBytes(own / "secret.txt", "private");
            GiveTo(own / "secret.txt", kVictim.uid, kVictim.gid);
            fs::permissions(own / "secret.txt", fs::perms(0600));
        }
        fs::create_symlink(own / "secret.txt", shared / "report.txt");
        GiveTo(shared / "report.txt", c.link_owner, c.link_owner);
        const int status =
            RunInChild([&] { return StoreSaves(shared / "report.txt", "new"); }, As(kVictim));
        EXPECT_EQ(status, c.followed ? 0 : 1) << "0: saved, 1: \"DBIToFile Error!\"";
        const std::string expected = c.followed ? "new\r\n" : "private";
        EXPECT_EQ(ReadBytes(own / "secret.txt"), c.target_exists || c.followed ? expected : "");
        EXPECT_EQ(ScratchFolder::NamesIn(own),
                  c.target_exists ? NameList({"secret.txt"}) : NameList({}));
        EXPECT_EQ(ScratchFolder::NamesIn(shared), NameList({"own", "report.txt"}));
    }
}

// A save keeps the file's owner, group, mode and extended attributes (which hold its ACL):
// renamed where the new file can be given them all, rewritten in place where not.
TEST(SavePosix, SaveKeepsOwnerGroupModeAndAttributes) {
    if (!ActsAsOthers()) {
        GTEST_SKIP() << kNeedsRoot;
    }
    struct Case {
        const char* what;
        const Actor* saver;
        bool with_attribute;
    };
    const Actor owner{60001, kSharedGroup, {kSharedGroup}};
    const Case cases[] = {
        {"a member of the file's group", &kMember, false},
        {"the owner, with an extended attribute", &owner, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        const fs::path folder = scratch.Path() / "team";
        fs::create_directory(folder);
        GiveTo(folder, owner.uid, kSharedGroup);
        fs::permissions(folder, fs::perms(0770));
        const fs::path file = folder / "notes.txt";
        WriteBytes(file, "old");
        GiveTo(file, owner.uid, kSharedGroup);
        fs::permissions(file, fs::perms(0660));
        if (c.with_attribute && ::setxattr(file.c_str(), "user.tamsrove", "kept", 4, 0) != 0) {
            GTEST_SKIP() << "this file system keeps no user attributes";
        }
        EXPECT_EQ(RunInChild([&] { return SaveBytes(file, "new"); }, As(*c.saver)), 0);
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, owner.uid);
        EXPECT_EQ(info.st_gid, kSharedGroup);
        EXPECT_EQ(info.st_mode & 07777, 0660U);
        EXPECT_EQ(ReadBytes(file), "new");
        if (c.with_attribute) {
            std::string value(16, '\0');
            const ssize_t length =
                ::getxattr(file.c_str(), "user.tamsrove", value.data(), value.size());
            EXPECT_EQ(value.substr(0, length < 0 ? 0 : static_cast<std::size_t>(length)), "kept");
        }
        EXPECT_EQ(ScratchFolder::NamesIn(folder), NameList({"notes.txt"}));
    }
}

// New and old content is never readable by anyone the target does not let read it: the
// temporary of a rewrite in place is private from its first byte, that of a rename has the
// target's own mode.
TEST(SavePosix, TemporaryIsNoMoreReadableThanTheTarget) {
    for (const bool in_place : {false, true}) {
        SCOPED_TRACE(in_place ? "rewritten in place" : "renamed");
        ScratchFolder scratch;
        scratch.Put("t", "old secret");
        fs::permissions(scratch.Path() / "t", fs::perms(0640));
        if (in_place) {
            fs::create_hard_link(scratch.Path() / "t", scratch.Path() / "u");
        }
        auto file = platform::OutputFile::Replace((scratch.Path() / "t").u16string());
        file.Write("new secret", 10);
        const std::vector<std::string> temporaries = SaveFilesOf(scratch.Path(), "t");
        ASSERT_EQ(temporaries.size(), 1U);
        struct stat info {};
        ASSERT_EQ(::stat((scratch.Path() / temporaries[0]).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, in_place ? 0600U : 0640U) << temporaries[0];
        file.Commit();
    }
}

// --- Files left behind by crashed saves ---------------------------------------------------------

// A dead process's temporary is matched by the whole name of its file: a save of another file
// whose name begins alike leaves it, the next save of its own file removes it.
TEST(SavePosix, FilesOfACrashedSaveAreMatchedByTheWholeName) {
    ScratchFolder scratch;
    const std::string stem(64, 'a');
    const fs::path first = scratch.Path() / (stem + "-A.txt");
    const fs::path second = scratch.Path() / (stem + "-B.txt");
    WriteBytes(first, "first");
    WriteBytes(second, "second");
    // The child starts a save and ends without finishing it, as a crash would.
    EXPECT_EQ(RunInChild([&] {
                  auto file = platform::OutputFile::Replace(first.u16string());
                  file.Write("half", 4);
                  ::_exit(0);
                  return true;
              }),
              0);
    const std::vector<std::string> after_crash = scratch.Names();
    ASSERT_EQ(after_crash.size(), 3U);
    EXPECT_TRUE(SaveBytes(second, "new"));
    EXPECT_EQ(scratch.Names(), after_crash);
    EXPECT_TRUE(SaveBytes(first, "new"));
    EXPECT_EQ(scratch.Names(), NameList({stem + "-A.txt", stem + "-B.txt"}));
}

// Only what this store made is removed: a file named like one a dead process's save left behind
// that is another user's, or a link, stays.
TEST(SavePosix, OnlyFilesTheStoreMadeAreRemovedAfterACrash) {
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link" : "another user's file");
        if (!link && !ActsAsOthers()) {
            continue; // giving a file away needs root
        }
        ScratchFolder scratch;
        scratch.Put("t", "old");
        const fs::path lookalike = scratch.Path() / ".t.tamsrove-99999999-0.tmp";
        if (link) {
            fs::create_symlink("t", lookalike);
        } else {
            WriteBytes(lookalike, "not ours");
            GiveTo(lookalike, kAttacker.uid, kAttacker.gid);
        }
        EXPECT_TRUE(SaveBytes(scratch.Path() / "t", "new"));
        EXPECT_EQ(scratch.Names(), NameList({".t.tamsrove-99999999-0.tmp", "t"}));
    }
}

// --- Crashes -----------------------------------------------------------------------------------

// A save killed at any moment of a rewrite in place loses nothing: the next load sees the
// whole old or the whole new content, never a mix, and puts a half-done rewrite right.
TEST(SavePosix, SaveKilledAtAnyMomentLeavesOldOrNewWhole) {
    using store_test::Lines;
    const Lines first(3000, u"the first content, line after line");
    const Lines second(2000, u"the second content has longer lines than the first");
    // Memory-backed where there is one: a process killed in fsync(2) on a disk dies only once
    // the disk has answered, which would make the test slow, not stricter.
    const fs::path memory = "/dev/shm";
    const ScratchFolder scratch(fs::is_directory(memory) ? memory : fs::temp_directory_path());
    const fs::path path = scratch.Path() / "shared";
    cls_DBI stores[] = {store_test::StoreOf(second), store_test::StoreOf(first)};
    stores[1].DBIToFile(path.u16string(), 0);
    fs::create_hard_link(path, scratch.Path() / "other"); // so that it is rewritten in place
    constexpr int kills = 50;
    int torn = 0;
    for (int kill = 0; kill < kills; ++kill) {
        int started[2] = {-1, -1};
        ASSERT_EQ(::pipe(started), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(started[0]);
            for (int i = 0;; ++i) {
                stores[i % 2].DBIToFile(path.u16string(), 0);
                if (i == 0) {
                    ::close(started[1]); // one save is done: the kills land on later ones
                }
            }
        }
        ::close(started[1]);
        char ignored = 0;
        static_cast<void>(::read(started[0], &ignored, 1));
        ::close(started[0]);
        ::usleep(static_cast<useconds_t>((kill * 7919) % 4000)); // 0 to 4 ms, well spread
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        cls_DBI reader;
        reader.FileToDBI(path.u16string());
        const Lines seen = store_test::LinesOf(reader);
        torn += (seen != first && seen != second) || !reader.ErrorCode().empty() ? 1 : 0;
    }
    EXPECT_EQ(torn, 0) << "of " << kills << " saves killed";
    for (const std::string& name : scratch.Names()) {
        EXPECT_FALSE(name.ends_with("backup")) << name << " left after a load";
    }
}

} // namespace
