#pragma once
// The overlay objects' tools and action menus: what a tap or a right click on
// a mark, route point or track section starts. Menus open over the overlay
// ui's menu parent.
#include "overlays/model/OverlayModelPorts.h"

class COverlayObjectUi : public IOverlayObjectUi
{
public:
    void StartMarkTool(CRasterleafView& view, COverlayMark& mark) override;
    void StartTrackTool(CRasterleafView& view, CTrackSection& section, double latitude,
                        double longitude) override;
    bool ShowMarkMenu(CRasterleafView& view, COverlayMark& mark, const COverlayTap& tap) override;
    bool ShowTrackMenu(CRasterleafView& view, CTrackSection& section, const COverlayTap& tap) override;
};
