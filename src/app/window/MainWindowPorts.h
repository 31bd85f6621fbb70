#pragma once
// What the main window's commands need from windows that come later: the
// chart list that the maps button and File > Open show. The interface is its
// own do-nothing default; while it is not installed the button and the menu
// row are hidden.
#include "foundation/util/PortSlot.h"

class CRasterleafView;
class UIViewControllerWithDialog;

class IChartListOpener
{
public:
    virtual ~IChartListOpener() = default;
    // Shows the chart list as a child dialog of `host` over the chart.
    virtual void OpenChartList(UIViewControllerWithDialog& host, CRasterleafView& view)
    {
        (void)host;
        (void)view;
    }
};
