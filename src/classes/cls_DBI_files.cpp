// cls_DBI's file operations: text-file load and save, whole-file byte transfer and file probes.
//
// Loads are all or nothing: the store changes only after the whole file has been read and
// converted. Replacing writes go through a temporary file that is renamed over the target, so
// a failure never leaves a half-written file. Everything the system is asked goes through the
// platform seam; this file is the same on every platform.
#include "cls_DBI.h"

#include "dbi_files.h"
#include "platform/platform.h"
#include "platform/utf16.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TAMSROVE_SSE2 1
#endif

namespace tamsrove::dbi_files {
namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

// --- Counting and converting 16 bytes at a time ------------------------------------------------

std::size_t CountByte(std::string_view bytes, char wanted) noexcept {
    std::size_t count = 0;
    std::size_t i = 0;
#ifdef TAMSROVE_SSE2
    // Each match adds 1 to its byte lane; before a lane can overflow (255 blocks), the lanes
    // are summed with SAD and the counter starts again.
    const __m128i needle = _mm_set1_epi8(wanted);
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= bytes.size()) {
        __m128i lanes = zero;
        const std::size_t blocks = std::min<std::size_t>((bytes.size() - i) / 16, 255);
        for (std::size_t b = 0; b < blocks; ++b, i += 16) {
            const __m128i chunk =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, needle)); // a match is -1
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; i < bytes.size(); ++i) {
        count += bytes[i] == wanted ? 1 : 0;
    }
    return count;
}

// A single-byte ANSI code page, prepared for conversion 16 characters at a time. Most bytes of
// such a code page stand for the character of the same number (all of ASCII; in 1252 also
// A0..FF): a block of 16 such characters moves through SIMD unchanged. The other bytes all lie
// in [lo_, hi_]; a block holding any of them, or any character that is not its own byte, goes
// through the tables one character at a time.
class SingleByteCodec {
public:
    explicit SingleByteCodec(const platform::AnsiTable& toWide) noexcept : toWide_(toWide) {
        unsigned lo = 0xFF;
        unsigned hi = 0;
        for (unsigned b = 0; b < toWide.size(); ++b) {
            if (toWide[b] != b) {
                lo = std::min(lo, b);
                hi = std::max(hi, b);
            }
        }
        if (lo > hi) {
            lo = hi = 0; // every byte is its own character; byte 0 alone takes the table path
        }
        lo_ = static_cast<unsigned char>(lo);
        hi_ = static_cast<unsigned char>(hi);
        // Only a character that some byte stands for has a byte: no best fit, no look-alikes.
        toByte_.fill('?');
        for (unsigned b = 0x100; b-- > 0;) {
            toByte_[toWide[b]] = static_cast<char>(b); // the lowest byte wins a shared character
        }
    }

    /// Widens n bytes. in may lie inside out's own storage, from byte offset N >= n on: each
    /// block is read before its output is stored, and output i never reaches input that is
    /// still unread.
    void Widen(const char* in, std::size_t n, char16_t* out) const noexcept {
        std::size_t i = 0;
#ifdef TAMSROVE_SSE2
        const __m128i zero = _mm_setzero_si128();
        const __m128i lo = _mm_set1_epi8(static_cast<char>(lo_));
        const __m128i span = _mm_set1_epi8(static_cast<char>(hi_ - lo_));
        for (; i + 16 <= n; i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            // Byte b is special when b - lo, as an unsigned byte, is at most hi - lo.
            const __m128i beyond = _mm_subs_epu8(_mm_sub_epi8(chunk, lo), span);
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(beyond, zero)) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                                 _mm_unpacklo_epi8(chunk, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8),
                                 _mm_unpackhi_epi8(chunk, zero));
            } else {
                WidenScalar(in + i, 16, out + i);
            }
        }
        if (i + 8 <= n) { // a last half block: short lines end in one
            const __m128i chunk = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
            const __m128i beyond = _mm_subs_epu8(_mm_sub_epi8(chunk, lo), span);
            if ((_mm_movemask_epi8(_mm_cmpeq_epi8(beyond, zero)) & 0xFF) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                                 _mm_unpacklo_epi8(chunk, zero));
            } else {
                WidenScalar(in + i, 8, out + i);
            }
            i += 8;
        }
#endif
        WidenScalar(in + i, n - i, out + i);
    }

    /// Narrows n units to n bytes; a character the code page lacks becomes '?'. Each unit is
    /// a character of its own: each half of a surrogate pair becomes one '?'.
    void Narrow(const char16_t* in, std::size_t n, char* out) const noexcept {
        std::size_t i = 0;
#ifdef TAMSROVE_SSE2
        const __m128i zero = _mm_setzero_si128();
        const __m128i highByte = _mm_set1_epi16(static_cast<short>(0xFF00));
        const __m128i lo = _mm_set1_epi16(static_cast<short>(lo_));
        const __m128i span = _mm_set1_epi16(static_cast<short>(hi_ - lo_));
        // 0xFFFF where the unit is a character below 0x100 that is its own byte.
        const auto plain = [&](__m128i units) {
            const __m128i below256 = _mm_cmpeq_epi16(_mm_and_si128(units, highByte), zero);
            const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(units, lo), span);
            return _mm_andnot_si128(_mm_cmpeq_epi16(beyond, zero), below256);
        };
        for (; i + 16 <= n; i += 16) {
            const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
            if (_mm_movemask_epi8(_mm_and_si128(plain(first), plain(second))) == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                                 _mm_packus_epi16(first, second));
            } else {
                NarrowScalar(in + i, 16, out + i);
            }
        }
        if (i + 8 <= n) { // a last half block: short lines end in one
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            if (_mm_movemask_epi8(plain(units)) == 0xFFFF) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i),
                                 _mm_packus_epi16(units, units));
            } else {
                NarrowScalar(in + i, 8, out + i);
            }
            i += 8;
        }
#endif
        NarrowScalar(in + i, n - i, out + i);
    }

private:
    void WidenScalar(const char* in, std::size_t n, char16_t* out) const noexcept {
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = toWide_[static_cast<unsigned char>(in[k])];
        }
    }

    void NarrowScalar(const char16_t* in, std::size_t n, char* out) const noexcept {
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = toByte_[in[k]];
        }
    }

    const platform::AnsiTable& toWide_;
    std::array<char, 0x10000> toByte_{}; // the byte of every UTF-16 unit
    unsigned char lo_ = 0;
    unsigned char hi_ = 0;
};

// The codec of the ANSI code page; nullptr when it is not single-byte.
const SingleByteCodec* AnsiCodec() noexcept {
    static const std::optional<SingleByteCodec> codec = []() -> std::optional<SingleByteCodec> {
        const platform::AnsiTable* table = platform::SingleByteAnsiTable();
        if (table == nullptr) {
            return std::nullopt;
        }
        return SingleByteCodec(*table);
    }();
    return codec ? &*codec : nullptr;
}

std::u16string WidenLine(std::string_view line, const SingleByteCodec* codec) {
    if (codec == nullptr) {
        return platform::AnsiToWide(line);
    }
    std::u16string out(line.size(), u'\0');
    codec->Widen(line.data(), line.size(), out.data());
    return out;
}

// Calls visit with each line of bytes in the read form; one memchr per line.
template <typename Visit> void ForEachLine(std::string_view bytes, Visit visit) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        const auto* cr =
            static_cast<const char*>(std::memchr(p, kCR, static_cast<std::size_t>(end - p)));
        if (cr == nullptr) {
            visit(std::string_view(p, static_cast<std::size_t>(end - p)));
            return;
        }
        visit(std::string_view(p, static_cast<std::size_t>(cr - p)));
        p = cr + 1;
        if (p < end && *p == kLF) {
            ++p;
        }
    }
}

} // namespace

std::size_t CountLineEnds(std::string_view bytes) noexcept {
    return CountByte(bytes, kCR);
}

std::size_t CountLines(std::string_view bytes) noexcept {
    return CountLines(bytes, CountLineEnds(bytes));
}

std::size_t CountLines(std::string_view bytes, std::size_t lineEnds) noexcept {
    const std::size_t lastCR = bytes.rfind(kCR);
    std::size_t tail = 0; // where the text after the last line end starts
    if (lastCR != std::string_view::npos) {
        tail = lastCR + 1;
        if (tail < bytes.size() && bytes[tail] == kLF) {
            ++tail;
        }
    }
    return lineEnds + (tail < bytes.size() ? 1 : 0);
}

std::u16string JoinToFolder(std::u16string_view folder, char16_t separator,
                            std::u16string_view name) {
    std::u16string joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined += folder;
    // A root folder ("C:\", "/") already ends in the separator; doubling it would name
    // something else on Windows ("\\" starts a network path).
    if (joined.empty() || joined.back() != separator) {
        joined += separator;
    }
    joined += name;
    return joined;
}

std::vector<std::u16string> SplitLines(std::string_view bytes) {
    return SplitLines(bytes, CountLineEnds(bytes));
}

std::vector<std::u16string> SplitLines(std::string_view bytes, std::size_t lineEnds) {
    std::vector<std::u16string> lines;
    lines.reserve(CountLines(bytes, lineEnds)); // exact: no regrowth, no spare slots
    const SingleByteCodec* codec = AnsiCodec();
    ForEachLine(bytes, [&](std::string_view line) { lines.push_back(WidenLine(line, codec)); });
    return lines;
}

void AppendWidened(std::string_view bytes, std::u16string& out) {
    const SingleByteCodec* codec = AnsiCodec();
    if (codec == nullptr) {
        out += platform::AnsiToWide(bytes);
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    codec->Widen(bytes.data(), bytes.size(), out.data() + start);
}

void AppendNarrowed(std::u16string_view text, std::string& out) {
    const SingleByteCodec* codec = AnsiCodec();
    if (codec == nullptr) {
        platform::AppendWideAsAnsi(text, out);
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + text.size());
    codec->Narrow(text.data(), text.size(), out.data() + start);
}

} // namespace tamsrove::dbi_files

namespace {

using tamsrove::platform::InputFile;
using tamsrove::platform::OutputFile;

// Writes go out in blocks of at most this size through one reused buffer, so that saving never
// holds the whole file in memory.
constexpr std::size_t kWriteBlock = std::size_t{1} << 19;
// The smallest buffer a writer takes: room for a line end and a surrogate pair at least.
constexpr std::size_t kMinWriteBlock = 4096;
// Reads past the announced length go through a block of this size.
constexpr std::size_t kReadBlock = std::size_t{1} << 16;
// A load reads in pieces of this size and counts the line ends of each piece while it is still
// in the processor's cache, instead of in a second pass over the whole buffer.
constexpr std::size_t kReadPiece = std::size_t{1} << 18;

// The length a file announces, as a count of bytes that fits memory; 0 when unknown.
std::size_t AnnouncedLength(const InputFile& file) {
    const std::optional<std::uint64_t> length = file.RegularFileLength();
    if (!length) {
        return 0;
    }
    if (*length > std::numeric_limits<std::size_t>::max()) {
        throw std::length_error("file too long for memory");
    }
    return static_cast<std::size_t>(*length);
}

// Reads until size bytes are in or the file ends, in requests of at most piece bytes, and
// shows each piece to seen as it arrives; returns how many bytes came.
template <typename Seen>
std::size_t ReadFully(InputFile& file, char* buffer, std::size_t size, std::size_t piece,
                      Seen seen) {
    std::size_t got = 0;
    while (got < size) {
        const std::size_t more = file.ReadSome(buffer + got, std::min(size - got, piece));
        if (more == 0) {
            break;
        }
        seen(std::string_view(buffer + got, more));
        got += more;
    }
    return got;
}

// Whatever follows once the announced length has been read: nothing for a regular file that
// did not grow; the whole content for a pipe or a device. The first read is a small probe on
// the stack, so that the usual case allocates nothing.
std::string ReadRest(InputFile& file) {
    std::array<char, 512> probe{};
    std::size_t more = file.ReadSome(probe.data(), probe.size());
    if (more == 0) {
        return {};
    }
    std::string rest(probe.data(), more);
    auto block = std::make_unique_for_overwrite<char[]>(kReadBlock);
    while ((more = file.ReadSome(block.get(), kReadBlock)) != 0) {
        rest.append(block.get(), more);
    }
    return rest;
}

// A whole file's bytes, read without zero-filling the buffer first, and the number of CR
// bytes among them.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t lineEnds = 0;
    [[nodiscard]] std::string_view view() const { return {data.get(), size}; }
};

// One read into a buffer sized from the file's length, then a small probe read that confirms
// the end.
FileBytes ReadWholeFile(InputFile& file) {
    FileBytes bytes;
    const std::size_t announced = AnnouncedLength(file);
    bytes.data = std::make_unique_for_overwrite<char[]>(announced);
    bytes.size =
        ReadFully(file, bytes.data.get(), announced, kReadPiece, [&](std::string_view piece) {
            bytes.lineEnds += tamsrove::dbi_files::CountLineEnds(piece);
        });
    if (bytes.size < announced) {
        return bytes; // the file ended early: it shrank since it was measured
    }
    const std::string rest = ReadRest(file);
    if (!rest.empty()) {
        auto joined = std::make_unique_for_overwrite<char[]>(bytes.size + rest.size());
        std::memcpy(joined.get(), bytes.data.get(), bytes.size);
        std::memcpy(joined.get() + bytes.size, rest.data(), rest.size());
        bytes.data = std::move(joined);
        bytes.size += rest.size();
        bytes.lineEnds += tamsrove::dbi_files::CountLineEnds(rest);
    }
    return bytes;
}

// A whole file as one character per byte. Under a single-byte code page the bytes are read
// straight into the upper half of the result's own storage and widened in place from the
// front, so no second buffer the size of the file is ever needed.
std::u16string ReadWholeFileAsWide(InputFile& file) {
    const tamsrove::dbi_files::SingleByteCodec* codec = tamsrove::dbi_files::AnsiCodec();
    if (codec == nullptr) {
        const FileBytes bytes = ReadWholeFile(file);
        return tamsrove::platform::AnsiToWide(bytes.view());
    }
    const std::size_t announced = AnnouncedLength(file);
    std::u16string text(announced, u'\0');
    char* const upperHalf = reinterpret_cast<char*>(text.data()) + announced;
    const std::size_t got =
        ReadFully(file, upperHalf, announced, announced /* one request */, [](std::string_view) {});
    codec->Widen(upperHalf, got, text.data());
    text.resize(got);
    if (got == announced) {
        tamsrove::dbi_files::AppendWidened(ReadRest(file), text);
    }
    return text;
}

// Converts text to the ANSI code page into one reused buffer and hands each full block to the
// file. The buffer holds one block, or the whole output when that is smaller.
class AnsiBlockWriter {
public:
    AnsiBlockWriter(OutputFile& file, std::size_t expectedBytes)
        : file_(file), codec_(tamsrove::dbi_files::AnsiCodec()),
          capacity_(std::clamp(expectedBytes, kMinWriteBlock, kWriteBlock)),
          buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

    void PutText(std::u16string_view text) {
        if (codec_ == nullptr) {
            PutMultiByteText(text);
            return;
        }
        while (!text.empty()) { // one byte per unit
            if (used_ == capacity_) {
                Flush();
            }
            const std::size_t take = std::min(text.size(), capacity_ - used_);
            codec_->Narrow(text.data(), take, buffer_.get() + used_);
            used_ += take;
            text.remove_prefix(take);
        }
    }

    void PutLineEnd() {
        if (capacity_ - used_ < 2) {
            Flush();
        }
        buffer_[used_++] = '\r';
        buffer_[used_++] = '\n';
    }

    void Flush() {
        if (used_ > 0) {
            file_.Write(buffer_.get(), used_);
            used_ = 0;
        }
    }

private:
    // A multi-byte code page: pieces of text go through the system's conversion, a surrogate
    // pair never cut between two pieces.
    void PutMultiByteText(std::u16string_view text) {
        std::string bytes;
        while (!text.empty()) {
            std::size_t take = std::min(text.size(), capacity_);
            if (take < text.size() && tamsrove::utf16::IsHighSurrogate(text[take - 1]) &&
                tamsrove::utf16::IsLowSurrogate(text[take])) {
                --take;
            }
            bytes.clear();
            tamsrove::platform::AppendWideAsAnsi(text.substr(0, take), bytes);
            PutBytes(bytes);
            text.remove_prefix(take);
        }
    }

    void PutBytes(std::string_view bytes) {
        while (!bytes.empty()) {
            if (used_ == capacity_) {
                Flush();
            }
            const std::size_t take = std::min(bytes.size(), capacity_ - used_);
            std::memcpy(buffer_.get() + used_, bytes.data(), take);
            used_ += take;
            bytes.remove_prefix(take);
        }
    }

    OutputFile& file_;
    const tamsrove::dbi_files::SingleByteCodec* codec_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

// The bytes the lines take in a file, counted only as far as one write block: enough to size
// the writer's buffer without a pass over every line.
std::size_t ExpectedBytes(const std::vector<std::u16string>& lines, std::size_t count) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < count && total < kWriteBlock; ++i) {
        total += lines[i].size() + 2;
    }
    return total;
}

[[nodiscard]] OutputFile OpenForMode(const std::u16string& path, int32_t mode) {
    return mode == 0 ? OutputFile::Replace(path) : OutputFile::Append(path);
}

bool IsWriteMode(int32_t mode) {
    return mode == 0 || mode == 1;
}

} // namespace

// --- Application folder --------------------------------------------------------------------------

void cls_DBI::ApplyTrace(std::u16string& Path, bool Trace) {
    if (!Trace) {
        return;
    }
    std::u16string traced = tamsrove::dbi_files::JoinToFolder(
        tamsrove::platform::ApplicationFolder(), tamsrove::platform::PathSeparator(), Path);
    Path.swap(traced); // the caller's variable changes only once the whole path is built
}

// --- Text files ----------------------------------------------------------------------------------

void cls_DBI::FileToDBI(std::u16string& FilePathName, bool Trace) {
    try {
        ApplyTrace(FilePathName, Trace);
        std::vector<std::u16string> loaded;
        {
            InputFile file(FilePathName);
            const FileBytes bytes = ReadWholeFile(file);
            loaded = tamsrove::dbi_files::SplitLines(bytes.view(), bytes.lineEnds);
        } // the file is closed and its bytes released before the lines are taken over
        if (loaded.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
            throw std::length_error("too many lines");
        }
        if (loaded.empty()) {
            loaded.emplace_back(); // an empty file gives the empty store
        }
        Lines = std::move(loaded);
        LastLineIndex = static_cast<int32_t>(Lines.size() - 1);
    } catch (const std::exception&) {
        // Recording the text allocates; should even that fail, the exception reaches the caller.
        ErrorText = FileToDBIError;
    }
}

void cls_DBI::FileToDBI(std::u16string&& FilePathName, bool Trace) {
    FileToDBI(FilePathName, Trace);
}

void cls_DBI::DBIToFile(std::u16string& FilePathName, int32_t Mode, bool Trace) {
    try {
        ApplyTrace(FilePathName, Trace);
        if (!IsWriteMode(Mode)) {
            ErrorText = DBIToFileError;
            return;
        }
        OutputFile file = OpenForMode(FilePathName, Mode);
        const auto count = static_cast<std::size_t>(LastLineIndex) + 1;
        AnsiBlockWriter writer(file, ExpectedBytes(Lines, count));
        for (std::size_t i = 0; i < count; ++i) {
            writer.PutText(Lines[i]);
            writer.PutLineEnd();
        }
        writer.Flush();
        file.Commit();
    } catch (const std::exception&) {
        ErrorText = DBIToFileError;
    }
}

void cls_DBI::DBIToFile(std::u16string&& FilePathName, int32_t Mode, bool Trace) {
    DBIToFile(FilePathName, Mode, Trace);
}

// --- Whole-file byte transfer --------------------------------------------------------------------

std::u16string cls_DBI::FTS(std::u16string& FilePathName, bool Trace) {
    try {
        ApplyTrace(FilePathName, Trace);
        InputFile file(FilePathName);
        return ReadWholeFileAsWide(file);
    } catch (const std::exception&) {
        ErrorText = FTSError;
        return {};
    }
}

std::u16string cls_DBI::FTS(std::u16string&& FilePathName, bool Trace) {
    return FTS(FilePathName, Trace);
}

void cls_DBI::STF(const std::u16string& DataString, std::u16string& FileNamePath, int32_t s_Mode,
                  bool Trace) {
    try {
        ApplyTrace(FileNamePath, Trace);
        if (!IsWriteMode(s_Mode)) {
            return; // any other mode does nothing, by design
        }
        OutputFile file = OpenForMode(FileNamePath, s_Mode);
        AnsiBlockWriter writer(file, DataString.size());
        writer.PutText(DataString);
        writer.Flush();
        file.Commit();
    } catch (const std::exception&) {
        if (IsWriteMode(s_Mode)) {
            ErrorText = STFError;
        }
    }
}

void cls_DBI::STF(const std::u16string& DataString, std::u16string&& FileNamePath, int32_t s_Mode,
                  bool Trace) {
    STF(DataString, FileNamePath, s_Mode, Trace);
}

// --- File probes ---------------------------------------------------------------------------------

bool cls_DBI::FileExists(std::u16string& Filename, bool Trace) const {
    try {
        ApplyTrace(Filename, Trace);
        return tamsrove::platform::FileLengthByName(Filename).has_value();
    } catch (const std::exception&) {
        return false;
    }
}

bool cls_DBI::FileExists(std::u16string&& Filename, bool Trace) const {
    return FileExists(Filename, Trace);
}

int32_t cls_DBI::GetFileSizeNoFSO(std::u16string& Filename, bool Trace) const {
    try {
        ApplyTrace(Filename, Trace);
        const InputFile file(Filename);
        const std::optional<std::uint64_t> length = file.RegularFileLength();
        // A length int32 cannot hold gives 0, never a truncated or negative count.
        if (!length || *length > static_cast<std::uint64_t>(std::numeric_limits<int32_t>::max())) {
            return 0;
        }
        return static_cast<int32_t>(*length);
    } catch (const std::exception&) {
        return 0;
    }
}

int32_t cls_DBI::GetFileSizeNoFSO(std::u16string&& Filename, bool Trace) const {
    return GetFileSizeNoFSO(Filename, Trace);
}
