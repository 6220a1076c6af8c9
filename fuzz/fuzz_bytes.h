// Turns a fuzzer's bytes into the values a target needs: small numbers, flags and UTF-16 texts.
// Texts come either from a five-character alphabet, so that delimiters and line ends really
// occur, or from byte pairs, for any 16-bit character. A finished input reads as zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

class FuzzBytes {
public:
    FuzzBytes(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    /// True when every byte has been read.
    [[nodiscard]] bool Done() const { return pos_ >= size_; }

    /// The next byte, 0 past the end.
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : uint8_t{0}; }

    /// A number from 0 to limit - 1 (limit > 0).
    unsigned Below(unsigned limit) { return Byte() % limit; }

    bool Flag() { return (Byte() & 1U) != 0; }

    /// A small index near a range that starts at 0: -2 to span - 3.
    int32_t SmallIndex(unsigned span) { return static_cast<int32_t>(Below(span)) - 2; }

    /// Any 32-bit value, from four bytes.
    int32_t AnyInt32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8U) | Byte();
        }
        return static_cast<int32_t>(value);
    }

    /// A text of up to max_length characters, from the alphabet or from byte pairs.
    std::u16string Text(std::size_t max_length) {
        const bool wide = (Byte() & 0x80U) != 0;
        const std::size_t length = Byte() % (max_length + 1);
        std::u16string text;
        for (std::size_t i = 0; i < length && !Done(); ++i) {
            text += wide ? WideChar() : AlphabetChar();
        }
        return text;
    }

private:
    char16_t AlphabetChar() {
        constexpr char16_t alphabet[] = {u'a', u'b', u'|', u'\r', u'\n'};
        return alphabet[Byte() % 5];
    }

    char16_t WideChar() {
        const auto high = static_cast<unsigned>(Byte());
        return static_cast<char16_t>((high << 8U) | Byte());
    }

    const uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace fuzzing
