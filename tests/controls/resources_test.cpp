// The program's icon as Windows loads it: the icon group with its six images.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "base/win32_handles.h"
#include "resource.h"

namespace tamsrove {
namespace {

// The (side, bits per pixel) pairs listed in the icon's group resource.
std::set<std::pair<int, int>> IconGroupEntries() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_TAMSROVE), RT_GROUP_ICON);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = ::LoadResource(module, found);
    const auto* bytes = static_cast<const uint8_t*>(::LockResource(loaded));
    const DWORD size = ::SizeofResource(module, found);
    if (bytes == nullptr || size < 6) {
        return {};
    }
    uint16_t count = 0;
    std::memcpy(&count, bytes + 4, sizeof(count));
    std::set<std::pair<int, int>> entries;
    // Each entry: width, height, colour count, reserved (bytes), planes, bit count (words),
    // size (dword), id (word): 14 bytes.
    for (uint16_t i = 0; i < count && 6U + 14U * (i + 1U) <= size; ++i) {
        const uint8_t* entry = bytes + 6 + 14 * i;
        uint16_t bits = 0;
        std::memcpy(&bits, entry + 6, sizeof(bits));
        entries.insert({entry[0] == 0 ? 256 : entry[0], bits});
    }
    return entries;
}

TEST(ProgramResources, IconGroupHoldsThreeSizesAtTwoDepths) {
    const std::set<std::pair<int, int>> expected{{32, 32}, {24, 32}, {16, 32},
                                                 {32, 8},  {24, 8},  {16, 8}};
    EXPECT_EQ(IconGroupEntries(), expected);
}

TEST(ProgramResources, IconLoadsAtEachSize) {
    for (const int side : {16, 24, 32}) {
        SCOPED_TRACE("side " + std::to_string(side));
        const unique_hicon icon(static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TAMSROVE), IMAGE_ICON,
                         side, side, LR_DEFAULTCOLOR)));
        ASSERT_TRUE(icon);
        ICONINFO info{};
        ASSERT_NE(::GetIconInfo(icon.get(), &info), FALSE);
        const unique_hbitmap colour(info.hbmColor);
        const unique_hbitmap mask(info.hbmMask);
        BITMAP bitmap{};
        ASSERT_NE(::GetObjectW(colour.get(), sizeof(bitmap), &bitmap), 0);
        EXPECT_EQ(bitmap.bmWidth, side);
        EXPECT_EQ(bitmap.bmHeight, side);
    }
}

} // namespace
} // namespace tamsrove
