// Shared helpers for the tests that read accessible objects (MSAA): a COM reference owner, the
// child id of an object's own element, its name and role, and the object a window answers
// WM_GETOBJECT with.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>

namespace tamsrove::test {

/// The child id that names an accessible object's own element.
inline VARIANT AccessibleSelf() {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

/// Holds one COM reference and releases it at the end of its scope.
template <typename T> class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* object) noexcept : object_(object) {}
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&&) = delete;
    ComRef& operator=(ComRef&&) = delete;
    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    /// Releases what it holds and offers its slot to a function that returns a reference.
    void** put() noexcept {
        reset();
        return reinterpret_cast<void**>(&object_);
    }
    void reset() noexcept {
        if (object_ != nullptr) {
            object_->Release();
            object_ = nullptr;
        }
    }

private:
    T* object_ = nullptr;
};

/// The accessible name of an object's own element; "(failed)" when it has none.
inline std::wstring NameOf(IAccessible* object) {
    BSTR name = nullptr;
    const HRESULT result = object->get_accName(AccessibleSelf(), &name);
    std::wstring text = SUCCEEDED(result) && name != nullptr ? std::wstring(name) : L"(failed)";
    ::SysFreeString(name);
    return text;
}

/// The role of an object's own element; -1 when it has none.
inline long RoleOf(IAccessible* object) {
    VARIANT role;
    ::VariantInit(&role);
    if (FAILED(object->get_accRole(AccessibleSelf(), &role)) || role.vt != VT_I4) {
        return -1;
    }
    return role.lVal;
}

/// The object a window answers WM_GETOBJECT with, as a screen reader's process receives it;
/// empty when the window gives none.
inline ComRef<IAccessible> ObjectByMessage(HWND window, LPARAM id = OBJID_CLIENT) {
    const LRESULT reference = ::SendMessageW(window, WM_GETOBJECT, 0, id);
    IAccessible* object = nullptr;
    if (reference <= 0 || FAILED(::ObjectFromLresult(reference, __uuidof(IAccessible), 0,
                                                     reinterpret_cast<void**>(&object)))) {
        return ComRef<IAccessible>();
    }
    return ComRef<IAccessible>(object);
}

} // namespace tamsrove::test
