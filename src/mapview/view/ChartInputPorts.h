#pragma once
// What the delete keys of the chart view do with the objects the active
// overlay tool holds. The owners of marks and tracks live above the map view;
// without their port the keys delete nothing. Main thread only.
#include "foundation/util/PortSlot.h"

class COverlayObject;

class IChartDeleteTool
{
public:
    virtual ~IChartDeleteTool() = default;
    // `mark` is the tool's mark, else null; `trackSection` its track section.
    virtual void DeleteToolObject(COverlayObject* mark, COverlayObject* trackSection)
    {
        (void)mark;
        (void)trackSection;
    }
};
