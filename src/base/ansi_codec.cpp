// The ANSI code-page codec: SSE2 blocks of 16 characters where each is its own byte, the tables
// for everything else.
#include "base/ansi_codec.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <version>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tamsrove::platform {

// to_byte_ is left as it comes unless the codec narrows: a codec that only widens never
// touches its pages.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
SingleByteCodec::SingleByteCodec(const AnsiTable& to_wide, bool narrows) noexcept
    : to_wide_(to_wide) {
    unsigned lo = 0xFF;
    unsigned hi = 0;
    for (unsigned b = 0; b < to_wide.size(); ++b) {
        if (to_wide[b] != b) {
            lo = std::min(lo, b);
            hi = std::max(hi, b);
        }
    }
    if (lo > hi) {
        lo = hi = 0; // every byte is its own character; byte 0 alone takes the table path
    }
    lo_ = static_cast<unsigned char>(lo);
    hi_ = static_cast<unsigned char>(hi);
    if (narrows) {
        // Only a character that some byte stands for has a byte: no best fit, no look-alikes.
        to_byte_.fill('?');
        for (unsigned b = 0x100; b-- > 0;) {
            to_byte_[to_wide[b]] = static_cast<char>(b); // the lowest byte wins a shared one
        }
    }
}

void SingleByteCodec::Widen(const char* in, std::size_t n, char16_t* out) const noexcept {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_set1_epi8(static_cast<char>(lo_));
    const __m128i span = _mm_set1_epi8(static_cast<char>(hi_ - lo_));
    // Bit k is set where byte k is special: b - lo, as an unsigned byte, is at most hi - lo.
    const auto specials = [&](__m128i chunk) {
        const __m128i beyond = _mm_subs_epu8(_mm_sub_epi8(chunk, lo), span);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(beyond, zero)));
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(chunk, zero));
        PatchSpecials(in + i, specials(chunk), out + i);
    }
    if (i + 8 <= n) { // a last half block: short lines end in one
        const __m128i chunk = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(chunk, zero));
        PatchSpecials(in + i, specials(chunk) & 0xFFU, out + i);
        i += 8;
    }
#endif
    WidenScalar(in + i, n - i, out + i);
}

// Most blocks of text hold no special byte, and those that do hold one or two: each is put
// right through the table after the whole block went through as if it held none.
void SingleByteCodec::PatchSpecials(const char* in, unsigned mask, char16_t* out) const noexcept {
    for (; mask != 0; mask &= mask - 1) {
        const int k = std::countr_zero(mask);
        out[k] = to_wide_[static_cast<unsigned char>(in[k])];
    }
}

void SingleByteCodec::Narrow(const char16_t* in, std::size_t n, char* out) const noexcept {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i zero = _mm_setzero_si128();
    const __m128i high_byte = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i lo = _mm_set1_epi16(static_cast<short>(lo_));
    const __m128i span = _mm_set1_epi16(static_cast<short>(hi_ - lo_));
    // 0xFFFF where the unit is a character below 0x100 that is its own byte.
    const auto plain = [&](__m128i units) {
        const __m128i below256 = _mm_cmpeq_epi16(_mm_and_si128(units, high_byte), zero);
        const __m128i beyond = _mm_subs_epu16(_mm_sub_epi16(units, lo), span);
        return _mm_andnot_si128(_mm_cmpeq_epi16(beyond, zero), below256);
    };
    // Bit k is set where unit k is not plain.
    const auto others = [&](__m128i first, __m128i second) {
        const int plain_bits = _mm_movemask_epi8(_mm_packs_epi16(plain(first), plain(second)));
        return ~static_cast<unsigned>(plain_bits) & 0xFFFFU;
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(first, second));
        PatchOthers(in + i, others(first, second), out + i);
    }
    if (i + 8 <= n) { // a last half block: short lines end in one
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(units, units));
        PatchOthers(in + i, others(units, units) & 0xFFU, out + i);
        i += 8;
    }
#endif
    NarrowScalar(in + i, n - i, out + i);
}

bool SingleByteCodec::NarrowExactly(const char16_t* in, std::size_t n, char* out) const noexcept {
    Narrow(in, n, out);
    // A unit has a byte of its own when that byte widens back to it; a '?' put in for another
    // character does not.
    for (std::size_t k = 0; k < n; ++k) {
        if (to_wide_[static_cast<unsigned char>(out[k])] != in[k]) {
            return false;
        }
    }
    return true;
}

void SingleByteCodec::WidenScalar(const char* in, std::size_t n, char16_t* out) const noexcept {
    for (std::size_t k = 0; k < n; ++k) {
        out[k] = to_wide_[static_cast<unsigned char>(in[k])];
    }
}

void SingleByteCodec::NarrowScalar(const char16_t* in, std::size_t n, char* out) const noexcept {
    for (std::size_t k = 0; k < n; ++k) {
        out[k] = to_byte_[in[k]];
    }
}

// As PatchSpecials: the units of a block that are not their own byte, put right one by one.
void SingleByteCodec::PatchOthers(const char16_t* in, unsigned mask, char* out) const noexcept {
    for (; mask != 0; mask &= mask - 1) {
        const int k = std::countr_zero(mask);
        out[k] = to_byte_[in[k]];
    }
}

namespace {

// Made once, in place in static storage: the pages of a table nothing writes are never touched,
// and making it cannot fail.
std::optional<SingleByteCodec> MakeAnsiCodec(bool narrows) noexcept {
    const AnsiTable* table = SingleByteAnsiTable();
    if (table == nullptr) {
        return std::nullopt;
    }
    return std::optional<SingleByteCodec>(std::in_place, *table, narrows);
}

} // namespace

const SingleByteCodec* AnsiCodec() noexcept {
    static const std::optional<SingleByteCodec> codec = MakeAnsiCodec(false);
    return codec ? &*codec : nullptr;
}

const SingleByteCodec* AnsiNarrowingCodec() noexcept {
    static const std::optional<SingleByteCodec> codec = MakeAnsiCodec(true);
    return codec ? &*codec : nullptr;
}

void AppendWidened(const SingleByteCodec& codec, std::string_view bytes, std::u16string& out) {
    const std::size_t start = out.size();
#if defined(__cpp_lib_string_resize_and_overwrite)
    out.resize_and_overwrite(start + bytes.size(), [&](char16_t* data, std::size_t size) {
        codec.Widen(bytes.data(), bytes.size(), data + start);
        return size;
    });
#else
    // The zero fill is written over at once; callers append pieces of one block at a time, so
    // both writes stay in the processor's cache.
    out.resize(start + bytes.size());
    codec.Widen(bytes.data(), bytes.size(), out.data() + start);
#endif
}

} // namespace tamsrove::platform
