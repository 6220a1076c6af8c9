// The line store's file seam, natively and under Wine: the application folder, probing by name
// and the file primitives.
#include "classes/platform/platform.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace scratch;

namespace platform = tamsrove::platform;

std::string ReadAll(platform::InputFile& file) {
    std::string all;
    char block[7]; // small on purpose: several reads
    for (;;) {
        const std::size_t got = file.ReadSome(block, sizeof block);
        if (got == 0) {
            return all;
        }
        all.append(block, got);
    }
}

// --- Application folder -------------------------------------------------------------------------

TEST(ApplicationFolder, IsAnExistingFolderWithoutTrailingSeparator) {
    const std::u16string folder = platform::ApplicationFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::is_directory(fs::path(folder)));
    if (folder.size() > 3) { // not a root such as "/" or "C:\"
        EXPECT_NE(folder.back(), platform::PathSeparator());
    }
}

TEST(ApplicationFolder, HoldsThisTestProgram) {
    const fs::path folder(platform::ApplicationFolder());
#ifdef _WIN32
    EXPECT_TRUE(fs::exists(folder / "linestore_tests.exe"));
#else
    EXPECT_EQ(folder, fs::read_symlink("/proc/self/exe").parent_path());
#endif
}

TEST(PathSeparator, IsThePlatformsOwn) {
#ifdef _WIN32
    EXPECT_EQ(platform::PathSeparator(), u'\\');
#else
    EXPECT_EQ(platform::PathSeparator(), u'/');
#endif
}

// --- Probing by name ----------------------------------------------------------------------------

TEST(FileLengthByName, AnswersFilesOnly) {
    // A path is never cut at U+0000: "five\0x" must not probe "five".
    ScratchFolder scratch;
    scratch.Put("five", "12345");
    scratch.Put("empty", "");
    std::u16string with_nul = scratch.File("five");
    with_nul += u'\0';
    with_nul += u"x";
    EXPECT_EQ(platform::FileLengthByName(scratch.File("five")), 5U);
    EXPECT_EQ(platform::FileLengthByName(scratch.File("empty")), 0U);
    for (const std::u16string& none :
         {scratch.File("missing"), scratch.Path().u16string(), std::u16string(), with_nul}) {
        EXPECT_EQ(platform::FileLengthByName(none), std::nullopt) << fs::path(none);
    }
    EXPECT_THROW(platform::InputFile{with_nul}, std::system_error);
}

#ifndef _WIN32
TEST(NativePath, LoneSurrogateNamesNoFile) {
    ScratchFolder scratch;
    EXPECT_EQ(platform::FileLengthByName(scratch.File("a") + u"\xD800"), std::nullopt);
    EXPECT_THROW((void)platform::OutputFile::Append(scratch.File("a") + u"\xDC00"),
                 std::system_error);
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{});
}

TEST(NativePath, SurrogatePairBecomesUtf8) {
    ScratchFolder scratch;
    auto file = platform::OutputFile::Append(scratch.File("x") + u"\xD83D\xDE00");
    file.Commit();
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"x\xF0\x9F\x98\x80"});
}
#endif

// --- Reading ------------------------------------------------------------------------------------

TEST(InputFile, ReadsEveryByteThenEnds) {
    ScratchFolder scratch;
    const std::string bytes("a\r\n\0\xFF z", 7);
    platform::InputFile file(scratch.Put("f", bytes));
    EXPECT_EQ(file.RegularFileLength(), 7U);
    EXPECT_EQ(ReadAll(file), bytes);
    char extra = 0;
    EXPECT_EQ(file.ReadSome(&extra, 1), 0U);
}

TEST(InputFile, MissingFileFailsAndIsNotCreated) {
    ScratchFolder scratch;
    EXPECT_THROW(platform::InputFile{scratch.File("missing")}, std::system_error);
    EXPECT_THROW(platform::InputFile{u""}, std::system_error);
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{});
}

#ifndef _WIN32
TEST(InputFile, DeviceHasNoRegularLength) {
    platform::InputFile file(u"/dev/null");
    EXPECT_EQ(file.RegularFileLength(), std::nullopt);
    char byte = 0;
    EXPECT_EQ(file.ReadSome(&byte, 1), 0U);
}
#endif

// --- Writing ------------------------------------------------------------------------------------

TEST(OutputFile, ReplacementAppearsOnlyOnCommit) {
    for (const bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "committed" : "not committed");
        ScratchFolder scratch;
        {
            auto file = platform::OutputFile::Replace(scratch.Put("t", "old content"));
            file.Write("new", 3);
            EXPECT_EQ(scratch.Bytes("t"), "old content");
            if (commit) {
                file.Commit();
            }
        }
        EXPECT_EQ(scratch.Bytes("t"), commit ? "new" : "old content");
        EXPECT_EQ(scratch.Names(), std::vector<std::string>{"t"});
    }
}

TEST(OutputFile, ReplaceCreatesMissingFile) {
    ScratchFolder scratch;
    auto file = platform::OutputFile::Replace(scratch.File("new"));
    file.Commit();
    EXPECT_EQ(fs::file_size(scratch.Path() / "new"), 0U);
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"new"});
}

TEST(OutputFile, ReplaceFailsInAMissingFolderAndOnAFolder) {
    ScratchFolder scratch;
    fs::create_directory(scratch.Path() / "d");
    for (const std::u16string& bad :
         {scratch.File("no/such"), std::u16string(), scratch.File("d")}) {
        EXPECT_THROW((void)platform::OutputFile::Replace(bad), std::system_error) << fs::path(bad);
    }
    EXPECT_TRUE(fs::is_directory(scratch.Path() / "d"));
    EXPECT_TRUE(fs::is_empty(scratch.Path() / "d"));
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"d"});
}

TEST(OutputFile, AppendAddsAtTheEnd) {
    ScratchFolder scratch;
    for (const char* piece : {"ab", "", "cd"}) {
        auto file = platform::OutputFile::Append(scratch.File("log"));
        file.Write(piece, std::char_traits<char>::length(piece));
        file.Commit();
    }
    EXPECT_EQ(scratch.Bytes("log"), "abcd");
}

#ifndef _WIN32
TEST(OutputFile, ReplacementKeepsPermissionBits) {
    ScratchFolder scratch;
    const fs::path target = scratch.Path() / "t";
    WriteBytes(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto file = platform::OutputFile::Replace(target.u16string());
    file.Write("new", 3);
    file.Commit();
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(OutputFile, DeviceTargetIsWrittenNotReplaced) {
    // Renaming over a device node would replace the node itself; /dev/null must stay a device.
    auto file = platform::OutputFile::Replace(u"/dev/null");
    file.Write("x", 1);
    file.Commit();
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
#endif

} // namespace
