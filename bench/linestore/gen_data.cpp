// Writes the benchmark input files, the same bytes for the same arguments on every machine:
//   linestore_gen short  MiB PATH  CR LF lines of 0..80 characters (40 on average), about 5 %
//                                  of the bytes 0x80 and above
//   linestore_gen long   N   PATH  N lines of exactly 1 MiB each, CR LF after each
//   linestore_gen random MiB PATH  uniformly random bytes
// High bytes avoid the five values code page 1252 leaves undefined, so that the Python peer
// can decode every file strictly.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// splitmix64: small, fast and fully determined by its seed.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }
    std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }

private:
    std::uint64_t state_;
};

bool IsUndefinedIn1252(unsigned value) {
    return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

// One text byte: 1 in 20 is 0x80..0xFF, the rest printable ASCII.
char TextByte(Random& random) {
    if (random.Below(20) == 0) {
        unsigned value = 0;
        do {
            value = 0x80 + random.Below(0x80);
        } while (IsUndefinedIn1252(value));
        return static_cast<char>(value);
    }
    return static_cast<char>(0x20 + random.Below(0x5F));
}

std::string ShortLines(std::size_t size, Random& random) {
    std::string out;
    out.reserve(size + 128);
    while (out.size() < size) {
        const std::uint32_t length = random.Below(81);
        for (std::uint32_t i = 0; i < length; ++i) {
            out += TextByte(random);
        }
        out += "\r\n";
    }
    return out;
}

std::string LongLines(std::size_t count, Random& random) {
    std::string out;
    out.reserve(count * (kMiB + 2));
    for (std::size_t line = 0; line < count; ++line) {
        for (std::size_t i = 0; i < kMiB; ++i) {
            out += TextByte(random);
        }
        out += "\r\n";
    }
    return out;
}

std::string RandomBytes(std::size_t size, Random& random) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        std::uint64_t word = random.Next();
        for (std::size_t k = i; k < size && k < i + 8; ++k, word >>= 8U) {
            out[k] = static_cast<char>(word & 0xFFU);
        }
    }
    return out;
}

int Usage() {
    std::fputs("usage: linestore_gen short|long|random COUNT PATH\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return Usage();
    }
    const std::string_view kind = argv[1];
    const std::size_t count = std::strtoull(argv[2], nullptr, 10);
    Random random(0x7A6D5372ULL + count);
    std::string bytes;
    if (kind == "short") {
        bytes = ShortLines(count * kMiB, random);
    } else if (kind == "long") {
        bytes = LongLines(count, random);
    } else if (kind == "random") {
        bytes = RandomBytes(count * kMiB, random);
    } else {
        return Usage();
    }
    std::FILE* file = std::fopen(argv[3], "wb");
    if (file == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(argv[3]);
        return 1;
    }
    return 0;
}
