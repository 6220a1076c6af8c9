// The line store's file operations, natively and under Wine: text-file load and save, whole-file
// byte transfer, file probes and the application-folder resolution (Trace).
#include "tamsrove/cls_DBI.h"
#include "classes/app_folder.h"
#include "classes/line_limit.h"
#include "classes/line_stream.h"
#include "base/ansi_codec.h"
#include "classes/platform/platform.h"

#include "../base/golden_1252.h"
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
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using namespace scratch;
using namespace store_test;

namespace platform = tamsrove::platform;
using namespace std::string_literals;

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
    tamsrove::dbi_files::LineCounter counting_pass;
    counting_pass.Take(bytes);
    counting_pass.Finish();
    return {SplitInBlocks(bytes, std::max<std::size_t>(bytes.size(), 1)), counting_pass.Lines()};
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
        cls_DBI store = StoreOf({u"old1", u"old2", u"old3"});
        store.FileToDBI(scratch.Put("f", c.bytes));
        EXPECT_EQ(LinesOf(store), c.lines.empty() ? Lines{u""} : c.lines);
        EXPECT_EQ(store.LinesNumber(),
                  c.lines.empty() ? 0 : static_cast<int32_t>(c.lines.size() - 1));
        EXPECT_EQ(store.ErrorCode(), u"");
    }
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
    cls_DBI store;
    store.FileToDBI(scratch.Put("f", bytes));
    EXPECT_EQ(store.LinesNumber(), static_cast<int32_t>(expected.size() - 1));
    EXPECT_TRUE(LinesOf(store) == expected);
}

TEST(FileToDBI, ReadsA64MiBSingleLine) {
    ScratchFolder scratch;
    constexpr std::size_t total_length = std::size_t{64} << 20;
    std::string bytes(total_length, 'q');
    bytes[12345] = '\xE9';
    bytes += "\r\n";
    cls_DBI store;
    store.FileToDBI(scratch.Put("big", bytes));
    ASSERT_EQ(store.LinesNumber(), 0);
    std::u16string expected(total_length, u'q');
    expected[12345] = u'\x00E9';
    EXPECT_TRUE(*store.begin() == expected);

    store.DBIToFile(scratch.File("copy"), 0);
    EXPECT_TRUE(scratch.Bytes("copy") == bytes);
}

// --- Line limit --------------------------------------------------------------------------------

/// Lowers the store's line limit while it lives, so that small files reach it.
using LineLimitScope = SettingScope<std::size_t, &tamsrove::dbi_files::detail::SetMaxLines>;

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
        cls_DBI store = StoreOf({u"keep", u"these"});
        store.FileToDBI(scratch.Put("f", c.bytes));
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
             store.FileToDBI(scratch.Put("f", Repeated("x\r\n"s, n)));
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

// --- Every file operation ----------------------------------------------------------------------

TEST(FileCalls, BadNamesFailWithTheTextAndChangeNothing) {
    // A failed load or read leaves every line as it was; no failure creates a file. Reads fail
    // on a missing file too, and on names that open but cannot be read (a folder; on POSIX
    // /proc/self/mem, which fails at offset 0).
    ScratchFolder scratch;
    fs::create_directory(scratch.Path() / "folder");
    std::u16string with_nul = scratch.File("f");
    with_nul += u'\0';
    for (const std::u16string& bad :
         {scratch.File("no/such/file"), std::u16string(), scratch.File("folder"), with_nul}) {
        SCOPED_TRACE(testing::PrintToString(fs::path(bad).string()));
        ExpectCallsFail(bad, kFileCalls);
    }
    std::vector<std::u16string> read_failures = {scratch.File("missing")};
#ifndef _WIN32
    read_failures.emplace_back(u"/proc/self/mem");
#endif
    for (const std::u16string& bad : read_failures) {
        SCOPED_TRACE(testing::PrintToString(fs::path(bad).string()));
        ExpectCallsFail(bad, store_test::kReadCalls);
    }
    EXPECT_EQ(scratch.Names(), NameList({"folder"}));
    EXPECT_TRUE(fs::is_empty(scratch.Path() / "folder"));
}

TEST(FileCalls, SuccessKeepsAnEarlierErrorText) {
    // Only a failure sets the text; success never clears it. Replacements make a new file.
    const std::string after[] = {"x\r\n", "x\r\n", "a\r\n", "x\r\na\r\n", "new", "x\r\nnew"};
    ScratchFolder scratch;
    for (std::size_t i = 0; i < std::size(kFileCalls); ++i) {
        const FileCall& call = kFileCalls[i];
        SCOPED_TRACE(NameOf(call));
        std::u16string name = scratch.Put("f", "x\r\n");
        if (call.mode == 0 && call.kind != FileCall::FileToDBI && call.kind != FileCall::FTS) {
            fs::remove(scratch.Path() / "f");
        }
        const char16_t* const earlier =
            call.kind == FileCall::FileToDBI ? cls_DBI::kDBIToFileError : cls_DBI::kFileToDBIError;
        cls_DBI store = StoreWithErrorText({u"a"}, earlier);
        EXPECT_EQ(Call(store, call, name), call.kind == FileCall::FTS ? u"x\r\n" : u"");
        EXPECT_EQ(scratch.Bytes("f"), after[i]);
        EXPECT_EQ(LinesOf(store), Lines{call.kind == FileCall::FileToDBI ? u"x" : u"a"});
        EXPECT_EQ(store.ErrorCode(), earlier);
    }
}

TEST(FileCalls, WritesReplaceOrAppendExactly) {
    // Mode 0 leaves exactly the new bytes, however long the old file was; mode 1 creates a
    // missing file and continues a last line that has no line end. Characters outside the
    // code page become '?': no best fit turns U+FF0F into '/' nor U+0100 into 'A'.
    struct Case {
        FileCall call;
        const char* before; // nullptr: no file
        Lines data;         // the store's lines, or STF's text
        std::string after;
    };
    const Case cases[] = {
        {{FileCall::DBIToFile, 0},
         "much longer old content that must go",
         {u"a", u"b"},
         "a\r\nb\r\n"},
        {{FileCall::DBIToFile, 1}, "a\r\nb\r\n", {u"a", u"b"}, "a\r\nb\r\na\r\nb\r\n"},
        {{FileCall::DBIToFile, 1}, nullptr, {u"a"}, "a\r\n"},
        {{FileCall::DBIToFile, 1}, "x\r\nunfinished", {u"a", u"b"}, "x\r\nunfinisheda\r\nb\r\n"},
        {{FileCall::DBIToFile, 0}, nullptr, {u"a\x0100/\xFF0F\xD83D\xDE00z"}, "a?/???z\r\n"},
        {{FileCall::STF, 0}, "a much longer old content", {u"new"}, "new"},
        {{FileCall::STF, 0}, "old", {u""}, ""},
        {{FileCall::STF, 1}, nullptr, {u""}, ""},
        {{FileCall::STF, 1}, "", {u"first"}, "first"},
        {{FileCall::STF, 1}, "first", {u"\r\nsecond"}, "first\r\nsecond"},
        {{FileCall::STF, 0}, nullptr, {u"\x20AC\x00E9\x0100\xFF0F\xD800"}, "\x80\xE9???"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(NameOf(c.call) + " " + testing::PrintToString(c.after));
        ScratchFolder scratch;
        std::u16string name = c.before != nullptr ? scratch.Put("f", c.before) : scratch.File("f");
        cls_DBI store = StoreOf(c.data);
        Call(store, c.call, name, false, c.data.front());
        EXPECT_EQ(scratch.Bytes("f"), c.after);
        EXPECT_EQ(scratch.Names(), NameList({"f"}));
        EXPECT_EQ(store.ErrorCode(), u"");
    }
}

TEST(FileCalls, OtherWriteModesTouchNoFile) {
    // A write in a mode other than 0 or 1 creates, changes and reads nothing; DBIToFile records
    // its text, STF records none.
    ScratchFolder scratch;
    scratch.Put("existing", "old");
    for (const FileCall::Kind kind : {FileCall::DBIToFile, FileCall::STF}) {
        for (const int32_t mode : {2, -1, 1000}) {
            const FileCall call{kind, mode};
            for (const char* file : {"new", "existing", "no/such/file"}) {
                SCOPED_TRACE(NameOf(call) + ", " + file);
                cls_DBI store = StoreOf({u"a"});
                std::u16string name = scratch.File(file);
                Call(store, call, name);
                EXPECT_EQ(store.ErrorCode(), kind == FileCall::STF ? u"" : ErrorOf(call));
            }
        }
    }
    EXPECT_EQ(scratch.Bytes("existing"), "old");
    EXPECT_EQ(scratch.Names(), NameList({"existing"}));
}

// --- DBIToFile ---------------------------------------------------------------------------------

TEST(DBIToFile, EmptyStoreWritesOneLineEnd) {
    ScratchFolder scratch;
    cls_DBI store;
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(scratch.Bytes("f"), "\r\n");
    cls_DBI back = StoreOf({u"x", u"y"});
    back.FileToDBI(scratch.File("f"));
    EXPECT_EQ(LinesOf(back), Lines{u""});
    EXPECT_EQ(store.ErrorCode(), u"");
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
        lines.push_back(std::move(line));
    }
    lines.push_back(std::u16string((std::size_t{1} << 20) - 1, u'L') + u"\xD83D\xDE00" + u"tail");
    for (const std::u16string& line : lines) {
        platform::AppendWideAsAnsi(line, expected);
        expected += "\r\n";
    }
    cls_DBI store = StoreOf(lines);
    store.DBIToFile(scratch.File("f"), 0);
    EXPECT_EQ(store.ErrorCode(), u"");
    EXPECT_TRUE(scratch.Bytes("f") == expected);
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
    for (const FileCall& call : kWriteCalls) {
        SCOPED_TRACE(NameOf(call));
        cls_DBI store = StoreOf({u"new"});
        std::u16string name = target.u16string();
        Call(store, call, name);
        EXPECT_EQ(store.ErrorCode(), ErrorOf(call));
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

TEST(FTS, ReturnsEveryByteUnchangedWithoutError) {
    // The empty file, line ends and zero bytes come back as they are.
    ScratchFolder scratch;
    for (const std::string& bytes : {""s, "A\r\n\0B"s}) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        cls_DBI store;
        EXPECT_EQ(store.FTS(scratch.Put("f", bytes)), Widen(bytes));
        EXPECT_EQ(store.ErrorCode(), u"");
    }
}

TEST(FTS, EveryByteValueRoundTripsThroughSTF) {
    ScratchFolder scratch;
    cls_DBI store;
    const std::u16string text = store.FTS(scratch.Put("all", AllBytes()));
    EXPECT_EQ(text, GoldenWiden(AllBytes()));
    std::u16string copy = scratch.File("copy");
    store.STF(text, copy, 0);
    EXPECT_TRUE(scratch.Bytes("copy") == AllBytes());
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
            cls_DBI store;
            ASSERT_EQ(store.FTS(scratch.Put("f", bytes)), GoldenWiden(bytes));
        }
    }
}

TEST(FTS, ReadsALargeMixedFile) {
    ScratchFolder scratch;
    std::string bytes = RandomBytes((std::size_t{3} << 20) + 17, 99);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        bytes[i] = static_cast<char>(bytes[i] & 0x7F); // long ASCII runs and short high runs
    }
    cls_DBI store;
    EXPECT_TRUE(store.FTS(scratch.Put("f", bytes)) == GoldenWiden(bytes));
}

// --- File probes -----------------------------------------------------------------------------

TEST(FileProbes, AnswerFromTheLengthQueryAndRecordNothing) {
    // FileExists and GetFileSizeNoFSO ask for the length by name: a folder, a missing file and
    // a bad name are no file of length 0; neither creates a file nor sets the error text.
    ScratchFolder scratch;
    scratch.Put("300", std::string(300, 'z'));
    scratch.Put("empty", "");
    fs::create_directory(scratch.Path() / "folder");
    std::u16string with_nul = scratch.File("300");
    with_nul += u'\0';
    struct Case {
        std::u16string name;
        bool exists;
        int32_t size;
    };
    const Case cases[] = {
        {scratch.File("300"), true, 300},
        {scratch.File("empty"), true, 0},
        {scratch.File("missing"), false, 0},
        {scratch.File("no/such/file"), false, 0},
        {scratch.File("folder"), false, 0},
        {u"", false, 0},
        {with_nul, false, 0},
    };
    const cls_DBI fresh;
    const cls_DBI failed = StoreWithErrorText({u"a"}, cls_DBI::kFileToDBIError);
    for (const Case& c : cases) {
        SCOPED_TRACE(fs::path(c.name).string());
        for (const cls_DBI* store : {&fresh, &failed}) {
            EXPECT_EQ(store->FileExists(std::u16string(c.name)), c.exists);
            EXPECT_EQ(store->GetFileSizeNoFSO(std::u16string(c.name)), c.size);
        }
    }
    EXPECT_EQ(scratch.Bytes("300"), std::string(300, 'z'));
    EXPECT_EQ(scratch.Names(), NameList({"300", "empty", "folder"}));
    EXPECT_EQ(fresh.ErrorCode(), u"");
    EXPECT_EQ(failed.ErrorCode(), cls_DBI::kFileToDBIError);
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

/// A bare name no other test process uses, which Trace turns into a file in the program's own
/// folder; that file is removed at the end.
class TracedName {
public:
    TracedName() {
        static const unsigned token = std::random_device{}();
        static int counter = 0;
        bare_ = Widen("tamsrove-trace-" + std::to_string(token) + "-" + std::to_string(counter++) +
                      ".txt");
        full_ = platform::ApplicationFolder() + platform::PathSeparator() + bare_;
    }
    TracedName(const TracedName&) = delete;
    TracedName& operator=(const TracedName&) = delete;
    ~TracedName() {
        std::error_code ignored;
        fs::remove(Full(), ignored);
    }
    /// Hands calling the bare name in a variable, and checks that Trace made it the full name.
    template <typename Calling> void Pass(const Calling& calling) const {
        std::u16string name = bare_;
        calling(name);
        EXPECT_EQ(name, full_);
    }
    [[nodiscard]] fs::path Full() const { return full_; }

private:
    std::u16string bare_;
    std::u16string full_;
};

TEST(Trace, BareNameUsesTheProgramsFolderInEveryOperation) {
    const TracedName traced;
    cls_DBI store = StoreOf({u"one", u"two"});
    traced.Pass([&](std::u16string& name) { store.DBIToFile(name, 0, true); });
    EXPECT_EQ(ReadBytes(traced.Full()), "one\r\ntwo\r\n");
    traced.Pass([&](std::u16string& name) { EXPECT_TRUE(store.FileExists(name, true)); });
    traced.Pass([&](std::u16string& name) { EXPECT_EQ(store.GetFileSizeNoFSO(name, true), 10); });
    traced.Pass([&](std::u16string& name) { EXPECT_EQ(store.FTS(name, true), u"one\r\ntwo\r\n"); });
    traced.Pass([&](std::u16string& name) { store.STF(u"three", name, 1, true); });
    traced.Pass([&](std::u16string& name) { store.FileToDBI(name, true); });
    EXPECT_EQ(LinesOf(store), (Lines{u"one", u"two", u"three"}));
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(Trace, PrefixStaysInTheCallersVariableOnFailure) {
    const TracedName traced; // never created
    cls_DBI store;
    for (const FileCall& call : kFileCalls) {
        SCOPED_TRACE(NameOf(call));
        // Writes in modes 7 and 5, which touch no file: the name is never created.
        const FileCall failing{call.kind, call.kind == FileCall::DBIToFile ? 7 : 5};
        traced.Pass(
            [&](std::u16string& name) { EXPECT_EQ(Call(store, failing, name, true), u""); });
        if (call.kind != FileCall::STF) {
            EXPECT_EQ(store.ErrorCode(), ErrorOf(call));
        }
    }
    traced.Pass([&](std::u16string& name) { EXPECT_FALSE(store.FileExists(name, true)); });
    traced.Pass([&](std::u16string& name) { EXPECT_EQ(store.GetFileSizeNoFSO(name, true), 0); });
    EXPECT_FALSE(fs::exists(traced.Full()));
}

TEST(Trace, FullPathIsPrefixedToo) {
    ScratchFolder scratch;
    const std::u16string full = scratch.Put("f", "data");
    cls_DBI store;
    std::u16string name = full;
    EXPECT_EQ(store.FTS(name, true), u"");
    EXPECT_EQ(name, platform::ApplicationFolder() + platform::PathSeparator() + full);
    EXPECT_EQ(store.ErrorCode(), cls_DBI::kFTSError);
}

TEST(Trace, WithoutTraceThePathStaysAsGiven) {
    ScratchFolder scratch;
    cls_DBI store;
    std::u16string name = scratch.Put("f", "data");
    EXPECT_EQ(store.FTS(name, false), u"data");
    EXPECT_EQ(name, scratch.File("f"));
}

// --- POSIX: devices, FIFOs, full disks -------------------------------------------------------

#ifndef _WIN32

TEST(FullDisk, DeviceTargetReportsTheFailureAndStaysADevice) {
    // A device is written, never renamed over: as root that would replace /dev/full itself.
    for (const FileCall call : {FileCall{FileCall::DBIToFile, 0}, FileCall{FileCall::STF, 0}}) {
        cls_DBI store = StoreOf({u"a"});
        std::u16string name = u"/dev/full";
        Call(store, call, name);
        EXPECT_EQ(store.ErrorCode(), ErrorOf(call)) << NameOf(call);
    }
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

TEST(FullDisk, FailedWriteIsReportedAndAReplacementKeepsTheOldFile) {
    // A write that runs out of space records its text; a replacement leaves the old file whole,
    // an append the old bytes in front, and neither leaves a temporary file behind.
    ScratchFolder scratch;
    const fs::path target = scratch.Path() / "t";
    const std::string old = "old content\r\n";
    const std::u16string big_text(200000, u'y');
    for (const FileCall& call : kWriteCalls) {
        SCOPED_TRACE(NameOf(call));
        WriteBytes(target, old);
        // Replacements write many lines, appends one long one.
        const cls_DBI big =
            call.mode == 0 ? StoreOf(Lines(2000, std::u16string(100, u'x'))) : StoreOf({big_text});
        const auto write = [&] {
            cls_DBI store = big;
            std::u16string name = target.u16string();
            Call(store, call, name, false, big_text);
            return store.ErrorCode() == ErrorOf(call);
        };
        EXPECT_EQ(scratch::RunInChild(write, scratch::FileSizeLimit(4096)), 0);
        const std::string now = ReadBytes(target);
        EXPECT_EQ(call.mode == 0 ? now : now.substr(0, old.size()), old);
        EXPECT_EQ(scratch.Names(), NameList({"t"}));
    }
}

TEST(ReadOnlyFile, RefusedEvenWhenTheFolderIsWritable) {
    // rename(2) needs only a writable folder; the read-only file must still refuse replacement.
    ScratchFolder scratch;
    fs::permissions(scratch.Path(), fs::perms::all);
    const fs::path read_only = scratch.Path() / "ro";
    const fs::path writable = scratch.Path() / "rw";
    WriteBytes(read_only, "old");
    WriteBytes(writable, "old");
    fs::permissions(read_only,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(writable, fs::perms::all);
    const int result = scratch::RunInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return false;
        }
        cls_DBI refused = StoreOf({u"new"});
        refused.DBIToFile(read_only.u16string(), 0);
        cls_DBI allowed = StoreOf({u"new"});
        allowed.DBIToFile(writable.u16string(), 0);
        return refused.ErrorCode() == cls_DBI::kDBIToFileError && allowed.ErrorCode().empty();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadBytes(read_only), "old");
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
