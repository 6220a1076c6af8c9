// Block I/O of the line store's files: whole-file reads without zero-filling, and writes that
// convert text to the ANSI code page through one reused buffer.
#pragma once

#include "base/ansi_codec.h"
#include "classes/platform/platform.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tamsrove::dbi_files {

/// A byte buffer whose bytes are not zero-filled when it is made.
using ByteBuffer = std::unique_ptr<char[]>; // NOLINT(*-avoid-c-arrays): its size is known late

/// A new buffer of size bytes, left as it comes.
[[nodiscard]] inline ByteBuffer NewByteBuffer(std::size_t size) {
    return std::make_unique_for_overwrite<char[]>(size); // NOLINT(*-avoid-c-arrays): as above
}

/// A whole file's bytes, read without zero-filling the buffer first.
struct FileBytes {
    ByteBuffer data;
    std::size_t size = 0;
    /// The bytes read.
    [[nodiscard]] std::string_view View() const { return {data.get(), size}; }
};

/// Reads the file to its end: one read into a buffer sized from the file's length, then a small
/// probe read that confirms the end.
[[nodiscard]] FileBytes ReadWholeFile(platform::InputFile& file);

/// The file to its end as one character per byte. Under a single-byte code page the bytes come
/// through one small reused buffer and are widened straight into the result, which is sized
/// once from the file's length.
[[nodiscard]] std::u16string ReadWholeFileAsWide(platform::InputFile& file);

/// The lines of the file at path, cut as read_form.h says. Under a single-byte code page a
/// regular file is read twice through one small buffer (see line_stream.h) instead of being held
/// whole. More lines than a store may hold fail with std::length_error: before any line is made,
/// except from a pipe or a device, which can be read only once and fails at the first line past
/// the limit.
[[nodiscard]] std::vector<std::u16string> ReadLines(std::u16string_view path);

/// Converts text to the ANSI code page into one reused buffer and hands each full block to the
/// file. The buffer holds one block, or the whole output when that is smaller.
class AnsiBlockWriter {
public:
    /// A writer to file whose buffer fits expected_bytes, within the block limits.
    AnsiBlockWriter(platform::OutputFile& file, std::size_t expected_bytes);

    // The two calls of a save's loop over its lines are defined here, so that they can be
    // inlined into it.

    /// Converts and buffers text, flushing each full block.
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

    /// Buffers CR LF.
    void PutLineEnd() {
        if (capacity_ - used_ < 2) {
            Flush();
        }
        buffer_[used_++] = '\r';
        buffer_[used_++] = '\n';
    }
    /// Writes what the buffer holds.
    void Flush();

private:
    void PutMultiByteText(std::u16string_view text);
    void PutBytes(std::string_view bytes);

    platform::OutputFile& file_;
    const platform::SingleByteCodec* codec_;
    std::size_t capacity_;
    ByteBuffer buffer_;
    std::size_t used_ = 0;
};

/// The bytes the first count lines take in a file, counted only as far as one write block:
/// enough to size a writer's buffer without a pass over every line.
[[nodiscard]] std::size_t ExpectedBytes(const std::vector<std::u16string>& lines,
                                        std::size_t count);

} // namespace tamsrove::dbi_files
