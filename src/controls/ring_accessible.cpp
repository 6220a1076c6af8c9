// The ring's IAccessible: one element with no children, named "Working", an animation that is
// animated and read-only. A new object answers each WM_GETOBJECT; it holds nothing but the
// window handle, so it may outlive the ring without harm.
#include "controls/ring_accessible.h"

#include <atomic>
#include <new>

#include "win32/system_dll.h"

// Interface ids come from __uuidof, never from the IID_ constants: MinGW's liboleacc.a offers
// IID_IAccessible as an import stub, and a program linked against it passes the stub's code
// bytes as the id, so every QueryInterface for IAccessible fails with E_NOINTERFACE.

namespace tamsrove {
namespace {

/// oleacc, which is no KnownDLL: loaded from System32 when a screen reader first asks the ring
/// for its object, and kept until the program ends. When it cannot be loaded, both functions
/// are null and the ring answers as a plain window does.
struct Oleacc {
    unique_hmodule module = LoadSystemDll(L"oleacc.dll");
    decltype(&::LresultFromObject) lresult_from_object =
        ExportedFunction<decltype(&::LresultFromObject)>(module.get(), "LresultFromObject");
    decltype(&::CreateStdAccessibleObject) create_std_accessible_object =
        ExportedFunction<decltype(&::CreateStdAccessibleObject)>(module.get(),
                                                                 "CreateStdAccessibleObject");
};

/// The one Oleacc of the process, loaded on the first call.
const Oleacc& OleaccFunctions() {
    static const Oleacc oleacc;
    return oleacc;
}

/// True when the child id names the object itself, the only element it has.
bool IsSelf(const VARIANT& child) noexcept {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

/// Sets a VARIANT to a 32-bit integer.
void SetLong(VARIANT* out, long value) noexcept {
    ::VariantInit(out);
    out->vt = VT_I4;
    out->lVal = value;
}

class RingAccessible final : public IAccessible {
public:
    explicit RingAccessible(HWND ring) noexcept : ring_(ring) {}
    RingAccessible(const RingAccessible&) = delete;
    RingAccessible& operator=(const RingAccessible&) = delete;
    RingAccessible(RingAccessible&&) = delete;
    RingAccessible& operator=(RingAccessible&&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IDispatch)) ||
            IsEqualIID(iid, __uuidof(IAccessible))) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IDispatch: screen readers use the IAccessible methods directly; there is no type library.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: the ring's own answers.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return NoChild(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return NoChild(children);
    }

    // IAccessible: what the ring does not have (no value, help, shortcut or action).
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return NoText(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return NoText(child, description);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return NoText(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        if (topic != nullptr) {
            *topic = 0;
        }
        return NoText(child, file);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return NoText(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return NoText(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT child) override { return NoAction(child); }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return NoAction(child); }
    // Setting the name or value is obsolete in IAccessible and nothing here can be renamed.
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~RingAccessible() = default; // only Release deletes

    [[nodiscard]] bool Alive() const noexcept { return ::IsWindow(ring_) != FALSE; }
    [[nodiscard]] bool ScreenRect(RECT& rect) const noexcept;

    /// A text property the ring does not have: none, for a valid child id.
    static HRESULT NoText(const VARIANT& child, BSTR* text) noexcept {
        if (text == nullptr) {
            return E_POINTER;
        }
        *text = nullptr;
        return IsSelf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
    }
    /// An action the ring does not offer.
    static HRESULT NoAction(const VARIANT& child) noexcept {
        return IsSelf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
    }
    /// No element (the ring takes no focus and has nothing to select).
    static HRESULT NoChild(VARIANT* child) noexcept {
        if (child == nullptr) {
            return E_POINTER;
        }
        ::VariantInit(child); // VT_EMPTY
        return S_FALSE;
    }

    std::atomic<ULONG> references_{1};
    HWND ring_;
};

bool RingAccessible::ScreenRect(RECT& rect) const noexcept {
    if (::GetClientRect(ring_, &rect) == FALSE) {
        return false;
    }
    // MapWindowPoints, not ClientToScreen per corner: it swaps the edges back in a mirrored
    // (right-to-left) window, so left stays left.
    ::SetLastError(ERROR_SUCCESS);
    return ::MapWindowPoints(ring_, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2) != 0 ||
           ::GetLastError() == ERROR_SUCCESS;
}

HRESULT RingAccessible::get_accParent(IDispatch** parent) {
    if (parent == nullptr) {
        return E_POINTER;
    }
    *parent = nullptr;
    if (!Alive()) {
        return CO_E_OBJNOTCONNECTED;
    }
    // A client area's parent is its own window's object, which the system makes as usual.
    const auto create = OleaccFunctions().create_std_accessible_object;
    if (create == nullptr) {
        return E_FAIL; // without oleacc there is no standard object to give
    }
    return create(ring_, OBJID_WINDOW, __uuidof(IDispatch), reinterpret_cast<void**>(parent));
}

HRESULT RingAccessible::get_accChildCount(long* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0; // the ring is one element; its frames are pictures, not parts
    return S_OK;
}

HRESULT RingAccessible::get_accChild(VARIANT, IDispatch** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    return E_INVALIDARG; // there are no children to ask for
}

HRESULT RingAccessible::get_accName(VARIANT child, BSTR* name) {
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = nullptr;
    if (!IsSelf(child)) {
        return E_INVALIDARG;
    }
    *name = ::SysAllocString(kRingAccessibleName);
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT RingAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (role == nullptr) {
        return E_POINTER;
    }
    ::VariantInit(role);
    if (!IsSelf(child)) {
        return E_INVALIDARG;
    }
    SetLong(role, ROLE_SYSTEM_ANIMATION);
    return S_OK;
}

HRESULT RingAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (state == nullptr) {
        return E_POINTER;
    }
    ::VariantInit(state);
    if (!IsSelf(child)) {
        return E_INVALIDARG;
    }
    if (!Alive()) {
        return CO_E_OBJNOTCONNECTED;
    }
    long flags = STATE_SYSTEM_ANIMATED | STATE_SYSTEM_READONLY;
    if (::IsWindowVisible(ring_) == FALSE) {
        flags |= STATE_SYSTEM_INVISIBLE;
    }
    SetLong(state, flags);
    return S_OK;
}

HRESULT RingAccessible::accLocation(long* left, long* top, long* width, long* height,
                                    VARIANT child) {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
        return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    if (!IsSelf(child)) {
        return E_INVALIDARG;
    }
    RECT rect{};
    if (!Alive() || !ScreenRect(rect)) {
        return CO_E_OBJNOTCONNECTED;
    }
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

HRESULT RingAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (end == nullptr) {
        return E_POINTER;
    }
    ::VariantInit(end);
    if (!IsSelf(start) || direction < NAVDIR_UP || direction > NAVDIR_LASTCHILD) {
        return E_INVALIDARG;
    }
    // No children to go to; siblings are the window object's to find, not the client's.
    return S_FALSE;
}

HRESULT RingAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (child == nullptr) {
        return E_POINTER;
    }
    ::VariantInit(child);
    RECT rect{};
    if (!Alive() || !ScreenRect(rect)) {
        return CO_E_OBJNOTCONNECTED;
    }
    if (::PtInRect(&rect, POINT{x, y}) == FALSE) {
        return S_FALSE; // outside the ring: VT_EMPTY
    }
    SetLong(child, CHILDID_SELF);
    return S_OK;
}

} // namespace

IAccessible* CreateRingAccessible(HWND ring) {
    return new (std::nothrow) RingAccessible(ring);
}

LRESULT AnswerRingGetObject(HWND ring, WPARAM wparam, LPARAM lparam) {
    // The object id travels in the low 32 bits; compare it as a DWORD, as the message's
    // documentation asks, or a 64-bit sign extension would make OBJID_CLIENT miss.
    if (static_cast<DWORD>(lparam) != static_cast<DWORD>(OBJID_CLIENT)) {
        return ::DefWindowProcW(ring, WM_GETOBJECT, wparam, lparam);
    }
    const auto lresult_from_object = OleaccFunctions().lresult_from_object;
    if (lresult_from_object == nullptr) {
        return ::DefWindowProcW(ring, WM_GETOBJECT, wparam, lparam); // no oleacc: a plain window
    }
    IAccessible* object = CreateRingAccessible(ring);
    if (object == nullptr) {
        return ::DefWindowProcW(ring, WM_GETOBJECT, wparam, lparam);
    }
    // LresultFromObject takes its own reference until the caller collects the object, so ours
    // goes at once. It answers a failure as a negative HRESULT.
    const LRESULT result = lresult_from_object(__uuidof(IAccessible), wparam, object);
    object->Release();
    if (result < 0) {
        return ::DefWindowProcW(ring, WM_GETOBJECT, wparam, lparam);
    }
    return result;
}

} // namespace tamsrove
