// With Trace, a file operation names its file relative to the program's own folder.
#include "classes/app_folder.h"

#include "tamsrove/cls_DBI.h"
#include "classes/platform/platform.h"

namespace tamsrove::dbi_files {

std::u16string JoinToFolder(std::u16string_view folder, char16_t separator,
                            std::u16string_view name) {
    std::u16string joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined += folder;
    // A root folder ("C:\", "/") already ends in the separator; doubling it would name
    // something else on Windows ("\\" starts a network path).
    if (joined.empty() || joined.back() != separator) {
        joined += separator;
    }
    joined += name;
    return joined;
}

} // namespace tamsrove::dbi_files

void cls_DBI::ApplyTrace(std::u16string& path, bool Trace) {
    if (!Trace) {
        return;
    }
    std::u16string traced = tamsrove::dbi_files::JoinToFolder(
        tamsrove::platform::ApplicationFolder(), tamsrove::platform::PathSeparator(), path);
    path.swap(traced); // the caller's variable changes only once the whole path is built
}
