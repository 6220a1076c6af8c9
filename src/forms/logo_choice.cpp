#include "forms/logo_choice.h"

namespace tamsrove::logo_choice {

const LogoBitmap& LogoForDpi(int32_t dpi) noexcept {
    // A larger logo than the DPI's scale would outgrow its box between the steps (the 150 %
    // logo is 96 pixels tall, Picture1 only 91 at 120 DPI), and shrinking it to fit would blur
    // it; a smaller one is only a little small for its box, and sharp.
    const int64_t dpi_times_100 = static_cast<int64_t>(UsableDpi(dpi)) * 100;
    const LogoBitmap* chosen = &kLogoBitmaps.front();
    for (const LogoBitmap& logo : kLogoBitmaps) {
        if (static_cast<int64_t>(logo.scale_percent) * kBaseDpi <= dpi_times_100) {
            chosen = &logo;
        }
    }
    return *chosen;
}

} // namespace tamsrove::logo_choice
