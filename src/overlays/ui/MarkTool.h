#pragma once
// The tool of a tapped mark or route point: its label shows the name and the
// distance and bearing from the own ship (a free mark) or from the previous
// point (a route point); dragging moves the mark unless it is locked.
#include "foundation/events/Listener.h"
#include "instruments/data/DataGPSPosition.h"
#include "mapview/overlay/OverlayTool.h"

class COverlayMark;
class COverlayRoute;

class CMarkTool : public COverlayTool, public Listener<CDataGPSPosition>
{
public:
    // Names this long or longer are shortened once a distance is known.
    static constexpr size_t kLongName = 11;
    static constexpr size_t kShortName = 6;

    CMarkTool(CRasterleafView* view, COverlayMark* mark);

    void Tap() override;
    void UpdateText() override;
    void DragBy(double dx, double dy) override;
    COverlayObject* GetMark() const override;

    void Notify(const CDataGPSPosition& fix) override { OnGPSPosition(fix); }
    void OnGPSPosition(const CDataGPSPosition& fix);

private:
    // Takes the anchor from the mark when no draw has placed it yet.
    void PlaceAnchor();
    void UpdateMarkXY();

    COverlayMark* m_mark;
    double m_originX = 0; // metres in the tool's plane
    double m_originY = 0;
    double m_markX = 0;
    double m_markY = 0;
};

// Makes a mark tool for `mark` the active tool.
void StartMarkTool(CRasterleafView& view, COverlayMark& mark);
