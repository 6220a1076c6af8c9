// Replacing saves where POSIX differs: folders that take no new files (seen as a user without
// root's powers) and a size limit that makes every write past it fail.
#include "platform/platform.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;
namespace platform = tamsrove::platform;
using scratch::NameList;
using scratch::ReadBytes;
using scratch::ScratchFolder;
using scratch::WriteBytes;

// Runs body in a child process (as user when given) and returns its exit status: 0 when body
// returned true, 1 when false, 2 when a save threw, 3 when the user could not be taken on.
int RunInChild(const std::function<bool()>& body, const passwd* user = nullptr) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (user != nullptr && (::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0)) {
            ::_exit(3);
        }
        int status = 2;
        try {
            status = body() ? 0 : 1;
        } catch (const std::exception&) {
        }
        ::_exit(status);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SaveOk(const fs::path& path, const std::string& bytes) {
    auto file = platform::OutputFile::Replace(path.u16string());
    file.Write(bytes.data(), bytes.size());
    file.Commit();
    return true;
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
        const fs::path folder = scratch.path() / "folder";
        fs::create_directory(folder);
        WriteBytes(folder / "f", "old content");
        fs::permissions(folder / "f", fs::perms(0666));
        const passwd* const user = ::geteuid() == 0 ? nobody : nullptr;
        if (user != nullptr) {
            ::chmod(scratch.path().c_str(), 0755);
            const uid_t owner = c.file_is_the_users ? user->pw_uid : 0;
            ASSERT_EQ(::chown(folder.c_str(), owner, user->pw_gid), 0);
            ASSERT_EQ(::chown((folder / "f").c_str(), owner, user->pw_gid), 0);
        }
        fs::permissions(folder, c.folder);
        EXPECT_EQ(RunInChild([&] { return SaveOk(folder / "f", "new"); }, user), 0);
        fs::permissions(folder, fs::perms(0755));
        EXPECT_EQ(ReadBytes(folder / "f"), "new");
        EXPECT_EQ(scratch::ScratchFolder::NamesIn(folder), NameList({"f"}));
        for (const std::string& name : scratch::ScratchFolder::NamesIn(fs::temp_directory_path())) {
            EXPECT_FALSE(name.starts_with(".f.tamsrove-")) << name << " left behind";
        }
    }
}

// A size limit (RLIMIT_FSIZE) below the new content's length fails the save on either road;
// the old file stays whole and nothing is left behind.
TEST(SavePosix, SizeLimitFailsTheSaveAndKeepsTheOldFile) {
    for (const bool in_place : {false, true}) {
        SCOPED_TRACE(in_place ? "in place" : "atomic");
        ScratchFolder scratch;
        const std::string old_content(1000, 'o');
        WriteBytes(scratch.path() / "t", old_content);
        if (in_place) {
            fs::create_hard_link(scratch.path() / "t", scratch.path() / "u");
        }
        const int status = RunInChild([&] {
            ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of a signal
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            return SaveOk(scratch.path() / "t", std::string(100000, 'n'));
        });
        EXPECT_EQ(status, 2) << "the save must fail";
        EXPECT_EQ(ReadBytes(scratch.path() / "t"), old_content);
        EXPECT_EQ(scratch.Names(), in_place ? NameList({"t", "u"}) : NameList({"t"}));
    }
}

} // namespace
