#include "controls/pixel_bitmap.h"

#include <cstring>

#include "win32/win32_scopes.h"

namespace tamsrove {

unique_hbitmap MakeBitmap(const artwork::PixelBuffer& pixels) {
    // The buffer already has the DIB's layout (top-down, blue-green-red, rows padded to four
    // bytes), so one copy fills it.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height; // negative: rows run from the top, as in the buffer
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    unique_hbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) {
        return {};
    }
    std::memcpy(bits, pixels.bytes.data(), pixels.bytes.size());
    return bitmap;
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0) {
        return;
    }
    const unique_hdc memory(::CreateCompatibleDC(dc));
    if (!memory) {
        return;
    }
    const unique_select_object select(memory.get(), bitmap);
    if (select) {
        ::BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
    }
}

} // namespace tamsrove
