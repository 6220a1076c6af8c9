// Paths on POSIX: UTF-16 paths to and from the kernel's UTF-8.
#include "base/utf16.h"
#include "classes/platform/platform_internal.h"

#include <cerrno>

namespace tamsrove::platform {
namespace {

using internal::ThrowSystemError;
using utf16::IsHighSurrogate;
using utf16::IsLowSurrogate;

// --- UTF-8 -------------------------------------------------------------------------------------

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the sequence a lead byte starts, less one, with the lead's payload and the
// least code point such a sequence may encode (anything less is an overlong form).
struct Utf8Lead {
    int extra = 0;
    char32_t payload = 0;
    char32_t min = 0;
};

Utf8Lead ReadLead(unsigned char lead) {
    if (lead < 0x80) {
        return {0, lead, 0};
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {1, lead & 0x1FU, 0x80};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {2, lead & 0x0FU, 0x800};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {3, lead & 0x07U, 0x10000};
    }
    ThrowSystemError(EILSEQ, "invalid UTF-8");
}

void AppendUtf16(char32_t c, std::u16string& out) {
    if (c >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

} // namespace

namespace internal {

// U+0000 would cut the path short and a lone surrogate has no UTF-8 form; mapping it to U+FFFD
// could name a different, existing file, so both fail.
NativeString ToNativePath(std::u16string_view path) {
    if (path.empty()) {
        ThrowSystemError(ENOENT, "empty path");
    }
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        char32_t c = path[i];
        if (c == 0) {
            ThrowSystemError(EINVAL, "path holds U+0000");
        }
        if (IsHighSurrogate(c) && i + 1 < path.size() && IsLowSurrogate(path[i + 1])) {
            c = utf16::CombineSurrogates(c, path[++i]);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            ThrowSystemError(EILSEQ, "path holds a lone surrogate");
        }
        AppendUtf8(c, out);
    }
    return out;
}

// Strict decoding: overlong forms, surrogates and truncated sequences fail.
std::u16string FromNativePath(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Utf8Lead lead = ReadLead(static_cast<unsigned char>(bytes[i]));
        if (bytes.size() - i <= static_cast<std::size_t>(lead.extra)) {
            ThrowSystemError(EILSEQ, "truncated UTF-8");
        }
        char32_t c = lead.payload;
        for (int k = 1; k <= lead.extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                ThrowSystemError(EILSEQ, "invalid UTF-8");
            }
            c = (c << 6) | (next & 0x3FU);
        }
        if (c < lead.min || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) {
            ThrowSystemError(EILSEQ, "invalid UTF-8");
        }
        AppendUtf16(c, out);
        i += static_cast<std::size_t>(lead.extra) + 1;
    }
    return out;
}

} // namespace internal

} // namespace tamsrove::platform
