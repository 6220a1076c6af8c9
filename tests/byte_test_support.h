// Reading files byte for byte and the little-endian numbers of their headers (BMP and icon
// files), for the tests of the artwork and its files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tamsrove::test {

/// The file's bytes; empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The little-endian 16-bit number at a byte offset; throws std::out_of_range past the end.
inline uint32_t U16(const std::vector<uint8_t>& bytes, std::size_t at) {
    return bytes.at(at) | (uint32_t{bytes.at(at + 1)} << 8);
}

/// The little-endian 32-bit number at a byte offset; throws std::out_of_range past the end.
inline uint32_t U32(const std::vector<uint8_t>& bytes, std::size_t at) {
    return U16(bytes, at) | (U16(bytes, at + 2) << 16);
}

} // namespace tamsrove::test
