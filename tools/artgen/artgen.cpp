#include "artgen.h"

#include <array>

#include "artwork/logo.h"
#include "encode.h"
#include "forms/twips.h"

namespace tamsrove::artgen {
namespace {

constexpr std::array<int32_t, 3> kIconSides{32, 24, 16};
// Small pictures: more samples per pixel keep the disc's edge smooth.
constexpr int kIconSamples = 16;

} // namespace

std::vector<uint8_t> MakeIconFile() {
    std::vector<IconImage> images;
    for (const int depth : {32, 8}) {
        for (const int32_t side : kIconSides) {
            images.push_back({artwork::DrawEmblem(side, kIconSamples), depth});
        }
    }
    return EncodeIco(images);
}

std::vector<uint8_t> MakeLogoFile() {
    return EncodeBmp24(artwork::DrawLogo(kBaseDpi));
}

} // namespace tamsrove::artgen
