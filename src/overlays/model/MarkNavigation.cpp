// The mark manager's navigation: go-to, route following, mark alarms and the
// lookups over its lists.
#include "foundation/notify/StatusLine.h"
#include "geodesy/Polygon.h"
#include "geodesy/TransverseMercator.h"
#include "geodesy/Units.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayRoute.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr double kMinMoveMetres = 5.0;
constexpr double kMinLegMetres = 3.0;
constexpr float kAutoReverseMinKnots = 0.5f;

} // namespace

uint32_t CMarkManager::AlarmKey(const COverlayMark& mark)
{
    return kAlarmKeyBase + mark.GetMarkNumber();
}

bool CMarkManager::HoldsMark(const COverlayMark* mark) const
{
    if (!mark)
        return false;
    if (const COverlayRoute* route = mark->GetRoute())
        return HoldsRoute(route) && route->IndexOf(mark) >= 0;
    for (const auto& m : m_marks)
        if (m.get() == mark)
            return true;
    return false;
}

bool CMarkManager::HoldsRoute(const COverlayRoute* route) const
{
    for (const auto& r : m_routes)
        if (r.get() == route)
            return true;
    return false;
}

void CMarkManager::ResetGoto()
{
    if (m_goto.target)
        m_goto.target->SetGotoTarget(false);
    if (m_goto.route)
        m_goto.route->SetFollowed(false);
    m_goto.route = nullptr;
    m_routeObject = nullptr;
    m_goto.next = nullptr;
    m_nextObject = nullptr;
    m_goto.bearing = CDataGotoMark::kNoBearing;
    m_goto.plane = CLocalPlane();
    m_goto.remaining = 0;
    m_goto.legLength = 0;
    m_goto.legNormalX = m_goto.legNormalY = 0;
}

void CMarkManager::PublishGoto()
{
    FireEvent<CDataGotoMark>(m_goto);
}

void CMarkManager::SetTarget(COverlayMark* target)
{
    m_goto.target = target;
    m_targetObject = target;
}

bool CMarkManager::GotoMark(COverlayMark* mark)
{
    if (m_scratch || !mark || mark->IsDeleted() || !mark->HasPosition() || !HoldsMark(mark))
        return false;
    ResetGoto();
    SetTarget(mark);
    mark->SetGotoTarget(true);
    m_goto.plane.SetOrigin(mark->GetLatitude(), mark->GetLongitude());
    PublishGoto();
    return true;
}

void CMarkManager::CancelGoto()
{
    ResetGoto();
    SetTarget(nullptr);
    PublishGoto();
}

bool CMarkManager::FollowRoute(COverlayRoute* route)
{
    if (m_scratch || !route || route->IsDeleted() || !HoldsRoute(route))
        return false;
    CancelGoto();
    m_goto.route = route;
    m_routeObject = route;
    route->SetFollowed(true);
    route->LegCache().clear();
    return true;
}

void CMarkManager::SetLegStart(double latitude, double longitude)
{
    double x = 0, y = 0;
    m_goto.plane.ToXY(latitude, longitude, x, y);
    m_goto.legStartX = x;
    m_goto.legStartY = y;
    const double length = std::hypot(x, y);
    m_goto.legLength = float(length);
    if (length > kMinMoveMetres) {
        m_goto.legNormalX = float(-y / length);
        m_goto.legNormalY = float(x / length);
    } else {
        m_goto.legNormalX = m_goto.legNormalY = 0;
    }
}

bool CMarkManager::ChooseRouteTarget(const CDataGPSPosition& fix, COverlayMark*& target,
                                     COverlayMark*& legStart)
{
    COverlayRoute& route = *m_goto.route;
    std::vector<COverlayRoute::Leg>& legs = route.LegCache();
    CLocalPlane& plane = route.LegPlane();
    const auto& points = route.Points();
    if (legs.empty()) {
        // Each longitude is taken relative to the point before it, so that a
        // route over 180 degrees is one short stretch rather than a box round
        // the world; the plane sits on the middle of that stretch.
        const auto unwrap = [](double previous, double longitude) {
            return previous + geodesy::NormalizeLongitude(longitude - previous);
        };
        if (points.size() < 2)
            return false;
        CBoundingBox box;
        double last = 0;
        for (const auto& p : points)
            if (p->HasPosition()) {
                last = box.IsEmpty() ? p->GetLongitude() : unwrap(last, p->GetLongitude());
                box.Extend(last, p->GetLatitude());
            }
        if (box.IsEmpty())
            return false;
        const double middle = (box.minX + box.maxX) / 2;
        plane.SetOrigin((box.minY + box.maxY) / 2, geodesy::NormalizeLongitude(middle));
        if (!plane.IsUsable())
            return false;
        const COverlayMark* start = nullptr;
        double sx = 0, sy = 0;
        for (const auto& p : points) {
            if (!p->HasPosition())
                continue;
            last = start ? unwrap(last, p->GetLongitude()) : p->GetLongitude();
            const double x = (last - middle) * plane.MetresPerDegreeLongitude();
            const double y = (p->GetLatitude() - plane.RefLatitude()) * plane.MetresPerDegreeLatitude();
            if (!start) {
                start = p.get();
                sx = x;
                sy = y;
                continue;
            }
            const double length = std::hypot(x - sx, y - sy);
            // A short leg is skipped; its end does not start the next one.
            if (!(length > kMinLegMetres))
                continue;
            COverlayRoute::Leg leg;
            leg.to = p.get();
            leg.dirX = (x - sx) / length;
            leg.dirY = (y - sy) / length;
            leg.fromX = sx;
            leg.fromY = sy;
            leg.toX = x;
            leg.toY = y;
            leg.length = length;
            legs.push_back(leg);
            sx = x;
            sy = y;
        }
        double after = 0;
        for (size_t i = legs.size(); i-- > 0;) {
            legs[i].remaining = float(after);
            after += legs[i].length;
        }
    }
    if (legs.empty())
        return false;

    double ox = 0, oy = 0;
    plane.ToXY(fix.m_latitude, fix.m_longitude, ox, oy);
    for (size_t i = 0; i < legs.size(); ++i) {
        COverlayRoute::Leg& leg = legs[i];
        double nx = leg.dirX, ny = leg.dirY;
        if (i > 0) {
            nx += legs[i - 1].dirX;
            ny += legs[i - 1].dirY;
        }
        // East of the leg's start the short way round, wherever the plane sits.
        const double rx = plane.ShortEastOffset(ox - leg.fromX), ry = oy - leg.fromY;
        leg.within = rx * nx + ry * ny >= 0;
        if (leg.within) {
            const double cross = leg.dirX * ry - leg.dirY * rx;
            leg.crossSq = cross * cross;
        }
    }
    const double fx = plane.ShortEastOffset(ox - legs.front().fromX), fy = oy - legs.front().fromY;
    double bestSq = fx * fx + fy * fy;
    ptrdiff_t best = -1;
    for (size_t i = 0; i < legs.size(); ++i) {
        const bool candidate = legs[i].within && (i + 1 == legs.size() || !legs[i + 1].within);
        if (candidate && legs[i].crossSq < bestSq) {
            bestSq = legs[i].crossSq;
            best = ptrdiff_t(i);
        }
    }
    COverlayMark* first = nullptr;
    for (const auto& p : points)
        if (p->HasPosition()) {
            first = p.get();
            break;
        }
    if (best >= 0) {
        const size_t i = size_t(best);
        target = legs[i].to;
        m_goto.remaining = legs[i].remaining;
        legStart = i > 0 ? legs[i - 1].to : first;
        m_goto.next = i + 1 < legs.size() ? legs[i + 1].to : nullptr;
    } else {
        target = first;
        m_goto.remaining = float(legs.front().length) + legs.front().remaining;
        legStart = nullptr;
        m_goto.next = legs.front().to;
    }
    m_nextObject = m_goto.next;
    return target != nullptr;
}

void CMarkManager::OnGPSPosition(const CDataGPSPosition& fix)
{
    if (m_scratch || fix.m_fixStatus == CDataGPSPosition::kNoFix || !fix.HasPosition())
        return;
    if (HasListeners<CDataGotoMark>()) {
        if (m_goto.route) {
            COverlayRoute* route = m_goto.route;
            const float cog = fix.m_cog;
            if (Settings().autoReverse && m_goto.target && !route->Points().empty() &&
                m_goto.target == route->Points().back().get() && m_goto.distance < 0.2f * m_goto.legLength &&
                std::isfinite(cog) && cog < 900 && m_goto.bearing < 900 && fix.m_sog > kAutoReverseMinKnots) {
                const double turn = std::fabs(NormalizeDegrees180(double(m_goto.bearing) - cog));
                // Reversing announces the route changed, which forgets the target.
                if (turn > 135)
                    route->Reverse();
            }
            COverlayMark* target = nullptr;
            COverlayMark* legStart = nullptr;
            if (m_goto.route && ChooseRouteTarget(fix, target, legStart)) {
                if (target != m_goto.target) {
                    SetTarget(target);
                    m_goto.legNormalX = m_goto.legNormalY = 0;
                    m_goto.plane.SetOrigin(target->GetLatitude(), target->GetLongitude());
                    if (legStart)
                        SetLegStart(legStart->GetLatitude(), legStart->GetLongitude());
                }
            } else if (m_goto.target) {
                SetTarget(nullptr);
                m_goto.plane = CLocalPlane();
            }
        }
        if (m_goto.IsPlaneSet()) {
            double x = 0, y = 0;
            m_goto.plane.ToXY(fix.m_latitude, fix.m_longitude, x, y);
            m_goto.ownX = x;
            m_goto.ownY = y;
            const double d = std::hypot(x, y);
            m_goto.distance = float(d);
            if (d > kMinMoveMetres) {
                m_goto.toTargetX = float(-x / d);
                m_goto.toTargetY = float(-y / d);
                m_goto.bearing = VectorToCourse(m_goto.toTargetY, m_goto.toTargetX);
                if (!m_goto.IsLegNormalValid())
                    SetLegStart(fix.m_latitude, fix.m_longitude);
                m_goto.crossTrack = float(m_goto.legNormalX * x + m_goto.legNormalY * y);
            }
            PublishGoto();
        }
    }
    CheckAlarms(fix);
}

void CMarkManager::CheckAlarms(const CDataGPSPosition& fix)
{
    if (!Settings().notifications)
        return;
    for (const auto& m : m_marks) {
        COverlayMark& mark = *m;
        const float outer = mark.GetOuterRadius();
        if (!(outer > 0))
            continue;
        const float inner = mark.GetInnerRadius();
        const double d = mark.HasPosition() && !mark.IsDeleted()
                             ? fix.m_plane.DistanceTo(mark.GetLatitude(), mark.GetLongitude())
                             : -1.0;
        if (d >= inner && d < outer) {
            std::string distance;
            CDefaultUnits::Get().FormatDistance(float(d), distance);
            PostUserNotification(AlarmKey(mark), inner > 0 ? "Anchor alarm" : "Mark proximity alarm",
                                 mark.GetName() + " is " + distance + " away");
            mark.SetAlarmRaised(true);
        } else if (mark.IsAlarmRaised()) {
            RemoveUserNotification(AlarmKey(mark));
            mark.SetAlarmRaised(false);
        }
    }
}

void CMarkManager::OnOverlayObject(const COverlayObject& object)
{
    if (m_scratch)
        return;
    const COverlayObject* changed = &object;
    if (object.GetState() == COverlayObject::kDeleted) {
        // Only pointers are compared: the object may be half destroyed.
        if (changed == m_routeObject) {
            m_goto.route = nullptr;
            m_routeObject = nullptr;
            if (m_goto.target && m_goto.target->GetRoute())
                SetTarget(nullptr);
            m_goto.next = nullptr;
            m_nextObject = nullptr;
            CancelGoto();
        } else if (changed == m_targetObject || changed == m_nextObject ||
                   (m_goto.route && object.GetKind() == COverlayObject::kKindMark)) {
            if (m_goto.route) {
                // A point of the followed route went: choose again on the next fix.
                SetTarget(nullptr);
                m_goto.next = nullptr;
                m_nextObject = nullptr;
                m_goto.plane = CLocalPlane();
                m_goto.route->LegCache().clear();
            } else if (changed == m_targetObject) {
                SetTarget(nullptr);
                CancelGoto();
            }
        }
        if (changed == m_routeBeingBuilt)
            ForgetRoute(m_routeBeingBuilt);
        return;
    }
    if (object.GetState() != COverlayObject::kChanged)
        return;
    if (m_goto.route && (changed == m_routeObject || changed == m_targetObject)) {
        m_goto.route->LegCache().clear();
        SetTarget(nullptr);
        m_goto.next = nullptr;
        m_nextObject = nullptr;
        m_goto.plane = CLocalPlane();
    } else if (changed == m_targetObject && !m_goto.route && m_goto.target->HasPosition()) {
        // The target moved: the leg keeps its start on the chart.
        const bool keepLeg = m_goto.IsLegNormalValid();
        double lat = 0, lon = 0;
        if (keepLeg)
            m_goto.plane.FromXY(m_goto.legStartX, m_goto.legStartY, lat, lon);
        m_goto.plane.SetOrigin(m_goto.target->GetLatitude(), m_goto.target->GetLongitude());
        if (keepLeg)
            SetLegStart(lat, lon);
    }
}

COverlayMark* CMarkManager::FindMarkByName(const std::string& name) const
{
    for (const auto& m : m_marks)
        if (!m->IsDeleted() && m->GetName() == name)
            return m.get();
    return nullptr;
}

COverlayMark* CMarkManager::FindOrAddMark(const std::string& name)
{
    if (COverlayMark* mark = FindMarkByName(name))
        return mark;
    auto made = std::make_unique<COverlayMark>();
    made->SetName(name);
    return AddMark(std::move(made));
}

void CMarkManager::GetNearestMarks(double latitude, double longitude, size_t n,
                                   std::vector<COverlayMark*>& out) const
{
    const CLocalPlane plane(latitude, longitude);
    std::vector<std::pair<double, COverlayMark*>> found;
    for (const auto& m : m_marks)
        if (m->IsVisible() && m->HasPosition())
            found.emplace_back(plane.Distance(latitude, longitude, m->GetLatitude(), m->GetLongitude()),
                               m.get());
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const size_t take = std::min(found.size(), std::max<size_t>(n, 1));
    for (size_t i = 0; i < take; ++i)
        out.push_back(found[i].second);
}

void CMarkManager::GetNearestRoutes(double latitude, double longitude, size_t n,
                                    std::vector<COverlayRoute*>& out) const
{
    const CLocalPlane plane(latitude, longitude);
    std::vector<std::pair<double, COverlayRoute*>> found;
    for (const auto& r : m_routes) {
        if (!r->IsVisible())
            continue;
        double nearest = 1e10;
        for (const auto& p : r->Points())
            if (p->HasPosition())
                nearest = std::min(nearest,
                                   plane.Distance(latitude, longitude, p->GetLatitude(), p->GetLongitude()));
        found.emplace_back(nearest, r.get());
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const size_t take = std::min(found.size(), std::max<size_t>(n, 1));
    for (size_t i = 0; i < take; ++i)
        out.push_back(found[i].second);
}

namespace {

COverlayRoute* FindRouteNear(const std::vector<std::unique_ptr<COverlayRoute>>& routes, double latitude,
                             double longitude, double limit, bool atEnd)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !(limit > 0))
        return nullptr;
    const CLocalPlane plane(latitude, longitude);
    COverlayRoute* best = nullptr;
    double bestDistance = limit;
    for (const auto& r : routes) {
        if (r->IsDeleted() || r->Points().empty())
            continue;
        const COverlayMark& p = atEnd ? *r->Points().back() : *r->Points().front();
        if (!p.HasPosition())
            continue;
        const double d = plane.DistanceTo(p.GetLatitude(), p.GetLongitude());
        if (d < bestDistance) {
            bestDistance = d;
            best = r.get();
        }
    }
    return best;
}

} // namespace

COverlayRoute* CMarkManager::FindRouteEndingNear(double latitude, double longitude, double limitMetres) const
{
    return FindRouteNear(m_routes, latitude, longitude, limitMetres, true);
}

COverlayRoute* CMarkManager::FindRouteStartingNear(double latitude, double longitude,
                                                   double limitMetres) const
{
    return FindRouteNear(m_routes, latitude, longitude, limitMetres, false);
}

void CMarkManager::SetAllMarksVisible(bool visible)
{
    for (const auto& m : m_marks) {
        if (m->IsDeleted())
            continue;
        m->SetVisible(visible);
        m->SetState(COverlayObject::kChanged);
    }
}

void CMarkManager::SetAllRoutesVisible(bool visible)
{
    for (const auto& r : m_routes) {
        if (r->IsDeleted())
            continue;
        r->SetVisible(visible);
        r->NotifyChanged(COverlayObject::kChanged);
    }
}

void CMarkManager::PurgeTombstones(double time)
{
    const auto purge = [time](auto& list) {
        std::erase_if(
            list, [time](const auto& object) { return object->IsDeleted() && !object->ModifiedSince(time); });
    };
    purge(m_marks);
    purge(m_routes);
}
