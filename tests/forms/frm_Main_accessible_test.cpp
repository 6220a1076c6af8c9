// What screen readers find in the real window: the real WorkRing1 answers WM_GETOBJECT with
// its "Working" animation, the texts and the button keep the system's own accessible objects,
// and siblings come in the design's tab order. Interface ids come from __uuidof: MinGW's
// IID_IAccessible is an import stub, not the id.
#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "forms/frm_Main.h"
#include "forms/layout.h"
#include "form_test_support.h"
#include "accessible_test_support.h"
#include "win32_test_support.h"

namespace {

using tamsrove::frm_Main;
using tamsrove::layout::ControlEntry;
using tamsrove::layout::ControlId;
namespace layout = tamsrove::layout;
namespace test = tamsrove::test;

/// Name and role of an accessible object's own element, releasing it.
struct Described {
    HRESULT result = E_FAIL;
    std::wstring name;
    long role = -1;
};

Described Describe(HRESULT result, IAccessible* object) {
    Described out;
    out.result = result;
    if (FAILED(result) || object == nullptr) {
        return out;
    }
    BSTR name = nullptr;
    if (SUCCEEDED(object->get_accName(test::AccessibleSelf(), &name)) && name != nullptr) {
        out.name = name;
    }
    ::SysFreeString(name);
    VARIANT role;
    ::VariantInit(&role);
    if (SUCCEEDED(object->get_accRole(test::AccessibleSelf(), &role)) && role.vt == VT_I4) {
        out.role = role.lVal;
    }
    object->Release();
    return out;
}

using FrmMainAccessible = test::ShownForm;

TEST_F(FrmMainAccessible, TheRealRingAnswersWmGetObjectWithTheWorkingAnimation) {
    const HWND ring = form_->Control(ControlId::WorkRing1);
    const LRESULT reference =
        ::SendMessageW(ring, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    ASSERT_GT(reference, 0);
    IAccessible* object = nullptr;
    const HRESULT result =
        ::ObjectFromLresult(reference, __uuidof(IAccessible), 0, reinterpret_cast<void**>(&object));
    const Described described = Describe(result, object);
    ASSERT_EQ(described.result, S_OK);
    EXPECT_EQ(described.name, L"Working");
    EXPECT_EQ(described.role, ROLE_SYSTEM_ANIMATION);
}

TEST_F(FrmMainAccessible, TheTextsAndTheButtonKeepTheSystemsObjectsNamedByTheirTexts) {
    for (const ControlEntry& entry : layout::kControls) {
        if (entry.text.empty()) {
            continue;
        }
        SCOPED_TRACE(std::string(entry.name.begin(), entry.name.end()));
        IAccessible* object = nullptr;
        const HRESULT result =
            ::AccessibleObjectFromWindow(form_->Control(entry.id), static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), reinterpret_cast<void**>(&object));
        const Described described = Describe(result, object);
        ASSERT_EQ(described.result, S_OK);
        EXPECT_EQ(described.name, entry.text);
        EXPECT_NE(described.role, ROLE_SYSTEM_ANIMATION);
    }
}

TEST_F(FrmMainAccessible, SiblingsComeInTabOrder) {
    for (const ControlEntry& container : layout::kControls) {
        SCOPED_TRACE(std::string(container.name.begin(), container.name.end()));
        std::vector<int32_t> tabs;
        for (HWND child = ::GetWindow(form_->Control(container.id), GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            for (const ControlEntry& entry : layout::kControls) {
                if (form_->Control(entry.id) == child) {
                    tabs.push_back(entry.tab_index);
                }
            }
        }
        EXPECT_TRUE(std::is_sorted(tabs.begin(), tabs.end()));
    }
}

} // namespace
