// The most lines one store may hold: one limit for every operation that adds lines, so that a
// load, an unpacking and a single append all stop at the same count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace tamsrove::dbi_files {

/// As many lines as the store's 32-bit LastLineIndex can count: indexes 0 to INT32_MAX.
inline constexpr std::size_t kMaxLines =
    static_cast<std::size_t>(std::numeric_limits<int32_t>::max()) + 1;

/// The limit in force: kMaxLines, unless a test has lowered it.
[[nodiscard]] std::size_t MaxLines() noexcept;

/// Throws std::length_error (what names the operation) when a store of count lines would exceed
/// the limit.
void CheckLineCount(std::size_t count, const char* what);

namespace detail {

/// Sets the limit to at most kMaxLines and returns the previous one, so that a test can reach
/// it with a small file. A test seam only; product code never sets it.
std::size_t SetMaxLines(std::size_t limit) noexcept;

} // namespace detail
} // namespace tamsrove::dbi_files
