// What the Win32 and the POSIX implementation of the platform seam share: error reporting and
// the owners of the open files.
#include "platform_internal.h"

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

InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

OutputFile::Impl::~Impl() {
    if (!temp_path.empty()) {
        file.reset(); // Windows deletes no file that is still open
        internal::RemoveFileQuietly(temp_path);
    }
}

OutputFile::OutputFile(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

} // namespace tamsrove::platform
