// The application-folder resolution of the line store's file operations (Trace).
#pragma once

#include <string>
#include <string_view>

namespace tamsrove::dbi_files {

/// folder, the separator and name; a folder that already ends in the separator (a root) gets
/// no second one.
[[nodiscard]] std::u16string JoinToFolder(std::u16string_view folder, char16_t separator,
                                          std::u16string_view name);

} // namespace tamsrove::dbi_files
