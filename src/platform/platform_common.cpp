// What the Win32 and the POSIX implementation of the platform seam share: the owners of the
// open files and the naming of temporary files.
#include "platform_internal.h"

#include <atomic>
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

namespace {

NativeString FromAscii(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

} // namespace

FileOwner CreateTemporary(const NativeString& folder, NativeString& temp_path) {
    constexpr int kAttempts = 100;
    static std::atomic<unsigned> counter{0};
    const std::string process = std::to_string(CurrentProcessId());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temp_path = folder + FromAscii(".tamsrove-" + process + "-" +
                                       std::to_string(counter.fetch_add(1)) + ".tmp");
        FileOwner file = CreateNewFile(temp_path);
        if (file) {
            return file;
        }
    }
    temp_path.clear();
    throw std::system_error(std::make_error_code(std::errc::file_exists), "create temporary");
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
