// The delimiter search under the meta-string and text-box cutting. The scan for the delimiter's
// first unit is most of the work; SSE2 compares eight UTF-16 units at once.
#include "classes/line_split.h"

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tamsrove {
namespace {

// The first i in [from, to) where text[i] is unit; to when there is none.
std::size_t FindUnit(const char16_t* text, std::size_t from, std::size_t to,
                     char16_t unit) noexcept {
    std::size_t i = from;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(unit));
    for (; i + 8 <= to; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi16(units, needle));
        if (hits != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(hits))) / 2;
        }
    }
#endif
    while (i < to && text[i] != unit) {
        ++i;
    }
    return i;
}

} // namespace

std::size_t FindDelimiter(std::u16string_view text, std::u16string_view delimiter,
                          std::size_t pos) noexcept {
    if (delimiter.size() > text.size()) {
        return std::u16string_view::npos;
    }
    const std::size_t starts = text.size() - delimiter.size() + 1; // where a match can begin
    const std::u16string_view rest = delimiter.substr(1);
    for (std::size_t at = pos; at < starts; ++at) {
        at = FindUnit(text.data(), at, starts, delimiter.front());
        if (at == starts) {
            break;
        }
        if (text.substr(at + 1, rest.size()) == rest) {
            return at;
        }
    }
    return std::u16string_view::npos;
}

} // namespace tamsrove
