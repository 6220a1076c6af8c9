// Finding line ends: one memchr per line, and the line ends counted 16 bytes at a time so that
// the array of lines is sized exactly before the first line is made.
#include "classes/read_form.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tamsrove::dbi_files {

const char* FindLineEnd(const char* p, const char* end) noexcept {
    const void* found = std::memchr(p, kLineEndStart, static_cast<std::size_t>(end - p));
    return found == nullptr ? end : static_cast<const char*>(found);
}

std::size_t CountLineEnds(std::string_view bytes) noexcept {
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    // Each match adds 1 to its byte lane; before a lane can overflow (255 blocks), the lanes
    // are summed with SAD and the counter starts again.
    const __m128i needle = _mm_set1_epi8(kLineEndStart);
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= bytes.size()) {
        __m128i lanes = zero;
        const std::size_t blocks = std::min<std::size_t>((bytes.size() - i) / 16, 255);
        for (std::size_t b = 0; b < blocks; ++b, i += 16) {
            const __m128i chunk =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, needle)); // a match is -1
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; i < bytes.size(); ++i) {
        count += IsAtLineEnd(bytes.data() + i) ? 1 : 0;
    }
    return count;
}

} // namespace tamsrove::dbi_files
