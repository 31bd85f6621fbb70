#include "overlays/ui/OverlayObjectUi.h"

#include "mapview/overlay/OverlayObject.h"
#include "overlays/ui/ActionMenus.h"
#include "overlays/ui/MarkTool.h"
#include "overlays/ui/OverlayUiPorts.h"
#include "overlays/ui/TrackTool.h"

#include <QPoint>
#include <cmath>

namespace {

QPoint TapPoint(const COverlayTap& tap)
{
    return QPoint(int(std::lround(tap.x)), int(std::lround(tap.y)));
}

} // namespace

void COverlayObjectUi::StartMarkTool(CRasterleafView& view, COverlayMark& mark)
{
    ::StartMarkTool(view, mark);
}

void COverlayObjectUi::StartTrackTool(CRasterleafView& view, CTrackSection& section, double latitude,
                                      double longitude)
{
    ::StartTrackTool(view, section, latitude, longitude);
}

bool COverlayObjectUi::ShowMarkMenu(CRasterleafView& view, COverlayMark& mark, const COverlayTap& tap)
{
    QWidget* parent = Port<IOverlayUi>().menu_parent();
    const QPoint at = TapPoint(tap);
    ShowOverlayMenu(BuildMarkActionMenu(mark, parent, &view), parent, &at);
    return true;
}

bool COverlayObjectUi::ShowTrackMenu(CRasterleafView&, CTrackSection& section, const COverlayTap& tap)
{
    QWidget* parent = Port<IOverlayUi>().menu_parent();
    const QPoint at = TapPoint(tap);
    return ::ShowTrackMenu(section, parent, &at);
}
