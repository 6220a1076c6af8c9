// COM on the window's thread. The ring answers screen readers with an accessible object that
// LresultFromObject hands over through COM marshalling (CoMarshalInterface), which works only
// on a thread that has joined an apartment; a window's thread joins a single-threaded one.
#pragma once

#include <objbase.h>

namespace tamsrove {

/// Joins the calling thread to a single-threaded COM apartment for the object's lifetime.
class ComApartment {
public:
    /// Joins; a thread already in an apartment of another kind stays in it.
    ComApartment() noexcept
        : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    /// Leaves, when this object joined (also when COM was already initialised: S_FALSE).
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ComApartment(ComApartment&&) = delete;
    ComApartment& operator=(ComApartment&&) = delete;

private:
    HRESULT result_;
};

} // namespace tamsrove
