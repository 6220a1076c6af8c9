// frm_Main's texts at its DPI: the message font (which follows the user's text-size setting),
// each label moved to where its text shows whole, and the chosen size given to every text. The
// decisions are label_fit's; this file only measures the texts and carries the result out.
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/frm_Main.h"
#include "forms/label_fit.h"
#include "win32/win32_scopes.h"

namespace tamsrove {

namespace {

using layout::ControlEntry;
using layout::ControlKind;

/// The frame paints a 2-pixel etched edge inside its client area (at every DPI): labels grow
/// up to it, never onto it.
constexpr int32_t kFrameEdgePixels = 2;

/// The system's message font at a DPI; false when the system cannot say.
bool MessageFontAt(UINT dpi, LOGFONTW& font) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi) ==
        FALSE) {
        return false;
    }
    font = metrics.lfMessageFont;
    return true;
}

/// The message font at each candidate height, largest first; empty when any cannot be made,
/// so that the indices always match label_fit's candidates.
std::vector<unique_hfont> CandidateFonts(const LOGFONTW& message, int32_t dpi) {
    std::vector<unique_hfont> fonts;
    for (const int32_t height : label_fit::CandidateFontHeights(message.lfHeight, dpi)) {
        LOGFONTW font = message;
        font.lfHeight = height;
        unique_hfont made(::CreateFontIndirectW(&font));
        if (!made) {
            return {};
        }
        fonts.push_back(std::move(made));
    }
    return fonts;
}

/// The room a one-line text needs in a font: its advance width plus one average character
/// (tmAveCharWidth), and the font's line height. The common-controls static draws a text a few
/// pixels wider than GetTextExtentPoint32W measures it (under Wine at 120 DPI, two pixels to
/// spare still cut the "!" off "Please wait!"), so a label keeps a character's width to spare.
/// Nothing measured (0 x 0, so the label keeps its rectangle) when the DC refuses.
layout::PixelSize MeasureText(HDC dc, HFONT font, std::wstring_view text) {
    const unique_select_object selected(dc, font);
    SIZE extent{};
    TEXTMETRICW metrics{};
    if (!selected ||
        ::GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &extent) == FALSE ||
        ::GetTextMetricsW(dc, &metrics) == FALSE) {
        return {};
    }
    return {extent.cx + metrics.tmAveCharWidth, metrics.tmHeight};
}

/// Fills each label's measured text sizes, one per candidate font.
void MeasureLabels(HDC dc, const std::vector<unique_hfont>& fonts,
                   label_fit::WindowProblem& problem) {
    for (std::size_t i = 0; i < problem.labels.size(); ++i) {
        const std::wstring_view text = layout::Entry(problem.label_ids[i]).text;
        for (const unique_hfont& font : fonts) {
            problem.labels[i].text.push_back(MeasureText(dc, font.get(), text));
        }
    }
}

} // namespace

void frm_Main::FitTexts() {
    const auto dpi = static_cast<int32_t>(dpi_);
    label_fit::WindowProblem problem = label_fit::WindowLabels(dpi, kFrameEdgePixels);
    LOGFONTW message{};
    std::vector<unique_hfont> fonts;
    if (MessageFontAt(dpi_, message)) {
        fonts = CandidateFonts(message, dpi);
    }
    const unique_hdc_window dc(Window());
    if (fonts.empty() || !dc) {
        return; // keep the font and places we have; the texts go on showing in them
    }
    MeasureLabels(dc.get(), fonts, problem);
    const std::optional<label_fit::Placement> placement =
        label_fit::PlaceLabels(problem.labels, problem.obstacles);
    if (!placement) {
        return;
    }
    // The controls still use the old font: it goes (with `fonts`) only after they all have the
    // new one.
    std::swap(font_, fonts.at(placement->size_index));
    GiveFontToTexts();
    for (std::size_t i = 0; i < problem.label_ids.size(); ++i) {
        const layout::PixelRect& rect = placement->rects.at(i);
        ::SetWindowPos(Control(problem.label_ids[i]), nullptr, rect.left, rect.top, rect.Width(),
                       rect.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void frm_Main::GiveFontToTexts() {
    for (const ControlEntry& entry : layout::kControls) {
        const HWND child = Control(entry.id);
        if (child != nullptr &&
            (entry.kind == ControlKind::Label || entry.kind == ControlKind::CommandButton)) {
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        }
    }
}

} // namespace tamsrove
