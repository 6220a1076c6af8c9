// The real window's texts under Wine, at the prefix's DPI and message font (these suites run in
// prefixes at 96, 120, 144 and 192 DPI and with an 11-point message font): every text shows
// whole in its control, no control overlaps another or leaves its container, and a label whose
// text fits keeps its design rectangle.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "forms/frm_Main.h"
#include "forms/layout.h"
#include "win32/win32_scopes.h"
#include "form_test_support.h"
#include "win32_test_support.h"

namespace {

using tamsrove::layout::ControlEntry;
using tamsrove::layout::ControlKind;
namespace layout = tamsrove::layout;
namespace test = tamsrove::test;

/// The room a text needs in the font a control draws with: width and line height.
SIZE MeasuredText(HWND control, const std::wstring& text) {
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    const tamsrove::unique_hdc_window dc(control);
    const tamsrove::unique_select_object selected(dc.get(), font);
    SIZE extent{};
    TEXTMETRICW metrics{};
    EXPECT_TRUE(font != nullptr && selected);
    EXPECT_TRUE(
        ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent));
    EXPECT_TRUE(::GetTextMetricsW(dc.get(), &metrics));
    // A label needs an average character's width beyond the text: the static control draws
    // a text a few pixels wider than its advance width (under Wine: the "!" of "Please wait!"
    // was cut with two pixels to spare).
    return {extent.cx + metrics.tmAveCharWidth, metrics.tmHeight};
}

/// True when a one-line text shows whole in the rectangle.
bool Fits(SIZE text, const RECT& rect) {
    return text.cx <= rect.right - rect.left && text.cy <= rect.bottom - rect.top;
}

RECT ToRect(const layout::PixelRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

class FrmMainFitDpi : public test::ShownForm {
protected:
    /// Every property of the fit, for the window at the DPI it is laid out for now.
    void ExpectEveryTextWholeAndEveryControlInPlace() const {
        const auto dpi = static_cast<int32_t>(form_->Dpi());
        for (const ControlEntry& entry : layout::kControls) {
            SCOPED_TRACE(test::Narrow(entry.name) + " at " + std::to_string(dpi) + " DPI");
            const HWND child = form_->Control(entry.id);
            const RECT rect = test::RectInParent(child);
            RECT container{};
            ASSERT_TRUE(::GetClientRect(::GetParent(child), &container));
            RECT inside{};
            ::IntersectRect(&inside, &rect, &container);
            EXPECT_TRUE(::EqualRect(&inside, &rect)) << "outside its container";
            if (entry.text.empty()) {
                continue;
            }
            const std::wstring shown = test::win32::TextOf(child);
            const SIZE text = MeasuredText(child, shown);
            RECT client{};
            ::GetClientRect(child, &client);
            EXPECT_TRUE(Fits(text, client))
                << text.cx << " x " << text.cy << " in " << client.right << " x " << client.bottom;
            const RECT design = ToRect(layout::ControlPixels(entry.id, dpi));
            if (entry.kind == ControlKind::Label && Fits(text, design)) {
                EXPECT_TRUE(::EqualRect(&rect, &design)) << "a fitting label moved";
            }
        }
        ExpectNoTwoControlsOverlap();
    }

    void ExpectNoTwoControlsOverlap() const {
        for (const ControlEntry& a : layout::kControls) {
            for (const ControlEntry& b : layout::kControls) {
                if (a.id >= b.id || a.container != b.container) {
                    continue;
                }
                SCOPED_TRACE(test::Narrow(a.name) + " and " + test::Narrow(b.name));
                const RECT ra = test::RectInParent(form_->Control(a.id));
                const RECT rb = test::RectInParent(form_->Control(b.id));
                RECT common{};
                EXPECT_FALSE(::IntersectRect(&common, &ra, &rb));
            }
        }
    }
};

TEST_F(FrmMainFitDpi, TheMessageFontIsTheOneThePrefixSets) {
    const int points = test::PromisedByPrefix(L"TAMSROVE_TEST_FONT");
    if (points == 0) {
        GTEST_SKIP() << "the prefix keeps the system's message font";
    }
    EXPECT_EQ(test::MessageFontAt(form_->Dpi()).lfHeight,
              -::MulDiv(points, static_cast<int>(form_->Dpi()), 72));
}

TEST_F(FrmMainFitDpi, EveryTextShowsWholeAndEveryControlStaysInPlace) {
    ExpectEveryTextWholeAndEveryControlInPlace();
}

TEST_F(FrmMainFitDpi, ADpiChangeFitsTheTextsAgain) {
    const UINT to = form_->Dpi() * 5 / 4;
    ChangeDpi(to);
    ASSERT_EQ(form_->Dpi(), to);
    ExpectEveryTextWholeAndEveryControlInPlace();
}

} // namespace
