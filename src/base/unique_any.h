// One move-only owner for every kind of system handle, in the manner of wil's unique_any: a
// handle type, the function that releases it and the value that means "none", so that no path
// can leak a handle or release it twice. Portable: the Win32 aliases live in win32_handles.h,
// the POSIX file descriptor owner in posix_handles.h.
#pragma once

#include <utility>

namespace tamsrove {

/// The empty value of most handle kinds: the value-initialised handle (null).
template <typename Handle> struct NullIsEmpty {
    static constexpr Handle Value() noexcept { return Handle{}; }
};

/// Owns one handle of a kind and releases it with Close; Empty::Value() marks the empty state.
/// Close is never called with the empty value.
template <typename Handle, auto Close, typename Empty = NullIsEmpty<Handle>> class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(Handle h) noexcept : handle_(h) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : handle_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~unique_any() { reset(); }

    /// The handle, still owned.
    [[nodiscard]] Handle get() const noexcept { return handle_; }
    /// Gives up ownership and returns the handle.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Empty::Value()); }
    /// Releases the owned handle, if any, and takes h.
    void reset(Handle h = Empty::Value()) noexcept {
        const Handle old = std::exchange(handle_, h);
        if (old != Empty::Value()) {
            Close(old);
        }
    }
    /// Out-parameter for APIs that return a handle: releases the current one first.
    [[nodiscard]] Handle* put() noexcept {
        reset();
        return &handle_;
    }
    /// True while a handle is owned.
    explicit operator bool() const noexcept { return handle_ != Empty::Value(); }

private:
    Handle handle_ = Empty::Value();
};

} // namespace tamsrove
