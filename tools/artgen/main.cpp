// artgen: writes the program's icon into the resource folder and the 96-DPI logo, the reference
// for the logo the program draws, into the tests' folder:
//   artgen <resource folder> <logo folder>
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

void WriteFile(const std::filesystem::path& target, const std::vector<uint8_t>& bytes) {
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
    if (argc != 3) {
        std::cerr << "usage: artgen <resource folder> <logo folder>\n";
        return 2;
    }
    try {
        const std::filesystem::path icon_folder = argv[1];
        const std::filesystem::path logo_folder = argv[2];
        for (const auto& folder : {icon_folder, logo_folder}) {
            if (!std::filesystem::is_directory(folder)) {
                throw std::runtime_error("no such folder: " + folder.string());
            }
        }
        WriteFile(icon_folder / tamsrove::artgen::kIconFileName, tamsrove::artgen::MakeIconFile());
        WriteFile(logo_folder / tamsrove::artgen::kLogoFileName, tamsrove::artgen::MakeLogoFile());
    } catch (const std::exception& e) {
        std::cerr << "artgen: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
