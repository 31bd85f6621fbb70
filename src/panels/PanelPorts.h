#pragma once
// Where the cells' windows come from. The panels know only the window
// interfaces; the Qt layer installs a factory that makes real widgets, tests
// install one that records every call. Without a factory (the default makes
// nothing) cells have no window and the panel still keeps its grid.
#include "foundation/util/PortSlot.h"
#include "panels/DisplayView.h"

#include <string>

class IPanelWindowFactory
{
public:
    virtual ~IPanelWindowFactory() = default;
    // Every window is a child of `host`. `item` is fully built by the time the
    // window first calls back into it (a redraw or a click).
    // A value text with a title line above it, or the value alone on several lines.
    virtual CDisplayView::ITxtWindow* MakeTextWindow(CDisplayView::IWindow* /*host*/,
                                                     CDisplayView::CItem& /*item*/, bool /*multiline*/)
    {
        return nullptr;
    }
    // A push button whose click calls the item's Pressed.
    virtual CDisplayView::CItemButton::IButtonWindow* MakeButtonWindow(CDisplayView::IWindow* /*host*/,
                                                                       CDisplayView::CItemButton& /*item*/)
    {
        return nullptr;
    }
    // A drawing surface that calls the item's Draw on every redraw.
    virtual CDisplayView::IWindow* MakeDrawWindow(CDisplayView::IWindow* /*host*/,
                                                  CDisplayView::CItemDraw& /*item*/)
    {
        return nullptr;
    }
    // The image of that name.
    virtual CDisplayView::CItemStaticImage::IImageWindow* MakeImageWindow(CDisplayView::IWindow* /*host*/,
                                                                          CDisplayView::CItem& /*item*/,
                                                                          const std::string& /*imageName*/)
    {
        return nullptr;
    }
};

// The race dialogs the timer and axis cells open from their menus, over
// `parent`. While this is the default the cells' menu entries stay hidden.
class IRaceDialogs
{
public:
    virtual ~IRaceDialogs() = default;
    virtual void show_timer_settings(QWidget* parent) { (void)parent; }
    virtual void show_axis_settings(QWidget* parent) { (void)parent; }
};
