#include "controls/pixel_bitmap.h"

#include <cstring>

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

} // namespace tamsrove
