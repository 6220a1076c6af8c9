// The ring's accessible object, in-process: through WM_GETOBJECT and LresultFromObject /
// ObjectFromLresult, through AccessibleObjectFromWindow as a screen reader asks for it, and by
// calling its methods directly.
#include "controls/ring_accessible.h"

#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>

#include "forms/com_apartment.h"
#include "base/win32_handles.h"
#include "accessible_test_support.h"
#include "win32_test_support.h"

namespace tamsrove {
namespace {

using test::ComRef;
using test::NameOf;
using test::RoleOf;

VARIANT Child(long id) {
    VARIANT v = test::AccessibleSelf();
    v.lVal = id;
    return v;
}

LRESULT CALLBACK RingLikeWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_GETOBJECT) {
        return AnswerRingGetObject(window, wparam, lparam);
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

/// A visible child window of the host that answers WM_GETOBJECT as the ring does, at the
/// ring's design size (71 x 57 pixels).
unique_hwnd MakeRingLikeWindow(HWND host) {
    static const wchar_t* const class_name = L"Tamsrove.Test.RingLike";
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!tamsrove::test::EnsureTestClass(class_name, &RingLikeWndProc)) {
        return {};
    }
    return unique_hwnd(::CreateWindowExW(0, class_name, nullptr, WS_CHILD | WS_VISIBLE, 10, 20, 71,
                                         57, host, nullptr, instance, nullptr));
}

class RingAccessibleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ring_); }

    /// The ring's object, made directly.
    [[nodiscard]] ComRef<IAccessible> Object() const {
        return ComRef<IAccessible>(CreateRingAccessible(ring_.get()));
    }

    tamsrove::ComApartment com_; // as a screen reader's process would have it
    unique_hwnd host_ = test::MakeHostWindow(200, 120);
    unique_hwnd ring_ = MakeRingLikeWindow(host_.get());
};

// AccessibleObjectFromWindow is what a screen reader calls: it sends WM_GETOBJECT itself.
TEST_F(RingAccessibleTest, AccessibleObjectFromWindowFindsTheWorkingAnimation) {
    ComRef<IAccessible> object;
    ASSERT_EQ(::AccessibleObjectFromWindow(ring_.get(), static_cast<DWORD>(OBJID_CLIENT),
                                           __uuidof(IAccessible), object.put()),
              S_OK);
    ASSERT_TRUE(object);
    EXPECT_EQ(NameOf(object.get()), L"Working");
    EXPECT_EQ(RoleOf(object.get()), ROLE_SYSTEM_ANIMATION);
}

// WM_GETOBJECT for the client area gives the working animation. Regression: the object id is a
// 32-bit value in a 64-bit LPARAM; OBJID_CLIENT must be found whether the sender extended it
// with ones (as a LONG) or with zeros (as a DWORD).
TEST_F(RingAccessibleTest, TheClientIdIsFoundWhicheverWayItWasWidened) {
    for (const LPARAM id : {static_cast<LPARAM>(OBJID_CLIENT),
                            static_cast<LPARAM>(static_cast<DWORD>(OBJID_CLIENT))}) {
        SCOPED_TRACE(std::to_string(static_cast<long long>(id)));
        const ComRef<IAccessible> object = test::ObjectByMessage(ring_.get(), id);
        ASSERT_TRUE(object);
        EXPECT_EQ(NameOf(object.get()), L"Working");
        EXPECT_EQ(RoleOf(object.get()), ROLE_SYSTEM_ANIMATION);
    }
}

TEST_F(RingAccessibleTest, OtherObjectIdsGetTheSystemsOwnAnswer) {
    for (const LONG id : {OBJID_WINDOW, OBJID_VSCROLL, OBJID_CARET, 1L}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(::SendMessageW(ring_.get(), WM_GETOBJECT, 0, static_cast<LPARAM>(id)),
                  ::DefWindowProcW(ring_.get(), WM_GETOBJECT, 0, static_cast<LPARAM>(id)));
    }
}

TEST_F(RingAccessibleTest, NameRoleStateAndNoChildren) {
    const ComRef<IAccessible> object = Object();
    ASSERT_TRUE(object);
    EXPECT_EQ(NameOf(object.get()), L"Working");
    EXPECT_EQ(RoleOf(object.get()), ROLE_SYSTEM_ANIMATION);
    VARIANT state;
    ASSERT_EQ(object->get_accState(test::AccessibleSelf(), &state), S_OK);
    ASSERT_EQ(state.vt, VT_I4);
    EXPECT_EQ(state.lVal, STATE_SYSTEM_ANIMATED | STATE_SYSTEM_READONLY);
    long children = -1;
    ASSERT_EQ(object->get_accChildCount(&children), S_OK);
    EXPECT_EQ(children, 0);
    IDispatch* child = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(object->get_accChild(Child(1), &child), E_INVALIDARG);
    EXPECT_EQ(child, nullptr);
    BSTR value = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(object->get_accValue(test::AccessibleSelf(), &value), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(value, nullptr);
}

TEST_F(RingAccessibleTest, AHiddenRingIsInvisible) {
    ::ShowWindow(ring_.get(), SW_HIDE);
    const ComRef<IAccessible> object(CreateRingAccessible(ring_.get()));
    ASSERT_TRUE(object);
    VARIANT state;
    ASSERT_EQ(object->get_accState(test::AccessibleSelf(), &state), S_OK);
    EXPECT_EQ(state.lVal, STATE_SYSTEM_ANIMATED | STATE_SYSTEM_READONLY | STATE_SYSTEM_INVISIBLE);
}

TEST_F(RingAccessibleTest, ChildIdsOtherThanSelfAreRefused) {
    const ComRef<IAccessible> object = Object();
    ASSERT_TRUE(object);
    VARIANT text_id;
    ::VariantInit(&text_id);
    text_id.vt = VT_BSTR; // not an integer id at all
    text_id.bstrVal = nullptr;
    for (const VARIANT& id : {Child(1), Child(-1), text_id}) {
        BSTR name = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(object->get_accName(id, &name), E_INVALIDARG);
        EXPECT_EQ(name, nullptr);
        VARIANT role;
        EXPECT_EQ(object->get_accRole(id, &role), E_INVALIDARG);
        EXPECT_EQ(role.vt, VT_EMPTY);
        long x = 1, y = 1, w = 1, h = 1;
        EXPECT_EQ(object->accLocation(&x, &y, &w, &h, id), E_INVALIDARG);
    }
    EXPECT_EQ(object->get_accName(test::AccessibleSelf(), nullptr), E_POINTER);
}

TEST_F(RingAccessibleTest, LocationAndHitTestAreTheRingsScreenRectangle) {
    const ComRef<IAccessible> object = Object();
    RECT window{};
    ASSERT_NE(::GetWindowRect(ring_.get(), &window), FALSE);
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(object->accLocation(&left, &top, &width, &height, test::AccessibleSelf()), S_OK);
    EXPECT_EQ(left, window.left);
    EXPECT_EQ(top, window.top);
    EXPECT_EQ(width, 71);
    EXPECT_EQ(height, 57);
    VARIANT hit;
    ASSERT_EQ(object->accHitTest(left + 70, top + 56, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, CHILDID_SELF);
    EXPECT_EQ(object->accHitTest(left + 71, top, &hit), S_FALSE);
    EXPECT_EQ(hit.vt, VT_EMPTY);
}

TEST_F(RingAccessibleTest, TheParentIsTheRingsOwnWindowObject) {
    const ComRef<IAccessible> object = Object();
    ComRef<IDispatch> parent;
    ASSERT_EQ(object->get_accParent(reinterpret_cast<IDispatch**>(parent.put())), S_OK);
    ASSERT_TRUE(parent);
    ComRef<IAccessible> window;
    ASSERT_EQ(parent->QueryInterface(__uuidof(IAccessible), window.put()), S_OK);
    HWND found = nullptr;
    ASSERT_EQ(::WindowFromAccessibleObject(window.get(), &found), S_OK);
    EXPECT_EQ(found, ring_.get());
    // Wine 8's window object answers no role (E_NOTIMPL); Windows' says it is a window.
    VARIANT role;
    ::VariantInit(&role);
    if (window->get_accRole(test::AccessibleSelf(), &role) != E_NOTIMPL) {
        EXPECT_EQ(RoleOf(window.get()), ROLE_SYSTEM_WINDOW);
    }
}

TEST_F(RingAccessibleTest, InterfacesAndReferenceCounts) {
    IAccessible* object = CreateRingAccessible(ring_.get());
    ASSERT_NE(object, nullptr);
    for (const IID& iid : {__uuidof(IUnknown), __uuidof(IDispatch), __uuidof(IAccessible)}) {
        void* same = nullptr;
        ASSERT_EQ(object->QueryInterface(iid, &same), S_OK);
        EXPECT_EQ(same, static_cast<void*>(object));
        EXPECT_EQ(object->Release(), 1U); // the reference QueryInterface added
    }
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(__uuidof(IEnumVARIANT), &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(object->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
    EXPECT_EQ(object->AddRef(), 2U);
    EXPECT_EQ(object->Release(), 1U);
    UINT type_infos = 1;
    EXPECT_EQ(object->GetTypeInfoCount(&type_infos), S_OK);
    EXPECT_EQ(type_infos, 0U);
    EXPECT_EQ(object->Release(), 0U); // the last reference: the object is gone
}

TEST_F(RingAccessibleTest, AnObjectThatOutlivesItsRingSaysItIsDisconnected) {
    const ComRef<IAccessible> object = Object();
    ring_.reset();
    long x = 0, y = 0, w = 0, h = 0;
    EXPECT_EQ(object->accLocation(&x, &y, &w, &h, test::AccessibleSelf()), CO_E_OBJNOTCONNECTED);
    VARIANT state;
    EXPECT_EQ(object->get_accState(test::AccessibleSelf(), &state), CO_E_OBJNOTCONNECTED);
    IDispatch* parent = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(object->get_accParent(&parent), CO_E_OBJNOTCONNECTED);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(NameOf(object.get()), L"Working"); // the name needs no window
}

} // namespace
} // namespace tamsrove
