// The progress window's plain containers: the frame (button face with an etched edge) and the
// white picture boxes, one with a thin grey edge and one that shows the logo bitmap unscaled at
// its top-left corner. The edges are painted inside the client area, so that children sit at
// their table positions.
#pragma once

#include <windows.h>

#include <cstdint>

#include "win32/window_base.h"

namespace tamsrove {

/// A container window owned by its C++ object (frm_Main keeps one per frame and picture box).
class ContainerBox : public WindowBase<ContainerBox> {
public:
    /// Window class of the frame, the container that groups everything but the button.
    static constexpr const wchar_t* kFrameClassName = L"Tamsrove.Frame";
    /// Window class of the white picture boxes pic_C and Picture1.
    static constexpr const wchar_t* kPictureBoxClassName = L"Tamsrove.PictureBox";

    /// The edge drawn inside the box.
    enum class Edge : uint8_t { None, Etched, Sunken };

    /// A box not yet created; picture (not owned, may be null) is drawn at its top-left corner.
    ContainerBox(Edge edge, HBITMAP picture) noexcept : edge_(edge), picture_(picture) {}

    /// Registers the frame and picture box classes; true when both are registered.
    static bool RegisterWindowClasses(HINSTANCE instance);

    /// Creates the box's window of class_name as a child of parent; null on failure.
    /// Shows another picture (not owned, may be null) from now on.
    void SetPicture(HBITMAP picture) noexcept;

    [[nodiscard]] HWND CreateChild(const wchar_t* class_name, HWND parent, int id, const RECT& rect,
                                   HINSTANCE instance);

private:
    friend WindowBase;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnPaint() const;
    void Draw(HDC dc) const;
    void DrawEdgeInside(HDC dc) const;

    Edge edge_;
    HBITMAP picture_; ///< owned by frm_Main, which outlives the window
};

} // namespace tamsrove
