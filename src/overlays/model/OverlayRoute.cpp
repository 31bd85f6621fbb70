#include "overlays/model/OverlayRoute.h"

#include "charts/PolynomialProjection.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/drawing/Drawing.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/util/FormatString.h"
#include "foundation/util/StringUtil.h"
#include "foundation/util/Xml.h"
#include "geodesy/Polygon.h"
#include "geodesy/Units.h"
#include "mapview/overlay/KeptLinePixels.h"
#include "mapview/overlay/OverlayTool.h"
#include "overlays/model/MarkManager.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

COverlayRoute::COverlayRoute() : COverlayObject(kKindRoute, 0) {}

COverlayRoute::~COverlayRoute()
{
    // The points go first, each announcing itself, while the route is whole.
    EndToolOnRoute(*this);
    while (!m_points.empty())
        m_points.pop_back();
}

COverlayMark* COverlayRoute::AddPoint(std::unique_ptr<COverlayMark> point)
{
    return InsertPoint(m_points.size(), std::move(point));
}

COverlayMark* COverlayRoute::InsertPoint(size_t at, std::unique_ptr<COverlayMark> point)
{
    if (!point)
        return nullptr;
    point->SetRoute(this);
    COverlayMark* raw = point.get();
    m_points.insert(m_points.begin() + ptrdiff_t(std::min(at, m_points.size())), std::move(point));
    return raw;
}

ptrdiff_t COverlayRoute::IndexOf(const COverlayMark* point) const
{
    for (size_t i = 0; i < m_points.size(); ++i)
        if (m_points[i].get() == point)
            return ptrdiff_t(i);
    return -1;
}

void COverlayRoute::UpdateScreenPoints(ScreenPoints& record, const CPolynomialProjection& chart)
{
    record.Reset();
    if (chart.IsValid()) {
        record.mapPoints.reserve(m_points.size());
        for (const auto& p : m_points) {
            double x = 0, y = 0;
            if (p->HasPosition() && chart.LatLonToPoint(p->GetLatitude(), p->GetLongitude(), x, y))
                record.mapPoints.push_back(CPolyPoint{x, y});
        }
    }
    record.ComputeBounds();
    // While being built every tap on the chart reaches the route.
    record.hitMode = CMarkManager::Get().GetRouteBeingBuilt() == this ? ScreenPoints::kHitWhole
                                                                      : ScreenPoints::kHitPolyline;
}

void COverlayRoute::Draw(QPainter& context, const CViewTransform& view, ScreenPoints& record)
{
    (void)view;
    const std::vector<CPolyPoint>& points = record.screenPoints;
    if (points.size() < 2)
        return;
    if (!m_kept)
        m_kept = std::make_unique<CKeptLinePixels>();
    const CKeptLinePixels::Style key{m_lineStyle.colour.GetPacked(), m_lineStyle.width, m_lineStyle.pattern,
                                     0};
    // Lines are not antialiased; the reach covers the pen and its joins.
    const double reach = m_lineStyle.width * (std::max(1.0, context.pen().miterLimit()) + 1) + 2;
    m_kept->Draw(context, points, key, m_lineStyle.colour.GetAlpha() == 255 && m_lineStyle.width > 0, reach,
                 [this, &points](QPainter& painter) { DrawLine(painter, points); });
}

void COverlayRoute::DrawLine(QPainter& context, const std::vector<CPolyPoint>& points) const
{
    context.save();
    // Not antialiased: dashes keep whole device pixels, and thousands of legs stay cheap.
    context.setRenderHint(QPainter::Antialiasing, false);
    context.setBrush(Qt::NoBrush);
    m_lineStyle.Apply(context);
    QPen pen = context.pen();
    const double width = pen.widthF();
    if (pen.style() != Qt::CustomDashLine || width <= 0) {
        std::vector<QPointF> line;
        line.reserve(points.size());
        for (const CPolyPoint& p : points)
            line.emplace_back(p.x, p.y);
        context.drawPolyline(line.data(), int(line.size()));
    } else {
        // The dashes are cut here and drawn as plain lines in one call: Qt's
        // own dashing of a long, self-crossing path is very slow. The phase
        // runs on from leg to leg.
        const std::vector<double> pattern = GetLineDashPattern(int(m_lineStyle.pattern), width);
        std::vector<QLineF> dashes;
        size_t index = 0;
        double left = pattern[0];
        for (size_t i = 1; i < points.size(); ++i) {
            const double ax = points[i - 1].x, ay = points[i - 1].y;
            const double dx = points[i].x - ax, dy = points[i].y - ay;
            const double length = std::sqrt(dx * dx + dy * dy);
            if (!(length > 0) || !std::isfinite(length))
                continue;
            double at = 0;
            while (at < length) {
                const double step = std::min(left, length - at);
                if (index % 2 == 0)
                    dashes.emplace_back(ax + dx * at / length, ay + dy * at / length,
                                        ax + dx * (at + step) / length, ay + dy * (at + step) / length);
                at += step;
                left -= step;
                if (left <= 1e-9) {
                    index = (index + 1) % pattern.size();
                    left = pattern[index];
                }
            }
        }
        pen.setStyle(Qt::SolidLine);
        context.setPen(pen);
        context.drawLines(dashes.data(), int(dashes.size()));
    }
    context.restore();
}

bool COverlayRoute::OnTap(CRasterleafView& view, const COverlayTap& tap)
{
    if (CMarkManager::Get().GetRouteBeingBuilt() != this || m_deleted)
        return false;
    AddPointWhileBuilding(&view, tap.latitude, tap.longitude, std::string(), tap);
    return true;
}

bool COverlayRoute::ShowActionMenu(CRasterleafView& view, const COverlayTap& tap)
{
    if (m_deleted || m_points.empty())
        return false;
    return m_points.front()->ShowActionMenu(view, tap);
}

COverlayMark* COverlayRoute::AddPointWhileBuilding(CRasterleafView* view, double latitude, double longitude,
                                                   const std::string& name, const COverlayTap& tap)
{
    CMarkManager& manager = CMarkManager::Get();
    std::unique_ptr<COverlayMark> made;
    {
        CMarkManager::RoutePointScope scope;
        made = std::make_unique<COverlayMark>();
    }
    made->SetPosition(latitude, longitude);
    // The insertion point is checked now: a point that left the route means the end.
    const ptrdiff_t after = manager.GetInsertAfter() ? IndexOf(manager.GetInsertAfter()) : -1;
    const bool atEnd = after < 0 || size_t(after) + 1 >= m_points.size();
    COverlayMark* point = InsertPoint(atEnd ? m_points.size() : size_t(after) + 1, std::move(made));
    std::string pointName = name;
    if (pointName.empty())
        FormatString(pointName, "%sP%d", m_name.c_str(), int(m_points.size()));
    point->SetName(pointName);
    if (!atEnd) {
        // An insertion in mid-route is one point only.
        manager.EndRouteBuilding();
    }
    Touch();
    COverlayTool::EndActiveTool();
    if (view)
        point->OnTap(*view, tap);
    NotifyChanged(kChanged);
    std::string distance;
    CDefaultUnits::Get().FormatDistance(float(TotalDistance()), distance);
    SetStatusMessage("Total distance: " + distance);
    return point;
}

bool COverlayRoute::ExtendBounds(CBoundingBox& box) const
{
    bool any = false;
    for (const auto& p : m_points)
        if (p->HasPosition()) {
            box.Extend(p->GetLongitude(), p->GetLatitude());
            any = true;
        }
    return any;
}

double COverlayRoute::TotalDistance() const
{
    double total = 0;
    for (size_t i = 1; i < m_points.size(); ++i) {
        const COverlayMark& a = *m_points[i - 1];
        const COverlayMark& b = *m_points[i];
        if (!a.HasPosition() || !b.HasPosition())
            continue;
        // A plane per leg: one plane for a long passage distorts the far legs.
        const CLocalPlane plane(a.GetLatitude(), a.GetLongitude());
        total += plane.DistanceTo(b.GetLatitude(), b.GetLongitude());
    }
    return total;
}

float COverlayRoute::CachedTotalLength() const
{
    if (m_legCache.empty())
        return 0;
    return float(m_legCache.front().length) + m_legCache.front().remaining;
}

void COverlayRoute::GetPointsLonLat(std::vector<std::pair<double, double>>& out) const
{
    for (const auto& p : m_points)
        out.emplace_back(p->GetLongitude(), p->GetLatitude());
}

void COverlayRoute::NotifyChanged(uint32_t code)
{
    if (code == kChanged)
        m_legCache.clear();
    SetState(code);
    for (const auto& p : m_points)
        p->SetState(code);
}

COverlayMark* COverlayRoute::PreviousPoint(const COverlayMark* point) const
{
    const ptrdiff_t i = IndexOf(point);
    return i > 0 ? m_points[size_t(i) - 1].get() : nullptr;
}

void COverlayRoute::AutoName()
{
    if (m_points.size() >= 2)
        m_name = m_points.front()->GetName() + " to " + m_points.back()->GetName();
}

void COverlayRoute::Reverse()
{
    EndToolOnRoute(*this);
    std::reverse(m_points.begin(), m_points.end());
    const size_t to = m_name.find(" to ");
    if (to != std::string::npos)
        m_name = m_name.substr(to + 4) + " to " + m_name.substr(0, to);
    Touch();
    NotifyChanged(kChanged);
}

void COverlayRoute::DeletePoint(COverlayMark* point)
{
    const ptrdiff_t i = IndexOf(point);
    if (i < 0)
        return;
    if (m_points.size() < 3) {
        CMarkManager::Get().DeleteRoute(this);
        return;
    }
    CMarkManager& manager = CMarkManager::Get();
    if (manager.GetInsertAfter() == point)
        manager.SetInsertAfter(nullptr);
    // A tool on any point ends: the legs around the point change.
    EndToolOnRoute(*this);
    std::unique_ptr<COverlayMark> gone = std::move(m_points[size_t(i)]);
    m_points.erase(m_points.begin() + i);
    gone.reset();
    Touch();
    NotifyChanged(kChanged);
}

void COverlayRoute::Clear()
{
    CMarkManager& manager = CMarkManager::Get();
    manager.ForgetRoute(this);
    for (const auto& p : m_points)
        COverlayTool::EndToolOf(p.get());
    while (!m_points.empty())
        m_points.pop_back();
    m_legCache.clear();
    m_isFollowed = false;
    m_name.clear();
    m_description.clear();
    m_category.clear();
}

void COverlayRoute::SwapPoints(std::vector<std::unique_ptr<COverlayMark>>& points)
{
    // The points that go out are often destroyed by the caller (a directions
    // reply or a revert): a tool on one of them must not outlive it.
    EndToolOnRoute(*this);
    m_points.swap(points);
    for (const auto& p : m_points)
        p->SetRoute(this);
    m_legCache.clear();
}

COverlayRoute* COverlayRoute::Split(COverlayMark* point)
{
    const ptrdiff_t i = IndexOf(point);
    if (i < 0 || m_deleted)
        return nullptr;
    EndToolOnRoute(*this);
    auto split = std::make_unique<COverlayRoute>();
    split->m_name = m_name + "-split";
    split->m_lineStyle = m_lineStyle;
    split->m_category = m_category;
    std::unique_ptr<COverlayMark> first = COverlayMark::MakeCopy(*point);
    first->SetPosition(point->GetLatitude(), point->GetLongitude());
    split->AddPoint(std::move(first));
    for (size_t k = size_t(i) + 1; k < m_points.size(); ++k)
        split->AddPoint(std::move(m_points[k]));
    m_points.resize(size_t(i) + 1);
    COverlayRoute* added = CMarkManager::Get().AddRoute(std::move(split));
    Touch();
    NotifyChanged(kChanged);
    added->NotifyChanged(kChanged);
    return added;
}

bool COverlayRoute::Join(COverlayRoute* other)
{
    if (!other || other == this || other->m_deleted || m_deleted)
        return false;
    EndToolOnRoute(*this);
    EndToolOnRoute(*other);
    for (size_t k = 1; k < other->m_points.size(); ++k)
        AddPoint(std::move(other->m_points[k]));
    if (!other->m_points.empty())
        other->m_points.resize(1);
    CMarkManager::Get().DeleteRoute(other);
    Touch();
    NotifyChanged(kChanged);
    return true;
}

bool COverlayRoute::IsSameRoute(const COverlayRoute& other) const
{
    if (m_deleted != other.m_deleted || CompareNoCase(m_name, other.m_name) != 0 ||
        m_points.size() != other.m_points.size())
        return false;
    for (size_t i = 0; i < m_points.size(); ++i)
        if (!m_points[i]->IsSameMark(*other.m_points[i]))
            return false;
    return true;
}

bool COverlayRoute::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    bool ok = chunk.ExchangeString(m_name);
    ok = ok && m_lineStyle.Serialize(stream);
    uint32_t count = uint32_t(m_points.size());
    if (ok && stream.IsReading() && chunk.AtEnd())
        count = 0;
    ok = ok && chunk.Exchange(count);
    if (ok && stream.IsReading()) {
        if (count > kMaxPoints)
            ok = stream.Fail("a route of " + std::to_string(count) + " points");
        std::vector<std::unique_ptr<COverlayMark>> points;
        CMarkManager::RoutePointScope scope;
        for (uint32_t i = 0; ok && i < count; ++i) {
            // A missing point would read as a default one: the count must be backed by bytes.
            if (chunk.AtEnd()) {
                ok = stream.Fail("a route ends before its points");
                break;
            }
            auto point = std::make_unique<COverlayMark>();
            ok = point->Serialize(stream) && stream.IsGood();
            if (ok)
                points.push_back(std::move(point));
        }
        if (ok) {
            m_points.clear();
            for (auto& p : points)
                AddPoint(std::move(p));
        }
    } else if (ok) {
        for (const auto& p : m_points)
            if (!(ok = p->Serialize(stream)))
                break;
    }
    ok = ok && chunk.ExchangeString(m_description);
    ok = ok && chunk.ExchangeBool(m_isFollowed);
    if (ok && (stream.IsWriting() || !chunk.AtEnd())) {
        SerializeSyncBlock(stream);
        ok = stream.IsGood();
    }
    ok = ok && chunk.ExchangeString(m_category);
    ok = chunk.Close() && ok;
    if (stream.IsReading() && ok) {
        FixTimesAfterRead();
        if (!m_points.empty() && m_created > m_points.front()->GetCreated())
            m_created = m_points.front()->GetCreated();
    }
    return ok;
}

void EndToolOnRoute(const COverlayRoute& route)
{
    COverlayTool* tool = COverlayTool::GetActiveTool();
    if (!tool)
        return;
    const auto* mark = dynamic_cast<const COverlayMark*>(tool->GetMark());
    if (mark && mark->GetRoute() == &route)
        COverlayTool::EndActiveTool();
}
