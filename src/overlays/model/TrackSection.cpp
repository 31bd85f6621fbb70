#include "overlays/model/TrackSection.h"

#include "charts/PolynomialProjection.h"
#include "foundation/drawing/Drawing.h"
#include "geodesy/Units.h"
#include "mapview/overlay/KeptLinePixels.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/OverlayModelPorts.h"
#include "overlays/model/OverlayTrack.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPoint>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool IsFinitePoint(const CTrackPoint& p)
{
    return std::isfinite(p.latitude) && std::isfinite(p.longitude) && std::isfinite(p.time) &&
           std::isfinite(p.altitude) && std::isfinite(p.hdop);
}

// The section of the active tool, when it is one.
const CTrackSection* ToolSection()
{
    COverlayTool* tool = COverlayTool::GetActiveTool();
    return tool ? dynamic_cast<const CTrackSection*>(tool->GetTrackSection()) : nullptr;
}

} // namespace

CTrackSection::CTrackSection(COverlayTrack* track) : COverlayObject(kKindTrackSection, 0), m_track(track)
{
    std::memset(static_cast<void*>(m_points), 0, sizeof m_points);
}

bool CTrackSection::Append(const CTrackPoint& point)
{
    if (m_count >= kMaxPoints)
        return false;
    m_points[m_count++] = point;
    return true;
}

void CTrackSection::Truncate(uint32_t count)
{
    m_count = std::min(m_count, count);
}

void CTrackSection::Assign(const CTrackPoint* points, uint32_t count)
{
    m_count = std::min(count, kMaxPoints);
    std::copy(points, points + m_count, m_points);
}

void CTrackSection::UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart)
{
    record.Reset();
    if (m_count < 2 || !chart.IsValid())
        return;
    record.mapPoints.reserve(m_count);
    for (uint32_t i = 0; i < m_count; ++i) {
        double x = 0, y = 0;
        if (chart.LatLonToPoint(m_points[i].latitude, m_points[i].longitude, x, y))
            record.mapPoints.push_back(CPolyPoint{x, y});
    }
    record.ComputeBounds();
    record.hitMode = ScreenPoints::kHitPolyline;
}

void CTrackSection::Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    const std::vector<CPolyPoint>& points = record.screenPoints;
    if (points.size() < 2 || !m_track)
        return;
    const CTrackSection* toolSection = ToolSection();
    const CLineStyle& style = m_track->GetLineStyle();
    const bool withHalo = toolSection && toolSection->m_track == m_track;
    const double scale = context.device() ? context.device()->devicePixelRatioF() : 1.0;
    const double haloWidth = withHalo ? (style.width * 1.1 + 1.4) * scale : 0.0;
    // How far the strokes reach from the points: the widest pen and its joins.
    const double width = std::max(double(style.width), haloWidth);
    const double reach = width * (std::max(1.0, double(context.pen().miterLimit())) + 1) + 4;
    if (!m_kept)
        m_kept = std::make_unique<CKeptLinePixels>();
    // Not antialiased, so the pixels can be kept while the view stands still.
    m_kept->Draw(context, points, {style.colour.GetPacked(), style.width, style.pattern, haloWidth},
                 style.colour.GetAlpha() == 255 && style.width > 0, reach,
                 [&](QPainter& painter) { StrokeLine(painter, points, haloWidth, reach); });
    if (toolSection == this)
        COverlayTool::GetActiveTool()->DrawDecoration(context, view, record);
}

void CTrackSection::StrokeLine(QPainter& context, const std::vector<CPolyPoint>& points, double haloWidth,
                               double reach) const
{
    QPointF line[kMaxPoints];
    int n = 0;
    for (const CPolyPoint& p : points) {
        if (n == int(kMaxPoints))
            break;
        line[n++] = QPointF(p.x, p.y);
    }
    const CLineStyle& style = m_track->GetLineStyle();
    // A solid line reaching far beyond the view is stroked only where it can
    // show: stroking costs by the point, and zoomed in most of a long track
    // lies outside.
    int first = 0, last = n - 1;
    QRectF visible;
    if (style.GetDashPattern() == CLineStyle::kSolid && GetVisibleUserRect(context, visible))
        TrimPolylineToRect(line, n, visible, reach, first, last);
    // Only the pen, brush and antialiasing change, and they are put back:
    // saving the whole painter state for each of hundreds of sections costs.
    const QPen oldPen = context.pen();
    const QBrush oldBrush = context.brush();
    const bool antialiased = context.testRenderHint(QPainter::Antialiasing);
    // Not antialiased, as route lines: a long track stays cheap to redraw.
    context.setRenderHint(QPainter::Antialiasing, false);
    context.setBrush(Qt::NoBrush);
    if (haloWidth > 0) {
        // The halo marks the track the tool works on.
        QPen halo(QColor(0, 0, 0, 255));
        halo.setWidthF(haloWidth);
        halo.setStyle(Qt::SolidLine);
        halo.setCapStyle(Qt::RoundCap);
        halo.setJoinStyle(Qt::RoundJoin);
        context.setPen(halo);
        context.drawPolyline(line + first, last - first + 1);
    }
    style.Apply(context);
    context.drawPolyline(line + first, last - first + 1);
    context.setRenderHint(QPainter::Antialiasing, antialiased);
    context.setPen(oldPen);
    context.setBrush(oldBrush);
}

bool CTrackSection::IsVisible() const
{
    return m_count >= 2 && m_track && m_track->GetVisibleFlag() && !m_track->IsDeleted();
}

bool CTrackSection::OnTap(CRasterleafView& view, const COverlayTap& tap)
{
    COverlayTool::EndActiveTool();
    Port<IOverlayObjectUi>().StartTrackTool(view, *this, tap.latitude, tap.longitude);
    CDefaultUnits::Get().UpdateMagneticVariation(tap.latitude, tap.longitude, CSyncable::Now());
    SetState(kUpdated);
    return true;
}

bool CTrackSection::OnDoubleTap(CRasterleafView& view, const COverlayTap& tap)
{
    const CTrackSection* toolSection = ToolSection();
    if (!toolSection || toolSection->m_track != m_track)
        return false;
    return OnTap(view, tap);
}

bool CTrackSection::ShowActionMenu(CRasterleafView& view, const COverlayTap& tap)
{
    return Port<IOverlayObjectUi>().ShowTrackMenu(view, *this, tap);
}

bool CTrackSection::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    uint32_t count = m_count;
    bool ok = chunk.Exchange(count);
    if (!ok)
        return false;
    if (stream.IsWriting()) {
        ok = chunk.ExchangeArray(m_points, sizeof(CTrackPoint), count);
        return chunk.Close() && ok;
    }
    uint32_t elementSize = 0;
    // A refused section is skipped whole by the chunk; the rest of the file reads on.
    if (count > kMaxPoints || !chunk.PeekU32(elementSize) || elementSize == 0 ||
        uint64_t(count) * elementSize > chunk.BytesLeft() - 4) {
        m_count = 0;
        chunk.Close();
        return false;
    }
    CTrackPoint read[kMaxPoints];
    std::memset(static_cast<void*>(read), 0, sizeof read);
    ok = chunk.ExchangeArray(read, sizeof(CTrackPoint), count);
    ok = chunk.Close() && ok;
    m_count = 0;
    if (!ok)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        if (IsFinitePoint(read[i]))
            m_points[m_count++] = read[i];
    return true;
}
