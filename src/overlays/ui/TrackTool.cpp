#include "overlays/ui/TrackTool.h"

#include "foundation/drawing/Images.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/util/TimeText.h"
#include "geodesy/Units.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/OverlayTrack.h"
#include "overlays/model/TrackSection.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

CTrackTool::CTrackTool(CRasterleafView* view, CTrackSection* section, double latitude, double longitude)
    : COverlayTool(view), m_section(section)
{
    m_plane.SetOrigin(latitude, longitude);
    double unused = 0;
    m_index = NearestPoint(*m_section, 0, 0, unused);
    const COverlayTrack* track = m_section->GetTrack();
    m_dot = LoadTintedImage("Dot", track ? track->GetLineStyle().colour : GraphicsColor(0, 0, 0, 1));
    const QSizeF size = GetImageSize(m_dot);
    m_hotSpotX = size.width() / 2;
    m_hotSpotY = size.height() / 2;
    UpdateText();
}

COverlayObject* CTrackTool::GetTrackSection() const
{
    return m_section;
}

const COverlayTrack* CTrackTool::GetTrack() const
{
    return m_section->GetTrack();
}

int CTrackTool::NearestPoint(const CTrackSection& section, double x, double y, double& distanceSq) const
{
    int best = -1;
    distanceSq = 0;
    for (uint32_t i = 0; i < section.Count(); ++i) {
        double px = 0, py = 0;
        m_plane.ToXY(section.Point(i).latitude, section.Point(i).longitude, px, py);
        const double d = (px - x) * (px - x) + (py - y) * (py - y);
        // The first of equals; a point whose distance is not a number is never taken.
        if (best < 0 ? d == d : d < distanceSq) {
            best = int(i);
            distanceSq = d;
        }
    }
    return best;
}

void CTrackTool::UpdateText()
{
    const COverlayTrack* track = m_section->GetTrack();
    if (track)
        SetStatusMessage("Track: " + track->GetName() + " (" + FormatRelativeDate(track->GetCreated()) + ")");
    m_text.clear();
    if (m_index < 0 || uint32_t(m_index) >= m_section->Count())
        return;
    const CDefaultUnits& units = CDefaultUnits::Get();
    const uint32_t last = m_section->Count() - 1;
    const CTrackPoint& point = m_section->Point(uint32_t(m_index));
    const CTrackPoint& before = m_section->Point(m_index > 0 ? uint32_t(m_index) - 1 : 0);
    const CTrackPoint& after = m_section->Point(std::min(uint32_t(m_index) + 1, last));
    const double dt = after.time - before.time;
    if (dt > 0.1) {
        const double speed =
            m_plane.Distance(before.latitude, before.longitude, after.latitude, after.longitude) / dt;
        if (speed > 0 && std::isfinite(speed)) {
            std::string text;
            units.FormatSpeed(float(speed * kMetresPerSecondToKnots), text);
            m_text += text + " ";
        }
    }
    // A stored time beyond the year 9999 would overflow the conversion.
    if (point.time > 0 && point.time < 253402300800.0) {
        std::string text;
        CUnits::FormatClockTime(time_t(point.time), text);
        m_text += text;
    }
    if (point.altitude != 0) {
        std::string text;
        units.FormatDepth(point.altitude, text);
        m_text += " " + text;
    }
}

bool CTrackTool::ChosenPointOnScreen(double& x, double& y) const
{
    if (!m_view || m_index < 0 || uint32_t(m_index) >= m_section->Count())
        return false;
    const CTrackPoint& point = m_section->Point(uint32_t(m_index));
    return m_view->LatLonToScreen(point.latitude, point.longitude, x, y);
}

void CTrackTool::DrawDecoration(QPainter& context, const CViewTransform& view, const ScreenPoints& record)
{
    (void)view;
    if (m_index < 0 || uint32_t(m_index) >= m_section->Count())
        return;
    double x = 0, y = 0;
    // The record holds one screen point per section point unless some could
    // not be projected; then the view places the point.
    if (record.screenPoints.size() == m_section->Count()) {
        x = record.screenPoints[size_t(m_index)].x;
        y = record.screenPoints[size_t(m_index)].y;
    } else if (!ChosenPointOnScreen(x, y)) {
        return;
    }
    DrawLabel(context, x, y);
    if (!m_dot.isNull())
        DrawImageAt(context, m_dot, x - m_hotSpotX, y - m_hotSpotY);
}

void CTrackTool::DragBy(double dx, double dy)
{
    if (!m_view || !std::isfinite(dx) || !std::isfinite(dy))
        return;
    double x = 0, y = 0;
    if (!HasAnchor() && ChosenPointOnScreen(x, y))
        SetAnchor(x, y);
    if (!HasAnchor())
        return;
    SetAnchor(AnchorX() + dx, AnchorY() + dy);
    double latitude = 0, longitude = 0;
    if (!m_view->ScreenToLatLon(AnchorX(), AnchorY(), latitude, longitude) ||
        !IsValidPosition(latitude, longitude))
        return;
    double px = 0, py = 0;
    m_plane.ToXY(latitude, longitude, px, py);
    // The current section first, so a point shared with a neighbour keeps it.
    double best = 0;
    int index = NearestPoint(*m_section, px, py, best);
    CTrackSection* chosen = m_section;
    if (const COverlayTrack* track = m_section->GetTrack()) {
        const auto& sections = track->Sections();
        for (size_t s = 0; s < sections.size(); ++s) {
            if (sections[s].get() != m_section)
                continue;
            for (size_t n : {s - 1, s + 1}) {
                if (n >= sections.size())
                    continue;
                double d = 0;
                const int i = NearestPoint(*sections[n], px, py, d);
                if (i >= 0 && (index < 0 || d < best)) {
                    index = i;
                    best = d;
                    chosen = sections[n].get();
                }
            }
            break;
        }
    }
    CTrackSection* left = m_section;
    m_section = chosen;
    m_index = index;
    UpdateText();
    // Last: a listener of the change may end this tool.
    if (left != chosen)
        left->SetState(COverlayObject::kChanged);
    chosen->SetState(COverlayObject::kChanged);
}

void CTrackTool::EndDrag()
{
    double x = 0, y = 0;
    if (ChosenPointOnScreen(x, y))
        SetAnchor(x, y);
    ForgetDrawnAnchor();
    m_section->SetState(COverlayObject::kChanged);
}

void CTrackTool::Tap()
{
    double x = AnchorX(), y = AnchorY();
    if (!HasAnchor())
        ChosenPointOnScreen(x, y);
    COverlayTap at{x, y, 0, 0};
    if (m_index >= 0 && uint32_t(m_index) < m_section->Count()) {
        at.latitude = m_section->Point(uint32_t(m_index)).latitude;
        at.longitude = m_section->Point(uint32_t(m_index)).longitude;
    }
    // The track menu reads this tool's section and point while it is built.
    if (m_view)
        m_section->ShowActionMenu(*m_view, at);
    EndActiveTool();
}

void StartTrackTool(CRasterleafView& view, CTrackSection& section, double latitude, double longitude)
{
    COverlayTool::EndActiveTool();
    COverlayTool::SetActiveTool(std::make_unique<CTrackTool>(&view, &section, latitude, longitude));
}
