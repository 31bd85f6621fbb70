#pragma once
// The chart view's delete keys: the tool's mark (a route point leaves its
// route), else the track its section belongs to. A key press asks nothing, so
// locked marks, points of locked routes and locked tracks stay: the menus ask
// for those.
#include "mapview/view/ChartInputPorts.h"

class CDeleteToolKeys : public IChartDeleteTool
{
public:
    void DeleteToolObject(COverlayObject* mark, COverlayObject* trackSection) override;
};
