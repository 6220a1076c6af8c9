// artgen: writes the program's icon and its logo at each scale into a folder, normally
// src/resources:
//   artgen <resource folder>
// Each file is written beside its target first and renamed over it, so a failed run never
// leaves a half-written picture behind.
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "artgen.h"

namespace {

void write_file(const std::filesystem::path& target, const std::vector<uint8_t>& bytes) {
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    std::filesystem::rename(temporary, target);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: artgen <resource folder>\n";
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        if (!std::filesystem::is_directory(folder)) {
            throw std::runtime_error("no such folder: " + folder.string());
        }
        write_file(folder / tamsrove::artgen::kIconFileName, tamsrove::artgen::MakeIconFile());
        for (const tamsrove::artgen::LogoScale& logo : tamsrove::artgen::kLogoScales) {
            write_file(folder / logo.file_name, tamsrove::artgen::MakeLogoFile(logo.percent));
        }
    } catch (const std::exception& e) {
        std::cerr << "artgen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
