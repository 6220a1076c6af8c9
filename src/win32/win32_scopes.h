// Scope guards for drawing, beside the handle owners: each pairs a Win32 call with the one that
// undoes it, so that no return path leaves a paint open, a DC borrowed or an object selected.
// They keep wil's names (unique_hdc_paint, unique_hdc_window, unique_select_object).
#pragma once

#include <windows.h>

#include <utility>

#include "base/win32_handles.h"

namespace tamsrove {

/// BeginPaint in the constructor, EndPaint in the destructor.
class unique_hdc_paint {
public:
    /// Begins painting window; get() is null when BeginPaint failed.
    explicit unique_hdc_paint(HWND window) noexcept
        : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~unique_hdc_paint() {
        if (dc_ != nullptr) {
            ::EndPaint(window_, &paint_);
        }
    }
    unique_hdc_paint(const unique_hdc_paint&) = delete;
    unique_hdc_paint& operator=(const unique_hdc_paint&) = delete;
    unique_hdc_paint(unique_hdc_paint&&) = delete;
    unique_hdc_paint& operator=(unique_hdc_paint&&) = delete;

    /// The paint DC, or null.
    [[nodiscard]] HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

/// GetDC in the constructor, ReleaseDC in the destructor.
class unique_hdc_window {
public:
    /// Borrows window's DC; get() is null when GetDC failed.
    explicit unique_hdc_window(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~unique_hdc_window() {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    unique_hdc_window(const unique_hdc_window&) = delete;
    unique_hdc_window& operator=(const unique_hdc_window&) = delete;
    unique_hdc_window(unique_hdc_window&&) = delete;
    unique_hdc_window& operator=(unique_hdc_window&&) = delete;

    /// The window's DC, or null.
    [[nodiscard]] HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

/// Selects an object into a DC and puts back the object that was selected before. Movable, so
/// that it can also live as a member for as long as a DC keeps a selection.
class unique_select_object {
public:
    /// Nothing selected.
    unique_select_object() noexcept = default;
    /// Selects object into dc; false (operator bool) when SelectObject failed.
    unique_select_object(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(::SelectObject(dc, object)) {
        if (previous_ == HGDI_ERROR) {
            previous_ = nullptr; // a region selection failed: nothing to put back
        }
    }
    ~unique_select_object() { reset(); }
    unique_select_object(const unique_select_object&) = delete;
    unique_select_object& operator=(const unique_select_object&) = delete;
    unique_select_object(unique_select_object&& other) noexcept
        : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr)) {}
    unique_select_object& operator=(unique_select_object&& other) noexcept {
        if (this != &other) {
            reset();
            dc_ = other.dc_;
            previous_ = std::exchange(other.previous_, nullptr);
        }
        return *this;
    }

    /// Puts the previous object back now.
    void reset() noexcept {
        if (const HGDIOBJ previous = std::exchange(previous_, nullptr); previous != nullptr) {
            ::SelectObject(dc_, previous);
        }
    }
    /// True while the selection holds.
    explicit operator bool() const noexcept { return previous_ != nullptr; }

private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

} // namespace tamsrove
