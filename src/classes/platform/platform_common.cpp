// What the Win32 and the POSIX implementation of the platform seam share: error reporting and
// the owners of the open files.
#include "classes/platform/platform_internal.h"

#include <system_error>
#include <utility>

namespace tamsrove::platform {
namespace internal {

void ThrowSystemError(int code, const char* what) {
#ifdef _WIN32
    throw std::system_error(code, std::system_category(), what);
#else
    throw std::system_error(code, std::generic_category(), what);
#endif
}

} // namespace internal

// The store's loads never block a save: on Windows they share reading, writing and deleting.
InputFile::InputFile(std::u16string_view path) {
    std::uint64_t locked = 0;
    internal::FileOwner file = internal::OpenForLoad(internal::ToNativePath(path), locked);
    impl_ = std::make_unique<Impl>(std::move(file), locked);
}

InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

OutputFile::Impl::~Impl() {
    if (!temp_name.empty()) {
        internal::RemoveIfSame(WorkFolder(), temp_name, file);
    }
    if (create_target && held_target) {
        internal::RemoveCreatedTarget(*this, held_target); // the save never got to write it
    }
}

OutputFile::OutputFile(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

} // namespace tamsrove::platform
