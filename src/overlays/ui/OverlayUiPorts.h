#pragma once
// What the overlay menus and lists need from the application: the edit
// dialogs, the chart download along a route, and the widget menus open over.
// The interface is its own do-nothing default; a menu row whose feature the
// installed port does not offer (Can... false) stays hidden.
#include "foundation/platform/DialogParent.h"
#include "foundation/util/PortSlot.h"

#include <string>
#include <utility>
#include <vector>

class COverlayMark;
class COverlayRoute;
class COverlayTrack;

class IOverlayUi
{
public:
    virtual ~IOverlayUi() = default;

    // Features offered; the application fills them at different times.
    virtual bool CanEditMarks() const { return false; }
    virtual bool CanEditRoutes() const { return false; }
    virtual bool CanEditTracks() const { return false; }
    virtual bool CanStartMapDataDownload() const { return false; }

    virtual void show_edit_mark(QWidget* parent, COverlayMark* mark)
    {
        (void)parent;
        (void)mark;
    }
    virtual void show_edit_route(QWidget* parent, COverlayRoute* route)
    {
        (void)parent;
        (void)route;
    }
    virtual void show_edit_track(QWidget* parent, COverlayTrack* track)
    {
        (void)parent;
        (void)track;
    }
    // Chart download along (mode 0, corridor width in metres) or inside (mode
    // 1, width 0) the (longitude, latitude) points, for the chart at `chartPath`.
    virtual void StartMapDataDownload(const std::string& chartPath,
                                      const std::vector<std::pair<double, double>>& lonLat, int mode,
                                      double width)
    {
        (void)chartPath;
        (void)lonLat;
        (void)mode;
        (void)width;
    }
    // The widget menus and boxes of the chart belong to (null: none).
    virtual QWidget* menu_parent() { return nullptr; }
};
