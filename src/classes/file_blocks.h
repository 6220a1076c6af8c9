// Block I/O of the line store's files: whole-file reads without zero-filling, and writes that
// convert text to the ANSI code page through one reused buffer.
#pragma once

#include "classes/ansi_codec.h"
#include "platform/platform.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tamsrove::dbi_files {

/// A whole file's bytes, read without zero-filling the buffer first, and the number of line
/// ends among them.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t line_ends = 0;
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

/// The lines of the file at path in the read form. Under a single-byte code page a regular
/// file is read twice through one small buffer (see line_stream.h) instead of being held whole.
[[nodiscard]] std::vector<std::u16string> ReadLines(std::u16string_view path);

/// Converts text to the ANSI code page into one reused buffer and hands each full block to the
/// file. The buffer holds one block, or the whole output when that is smaller.
class AnsiBlockWriter {
public:
    /// A writer to file whose buffer fits expected_bytes, within the block limits.
    AnsiBlockWriter(platform::OutputFile& file, std::size_t expected_bytes);

    /// Converts and buffers text, flushing each full block.
    void PutText(std::u16string_view text);
    /// Buffers CR LF.
    void PutLineEnd();
    /// Writes what the buffer holds.
    void Flush();

private:
    void PutMultiByteText(std::u16string_view text);
    void PutBytes(std::string_view bytes);

    platform::OutputFile& file_;
    const SingleByteCodec* codec_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

/// The bytes the first count lines take in a file, counted only as far as one write block:
/// enough to size a writer's buffer without a pass over every line.
[[nodiscard]] std::size_t ExpectedBytes(const std::vector<std::u16string>& lines,
                                        std::size_t count);

} // namespace tamsrove::dbi_files
