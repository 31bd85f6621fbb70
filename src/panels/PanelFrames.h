#pragma once
// Where the windows of a cell go, and which panel call a mouse event makes.
// The Qt windows only apply what is decided here.
#include "panels/DisplayView.h"
#include "panels/PanelGrid.h"

// A child window's frame: the rectangle moved down by the parent's top inset.
CPanelRect ChildFrame(const CDisplayView::IWindow* parent, int32_t x, int32_t y, int32_t width,
                      int32_t height);
// A button sits inside its cell: 2 in from each side, 5 from top and bottom.
CPanelRect ButtonFrame(const CDisplayView::IWindow* parent, int32_t x, int32_t y, int32_t width,
                       int32_t height);
// The usable size of a window of that size: the insets off its height.
void UsableSize(const CDisplayView::IWindow& window, double width, double height, int32_t& outWidth,
                int32_t& outHeight);

// The title line (above) and value (below) of a text cell of that size,
// relative to the cell; without a title the value takes the whole cell.
struct CTextCellFrames
{
    CPanelRect title;
    CPanelRect value;
};
CTextCellFrames TextCellFrames(int32_t width, int32_t height, bool hasTitle);

// A mouse event as the panel's overlay receives it.
enum class EMouseAction { Press, Move, Release };
enum class EMouseButton { None, Left, Right, Middle };
// The panel operation it becomes.
enum class EPanelMouse {
    None,
    MouseDown,
    MouseDragged,
    MouseUp,
    RightMouseDown,
    OtherMouseDown,
    OtherMouseDragged,
    OtherMouseUp
};

// A left press with Control held is a right press; the middle button drags
// in arrange mode; a move counts only with a button held (`held` is the
// button of the press that began the drag).
EPanelMouse MapPanelMouse(EMouseAction action, EMouseButton button, EMouseButton held, bool control);
// Makes the call; true when the panel handled it.
bool DeliverPanelMouse(CDisplayView& panel, EPanelMouse call, int32_t x, int32_t y);
