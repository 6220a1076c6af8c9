// The program's picture resources as Windows loads them: the icon group with its six images
// and the 24-bit logo bitmap.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "forms/logo_choice.h"
#include "platform/win32_handles.h"
#include "resource.h"

namespace tamsrove {
namespace {

// The (side, bits per pixel) pairs listed in the icon's group resource.
std::set<std::pair<int, int>> icon_group_entries() {
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
    EXPECT_EQ(icon_group_entries(), expected);
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

TEST(ProgramResources, LogoIsA248By64BitmapAt24Bits) {
    const unique_hbitmap logo(
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_LOGO),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ASSERT_TRUE(logo);
    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectW(logo.get(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    EXPECT_EQ(dib.dsBm.bmWidth, 248);
    EXPECT_EQ(dib.dsBm.bmHeight, 64);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    // The top-left corner is the white of the box it is drawn in.
    const unique_hdc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ previous = ::SelectObject(dc.get(), logo.get());
    EXPECT_EQ(::GetPixel(dc.get(), 0, 0), RGB(255, 255, 255));
    ::SelectObject(dc.get(), previous);
}

TEST(ProgramResources, EachLogoLoadsAtItsSizeAt24Bits) {
    for (const logo_choice::LogoBitmap& logo : logo_choice::kLogoBitmaps) {
        SCOPED_TRACE(std::to_string(logo.scale_percent) + " %");
        const unique_hbitmap bitmap(static_cast<HBITMAP>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(logo.resource_id),
                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        ASSERT_TRUE(bitmap);
        DIBSECTION dib{};
        ASSERT_EQ(::GetObjectW(bitmap.get(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
        EXPECT_EQ(dib.dsBm.bmWidth, logo.size.width);
        EXPECT_EQ(dib.dsBm.bmHeight, logo.size.height);
        EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    }
}

} // namespace
} // namespace tamsrove
