// The platform seam, natively and under Wine: the ANSI code page and its codec against the
// golden tables recorded from Windows, the application folder, and the file primitives.
#include "base/ansi_codec.h"
#include "classes/platform/platform.h"

#include "golden_1252.h"
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

// --- ANSI code page --------------------------------------------------------------------------

/// The golden byte of every UTF-16 unit: '?' where 1252 has none.
std::array<char, 0x10000> GoldenNarrowTable() {
    std::array<char, 0x10000> table{};
    table.fill('?');
    for (const auto& [unit, byte] : golden_1252::kNarrow) {
        table[unit] = static_cast<char>(byte);
    }
    return table;
}

TEST(AnsiCodePage, WidensEveryByteAsWindowsDoesInTheConversionAndTheTable) {
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) {
        all[static_cast<std::size_t>(b)] = static_cast<char>(b);
    }
    const std::u16string wide = platform::AnsiToWide(all);
    ASSERT_EQ(wide.size(), 256U);
    const platform::AnsiTable* table = platform::SingleByteAnsiTable();
    ASSERT_NE(table, nullptr);
    for (std::size_t b = 0; b < 256; ++b) {
        EXPECT_EQ(wide[b], golden_1252::kWiden[b]) << "byte " << b;
        EXPECT_EQ((*table)[b], golden_1252::kWiden[b]) << "byte " << b;
    }
}

TEST(AnsiCodePage, NarrowsEveryUnitAsWindowsDoesWithoutBestFit) {
    const std::array<char, 0x10000> expected = GoldenNarrowTable();
    std::u16string every_unit(0x10000, u'\0');
    for (std::size_t u = 0; u < every_unit.size(); ++u) {
        every_unit[u] = static_cast<char16_t>(u);
    }
    // One unit at a time: a pair formed by neighbouring units must not blur the table.
    for (std::size_t u = 0; u < every_unit.size(); ++u) {
        std::string out;
        platform::AppendWideAsAnsi(std::u16string_view(every_unit).substr(u, 1), out);
        ASSERT_EQ(out.size(), 1U) << "unit " << u;
        EXPECT_EQ(out[0], expected[u]) << "unit " << u;
    }
}

TEST(AnsiCodePage, SequencesNarrowAsWindowsDoes) {
    // Surrogates as Windows narrows them; look-alikes that best fit would make 'A', '/' and '\\'
    // (text that only looked like a path) become '?'; the empty text adds nothing.
    std::vector<golden_1252::Sequence> cases(golden_1252::kSequences.begin(),
                                             golden_1252::kSequences.end());
    cases.push_back({u"\x0100\xFF0F\xFF3C", "???"});
    cases.push_back({u"", ""});
    for (const auto& [text, bytes] : cases) {
        SCOPED_TRACE(::testing::Message() << "expected " << bytes);
        std::string out = "x";
        platform::AppendWideAsAnsi(text, out);
        EXPECT_EQ(out, "x" + std::string(bytes));
    }
}

TEST(AnsiCodePage, RefusingNarrowingFailsWholeOnAnyCharacterWithoutExactForm) {
    struct Case {
        std::u16string_view text;
        bool converts;
        std::string_view bytes;
    };
    const Case cases[] = {
        {u"a?b", true, "a?b"},                     // a real question mark is no substitution
        {u"caf\u00E9\u20AC", true, "caf\xE9\x80"}, // exact forms in 1252
        {u"a\u0100", false, ""},                   // best fit would give 'A'
        {u"\xFF0F", false, ""},                    // best fit would give '/'
        {u"a\xD800", false, ""},                   // lone surrogate
        {u"\xD83D\xDE00", false, ""},              // a pair outside the code page
    };
    for (const Case& c : cases) {
        std::string out = "x";
        EXPECT_EQ(platform::AppendWideAsAnsi(c.text, out, platform::Unmappable::Refuse), c.converts)
            << out;
        EXPECT_EQ(out, "x" + std::string(c.bytes));
    }
}

TEST(AnsiCodePage, EmptyTextWidensToNothing) {
    EXPECT_EQ(platform::AnsiToWide(""), u"");
}

TEST(AnsiCodec, WidensAsTheGoldenTableAtEveryOffset) {
    // Lengths and positions around the codec's 16-byte blocks and its last half block: 0xE9 is
    // its own character in 1252, 0x80 and 0x9F are not.
    const platform::SingleByteCodec* codec = platform::AnsiCodec();
    ASSERT_NE(codec, nullptr);
    for (const char odd : {'\xE9', '\x80', '\x9F', '\0'}) {
        for (std::size_t length = 1; length <= 50; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                std::string bytes(length, 'x');
                std::u16string expected(length, u'x');
                if (at < length) {
                    bytes[at] = odd;
                    expected[at] = golden_1252::kWiden[static_cast<unsigned char>(odd)];
                }
                SCOPED_TRACE(testing::Message() << "byte " << int{static_cast<unsigned char>(odd)}
                                                << ", length " << length << ", at " << at);
                std::u16string appended = u"<";
                platform::AppendWidened(*codec, bytes, appended);
                ASSERT_EQ(appended, u"<" + expected);
            }
        }
    }
}

TEST(AnsiCodec, NarrowsAsTheGoldenTableAtEveryOffset) {
    const platform::SingleByteCodec* codec = platform::AnsiNarrowingCodec();
    ASSERT_NE(codec, nullptr);
    const std::array<char, 0x10000> golden = GoldenNarrowTable();
    for (const char16_t odd :
         {u'\x00E9', u'\x0100', u'\xD800', u'\x0080', u'\x0081', u'\x20AC', u'\xFF0F', u'\0'}) {
        for (std::size_t length = 1; length <= 40; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                std::u16string text(length, u'y');
                std::string expected(length, 'y');
                if (at < length) {
                    text[at] = odd;
                    expected[at] = golden[odd];
                }
                SCOPED_TRACE(testing::Message()
                             << "unit " << int{odd} << ", length " << length << ", at " << at);
                std::string out(length, '\0');
                const bool exact = codec->NarrowExactly(text.data(), length, out.data());
                ASSERT_EQ(out, expected);
                ASSERT_EQ(exact, at == length || golden[odd] != '?');
            }
        }
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
