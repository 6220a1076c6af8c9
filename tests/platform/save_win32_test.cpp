// Replacing saves where Windows differs: other handles on the target, with their share modes.
#include "platform/platform.h"

#include "scratch_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;
namespace platform = tamsrove::platform;
using scratch::NameList;
using scratch::ReadBytes;
using scratch::ScratchFolder;
using scratch::WriteBytes;

// A handle that allows writing does not stop the save (it rewrites in place where the handle
// stops a rename); one that denies writing does, and the file stays as it was.
TEST(SaveWin32, TargetHeldOpenIsSavedUnlessTheHolderDeniesWriting) {
    struct Case {
        const char* what;
        DWORD share;
        bool saved;
    };
    const Case cases[] = {
        {"read and write", FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"read, write and delete", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
        {"read only", FILE_SHARE_READ, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        const fs::path target = scratch.path() / "t";
        WriteBytes(target, "old content");
        {
            const HANDLE holder = ::CreateFileW(target.c_str(), GENERIC_READ, c.share, nullptr,
                                                OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
            bool saved = true;
            try {
                auto file = platform::OutputFile::Replace(target.u16string());
                file.Write("new", 3);
                file.Commit();
            } catch (const std::system_error&) {
                saved = false;
            }
            ::CloseHandle(holder);
            EXPECT_EQ(saved, c.saved);
        }
        EXPECT_EQ(ReadBytes(target), c.saved ? "new" : "old content");
        EXPECT_EQ(scratch.Names(), NameList({"t"}));
    }
}

} // namespace
