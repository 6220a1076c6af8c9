// The progress window's geometry and texts as plain values: every control's rectangle in twips
// inside its container, and their conversion to pixels at a given DPI. Nothing here calls the
// platform, so the layout is tested natively and the Win32 layer only carries it out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "forms/pixel_size.h"
#include "forms/twips.h"

namespace tamsrove::layout {

/// A rectangle in twips: left and top relative to the container's top-left corner.
struct TwipsRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

/// A rectangle in pixels given by its edges (right and bottom are exclusive).
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    [[nodiscard]] constexpr int32_t Width() const noexcept { return right - left; }
    [[nodiscard]] constexpr int32_t Height() const noexcept { return bottom - top; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

using tamsrove::PixelSize;

/// A point in pixels.
struct PixelPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

/// The window's controls; the order is the order of creation, containers before their contents.
enum class ControlId : uint8_t {
    Frame,                // frm_Main: the frame that groups everything but the button
    PicC,                 // pic_C: white box that holds the ring and the logo
    Picture1,             // Picture1: white box with the logo at its top-left corner
    WorkRing1,            // WorkRing1: the turning ring
    Label1,               // Label1: "This process requires several minutes to finish!"
    L1,                   // l1: "Please be patient!"
    LblInstallInProgress, // lbl_InstallInProgress: the in-progress message
    CbStopAndQuit,        // cb_StopAndQuit: the "Terminate" button
};

/// Number of controls in the table.
inline constexpr std::size_t kControlCount = 8;

/// What a control is, which decides the window class the Win32 layer gives it.
enum class ControlKind : uint8_t { Frame, PictureBox, WorkRing, Label, CommandButton };

/// One row of the window's control table.
struct ControlEntry {
    ControlId id;
    std::wstring_view name;             ///< the control's name in the program
    ControlKind kind;                   ///< what the control is
    std::optional<ControlId> container; ///< the control it sits in; none for the window itself
    TwipsRect twips;                    ///< rectangle inside the container's client area
    std::wstring_view text;             ///< label or button text; empty when it shows none
    int32_t tab_index;                  ///< position in the tab order
};

/// The window's caption (it begins with a space).
inline constexpr std::wstring_view kCaption = L" Corvellan installation progress:";
/// The client area's size in twips.
inline constexpr int32_t kClientWidthTwips = 7620;
/// The client area's height in twips.
inline constexpr int32_t kClientHeightTwips = 3450;

/// The termination question's text (it ends in a single quotation mark).
inline constexpr std::wstring_view kQuestionText =
    L"Please wait for the installation to finish! Click 'Ok' to terminate the installation'";
/// The termination question's title.
inline constexpr std::wstring_view kQuestionTitle = L"Information:";

/// Every control of the window, in creation order (a container comes before its contents).
inline constexpr std::array<ControlEntry, kControlCount> kControls = {{
    {ControlId::Frame,
     L"frm_Main",
     ControlKind::Frame,
     std::nullopt,
     {120, 60, 7365, 2730},
     L"",
     0},
    {ControlId::PicC,
     L"pic_C",
     ControlKind::PictureBox,
     ControlId::Frame,
     {120, 570, 7095, 1455},
     L"",
     2},
    {ControlId::Picture1,
     L"Picture1",
     ControlKind::PictureBox,
     ControlId::PicC,
     {1800, 240, 4935, 1095},
     L"",
     7},
    {ControlId::WorkRing1,
     L"WorkRing1",
     ControlKind::WorkRing,
     ControlId::PicC,
     {120, 240, 1065, 855},
     L"",
     3},
    {ControlId::Label1,
     L"Label1",
     ControlKind::Label,
     ControlId::Frame,
     {1710, 2070, 4065, 225},
     L"This process requires several minutes to finish!",
     5},
    {ControlId::L1,
     L"l1",
     ControlKind::Label,
     ControlId::Frame,
     {2070, 2370, 3375, 255},
     L"Please be patient!",
     4},
    {ControlId::LblInstallInProgress,
     L"lbl_InstallInProgress",
     ControlKind::Label,
     ControlId::Frame,
     {1950, 240, 3645, 315},
     L"Component installation in progress. Please wait!",
     1},
    {ControlId::CbStopAndQuit,
     L"cb_StopAndQuit",
     ControlKind::CommandButton,
     std::nullopt,
     {4950, 2880, 2535, 465},
     L"Terminate",
     6},
}};

/// The table row of a control.
[[nodiscard]] const ControlEntry& Entry(ControlId id) noexcept;

/// A twips rectangle in pixels; each edge is converted on its own so that neighbours still meet.
[[nodiscard]] PixelRect ToPixels(const TwipsRect& twips, int32_t dpi) noexcept;

/// The pixel rectangle of a control inside its container's client area at a DPI.
[[nodiscard]] PixelRect ControlPixels(ControlId id, int32_t dpi) noexcept;

/// The window's client size in pixels at a DPI.
[[nodiscard]] PixelSize ClientPixels(int32_t dpi) noexcept;

/// Where a window of the given size goes so that it is centred on the work area; a window
/// larger than the work area keeps the area's top-left corner so its caption stays reachable.
[[nodiscard]] PixelPoint CentredOrigin(const PixelRect& work_area, PixelSize window) noexcept;

} // namespace tamsrove::layout
