#include "panels/PanelFrames.h"

#include "panels/TextFieldAutosizing.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

int32_t ClampedSum(int64_t a, int64_t b)
{
    return int32_t(
        std::clamp<int64_t>(a + b, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t Truncated(double value)
{
    if (!(value > 0))
        return 0;
    return value >= double(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max()
                                                                : int32_t(value);
}

} // namespace

CPanelRect ChildFrame(const CDisplayView::IWindow* parent, int32_t x, int32_t y, int32_t width,
                      int32_t height)
{
    return {x, ClampedSum(y, parent ? parent->m_topInset : 0), width, height};
}

CPanelRect ButtonFrame(const CDisplayView::IWindow* parent, int32_t x, int32_t y, int32_t width,
                       int32_t height)
{
    CPanelRect r = ChildFrame(parent, x, y, width, height);
    return {ClampedSum(r.x, 2), ClampedSum(r.y, 5), ClampedSum(width, -4), ClampedSum(height, -10)};
}

void UsableSize(const CDisplayView::IWindow& window, double width, double height, int32_t& outWidth,
                int32_t& outHeight)
{
    outWidth = Truncated(width);
    outHeight = Truncated(height - (double(window.m_topInset) + double(window.m_bottomInset)));
}

CTextCellFrames TextCellFrames(int32_t width, int32_t height, bool hasTitle)
{
    const int32_t title = hasTitle ? TitleHeight(height) : 0;
    return {{0, 0, width, title}, {0, title, width, ClampedSum(height, -int64_t(title))}};
}

EPanelMouse MapPanelMouse(EMouseAction action, EMouseButton button, EMouseButton held, bool control)
{
    switch (action) {
    case EMouseAction::Press:
        if (button == EMouseButton::Left)
            return control ? EPanelMouse::RightMouseDown : EPanelMouse::MouseDown;
        if (button == EMouseButton::Right)
            return EPanelMouse::RightMouseDown;
        if (button == EMouseButton::Middle)
            return EPanelMouse::OtherMouseDown;
        return EPanelMouse::None;
    case EMouseAction::Move:
        if (held == EMouseButton::Left)
            return EPanelMouse::MouseDragged;
        if (held == EMouseButton::Middle)
            return EPanelMouse::OtherMouseDragged;
        return EPanelMouse::None;
    case EMouseAction::Release:
        // A Control-click ended as a right click: its release is nobody's.
        if (button == EMouseButton::Left && held == EMouseButton::Left)
            return EPanelMouse::MouseUp;
        if (button == EMouseButton::Middle && held == EMouseButton::Middle)
            return EPanelMouse::OtherMouseUp;
        return EPanelMouse::None;
    }
    return EPanelMouse::None;
}

bool DeliverPanelMouse(CDisplayView& panel, EPanelMouse call, int32_t x, int32_t y)
{
    switch (call) {
    case EPanelMouse::MouseDown:
        return panel.MouseDown(x, y);
    case EPanelMouse::MouseDragged:
    case EPanelMouse::OtherMouseDragged:
        return panel.MouseDragged(x, y);
    case EPanelMouse::MouseUp:
        return panel.MouseUp(x, y);
    case EPanelMouse::RightMouseDown:
        return panel.RightMouseDown(x, y);
    case EPanelMouse::OtherMouseDown:
        return panel.OtherMouseDown(x, y);
    case EPanelMouse::OtherMouseUp:
        return panel.OtherMouseUp(x, y);
    case EPanelMouse::None:
        break;
    }
    return false;
}
