// The platform seam on Win32: wide file APIs, the system's ANSI code page, and MoveFileExW for
// atomic replacement.
#include "platform.h"

#include "win32_handles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace tamsrove::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

[[noreturn]] void ThrowWin32(DWORD error, const char* what) {
    throw std::system_error(static_cast<int>(error), std::system_category(), what);
}

[[noreturn]] void ThrowLastError(const char* what) {
    ThrowWin32(::GetLastError(), what);
}

// A path for the wide APIs. They stop at U+0000, so a path holding one would name another file.
std::wstring WidePath(std::u16string_view path) {
    if (path.empty()) {
        ThrowWin32(ERROR_PATH_NOT_FOUND, "empty path");
    }
    if (path.find(u'\0') != std::u16string_view::npos) {
        ThrowWin32(ERROR_INVALID_NAME, "path holds U+0000");
    }
    return {path.begin(), path.end()};
}

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// The conversion APIs count in int; longer texts go in pieces of this many units.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

// A surrogate pair is never split between two pieces.
std::size_t PieceLength(std::u16string_view text) {
    std::size_t length = std::min(text.size(), kMaxPiece);
    if (length < text.size() && IsHighSurrogate(static_cast<wchar_t>(text[length - 1]))) {
        --length;
    }
    return length;
}

// Best-fit mapping would turn U+FF0F into '/' or U+0100 into 'A', letting text that looked
// harmless become a path or a command; WC_NO_BEST_FIT_CHARS makes every such character the
// code page's default character instead. UTF-7 and UTF-8 accept no flags at all.
DWORD NarrowingFlags() {
    const UINT acp = ::GetACP();
    return acp == CP_UTF8 || acp == CP_UTF7 ? 0 : WC_NO_BEST_FIT_CHARS;
}

std::optional<AnsiTable> BuildSingleByteTable() {
    CPINFO info{};
    if (!::GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) {
        return std::nullopt;
    }
    char bytes[256];
    for (int b = 0; b < 256; ++b) {
        bytes[b] = static_cast<char>(b);
    }
    wchar_t wide[256];
    if (::MultiByteToWideChar(CP_ACP, 0, bytes, 256, wide, 256) != 256) {
        return std::nullopt;
    }
    AnsiTable table{};
    for (std::size_t b = 0; b < table.size(); ++b) {
        table[b] = static_cast<char16_t>(wide[b]);
        if (b < 0x80 && table[b] != b) {
            return std::nullopt; // not ASCII-compatible: the general conversion handles it
        }
    }
    return table;
}

// The folder part of a path with its trailing separator, or the drive of "C:name"; empty for
// a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos) {
        return path.substr(0, separator + 1);
    }
    if (path.size() >= 2 && path[1] == L':') {
        return path.substr(0, 2);
    }
    return {};
}

enum class TargetKind { Missing, RegularFile, Folder, Device };

// What a replacement would replace. The open asks for attributes only, which no share mode of
// another handle can refuse.
TargetKind ClassifyTarget(const std::wstring& path, DWORD& attributes) {
    unique_hfile handle(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return TargetKind::Missing;
        }
        ThrowWin32(error, "open target");
    }
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK) {
        return TargetKind::Device;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle.get(), &info)) {
        ThrowLastError("query target");
    }
    attributes = info.dwFileAttributes;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TargetKind::Folder
                                                        : TargetKind::RegularFile;
}

// Creates a new, empty file with a name no other writer uses, in the given folder.
unique_hfile CreateTemporary(const std::wstring& folder, std::wstring& tempPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + L".tamsrove-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(counter.fetch_add(1)) + L".tmp";
        unique_hfile file(::CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0 /* no sharing */,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return file;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            tempPath.clear();
            ThrowWin32(error, "create temporary");
        }
    }
    tempPath.clear();
    ThrowWin32(ERROR_FILE_EXISTS, "create temporary");
}

// Closes now and reports the result: a delayed write error can surface here.
void CloseChecked(unique_hfile& file) {
    if (!::CloseHandle(file.release())) {
        ThrowLastError("close");
    }
}

} // namespace

// --- Folders ------------------------------------------------------------------------------------

char16_t PathSeparator() noexcept {
    return u'\\';
}

std::u16string ApplicationFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            ThrowLastError("GetModuleFileNameW");
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        // A full buffer means the name was cut short: ask again with more room.
        if (buffer.size() >= 0x10000) {
            ThrowWin32(ERROR_INSUFFICIENT_BUFFER, "GetModuleFileNameW");
        }
        buffer.resize(buffer.size() * 2);
    }
    std::wstring folder = FolderOf(buffer);
    if (folder.empty()) {
        ThrowWin32(ERROR_PATH_NOT_FOUND, "program path has no folder");
    }
    // "C:\" keeps its separator: "C:" alone would mean the drive's current folder.
    if (folder.size() > 1 && folder[folder.size() - 2] != L':' &&
        (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return {folder.begin(), folder.end()};
}

// --- ANSI code page ------------------------------------------------------------------------------

std::uint32_t AnsiCodePage() noexcept {
    return ::GetACP();
}

const AnsiTable* SingleByteAnsiTable() noexcept {
    static const std::optional<AnsiTable> table = BuildSingleByteTable();
    return table ? &*table : nullptr;
}

std::u16string AnsiToWide(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::length_error("text too long to convert");
    }
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) {
        ThrowLastError("MultiByteToWideChar");
    }
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out.data()),
                              length) != length) {
        ThrowLastError("MultiByteToWideChar");
    }
    return out;
}

void AppendWideAsAnsi(std::u16string_view text, std::string& out) {
    const DWORD flags = NarrowingFlags();
    while (!text.empty()) {
        const std::size_t piece = PieceLength(text);
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        const int units = static_cast<int>(piece);
        const int length =
            ::WideCharToMultiByte(CP_ACP, flags, wide, units, nullptr, 0, nullptr, nullptr);
        if (length <= 0) {
            ThrowLastError("WideCharToMultiByte");
        }
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(length));
        if (::WideCharToMultiByte(CP_ACP, flags, wide, units, out.data() + start, length, nullptr,
                                  nullptr) != length) {
            out.resize(start);
            ThrowLastError("WideCharToMultiByte");
        }
        text.remove_prefix(piece);
    }
}

// --- Files ---------------------------------------------------------------------------------------

std::optional<std::uint64_t> FileLengthByName(std::u16string_view path) noexcept {
    try {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return std::nullopt;
        }
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

struct InputFile::Impl {
    unique_hfile file;
};

InputFile::InputFile(std::u16string_view path) : impl_(std::make_unique<Impl>()) {
    impl_->file.reset(::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!impl_->file) {
        ThrowLastError("open for reading");
    }
}
InputFile::InputFile(InputFile&&) noexcept = default;
InputFile& InputFile::operator=(InputFile&&) noexcept = default;
InputFile::~InputFile() = default;

std::optional<std::uint64_t> InputFile::RegularFileLength() const {
    if (::GetFileType(impl_->file.get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(impl_->file.get(), &size)) {
        ThrowLastError("GetFileSizeEx");
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t InputFile::ReadSome(void* buffer, std::size_t size) {
    DWORD got = 0;
    const auto request = static_cast<DWORD>(std::min(size, std::size_t{1} << 30));
    if (!::ReadFile(impl_->file.get(), buffer, request, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
            return 0; // the writing end is gone: that is the end of the data
        }
        ThrowWin32(error, "ReadFile");
    }
    return got;
}

struct OutputFile::Impl {
    unique_hfile file;
    std::wstring target;      // the file that receives the content
    std::wstring tempPath;    // non-empty while a replacement is pending
    DWORD keptAttributes = 0; // the replaced file's hidden and system marks
    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    Impl(Impl&&) = delete;
    Impl& operator=(Impl&&) = delete;
    ~Impl() {
        if (!tempPath.empty()) {
            file.reset(); // Windows deletes no file that is still open
            ::DeleteFileW(tempPath.c_str());
        }
    }
};

OutputFile::OutputFile(std::unique_ptr<Impl> impl) noexcept : impl_(std::move(impl)) {}
OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile& OutputFile::operator=(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

OutputFile OutputFile::Replace(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = WidePath(path);
    DWORD attributes = 0;
    switch (ClassifyTarget(impl->target, attributes)) {
    case TargetKind::Device:
        // A device (NUL, CON, a pipe) cannot be renamed over; it takes the bytes directly.
        impl->file.reset(::CreateFileW(impl->target.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!impl->file) {
            ThrowLastError("open device");
        }
        return OutputFile(std::move(impl));
    case TargetKind::Folder:
        ThrowWin32(ERROR_ACCESS_DENIED, "target is a folder");
    case TargetKind::RegularFile:
        // A read-only file refuses to be replaced, as it refuses to be opened for writing.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ThrowWin32(ERROR_ACCESS_DENIED, "target is read-only");
        }
        impl->keptAttributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        break;
    case TargetKind::Missing:
        break;
    }
    impl->file = CreateTemporary(FolderOf(impl->target), impl->tempPath);
    return OutputFile(std::move(impl));
}

OutputFile OutputFile::Append(std::u16string_view path) {
    auto impl = std::make_unique<Impl>();
    impl->target = WidePath(path);
    impl->file.reset(::CreateFileW(impl->target.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!impl->file) {
        ThrowLastError("open for appending");
    }
    if (::GetFileType(impl->file.get()) == FILE_TYPE_DISK &&
        !::SetFilePointerEx(impl->file.get(), LARGE_INTEGER{}, nullptr, FILE_END)) {
        ThrowLastError("seek to end");
    }
    return OutputFile(std::move(impl));
}

void OutputFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const auto request = static_cast<DWORD>(std::min(size, std::size_t{1} << 30));
        DWORD written = 0;
        if (!::WriteFile(impl_->file.get(), bytes, request, &written, nullptr)) {
            ThrowLastError("WriteFile");
        }
        if (written == 0) {
            ThrowWin32(ERROR_WRITE_FAULT, "WriteFile");
        }
        bytes += written;
        size -= written;
    }
}

void OutputFile::Commit() {
    Impl& impl = *impl_;
    if (impl.tempPath.empty()) {
        CloseChecked(impl.file);
        return;
    }
    if (!::FlushFileBuffers(impl.file.get())) {
        ThrowLastError("FlushFileBuffers");
    }
    CloseChecked(impl.file);
    if (impl.keptAttributes != 0 &&
        !::SetFileAttributesW(impl.tempPath.c_str(), impl.keptAttributes)) {
        ThrowLastError("SetFileAttributesW");
    }
    if (!::MoveFileExW(impl.tempPath.c_str(), impl.target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ThrowLastError("MoveFileExW");
    }
    impl.tempPath.clear();
}

} // namespace tamsrove::platform
