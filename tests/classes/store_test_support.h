// Builders shared by the line store tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tamsrove/cls_DBI.h"

namespace store_test {

using Lines = std::vector<std::u16string>;

/// A store holding exactly these lines (at least one), leading empty lines included.
inline cls_DBI StoreOf(const Lines& lines) {
    cls_DBI store;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        store.AddLineEnd(u"#"); // placeholders that AddLineEnd cannot absorb
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        store.SetLine(lines[i], static_cast<int32_t>(i));
    }
    return store;
}

/// The store's lines, in order.
inline Lines LinesOf(const cls_DBI& store) {
    return {store.begin(), store.end()};
}

} // namespace store_test
