#include "overlays/ui/MarkTool.h"

#include "foundation/notify/StatusLine.h"
#include "geodesy/Units.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"

#include <cmath>

namespace {

// The byte length of the first `count` characters of UTF-8 text (all of it
// when it is shorter), so that a cut never splits a character.
size_t Utf8Prefix(const std::string& text, size_t count)
{
    size_t at = 0;
    for (size_t n = 0; n < count && at < text.size(); ++n) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
    }
    return at;
}

} // namespace

CMarkTool::CMarkTool(CRasterleafView* view, COverlayMark* mark) : COverlayTool(view), m_mark(mark)
{
    if (m_mark->IsRoutePoint()) {
        // A route point measures the leg that ends at it.
        const COverlayMark* previous = m_mark->GetRoute()->PreviousPoint(m_mark);
        if (previous && previous->HasPosition()) {
            m_plane.SetOrigin(previous->GetLatitude(), previous->GetLongitude());
            UpdateMarkXY();
        }
    }
    UpdateText();
}

COverlayObject* CMarkTool::GetMark() const
{
    return m_mark;
}

void CMarkTool::UpdateMarkXY()
{
    if (m_plane.IsUsable() && m_mark->HasPosition())
        m_plane.ToXY(m_mark->GetLatitude(), m_mark->GetLongitude(), m_markX, m_markY);
}

void CMarkTool::OnGPSPosition(const CDataGPSPosition& fix)
{
    if (m_mark->IsRoutePoint() || fix.m_fixStatus == CDataGPSPosition::kNoFix || !fix.HasPosition())
        return;
    if (!m_plane.IsUsable()) {
        m_plane.SetOrigin(fix.m_latitude, fix.m_longitude);
        UpdateMarkXY();
    }
    m_plane.ToXY(fix.m_latitude, fix.m_longitude, m_originX, m_originY);
    UpdateText();
}

void CMarkTool::UpdateText()
{
    const std::string& name = m_mark->GetName();
    const bool measured = m_plane.IsUsable();
    // Counted in characters: names in other scripts shorten as Latin ones do.
    if (measured && Utf8Prefix(name, kLongName - 1) < name.size())
        m_text = name.substr(0, Utf8Prefix(name, kShortName)) + "...";
    else
        m_text = name;
    if (measured && m_mark->HasPosition()) {
        const double dx = m_markX - m_originX, dy = m_markY - m_originY;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (length > 0.1 && std::isfinite(length)) {
            double course = std::atan2(dx, dy) * 180.0 / M_PI;
            if (course < 0)
                course += 360.0;
            std::string distance, bearing;
            const CUnits& units = CDefaultUnits::Get();
            units.FormatDistance(float(length), distance);
            units.FormatBearing(float(course), bearing);
            m_text += " " + distance + " " + bearing;
        }
    }
    if (const COverlayRoute* route = m_mark->GetRoute()) {
        std::string total;
        CDefaultUnits::Get().FormatDistance(float(route->TotalDistance()), total);
        SetStatusMessage("Total distance: " + total);
    }
}

void CMarkTool::PlaceAnchor()
{
    double x = 0, y = 0;
    if (!HasAnchor() && m_view && m_view->LatLonToScreen(m_mark->GetLatitude(), m_mark->GetLongitude(), x, y))
        SetAnchor(x, y);
}

void CMarkTool::DragBy(double dx, double dy)
{
    COverlayRoute* route = m_mark->GetRoute();
    if (m_mark->IsLocked() || (route && route->IsLocked()) || !m_view || !std::isfinite(dx) ||
        !std::isfinite(dy))
        return;
    PlaceAnchor();
    if (!HasAnchor())
        return;
    double latitude = 0, longitude = 0;
    if (!m_view->ScreenToLatLon(AnchorX() + dx, AnchorY() + dy, latitude, longitude) ||
        !IsValidPosition(latitude, longitude))
        return;
    SetAnchor(AnchorX() + dx, AnchorY() + dy);
    m_mark->SetPosition(latitude, longitude);
    UpdateMarkXY();
    UpdateText();
    // Last: a listener of the change may end this tool.
    if (route) {
        route->Touch();
        route->NotifyChanged(COverlayObject::kChanged);
    } else {
        m_mark->Touch();
        m_mark->SetState(COverlayObject::kChanged);
    }
}

void CMarkTool::Tap()
{
    PlaceAnchor();
    COverlayMark* mark = m_mark;
    CRasterleafView* view = m_view;
    const COverlayTap at{AnchorX(), AnchorY(), mark->GetLatitude(), mark->GetLongitude()};
    if (view)
        mark->ShowActionMenu(*view, at);
    // The menu may already have ended this tool; nothing of it is used now.
    EndActiveTool();
}

void StartMarkTool(CRasterleafView& view, COverlayMark& mark)
{
    COverlayTool::EndActiveTool();
    COverlayTool::SetActiveTool(std::make_unique<CMarkTool>(&view, &mark));
}
