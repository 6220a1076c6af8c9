// The POSIX file descriptor owner: the portable handle owner with close(2) and -1 for "none".
#pragma once

#include "base/unique_any.h"

#include <unistd.h>

namespace tamsrove {

/// The empty value of file descriptors: -1, since 0 is a valid descriptor.
struct MinusOneIsEmpty {
    static constexpr int Value() noexcept { return -1; }
};

namespace detail {
inline void CloseFd(int fd) noexcept {
    ::close(fd);
}
} // namespace detail

/// An open file descriptor. To see a delayed write error (NFS, quotas), close it with
/// ::close(fd.release()) and check the result.
using unique_fd = unique_any<int, detail::CloseFd, MinusOneIsEmpty>;

} // namespace tamsrove
