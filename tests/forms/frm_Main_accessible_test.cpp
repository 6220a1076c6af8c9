// What screen readers find in the real window: the real WorkRing1 answers WM_GETOBJECT with
// its "Working" animation, the texts and the button keep the system's own accessible objects,
// and siblings come in the design's tab order. Interface ids come from __uuidof: MinGW's
// IID_IAccessible is an import stub, not the id.
#include <windows.h>

#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "forms/frm_Main.h"
#include "forms/layout.h"
#include "form_test_support.h"
#include "accessible_test_support.h"
#include "win32_test_support.h"

namespace {

using tamsrove::layout::ControlEntry;
using tamsrove::layout::ControlId;
namespace layout = tamsrove::layout;
namespace test = tamsrove::test;

using FrmMainAccessible = test::ShownForm;

TEST_F(FrmMainAccessible, TheRealRingAnswersWmGetObjectWithTheWorkingAnimation) {
    const test::ComRef<IAccessible> object = test::ObjectByMessage(Control(ControlId::WorkRing1));
    ASSERT_TRUE(object);
    EXPECT_EQ(test::NameOf(object.get()), L"Working");
    EXPECT_EQ(test::RoleOf(object.get()), ROLE_SYSTEM_ANIMATION);
}

TEST_F(FrmMainAccessible, TheTextsAndTheButtonKeepTheSystemsObjectsNamedByTheirTexts) {
    for (const ControlEntry& entry : layout::kControls) {
        if (entry.text.empty()) {
            continue;
        }
        SCOPED_TRACE(test::Narrow(entry.name));
        test::ComRef<IAccessible> object;
        ASSERT_EQ(::AccessibleObjectFromWindow(Control(entry.id), static_cast<DWORD>(OBJID_CLIENT),
                                               __uuidof(IAccessible), object.put()),
                  S_OK);
        EXPECT_EQ(test::NameOf(object.get()), entry.text);
        EXPECT_NE(test::RoleOf(object.get()), ROLE_SYSTEM_ANIMATION);
    }
}

TEST_F(FrmMainAccessible, SiblingsComeInTabOrder) {
    for (const ControlEntry& container : layout::kControls) {
        SCOPED_TRACE(test::Narrow(container.name));
        std::vector<int32_t> tabs;
        for (HWND child = ::GetWindow(Control(container.id), GW_CHILD); child != nullptr;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            for (const ControlEntry& entry : layout::kControls) {
                if (Control(entry.id) == child) {
                    tabs.push_back(entry.tab_index);
                }
            }
        }
        EXPECT_TRUE(std::is_sorted(tabs.begin(), tabs.end()));
    }
}

} // namespace
