// The ANSI code page on Win32: the system's own, through MultiByteToWideChar and
// WideCharToMultiByte.
#include "base/code_page.h"
#include "base/utf16.h"
#include "base/win32_text.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace tamsrove::platform {
namespace {

[[noreturn]] void ThrowLastError(const char* what) {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

// The conversion APIs count in int; longer texts go in pieces of this many units.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

// A surrogate pair is never split between two pieces.
std::size_t PieceLength(std::u16string_view text) {
    std::size_t length = std::min(text.size(), kMaxPiece);
    if (length < text.size() && utf16::IsHighSurrogate(text[length - 1])) {
        --length;
    }
    return length;
}

// How WideCharToMultiByte is asked for one rule under the system's code page. Best-fit mapping
// would turn U+FF0F into '/' or U+0100 into 'A', letting text that looked harmless become a
// path or a command; WC_NO_BEST_FIT_CHARS makes every such character the default character
// instead, and used_default tells whether that happened. UTF-7 and UTF-8 take no default
// character and no flag but WC_ERR_INVALID_CHARS (UTF-8 only), which fails on a lone
// surrogate instead of writing U+FFFD.
struct NarrowingCall {
    DWORD flags = 0;
    bool reports_default = false;
};

NarrowingCall NarrowingFor(Unmappable rule) {
    const UINT acp = ::GetACP();
    if (acp == CP_UTF7) {
        return {};
    }
    if (acp == CP_UTF8) {
        return {rule == Unmappable::Refuse ? static_cast<DWORD>(WC_ERR_INVALID_CHARS) : 0, false};
    }
    return {WC_NO_BEST_FIT_CHARS, rule == Unmappable::Refuse};
}

// Converts one piece; false when a refused character was met or the system says no to a
// refusing conversion.
bool AppendPiece(std::u16string_view piece, const NarrowingCall& call, std::string& out) {
    const std::wstring_view wide = AsWide(piece);
    const int units = static_cast<int>(wide.size());
    BOOL used_default = FALSE;
    BOOL* const used_default_out = call.reports_default ? &used_default : nullptr;
    const int length = ::WideCharToMultiByte(CP_ACP, call.flags, wide.data(), units, nullptr,
                                             0 /* size query */, nullptr, used_default_out);
    const bool refusing = (call.flags & WC_ERR_INVALID_CHARS) != 0 || call.reports_default;
    if (length <= 0) {
        if (refusing && ::GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
            return false;
        }
        ThrowLastError("WideCharToMultiByte");
    }
    if (used_default != FALSE) {
        return false;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length));
    if (::WideCharToMultiByte(CP_ACP, call.flags, wide.data(), units, out.data() + start, length,
                              nullptr, nullptr) != length) {
        out.resize(start);
        ThrowLastError("WideCharToMultiByte");
    }
    return true;
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

} // namespace

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

bool AppendWideAsAnsi(std::u16string_view text, std::string& out, Unmappable rule) {
    const NarrowingCall call = NarrowingFor(rule);
    const std::size_t start = out.size();
    try {
        while (!text.empty()) {
            const std::size_t piece = PieceLength(text);
            if (!AppendPiece(text.substr(0, piece), call, out)) {
                out.resize(start);
                return false;
            }
            text.remove_prefix(piece);
        }
    } catch (...) {
        out.resize(start);
        throw;
    }
    return true;
}

} // namespace tamsrove::platform
