// The plain C++ peer of FileToDBI: std::getline into std::u16string lines, widening each byte
// (bytes 0x80 and above become U+0080..U+00FF, close enough for timing), a CR before the LF
// dropped. Prints "op_ms=... added_peak_kib=..." and "lines=N".
#include "proc_stats.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: linestore_getline IN\n", stderr);
        return 2;
    }
    std::vector<std::u16string> lines;
    linestore_bench::TimeAndReport([&] {
        std::ifstream file(argv[1], std::ios::binary);
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            std::u16string& wide = lines.emplace_back(line.size(), u'\0');
            for (std::size_t i = 0; i < line.size(); ++i) {
                wide[i] = static_cast<unsigned char>(line[i]);
            }
        }
    });
    std::printf("lines=%zu\n", lines.size());
    return lines.empty() ? 1 : 0;
}
