// The line store's file operations, natively and under Wine: text-file load and save, whole-file
// byte transfer, file probes and the application-folder resolution (Trace).
#include "tamsrove/cls_DBI.h"
#include "classes/app_folder.h"
#include "classes/line_limit.h"
#include "classes/line_stream.h"
#include "base/ansi_codec.h"
#include "classes/platform/platform.h"

#include "platform/golden_1252.h"
#include "platform/scratch_folder.h"
#include "store_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using store_test::LinesOf;
using store_test::StoreOf;

namespace fs = std::filesystem;
namespace platform = tamsrove::platform;
using namespace std::string_literals;
using Lines = std::vector<std::u16string>;
using scratch::NameList;
using scratch::ReadBytes;
using scratch::ScratchFolder;
using scratch::WriteBytes;

/// A store that already failed once, so that tests can see success never clears ErrorText.
cls_DBI StoreWithErrorText(const Lines& lines, const char16_t* text) {
    cls_DBI store = StoreOf(lines);
    if (std::u16string(text) == cls_DBI::kDBIToFileError) {
        store.DBIToFile(u"unused", 2);
    } else {
        store.FileToDBI(u"");
    }
    return store;
}

/// Bytes converted one by one through the golden 1252 table.
std::u16string GoldenWiden(const std::string& bytes) {
    std::u16string out;
    for (const char byte : bytes) {
        out += golden_1252::kWiden[static_cast<unsigned char>(byte)];
    }
    return out;
}

/// Every byte value once, in order.
std::string AllBytes() {
    std::string all(256, '\0');
    for (std::size_t b = 0; b < all.size(); ++b) {
        all[b] = static_cast<char>(b);
    }
    return all;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

/// Removes a file made outside any scratch folder (in the test program's folder).
class RemoveAtEnd {
public:
    explicit RemoveAtEnd(fs::path path) : path_(std::move(path)) {}
    RemoveAtEnd(const RemoveAtEnd&) = delete;
    RemoveAtEnd& operator=(const RemoveAtEnd&) = delete;
    ~RemoveAtEnd() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }

private:
    fs::path path_;
};

/// A file name no other test process uses, for files in the test program's own folder.
std::string UniqueBareName() {
    static const unsigned token = std::random_device{}();
    static int counter = 0;
    return "tamsrove-trace-" + std::to_string(token) + "-" + std::to_string(counter++) + ".txt";
}

std::u16string Widen(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

/// The lines of bytes shown to a load's two passes in blocks of block_size bytes.
Lines SplitInBlocks(std::string_view bytes, std::size_t block_size) {
    return tamsrove::dbi_files::BuildLines(platform::AnsiCodec(), [&](const auto& visit) {
        for (std::size_t at = 0; at < bytes.size(); at += block_size) {
            visit(bytes.substr(at, block_size));
        }
    });
}

/// The lines of bytes in one block, and the number of lines the first pass counted there.
std::pair<Lines, std::size_t> SplitWhole(std::string_view bytes) {
    tamsrove::dbi_files::LineCounter counts;
    counts.Take(bytes);
    counts.Finish();
    return {SplitInBlocks(bytes, std::max<std::size_t>(bytes.size(), 1)), counts.Lines()};
}

// --- Read form (pure) -------------------------------------------------------------------------

struct ReadFormCase {
    std::string bytes;
    Lines lines;
};

const ReadFormCase kReadForm[] = {
    {"", {}},
    {"a", {u"a"}},
    {"a\r\n", {u"a"}},
    {"a\r", {u"a"}},
    {"a\rb", {u"a", u"b"}},
    {"a\nb", {u"a\nb"}},
    {"a\r\n\r\n", {u"a", u""}},
    {"\r\n", {u""}},
    {"\r\r", {u"", u""}},
    {"\n", {u"\n"}},
    {"\n\r", {u"\n"}},
    {"a\n\rb", {u"a\n", u"b"}},
    {"\r\n\n", {u"", u"\n"}},
    {"a\r\r\nb\n", {u"a", u"", u"b\n"}},
    {"x\r\ny\rz\nw", {u"x", u"y", u"z\nw"}},
    {"a\0b\r\n\0"s, {u"a\0b"s, u"\0"s}},
    {"\x80\xE9\r\xFF", {u"\x20AC\x00E9", u"\x00FF"}},
};

TEST(ReadForm, SplitsAtCrLfAndLoneCrOnly) {
    for (const ReadFormCase& c : kReadForm) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(SplitWhole(c.bytes), std::make_pair(c.lines, c.lines.size()));
    }
}

TEST(ReadForm, EveryBlockSizeGivesTheLinesOfTheWholeBuffer) {
    // A load reads in blocks: a CR LF cut between two blocks, a block that ends in a CR and a
    // line across many blocks must each come out exactly as from one whole buffer.
    std::string all;
    for (const ReadFormCase& c : kReadForm) {
        all += c.bytes + "\r";
    }
    std::vector<std::string> inputs = {all, all.substr(0, all.size() - 1), RandomBytes(3000, 5)};
    for (const ReadFormCase& c : kReadForm) {
        inputs.push_back(c.bytes);
    }
    for (const std::string& bytes : inputs) {
        for (std::size_t block = 1; block <= 40; ++block) {
            SCOPED_TRACE(testing::Message()
                         << testing::PrintToString(bytes.substr(0, 20)) << ", block " << block);
            ASSERT_EQ(SplitInBlocks(bytes, block), SplitWhole(bytes).first);
        }
    }
}

TEST(ReadForm, JoinToFolderAddsOneSeparator) {
    // A root folder already ends in the separator: the name follows it directly, never after a
    // doubled separator ("C:\\x" would be read as a network path).
    struct Case {
        std::u16string folder;
        char16_t separator;
        std::u16string name;
        std::u16string joined;
    };
    const Case cases[] = {
        {u"C:\\dir", u'\\', u"x.txt", u"C:\\dir\\x.txt"},
        {u"C:\\", u'\\', u"x.txt", u"C:\\x.txt"},
        {u"/opt/app", u'/', u"x.txt", u"/opt/app/x.txt"},
        {u"/", u'/', u"x.txt", u"/x.txt"},
        {u"/opt/app", u'/', u"", u"/opt/app/"},
        {u"/opt/app", u'/', u"/etc/passwd", u"/opt/app//etc/passwd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.joined));
        EXPECT_EQ(tamsrove::dbi_files::JoinToFolder(c.folder, c.separator, c.name), c.joined);
    }
}

// --- FileToDBI ---------------------------------------------------------------------------------

TEST(FileToDBI, ReadsEveryLineFormFromAFile) {
    ScratchFolder scratch;
    for (const ReadFormCase& c : kReadForm) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        WriteBytes(scratch.Path() / "f", c.bytes);
        cls_DBI store = StoreOf({u"old1", u"old2", u"old3"});
        store.FileToDBI(scratch.File("f"));
        EXPECT_EQ(LinesOf(store), c.lines.empty() ? Lines{u""} : c.lines);
        EXPECT_EQ(store.LinesNumber(),
                  c.lines.empty() ? 0 : static_cast<int32_t>(c.lines.size() - 1));
        EXPECT_EQ(store.ErrorCode(), u"");
    }
}

TEST(FileToDBI, ReplacesAllLinesOfALongerStore) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "one\r\ntwo\r\n");
    cls_DBI store = StoreOf({u"a", u"b", u"c", u"d", u"e"});
    store.FileToDBI(scratch.File("f"));
    EXPECT_EQ(LinesOf(store), (Lines{u"one", u"two"}));
    EXPECT_EQ(store.LinesNumber(), 1);
}

TEST(FileToDBI, EmptyFileGivesTheEmptyStore) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "");
    cls_DBI store = StoreOf({u"a", u"b"});
    store.FileToDBI(scratch.File("f"));
    EXPECT_EQ(LinesOf(store), Lines{u""});
    EXPECT_EQ(store.LinesNumber(), 0);
}

TEST(FileToDBI, FailuresKeepTheStoreAndRecordTheText) {
    ScratchFolder scratch;
    fs::create_directory(scratch.Path() / "folder");
    std::u16string with_nul = scratch.File("f");
    with_nul += u'\0';
    const std::u16string names[] = {
        scratch.File("missing"), scratch.File("no/such/file"), u"", with_nul,
        scratch.File("folder"),
    };
    for (std::u16string name : names) {
        SCOPED_TRACE(testing::PrintToString(fs::path(name).string()));
        cls_DBI store = StoreOf({u"keep", u"these"});
        store.FileToDBI(name);
        EXPECT_EQ(LinesOf(store), (Lines{u"keep", u"these"}));
        EXPECT_EQ(store.LinesNumber(), 1);
        EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
    }
    EXPECT_EQ(scratch.Names(), NameList({"folder"})); // nothing was created
}

TEST(FileToDBI, SuccessKeepsAnEarlierErrorText) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "x\r\n");
    cls_DBI store = StoreWithErrorText({u"a"}, cls_DBI::kDBIToFileError);
    store.FileToDBI(scratch.File("f"));
    EXPECT_EQ(LinesOf(store), Lines{u"x"});
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kDBIToFileError);
}

TEST(FileToDBI, LineEndsAtReadPieceBordersAreCountedOnce) {
    // The line count is taken piece by piece during the read; a CR LF cut between two pieces,
    // or a CR that ends a piece, must still make exactly one line end.
    ScratchFolder scratch;
    constexpr std::size_t piece = std::size_t{1} << 18;
    std::string bytes;
    Lines expected;
    std::mt19937 random(11);
    const auto add_line = [&](std::size_t length, const char* end) {
        std::string line(length, static_cast<char>('a' + random() % 26));
        bytes += line + end;
        expected.push_back(Widen(line));
    };
    add_line(piece - 1, "\r\n"); // CR last in the first piece, LF first in the second
    add_line(piece - 2, "\r");   // a lone CR last in the second piece
    while (bytes.size() < 3 * piece + 1000) {
        add_line(random() % 300, random() % 2 == 0 ? "\r\n" : "\r");
    }
    add_line(17, ""); // no final line end
    WriteBytes(scratch.Path() / "f", bytes);
    cls_DBI store;
    store.FileToDBI(scratch.File("f"));
    EXPECT_EQ(store.LinesNumber(), static_cast<int32_t>(expected.size() - 1));
    EXPECT_TRUE(LinesOf(store) == expected);
}

TEST(FileToDBI, ReadsA64MiBSingleLine) {
    ScratchFolder scratch;
    constexpr std::size_t total_length = std::size_t{64} << 20;
    std::string bytes(total_length, 'q');
    bytes[12345] = '\xE9';
    bytes += "\r\n";
    WriteBytes(scratch.Path() / "big", bytes);
    cls_DBI store;
    store.FileToDBI(scratch.File("big"));
    ASSERT_EQ(store.LinesNumber(), 0);
    std::u16string expected(total_length, u'q');
    expected[12345] = u'\x00E9';
    EXPECT_TRUE(*store.begin() == expected);

    store.DBIToFile(scratch.File("copy"), 0);
    EXPECT_TRUE(ReadBytes(scratch.Path() / "copy") == bytes);
}

// --- Line limit --------------------------------------------------------------------------------

/// Lowers the store's line limit while it lives, so that small files reach it.
class LineLimitScope {
public:
    explicit LineLimitScope(std::size_t limit)
        : previous_(tamsrove::dbi_files::detail::SetMaxLines(limit)) {}
    LineLimitScope(const LineLimitScope&) = delete;
    LineLimitScope& operator=(const LineLimitScope&) = delete;
    ~LineLimitScope() { tamsrove::dbi_files::detail::SetMaxLines(previous_); }

private:
    std::size_t previous_;
};

template <typename Text> Text Repeated(const Text& piece, std::size_t times) {
    Text all;
    for (std::size_t i = 0; i < times; ++i) {
        all += piece;
    }
    return all;
}

TEST(LineLimit, FileOfMoreLinesFailsWithTheTextAndKeepsTheStore) {
    // A load counts its lines before it makes any: a file of more lines than a store may hold,
    // however its lines end, fails with the text and leaves the store as it was.
    constexpr std::size_t most_lines = 1000;
    const LineLimitScope limit(most_lines);
    struct Case {
        std::string bytes;
        std::size_t lines; // 0: too many
    };
    const Case cases[] = {
        {std::string(most_lines, '\r'), most_lines},
        {std::string(most_lines + 1, '\r'), 0},
        {std::string(64 * most_lines, '\r'), 0},
        {Repeated("\r\n"s, most_lines) + "tail", 0},
        {std::string(most_lines - 1, '\r') + "tail", most_lines},
        {std::string(3 * most_lines, '\n'), 1},
    };
    ScratchFolder scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes.size() << " bytes");
        WriteBytes(scratch.Path() / "f", c.bytes);
        cls_DBI store = StoreOf({u"keep", u"these"});
        store.FileToDBI(scratch.File("f"));
        if (c.lines == 0) {
            EXPECT_EQ(LinesOf(store), (Lines{u"keep", u"these"}));
            EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
        } else {
            EXPECT_EQ(store.LinesNumber(), static_cast<int32_t>(c.lines - 1));
            EXPECT_EQ(store.ErrorCode(), u"");
        }
    }
}

TEST(LineLimit, IsTheSameForEveryWayOfAddingLines) {
    // Every way of adding lines stops at the one limit: a store may reach it, and a call that
    // would go one line beyond fails (the load with its text, the others by raising) and leaves
    // the store as it was.
    constexpr std::size_t most_lines = 50;
    const LineLimitScope limit(most_lines);
    ScratchFolder scratch;
    struct Way {
        const char* name;
        bool full_before; // the store holds all lines but the last before the call
        std::function<void(cls_DBI&, std::size_t)> add; // makes the store hold n lines
    };
    const Way ways[] = {
        {"FileToDBI", false,
         [&](cls_DBI& store, std::size_t n) {
             WriteBytes(scratch.Path() / "f", Repeated("x\r\n"s, n));
             store.FileToDBI(scratch.File("f"));
         }},
        {"MetaStringToDBI", false,
         [](cls_DBI& store, std::size_t n) {
             store.MetaStringToDBI(Repeated(u"x|"s, n - 1), u"|");
         }},
        {"AddLineEnd", true,
         [](cls_DBI& store, std::size_t) {
             store.AddLineEnd(u"y");
         }},
        {"InsertLine", true,
         [](cls_DBI& store, std::size_t) {
             store.InsertLine(u"y", 0);
         }},
    };
    for (const Way& way : ways) {
        for (const std::size_t n : {most_lines, most_lines + 1}) {
            SCOPED_TRACE(testing::Message() << way.name << ", " << n << " lines");
            const Lines before = way.full_before ? Lines(n - 1, u"k") : Lines{u"k"};
            cls_DBI store = StoreOf(before);
            if (n <= most_lines) {
                way.add(store, n);
                EXPECT_EQ(store.LinesNumber(), static_cast<int32_t>(n - 1));
                continue;
            }
            if (std::string_view(way.name) == "FileToDBI") {
                way.add(store, n);
                EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
            } else {
                EXPECT_THROW(way.add(store, n), std::length_error);
            }
            EXPECT_EQ(LinesOf(store), before);
        }
    }
}

// --- DBIToFile ---------------------------------------------------------------------------------

TEST(DBIToFile, EmptyStoreWritesOneLineEnd) {
    ScratchFolder scratch;
    cls_DBI store;
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "\r\n");
    cls_DBI back = StoreOf({u"x", u"y"});
    back.FileToDBI(scratch.File("f"));
    EXPECT_EQ(LinesOf(back), Lines{u""});
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(DBIToFile, ReplacesThenAppends) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "much longer old content that must go");
    cls_DBI store = StoreOf({u"a", u"b"});
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "a\r\nb\r\n");
    store.DBIToFile(scratch.File("f"), 1);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "a\r\nb\r\na\r\nb\r\n");
    EXPECT_EQ(store.ErrorCode(), u"");
    EXPECT_EQ(scratch.Names(), NameList({"f"}));
}

TEST(DBIToFile, AppendCreatesAMissingFile) {
    ScratchFolder scratch;
    cls_DBI store = StoreOf({u"a"});
    store.DBIToFile(scratch.File("f"), 1);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "a\r\n");
}

TEST(DBIToFile, AppendContinuesALastLineWithoutLineEnd) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "x\r\nunfinished");
    cls_DBI store = StoreOf({u"a", u"b"});
    store.DBIToFile(scratch.File("f"), 1);
    cls_DBI back;
    back.FileToDBI(scratch.File("f"));
    EXPECT_EQ(LinesOf(back), (Lines{u"x", u"unfinisheda", u"b"}));
}

TEST(DBIToFile, OtherModesTouchNoFileAndRecordTheText) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "existing", "old");
    for (const int32_t mode : {2, -1, 1000}) {
        SCOPED_TRACE(mode);
        cls_DBI store = StoreOf({u"a"});
        store.DBIToFile(scratch.File("new"), mode);
        EXPECT_EQ(store.ErrorCode(), cls_DBI::kDBIToFileError);
        store.DBIToFile(scratch.File("existing"), mode);
        EXPECT_EQ(ReadBytes(scratch.Path() / "existing"), "old");
    }
    EXPECT_EQ(scratch.Names(), NameList({"existing"}));
}

TEST(DBIToFile, RoundTripKeepsTheLinesOfTheCodePage) {
    ScratchFolder scratch;
    const Lines lines = {u"plain",     u"",           u"caf\x00E9 \x20AC 5",
                         u"tab\there", u"lf\ninside", GoldenWiden(AllBytes().substr(0x0E))};
    cls_DBI store = StoreOf(lines);
    store.DBIToFile(scratch.File("f"), 0);
    cls_DBI back;
    back.FileToDBI(scratch.File("f"));
    // The LF inside a line stays an ordinary character; only CR ends a line.
    EXPECT_EQ(LinesOf(back), lines);
}

TEST(DBIToFile, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    // No best fit: U+FF0F must not become '/' nor U+0100 'A' in a written file.
    ScratchFolder scratch;
    cls_DBI store = StoreOf({u"a\x0100/\xFF0F\xD83D\xDE00z"});
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "a?/???z\r\n");
}

TEST(DBIToFile, LinesCrossingWriteBlocksComeOutWhole) {
    // Lines and surrogate pairs that straddle the 1 MiB write blocks are written exactly once.
    ScratchFolder scratch;
    Lines lines;
    std::string expected;
    std::mt19937 random(7);
    const std::u16string pieces[] = {u"abc", u"\x00E9\x00FC", u"\xD83D\xDE00", u"\x0100",
                                     u"0123456789abcdef"};
    std::size_t total = 0;
    while (total < (std::size_t{5} << 19)) { // about 2.5 MiB
        std::u16string line;
        const std::size_t parts = random() % 40;
        for (std::size_t p = 0; p < parts; ++p) {
            line += pieces[random() % std::size(pieces)];
        }
        total += line.size() + 2;
        platform::AppendWideAsAnsi(line, expected);
        expected += "\r\n";
        lines.push_back(std::move(line));
    }
    lines.push_back(std::u16string((std::size_t{1} << 20) - 1, u'L') + u"\xD83D\xDE00" + u"tail");
    platform::AppendWideAsAnsi(lines.back(), expected);
    expected += "\r\n";

    cls_DBI store = StoreOf(lines);
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(store.ErrorCode(), u"");
    EXPECT_TRUE(ReadBytes(scratch.Path() / "f") == expected);
}

TEST(DBIToFile, FailuresRecordTheTextAndCreateNothing) {
    ScratchFolder scratch;
    fs::create_directory(scratch.Path() / "folder");
    for (const int32_t mode : {0, 1}) {
        for (std::u16string name :
             {scratch.File("no/such/file"), std::u16string(), scratch.File("folder")}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << fs::path(name).string());
            cls_DBI store = StoreOf({u"a", u"b"});
            store.DBIToFile(name, mode);
            EXPECT_EQ(store.ErrorCode(), cls_DBI::kDBIToFileError);
            EXPECT_EQ(LinesOf(store), (Lines{u"a", u"b"}));
        }
    }
    EXPECT_EQ(scratch.Names(), NameList({"folder"}));
    EXPECT_TRUE(fs::is_empty(scratch.Path() / "folder"));
}

TEST(DBIToFile, SuccessKeepsAnEarlierErrorText) {
    ScratchFolder scratch;
    cls_DBI store = StoreWithErrorText({u"a"}, cls_DBI::kFileToDBIError);
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "a\r\n");
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
}

// --- Read-only targets ----------------------------------------------------------------------

// Makes the file read-only; false when this process may write it anyway (an administrator or
// root), in which case the test cannot observe the refusal.
bool MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    std::ofstream probe(path, std::ios::binary | std::ios::app);
    return !probe.is_open();
}

TEST(ReadOnlyFile, IsReadButNeverReplacedOrAppended) {
    ScratchFolder scratch;
    const fs::path target = scratch.Path() / "ro";
    WriteBytes(target, "old\r\n");
    if (!MakeReadOnly(target)) {
        GTEST_SKIP() << "this process may write read-only files";
    }
    cls_DBI store = StoreOf({u"new"});
    store.DBIToFile(target.u16string(), 0);
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kDBIToFileError);
    cls_DBI appender = StoreOf({u"new"});
    appender.DBIToFile(target.u16string(), 1);
    EXPECT_EQ(appender.ErrorCode(), cls_DBI::kDBIToFileError);
    for (const int32_t mode : {0, 1}) {
        cls_DBI writer;
        std::u16string name = target.u16string();
        writer.STF(u"new", name, mode);
        EXPECT_EQ(writer.ErrorCode(), cls_DBI::kSTFError) << "mode " << mode;
    }
    EXPECT_EQ(ReadBytes(target), "old\r\n");
    EXPECT_EQ(scratch.Names(), NameList({"ro"}));

    cls_DBI reader;
    reader.FileToDBI(target.u16string());
    EXPECT_EQ(LinesOf(reader), Lines{u"old"});
    EXPECT_EQ(reader.FTS(target.u16string()), u"old\r\n");
    EXPECT_EQ(reader.GetFileSizeNoFSO(target.u16string()), 5);
    EXPECT_EQ(reader.ErrorCode(), u"");
}

// --- FTS -------------------------------------------------------------------------------------

TEST(FTS, EmptyFileGivesAnEmptyStringWithoutError) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "");
    cls_DBI store;
    EXPECT_EQ(store.FTS(scratch.File("f")), u"");
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(FTS, MissingFileFailsAndIsNotCreated) {
    // Reading never creates a file: a missing name is a failure.
    ScratchFolder scratch;
    cls_DBI store;
    EXPECT_EQ(store.FTS(scratch.File("missing")), u"");
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kFTSError);
    EXPECT_EQ(scratch.Names(), NameList({}));
}

TEST(FTS, BadNamesFailWithAnEmptyResult) {
    ScratchFolder scratch;
    fs::create_directory(scratch.Path() / "folder");
    for (std::u16string name :
         {scratch.File("no/such/file"), std::u16string(), scratch.File("folder")}) {
        SCOPED_TRACE(fs::path(name).string());
        cls_DBI store;
        EXPECT_EQ(store.FTS(name), u"");
        EXPECT_EQ(store.ErrorCode(), cls_DBI::kFTSError);
    }
}

TEST(FTS, ReturnsControlAndZeroBytesUnchanged) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "A\r\n\0B"s);
    cls_DBI store;
    EXPECT_EQ(store.FTS(scratch.File("f")), u"A\r\n\0B"s);
}

TEST(FTS, EveryByteValueRoundTripsThroughSTF) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "all", AllBytes());
    cls_DBI store;
    const std::u16string text = store.FTS(scratch.File("all"));
    EXPECT_EQ(text, GoldenWiden(AllBytes()));
    std::u16string copy = scratch.File("copy");
    store.STF(text, copy, 0);
    EXPECT_TRUE(ReadBytes(scratch.Path() / "copy") == AllBytes());
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(FTS, AgreesWithTheCodePageForEverySmallLength) {
    // The bytes are widened inside the result's own storage; every length and position of the
    // high bytes around the 16-byte blocks must come out as a plain conversion would.
    ScratchFolder scratch;
    for (std::size_t length = 0; length <= 70; ++length) {
        for (const bool ascii : {true, false}) {
            std::string bytes = RandomBytes(length, static_cast<unsigned>(length));
            if (ascii) {
                for (char& byte : bytes) {
                    byte = static_cast<char>(byte & 0x7F);
                }
            }
            SCOPED_TRACE(testing::Message() << "length " << length << (ascii ? " ascii" : ""));
            WriteBytes(scratch.Path() / "f", bytes);
            cls_DBI store;
            ASSERT_EQ(store.FTS(scratch.File("f")), GoldenWiden(bytes));
        }
    }
}

TEST(FTS, ReadsALargeMixedFile) {
    ScratchFolder scratch;
    std::string bytes = RandomBytes((std::size_t{3} << 20) + 17, 99);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        bytes[i] = static_cast<char>(bytes[i] & 0x7F); // long ASCII runs and short high runs
    }
    WriteBytes(scratch.Path() / "f", bytes);
    cls_DBI store;
    EXPECT_TRUE(store.FTS(scratch.File("f")) == GoldenWiden(bytes));
}

// --- STF -------------------------------------------------------------------------------------

TEST(STF, ReplaceLeavesExactlyTheNewBytes) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "a much longer old content");
    cls_DBI store;
    std::u16string name = scratch.File("f");
    store.STF(u"new", name, 0);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "new");
    store.STF(u"", name, 0);
    EXPECT_TRUE(fs::exists(scratch.Path() / "f"));
    EXPECT_EQ(fs::file_size(scratch.Path() / "f"), 0U);
    EXPECT_EQ(store.ErrorCode(), u"");
    EXPECT_EQ(scratch.Names(), NameList({"f"}));
}

TEST(STF, AppendCreatesThenAppends) {
    ScratchFolder scratch;
    cls_DBI store;
    std::u16string name = scratch.File("f");
    store.STF(u"", name, 1);
    EXPECT_EQ(fs::file_size(scratch.Path() / "f"), 0U);
    store.STF(u"first", name, 1);
    store.STF(u"\r\nsecond", name, 1);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "first\r\nsecond");
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(STF, OtherModesDoNothing) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "existing", "old");
    cls_DBI store;
    for (const int32_t mode : {2, -1}) {
        std::u16string missing = scratch.File("new");
        std::u16string existing = scratch.File("existing");
        store.STF(u"data", missing, mode);
        store.STF(u"data", existing, mode);
        std::u16string bad_folder = scratch.File("no/such/file");
        store.STF(u"data", bad_folder, mode);
    }
    EXPECT_EQ(ReadBytes(scratch.Path() / "existing"), "old");
    EXPECT_EQ(scratch.Names(), NameList({"existing"}));
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(STF, FailuresAreReportedInBothModes) {
    // STF in modes 0 and 1 reports a failed write instead of ending silently.
    ScratchFolder scratch;
    for (const int32_t mode : {0, 1}) {
        for (std::u16string name : {scratch.File("no/such/file"), std::u16string()}) {
            cls_DBI store;
            store.STF(u"data", name, mode);
            EXPECT_EQ(store.ErrorCode(), cls_DBI::kSTFError) << "mode " << mode;
        }
    }
    EXPECT_EQ(scratch.Names(), NameList({}));
}

TEST(STF, WritesOneBytePerCharacterAndQuestionMarksForTheRest) {
    ScratchFolder scratch;
    cls_DBI store;
    std::u16string name = scratch.File("f");
    store.STF(u"\x20AC\x00E9\x0100\xFF0F\xD800", name, 0);
    EXPECT_EQ(ReadBytes(scratch.Path() / "f"), "\x80\xE9???");
}

// --- File probes -----------------------------------------------------------------------------

TEST(FileExists, AnswersFromTheLengthQuery) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "empty", "");
    WriteBytes(scratch.Path() / "full", "abc");
    fs::create_directory(scratch.Path() / "folder");
    std::u16string with_nul = scratch.File("full");
    with_nul += u'\0';
    struct Case {
        std::u16string name;
        bool exists;
    };
    const Case cases[] = {
        {scratch.File("empty"), true},
        {scratch.File("full"), true},
        {scratch.File("missing"), false},
        {scratch.File("no/such/file"), false},
        {scratch.File("folder"), false},
        {u"", false},
        {with_nul, false},
    };
    const cls_DBI store = StoreWithErrorText({u"a"}, cls_DBI::kFileToDBIError);
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.name).string());
        EXPECT_EQ(store.FileExists(std::u16string(c.name)), c.exists);
    }
    EXPECT_EQ(scratch.Names(), NameList({"empty", "folder", "full"}));
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
}

TEST(GetFileSizeNoFSO, GivesTheLengthOrZero) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "300", std::string(300, 'z'));
    WriteBytes(scratch.Path() / "empty", "");
    fs::create_directory(scratch.Path() / "folder");
    struct Case {
        std::u16string name;
        int32_t size;
    };
    const Case cases[] = {
        {scratch.File("300"), 300},   {scratch.File("empty"), 0},
        {scratch.File("missing"), 0}, {scratch.File("no/such/file"), 0},
        {scratch.File("folder"), 0},  {u"", 0},
    };
    const cls_DBI store;
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.name).string());
        EXPECT_EQ(store.GetFileSizeNoFSO(std::u16string(c.name)), c.size);
    }
    EXPECT_EQ(ReadBytes(scratch.Path() / "300"), std::string(300, 'z'));
    EXPECT_EQ(scratch.Names(), NameList({"300", "empty", "folder"}));
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(GetFileSizeNoFSO, LengthBeyondInt32GivesZero) {
    // A length is never truncated: past INT32_MAX the answer is 0, not a wrapped count.
    ScratchFolder scratch;
    const fs::path file = scratch.Path() / "sparse";
    WriteBytes(file, "");
    const cls_DBI store;
    struct Case {
        std::uintmax_t length;
        int32_t size;
    };
    const Case cases[] = {
        {0x7FFFFFFFU, 0x7FFFFFFF}, {0x80000000U, 0}, {0xFFFFFFFFU, 0}, {0x100000001U, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::error_code error;
        fs::resize_file(file, c.length, error); // sparse: no disk space is used
        if (error) {
            GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
        }
        EXPECT_EQ(store.GetFileSizeNoFSO(file.u16string()), c.size);
        EXPECT_TRUE(store.FileExists(file.u16string()));
    }
}

// --- Trace -----------------------------------------------------------------------------------

TEST(Trace, BareNameUsesTheProgramsFolderInEveryOperation) {
    const std::string bare = UniqueBareName();
    const std::u16string expected =
        platform::ApplicationFolder() + platform::PathSeparator() + Widen(bare);
    const RemoveAtEnd cleanup{fs::path(expected)};
    cls_DBI store = StoreOf({u"one", u"two"});

    std::u16string name = Widen(bare);
    store.DBIToFile(name, 0, true);
    EXPECT_EQ(name, expected);
    EXPECT_EQ(ReadBytes(fs::path(expected)), "one\r\ntwo\r\n");

    name = Widen(bare);
    EXPECT_TRUE(store.FileExists(name, true));
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    EXPECT_EQ(store.GetFileSizeNoFSO(name, true), 10);
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    EXPECT_EQ(store.FTS(name, true), u"one\r\ntwo\r\n");
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    store.STF(u"three", name, 1, true);
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    store.FileToDBI(name, true);
    EXPECT_EQ(name, expected);
    EXPECT_EQ(LinesOf(store), (Lines{u"one", u"two", u"three"}));
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(Trace, PrefixStaysInTheCallersVariableOnFailure) {
    const std::string bare = UniqueBareName(); // never created
    const std::u16string expected =
        platform::ApplicationFolder() + platform::PathSeparator() + Widen(bare);
    cls_DBI store;
    std::u16string name = Widen(bare);
    store.FileToDBI(name, true);
    EXPECT_EQ(name, expected);
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
    name = Widen(bare);
    EXPECT_EQ(store.FTS(name, true), u"");
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    EXPECT_FALSE(store.FileExists(name, true));
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    EXPECT_EQ(store.GetFileSizeNoFSO(name, true), 0);
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    store.DBIToFile(name, 7, true);
    EXPECT_EQ(name, expected);
    name = Widen(bare);
    store.STF(u"x", name, 5, true);
    EXPECT_EQ(name, expected);
    EXPECT_FALSE(fs::exists(fs::path(expected)));
}

TEST(Trace, FullPathIsPrefixedToo) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "data");
    const std::u16string full = scratch.File("f");
    cls_DBI store;
    std::u16string name = full;
    EXPECT_EQ(store.FTS(name, true), u"");
    EXPECT_EQ(name, platform::ApplicationFolder() + platform::PathSeparator() + full);
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kFTSError);
}

TEST(Trace, WithoutTraceThePathStaysAsGiven) {
    ScratchFolder scratch;
    WriteBytes(scratch.Path() / "f", "data");
    cls_DBI store;
    std::u16string name = scratch.File("f");
    EXPECT_EQ(store.FTS(name, false), u"data");
    EXPECT_EQ(name, scratch.File("f"));
}

// --- POSIX: devices, FIFOs, full disks -------------------------------------------------------

#ifndef _WIN32

TEST(FullDisk, DeviceTargetReportsTheFailureAndStaysADevice) {
    // A device is written, never renamed over: as root that would replace /dev/full itself.
    cls_DBI store = StoreOf({u"a"});
    store.DBIToFile(u"/dev/full", 0);
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kDBIToFileError);
    cls_DBI writer;
    std::u16string name = u"/dev/full";
    writer.STF(u"data", name, 0);
    EXPECT_EQ(writer.ErrorCode(), cls_DBI::kSTFError);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(FullDisk, FifoWithoutReaderFailsAtOnceAndStaysAFifo) {
    ScratchFolder scratch;
    const fs::path fifo = scratch.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    cls_DBI store = StoreOf({u"a"});
    store.DBIToFile(fifo.u16string(), 0);
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kDBIToFileError);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(scratch.Names(), NameList({"fifo"}));
}

// Runs body in a child process whose files cannot grow past limit bytes, as on a full disk;
// returns the child's exit code.
int RunWithFileSizeLimit(rlim_t limit, const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
        const rlimit fileSize{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) {
            ::_exit(3);
        }
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(FullDisk, FailedReplacementKeepsTheOldFileAndLeavesNoTemporary) {
    // The old file survives a write that runs out of space, and no temporary file stays.
    ScratchFolder scratch;
    const fs::path target = scratch.Path() / "t";
    const std::string old = "old content\r\n";
    Lines many(2000, std::u16string(100, u'x'));
    const cls_DBI big = StoreOf(many);
    const std::u16string bigText(200000, u'y');

    WriteBytes(target, old);
    EXPECT_EQ(RunWithFileSizeLimit(4096,
                                   [&] {
                                       cls_DBI store = big;
                                       store.DBIToFile(target.u16string(), 0);
                                       return store.ErrorCode() == cls_DBI::kDBIToFileError;
                                   }),
              0);
    EXPECT_EQ(ReadBytes(target), old);
    EXPECT_EQ(scratch.Names(), NameList({"t"}));

    EXPECT_EQ(RunWithFileSizeLimit(4096,
                                   [&] {
                                       cls_DBI store;
                                       std::u16string name = target.u16string();
                                       store.STF(bigText, name, 0);
                                       return store.ErrorCode() == cls_DBI::kSTFError;
                                   }),
              0);
    EXPECT_EQ(ReadBytes(target), old);
    EXPECT_EQ(scratch.Names(), NameList({"t"}));
}

TEST(FullDisk, FailedAppendIsReported) {
    ScratchFolder scratch;
    const fs::path target = scratch.Path() / "t";
    WriteBytes(target, "old\r\n");
    const std::u16string bigText(200000, u'y');
    EXPECT_EQ(RunWithFileSizeLimit(4096,
                                   [&] {
                                       cls_DBI store = StoreOf({bigText});
                                       store.DBIToFile(target.u16string(), 1);
                                       return store.ErrorCode() == cls_DBI::kDBIToFileError;
                                   }),
              0);
    EXPECT_EQ(RunWithFileSizeLimit(4096,
                                   [&] {
                                       cls_DBI store;
                                       std::u16string name = target.u16string();
                                       store.STF(bigText, name, 1);
                                       return store.ErrorCode() == cls_DBI::kSTFError;
                                   }),
              0);
    EXPECT_EQ(ReadBytes(target).substr(0, 5), "old\r\n");
}

TEST(FileToDBI, FailureAfterTheOpenKeepsTheStore) {
    // A load is all or nothing: a read that fails after the open (a folder opens but cannot be
    // read; /proc/self/mem fails at offset 0) leaves every line as it was.
    ScratchFolder scratch;
    for (std::u16string name : {scratch.Path().u16string(), std::u16string(u"/proc/self/mem")}) {
        SCOPED_TRACE(fs::path(name).string());
        cls_DBI store = StoreOf({u"keep", u"", u"these"});
        store.FileToDBI(name);
        EXPECT_EQ(LinesOf(store), (Lines{u"keep", u"", u"these"}));
        EXPECT_EQ(store.LinesNumber(), 2);
        EXPECT_EQ(store.ErrorCode(), cls_DBI::kFileToDBIError);
    }
}

TEST(ReadOnlyFile, RefusedEvenWhenTheFolderIsWritable) {
    // rename(2) needs only a writable folder; the read-only file must still refuse replacement.
    ScratchFolder scratch;
    fs::permissions(scratch.Path(), fs::perms::all);
    const fs::path readOnly = scratch.Path() / "ro";
    const fs::path writable = scratch.Path() / "rw";
    WriteBytes(readOnly, "old");
    WriteBytes(writable, "old");
    fs::permissions(readOnly,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(writable, fs::perms::all);
    const int result = RunWithFileSizeLimit(RLIM_INFINITY, [&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return false;
        }
        cls_DBI refused = StoreOf({u"new"});
        refused.DBIToFile(readOnly.u16string(), 0);
        cls_DBI allowed = StoreOf({u"new"});
        allowed.DBIToFile(writable.u16string(), 0);
        return refused.ErrorCode() == cls_DBI::kDBIToFileError && allowed.ErrorCode().empty();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(readOnly), "old");
    EXPECT_EQ(ReadBytes(writable), "new\r\n");
    EXPECT_EQ(scratch.Names(), NameList({"ro", "rw"}));
}

TEST(DBIToFile, NewFileGetsDefaultPermissions) {
    ScratchFolder scratch;
    const mode_t mask = ::umask(022);
    ::umask(mask);
    cls_DBI store;
    store.DBIToFile(scratch.File("f"), 0);
    struct stat info {};
    ASSERT_EQ(::stat((scratch.Path() / "f").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

#endif

} // namespace
