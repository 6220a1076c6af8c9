// Block I/O: reading a file whole or block by block, and writing text through one reused
// buffer so that saving never holds the whole file in memory.
#include "classes/file_blocks.h"

#include "classes/line_stream.h"
#include "base/utf16.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>

namespace tamsrove::dbi_files {
namespace {

using platform::AnsiCodec;
using platform::InputFile;
using platform::SingleByteCodec;

// Writes go out in blocks of at most this size. Smaller blocks stay in the processor's cache,
// but their many more system calls cost more than that saves.
constexpr std::size_t kWriteBlock = std::size_t{1} << 19;
// The smallest buffer a writer takes: room for a line end and a surrogate pair at least.
constexpr std::size_t kMinWriteBlock = 4096;
// Reads past the announced length go through a block of this size.
constexpr std::size_t kReadBlock = std::size_t{1} << 16;
// Loads and whole-file reads go through one reused buffer of this size, small enough that the
// bytes are still in the cache when they are widened.
constexpr std::size_t kLoadBlock = std::size_t{1} << 16;

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

// Reads until size bytes are in or the file ends; returns how many bytes came.
std::size_t ReadFully(InputFile& file, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const std::size_t more = file.ReadSome(buffer + got, size - got);
        if (more == 0) {
            break;
        }
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
    auto block = NewByteBuffer(kReadBlock);
    while ((more = file.ReadSome(block.get(), kReadBlock)) != 0) {
        rest.append(block.get(), more);
    }
    return rest;
}

// Shows the file's blocks to visit, each block of size bytes but the last; a block is always
// filled completely, so that two reads of the same bytes see the same blocks.
template <typename Visit>
void ForEachBlock(InputFile& file, char* buffer, std::size_t size, const Visit& visit) {
    for (;;) {
        const std::size_t got = ReadFully(file, buffer, size);
        if (got > 0) {
            visit(std::string_view(buffer, got));
        }
        if (got < size) {
            return;
        }
    }
}

} // namespace

FileBytes ReadWholeFile(InputFile& file) {
    FileBytes bytes;
    const std::size_t announced = AnnouncedLength(file);
    bytes.data = NewByteBuffer(announced);
    bytes.size = ReadFully(file, bytes.data.get(), announced);
    if (bytes.size < announced) {
        return bytes; // the file ended early: it shrank since it was measured
    }
    const std::string rest = ReadRest(file);
    if (!rest.empty()) {
        auto joined = NewByteBuffer(bytes.size + rest.size());
        std::memcpy(joined.get(), bytes.data.get(), bytes.size);
        std::memcpy(joined.get() + bytes.size, rest.data(), rest.size());
        bytes.data = std::move(joined);
        bytes.size += rest.size();
    }
    return bytes;
}

std::u16string ReadWholeFileAsWide(InputFile& file) {
    const SingleByteCodec* codec = AnsiCodec();
    if (codec == nullptr) {
        const FileBytes bytes = ReadWholeFile(file);
        return platform::AnsiToWide(bytes.View());
    }
    std::u16string text;
    text.reserve(AnnouncedLength(file)); // touched only as the characters arrive
    const auto block = NewByteBuffer(kLoadBlock);
    ForEachBlock(file, block.get(), kLoadBlock,
                 [&](std::string_view bytes) { platform::AppendWidened(*codec, bytes, text); });
    return text;
}

std::vector<std::u16string> ReadLines(std::u16string_view path) {
    InputFile file(path);
    const SingleByteCodec* codec = AnsiCodec();
    if (codec == nullptr) { // a character of a multi-byte code page may be cut between blocks
        const FileBytes bytes = ReadWholeFile(file);
        return BuildLines(nullptr, [&](const auto& visit) { visit(bytes.View()); });
    }
    const auto block = NewByteBuffer(kLoadBlock);
    if (!file.RegularFileLength()) { // a pipe or a device can be read only once
        LineBuilder builder(codec, nullptr);
        ForEachBlock(file, block.get(), kLoadBlock,
                     [&](std::string_view bytes) { builder.Take(bytes); });
        return builder.Finish();
    }
    bool again = false;
    return BuildLines(codec, [&](const auto& visit) {
        if (again) { // the second pass reads the same open file from its start
            file.Rewind();
        }
        again = true;
        ForEachBlock(file, block.get(), kLoadBlock, visit);
    });
}

// --- Writing -------------------------------------------------------------------------------------

AnsiBlockWriter::AnsiBlockWriter(platform::OutputFile& file, std::size_t expected_bytes)
    : file_(file), codec_(platform::AnsiNarrowingCodec()),
      capacity_(std::clamp(expected_bytes, kMinWriteBlock, kWriteBlock)),
      buffer_(NewByteBuffer(capacity_)) {}

void AnsiBlockWriter::Flush() {
    if (used_ > 0) {
        file_.Write(buffer_.get(), used_);
        used_ = 0;
    }
}

// A multi-byte code page: pieces of text go through the system's conversion, a surrogate pair
// never cut between two pieces.
void AnsiBlockWriter::PutMultiByteText(std::u16string_view text) {
    std::string bytes;
    while (!text.empty()) {
        std::size_t take = std::min(text.size(), capacity_);
        if (take < text.size() && utf16::IsHighSurrogate(text[take - 1]) &&
            utf16::IsLowSurrogate(text[take])) {
            --take;
        }
        bytes.clear();
        platform::AppendWideAsAnsi(text.substr(0, take), bytes, platform::Unmappable::Substitute);
        PutBytes(bytes);
        text.remove_prefix(take);
    }
}

void AnsiBlockWriter::PutBytes(std::string_view bytes) {
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

std::size_t ExpectedBytes(const std::vector<std::u16string>& lines, std::size_t count) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < count && total < kWriteBlock; ++i) {
        total += lines[i].size() + 2;
    }
    return total;
}

} // namespace tamsrove::dbi_files
